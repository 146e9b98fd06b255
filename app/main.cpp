// orvane [--screenshot FILE.png] [FILE or FOLDER...]
//
// Starts Orvane on the given files, and on folders as project windows (an
// untitled window without any, or when none of them could be opened). While
// Orvane runs for the user on this display, a start hands the files to it,
// which opens them in front (or only comes to the front), and ends. The
// documents a terminating signal kept (untitled ones, and edits not saved
// in place), or the display's end (its X server gone first), come back in
// their windows at the next start. With --screenshot, the process shows its
// own windows, saves the screen to FILE.png once they have shown
// themselves, and quits; beside a running Orvane it leaves the preferences
// as they are. Started as root, it runs the web engine without its
// sandbox, and says so on standard error.
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QScreen>
#include <QSocketNotifier>
#include <QTimer>
#include <QWindow>

#include <csignal>
#include <functional>
#include <utility>
#include <malloc.h>
#include <cstdio>
#include <cstdlib>
#include <sys/socket.h>
#include <unistd.h>

#include "app/app_delegate.h"
#include "app/library_log.h"
#include "app/documents/smart_editor_document_controller.h"
#include "platform/runtime/alerts.h"
#include "platform/prefs/defaults.h"
#include "platform/runtime/dispatch.h"
#include "platform/runtime/display_loss.h"
#include "platform/documents/document.h"
#include "platform/documents/document_controller.h"
#include "platform/files/folders.h"
#include "platform/files/native_path.h"
#include "platform/runtime/program_instance.h"
#include "platform/web/engine_flags.h"
#include "platform/web/page_scheme.h"

namespace {

int s_quitSignal[2] = {-1, -1};

// A request to end (a session logging out, a kill with the default signal)
// ends the program whatever it is doing: nobody may be there to answer an
// alert open now, or one raised while quitting, so none waits. The quit
// sequence then saves what saves in place, keeps for the next start the
// documents no file holds, and clears the crash flag.
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

// The arguments as the bytes that name them: a file name that is not UTF-8
// must still name its file.
QStringList argumentsOf(int argc, char **argv) {
    QStringList arguments;
    for (int i = 0; i < argc; i++)
        arguments << platform::pathFromNative(argv[i]);
    return arguments;
}

// The working folder, from its bytes.
QString workingFolder() {
    char *here = ::getcwd(nullptr, 0);
    const QString folder = here ? platform::pathFromNative(here) : QDir::currentPath();
    std::free(here);
    return folder;
}

// Another program runs under the same preferences and this one was asked to
// run anyway (--screenshot): it reads the preferences as they are and keeps
// its changes to itself, the crash flag among them.
void useGuestPreferences(QObject *owner) {
    auto *guest = new platform::Defaults(QString(), owner);
    QVariantMap stored = platform::Defaults::storedValuesInFile(platform::Defaults::standardFilePath());
    stored.remove(QStringLiteral("appCrashed"));
    for (auto it = stored.cbegin(); it != stored.cend(); ++it)
        guest->setObject(it.value(), it.key());
    platform::Defaults::setStandard(guest);
}

// Runs `then` once, from the event loop, after the first of the program's
// windows (a document's, or an alert) is on the screen.
class FirstWindowShown : public QObject {
public:
    FirstWindowShown(QApplication &application, std::function<void()> then)
        : QObject(&application), m_then(std::move(then)) {
        application.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::Expose && m_then) {
            auto *window = qobject_cast<QWindow *>(watched);
            if (window && window->isExposed()) {
                qApp->removeEventFilter(this);
                QMetaObject::invokeMethod(this, std::exchange(m_then, {}), Qt::QueuedConnection);
            }
        }
        return false;
    }

private:
    std::function<void()> m_then;
};

// A large document's text, its HTML and its page are copied and dropped on
// every edit, by threads of their own. The C library would raise its
// threshold for mapping such blocks after the first is freed and then keep
// them in its heaps, where they stay resident long after the edits: a fixed
// threshold hands every one of them back when it is freed, and two arenas
// keep the freed rest in fewer places.
void keepLargeBlocksOutOfTheHeap() {
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    mallopt(M_ARENA_MAX, 2);
}

// Saves the screen to `path` once the windows had time to draw themselves
// (and alerts raised at launch to show), and ends the program.
void takeScreenshotAndQuit(const QString &path) {
    QTimer::singleShot(2500, qApp, [path] {
        QScreen *screen = QGuiApplication::primaryScreen();
        const bool saved = screen && screen->grabWindow(0).save(path, "PNG");
        if (!saved)
            qWarning("The screenshot could not be saved to %s.", qPrintable(path));
        QCoreApplication::exit(saved ? 0 : 1);
    });
}

}  // namespace

int main(int argc, char **argv) {
    keepLargeBlocksOutOfTheHeap();
    QApplication::setOrganizationName(QStringLiteral("Tessaro"));
    QApplication::setApplicationName(QStringLiteral("Orvane"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tessaro Orvane"));
    QApplication::setApplicationVersion(QStringLiteral(ORVANE_VERSION));
    platform::hardenWebEngineFlags();
    const bool withoutSandbox = platform::turnOffWebEngineSandboxForRoot();
    platform::drawWindowsInSoftwareWithoutGpu();
    platform::PageScheme::registerScheme();
    QApplication application(argc, argv);  // takes Qt's own options out of argv
    application.setProperty("buildNumber", QStringLiteral(ORVANE_BUILD));
    installLibraryLogHandler();

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
    options.process(argumentsOf(argc, argv));

    // One program per user, display and preferences: a start while it runs
    // hands its paths over and ends, before it reads a preference.
    QStringList paths;
    QList<QByteArray> named;
    const QDir here(workingFolder());
    for (const QString &argument : options.positionalArguments()) {
        paths << QDir::cleanPath(here.absoluteFilePath(argument));
        named << platform::nativePath(paths.last());
    }
    platform::ProgramInstance instance(platform::ProgramInstance::socketPath(
        platform::Folders::configFolder(), platform::ProgramInstance::currentDisplay()));
    // A screenshot is of this process's own windows.
    const bool ownWindows = options.isSet(screenshot);
    const platform::ProgramInstance::Role role = instance.claim(
        named, ownWindows ? platform::ProgramInstance::Mode::RunBeside : platform::ProgramInstance::Mode::HandOver);
    switch (role) {
    case platform::ProgramInstance::Role::HandedOver:
        return 0;
    case platform::ProgramInstance::Role::Unanswered:
        std::fprintf(stderr, "Orvane is running but does not answer; nothing was opened.\n");
        return 1;
    case platform::ProgramInstance::Role::Guest:
        useGuestPreferences(&application);
        break;
    case platform::ProgramInstance::Role::Owner:
        break;
    }
    // Said by the start that runs the engine, not by one that hands over.
    if (withoutSandbox)
        std::fprintf(stderr, "Orvane is running as root, where the web engine's sandbox cannot work: the engine "
                             "runs without it.\n");
    quitOnSignals(application);

    AppDelegate::initialize();
    // The application's document controller: documents, Open Folder and New Tab.
    SmartEditorDocumentController documents;
    platform::DocumentController::setShared(&documents);
    AppDelegate delegate;
    delegate.installDocumentMachinery();
    // What ending the program does, once: it takes no more paths (a start
    // meanwhile waits for it to end and then runs itself), saves what saves
    // in place, keeps for the next start what no file holds, and clears the
    // crash flag. Quitting comes here, and so does a display that went away
    // before the program was asked to end.
    bool settled = false;
    auto settle = [&instance, &delegate, &settled] {
        if (std::exchange(settled, true))
            return;
        instance.stopListening();
        delegate.applicationWillTerminate();
    };
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &delegate, settle);
    // At a logout the X server may end before the session's signal reaches
    // the program, or without one: Qt then ends the process from within
    // its event loop. The documents are settled first, as the signal would
    // have them settled, with nobody to answer an alert and nothing shown;
    // the work in the background is let finish before the process ends.
    platform::DisplayLossWatch displayLoss([&settle] {
        platform::Alerts::setUnattended(true, platform::Alerts::Showing::Leave);
        settle();
        platform::Dispatch::shutdown();
    });

    delegate.applicationWillFinishLaunching();
    // The launch has finished once a window is on the screen. A start that
    // ends before it showed one (the web engine refusing to start, say) has
    // not run for the user: it leaves no crash flag, and the next start
    // offers no crash report for it.
    new FirstWindowShown(application, [&delegate, shot = options.isSet(screenshot), path = options.value(screenshot)] {
        delegate.applicationDidFinishLaunching();
        if (shot)
            takeScreenshotAndQuit(path);
    });
    // What the last run kept as it ended without asking (the session ended)
    // comes back first, so that the files named now open in front; a guest
    // leaves it to the program it runs beside.
    if (role == platform::ProgramInstance::Role::Owner)
        delegate.bringBackUnsavedDocuments();
    // Folders named on the command line open as projects, files as documents.
    delegate.openCommandLinePaths(paths);
    // Files that could not be opened (told in one alert) leave an
    // untitled window rather than a program without any.
    if (documents.documents().isEmpty() && documents.openProjects().empty())
        delegate.openDocuments({QString()});
    // What later starts name opens here, in front.
    QObject::connect(&instance, &platform::ProgramInstance::pathsReceived, &delegate,
                     [&delegate](const QStringList &handed) {
                         delegate.bringForward(delegate.openCommandLinePaths(handed));
                     });

    const int status = application.exec();
    // The windows go before the application: their web pages must be
    // released before the web engine's profile is.
    for (platform::Document *document : documents.documents())
        document->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    platform::Dispatch::shutdown();
    return status;
}
