// orvane [--screenshot FILE.png] [FILE or FOLDER...]
//
// Starts Orvane on the given files, and on folders as project windows (an
// untitled window without any, or when none of them could be opened). With
// --screenshot, the screen is saved to FILE.png once the windows have shown
// themselves, and Orvane quits.
#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QScreen>
#include <QSocketNotifier>
#include <QTimer>
#include <QUrl>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

#include "app/app_delegate.h"
#include "app/library_log.h"
#include "app/smart_editor_document_controller.h"
#include "platform/alerts.h"
#include "platform/dispatch.h"
#include "platform/document.h"
#include "platform/document_controller.h"

namespace {

int s_quitSignal[2] = {-1, -1};

// A request to end (a session logging out, a kill with the default signal)
// ends the program whatever it is doing: nobody may be there to answer an
// alert open now, or one raised while quitting, so none waits. The quit
// sequence then saves what saves in place and clears the crash flag.
void quitOnSignals(QApplication &application) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, s_quitSignal) != 0)
        return;
    auto *notifier = new QSocketNotifier(s_quitSignal[1], QSocketNotifier::Read, &application);
    QObject::connect(notifier, &QSocketNotifier::activated, &application, [notifier] {
        notifier->setEnabled(false);
        char byte;
        [[maybe_unused]] ssize_t got = ::read(s_quitSignal[1], &byte, 1);
        platform::Alerts::setUnattended(true);
        // Every event loop ends, those of modal alerts and panels with the
        // application's (a polite quit would wait for them, and for windows
        // that ask before closing).
        QCoreApplication::exit(0);
        // Before the application's loop runs there is none to end yet.
        QMetaObject::invokeMethod(qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    });
    struct sigaction action = {};
    action.sa_handler = [](int) {
        char byte = 1;
        [[maybe_unused]] ssize_t sent = ::write(s_quitSignal[0], &byte, 1);
    };
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

}  // namespace

int main(int argc, char **argv) {
    QApplication::setOrganizationName(QStringLiteral("Tessaro"));
    QApplication::setApplicationName(QStringLiteral("Orvane"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tessaro Orvane"));
    QApplication::setApplicationVersion(QStringLiteral(ORVANE_VERSION));
    QApplication application(argc, argv);
    application.setProperty("buildNumber", QStringLiteral(ORVANE_BUILD));
    installLibraryLogHandler();
    quitOnSignals(application);

    QCommandLineParser options;
    options.setApplicationDescription(QStringLiteral("Orvane, a Markdown editor for Tessaro markup."));
    options.addHelpOption();
    options.addVersionOption();
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                        QStringLiteral("Save the screen to <file> once shown, then quit."),
                                        QStringLiteral("file"));
    options.addOption(screenshot);
    options.addPositionalArgument(QStringLiteral("files"), QStringLiteral("The documents, and the folders, to open."),
                                  QStringLiteral("[FILE or FOLDER...]"));
    options.process(application);

    AppDelegate::initialize();
    // The application's document controller: documents, Open Folder and New Tab.
    SmartEditorDocumentController documents;
    platform::DocumentController::setShared(&documents);
    AppDelegate delegate;
    delegate.installDocumentMachinery();
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &delegate,
                     [&delegate] { delegate.applicationWillTerminate(); });

    delegate.applicationWillFinishLaunching();
    delegate.applicationDidFinishLaunching();
    // Folders named on the command line open as projects, files as documents.
    QStringList files;
    for (const QString &argument : options.positionalArguments()) {
        const QFileInfo named(argument);
        if (named.isDir())
            documents.openFolderURL(QUrl::fromLocalFile(named.absoluteFilePath()));
        else
            files << argument;
    }
    delegate.openDocuments(files);
    // Files that could not be opened (each told in an alert) leave an
    // untitled window rather than a program without any.
    if (documents.documents().isEmpty() && documents.openProjects().empty())
        delegate.openDocuments({QString()});

    if (options.isSet(screenshot)) {
        const QString path = options.value(screenshot);
        QTimer::singleShot(2500, &application, [path] {
            QScreen *screen = QGuiApplication::primaryScreen();
            const bool saved = screen && screen->grabWindow(0).save(path, "PNG");
            if (!saved)
                qWarning("The screenshot could not be saved to %s.", qPrintable(path));
            QCoreApplication::exit(saved ? 0 : 1);
        });
    }
    const int status = application.exec();
    // The windows go before the application: their web pages must be
    // released before the web engine's profile is.
    for (platform::Document *document : documents.documents())
        document->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    platform::Dispatch::shutdown();
    return status;
}
