// The main menu as a user meets it, over the program's own documents: File >
// Open Recent with the files recently opened and saved, the commands that
// hand a page or a folder to the desktop telling when nothing opened it, and
// full screen with its key.
#include "app/app_delegate.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QNetworkReply>
#include <QProcess>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include <memory>

#include "app/documents/smart_editor_document.h"
#include "app/extras/tzr_theme_controller.h"
#include "app/help/kvx_announcement_helper.h"
#include "app/help/maker_addresses.h"
#include "app/main_menu.h"
#include "editor/storage/smart_text_storage.h"
#include "editor/view/kvx_text_view.h"
#include "platform/documents/document_controller.h"
#include "platform/prefs/defaults.h"
#include "platform/prefs/registered_defaults.h"
#include "platform/runtime/action_router.h"
#include "platform/runtime/alerts.h"
#include "support/qt_print.h"
#include "support/qt_wait.h"
#include "support/stand_in_opener.h"

using namespace std::chrono_literals;

namespace {

bool writeAll(const QString &path, const QByteArray &bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The texts of a menu's items as it shows them, a separator as "-".
QStringList titles(QMenu *menu) {
    QStringList result;
    for (QAction *item : menu->actions())
        result << (item->isSeparator() ? QStringLiteral("-") : item->text());
    return result;
}

QAction *itemTitled(QMenu *menu, const QString &title) {
    for (QAction *item : menu->actions())
        if (item->text() == title)
            return item;
    return nullptr;
}

// The program's delegate with its documents (in a controller of the test's
// own), as the program starts it; the windows hold the editor alone.
class Program : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_folder.isValid());
        m_previous = platform::DocumentController::setShared(&m_documents);
        m_delegate = std::make_unique<AppDelegate>(&m_scoped.defaults(), &m_extras);
        m_delegate->installDocumentMachinery();
        SmartEditorDocument::setContentFactory({});
    }
    void TearDown() override {
        for (platform::Document *document : m_documents.documents())
            document->close();
        testing_qt::spinFor(20ms);
        m_delegate.reset();
        platform::DocumentController::setShared(m_previous);
    }

    MainMenu &menu() { return m_delegate->mainMenu(); }
    QString path(const QString &name) const { return m_folder.filePath(name); }
    QString write(const QString &name) {
        EXPECT_TRUE(writeAll(path(name), "# Text\n"));
        return path(name);
    }
    // Opened as File > Open opens it, its window active.
    SmartEditorDocument *open(const QString &file) {
        m_delegate->openDocuments({file});
        auto *document = qobject_cast<SmartEditorDocument *>(m_documents.documentForPath(file));
        if (!document)
            return nullptr;
        QWidget *window = document->firstWindow();
        const bool active = testing_qt::spinUntil([&] {
            window->activateWindow();
            return window->isVisible() && window->isActiveWindow();
        });
        return active ? document : nullptr;
    }
    static KVXTextView *editorOf(platform::Document *document) {
        return document->firstWindow()->findChild<KVXTextView *>();
    }

    platform::ScopedStandardDefaults m_scoped;
    QTemporaryDir m_folder;
    TZRThemeController m_extras{TZRThemeController::standardLocations()};
    platform::DocumentController m_documents;
    platform::DocumentController *m_previous = nullptr;
    std::unique_ptr<AppDelegate> m_delegate;
    platform::ScriptedAlerts m_alerts;
};

// --- File > Open Recent ----------------------------------------------------------------------

// The files opened and saved, newest first, at once in the menu every window
// shares (whether or not it was shown since), ten at most, above Clear Menu;
// an item opens its file.
TEST_F(Program, OpenRecentListsTheFilesOpenedAndSavedNewestFirstTenAtMostAndEachOpensItsFile) {
    QMenu *recent = menu().submenuTitled("Open Recent");
    ASSERT_TRUE(recent);
    EXPECT_EQ(titles(recent), QStringList({"Clear Menu"}));

    SmartEditorDocument *first = open(write("first.md"));
    ASSERT_TRUE(first);
    ASSERT_TRUE(open(write("second.md")));
    EXPECT_EQ(titles(recent), QStringList({"second.md", "first.md", "-", "Clear Menu"}));

    // Saved from the File menu, the first is the newest again.
    KVXTextView *editor = editorOf(first);
    editor->storage()->replaceCharactersInRange({0, 0}, QStringLiteral("Saved. "));
    ASSERT_TRUE(first->isDocumentEdited());
    ASSERT_TRUE(platform::ActionRouter::sendAction("saveDocument:", nullptr, editor));
    EXPECT_TRUE(testing_qt::spinUntil([&] { return titles(recent).value(0) == "first.md"; }, 10s))
        << titles(recent).join(", ").toStdString();
    EXPECT_EQ(titles(recent), QStringList({"first.md", "second.md", "-", "Clear Menu"}));

    // Twelve more: the ten newest are listed.
    QStringList expected;
    for (int i = 0; i < 12; i++) {
        const QString name = QStringLiteral("more-%1.md").arg(i);
        ASSERT_TRUE(open(write(name)));
        expected.prepend(name);
    }
    emit recent->aboutToShow();
    EXPECT_EQ(titles(recent), expected.mid(0, 10) + QStringList({"-", "Clear Menu"}));

    // Chosen, an item opens its file in front.
    first->close();
    testing_qt::spinFor(20ms);
    ASSERT_FALSE(m_documents.documentForPath(path("more-4.md")) == nullptr);
    m_documents.documentForPath(path("more-4.md"))->close();
    testing_qt::spinFor(20ms);
    ASSERT_EQ(m_documents.documentForPath(path("more-4.md")), nullptr);
    emit recent->aboutToShow();
    QAction *item = itemTitled(recent, "more-4.md");
    ASSERT_TRUE(item);
    EXPECT_TRUE(item->isEnabled());
    item->trigger();
    platform::Document *reopened = m_documents.documentForPath(path("more-4.md"));
    ASSERT_TRUE(reopened);
    EXPECT_TRUE(testing_qt::spinUntil([&] { return reopened->firstWindow()->isVisible(); }));
    EXPECT_EQ(m_alerts.count(), 0);
    EXPECT_EQ(titles(recent).value(0), "more-4.md");
}

// Files of one name are told apart by as much of their folders as it takes,
// the whole folder (home as "~") when nothing less does; an "&" in a name is
// shown as it is, not taken for a key mark.
TEST_F(Program, OpenRecentTellsFilesOfOneNameApartByTheirFolders) {
    QMenu *recent = menu().submenuTitled("Open Recent");
    ASSERT_TRUE(recent);
    for (const char *name :
         {"work/notes.md", "play/notes.md", "a/same/todo.md", "b/same/todo.md", "same/todo.md", "Q&A.md"})
        m_documents.noteRecentDocument(write(name));
    const QString folder = QFileInfo(m_folder.path()).fileName();
    emit recent->aboutToShow();
    EXPECT_EQ(titles(recent),
              QStringList({"Q&&A.md", "todo.md — " + folder + "/same", "todo.md — b/same", "todo.md — a/same",
                           "notes.md — play", "notes.md — work", "-", "Clear Menu"}));

    // A folder that ends another's is shown whole.
    const QString home = QDir::homePath();
    EXPECT_EQ(MainMenu::recentDocumentTitles({home + "/notes.md", "/srv" + home + "/notes.md", "/notes.md"}),
              QStringList({"notes.md — ~", "notes.md — /srv" + home, "notes.md — /"}));
}

// A file gone since the menu listed it is said so when chosen, and leaves the
// list; Clear Menu empties it.
TEST_F(Program, OpenRecentTellsOfAFileGoneAndTakesItOffAndClearMenuEmptiesIt) {
    QMenu *recent = menu().submenuTitled("Open Recent");
    ASSERT_TRUE(recent);
    const QString kept = write("kept.md");
    const QString gone = write("gone.md");
    m_documents.noteRecentDocument(kept);
    m_documents.noteRecentDocument(gone);
    emit recent->aboutToShow();
    ASSERT_EQ(titles(recent), QStringList({"gone.md", "kept.md", "-", "Clear Menu"}));

    ASSERT_TRUE(QFile::remove(gone));
    itemTitled(recent, "gone.md")->trigger();
    ASSERT_EQ(m_alerts.count(), 1);
    EXPECT_EQ(m_alerts.shown()[0].messageText, "The document “gone.md” no longer exists.");
    EXPECT_TRUE(m_alerts.shown()[0].informativeText.contains(m_folder.path()));
    EXPECT_EQ(m_documents.documents().size(), 0);
    EXPECT_EQ(m_scoped.defaults().stringArrayForKey("recentDocumentPaths"), QStringList({kept}));
    EXPECT_EQ(titles(recent), QStringList({"kept.md", "-", "Clear Menu"}));
    // Back on disk, it is not listed again until it is opened.
    ASSERT_TRUE(writeAll(gone, "# Back\n"));
    emit recent->aboutToShow();
    EXPECT_EQ(titles(recent), QStringList({"kept.md", "-", "Clear Menu"}));

    QAction *clear = itemTitled(recent, "Clear Menu");
    ASSERT_TRUE(clear);
    EXPECT_TRUE(clear->isEnabled());
    clear->trigger();
    EXPECT_EQ(titles(recent), QStringList({"Clear Menu"}));
    EXPECT_TRUE(m_scoped.defaults().stringArrayForKey("recentDocumentPaths").isEmpty());
}

// --- Full screen ---------------------------------------------------------------------------------

// F11 puts the active window in full screen and takes it out; the item says
// what it will do, also when the window manager changed the state, and for
// whichever window is active.
TEST_F(Program, FullScreenTogglesWithF11AndItsItemSaysWhatItWillDo) {
    SmartEditorDocument *document = open(write("wide.md"));
    ASSERT_TRUE(document);
    QWidget *window = document->firstWindow();
    QAction *item = menu().itemForAction("toggleFullScreen:");
    ASSERT_TRUE(item);
    EXPECT_EQ(item->shortcut(), QKeySequence(Qt::Key_F11));
    EXPECT_EQ(item->text(), "Enter Full Screen");

    QTest::keyClick(window, Qt::Key_F11);
    EXPECT_TRUE(testing_qt::spinUntil([&] { return window->isFullScreen(); }));
    EXPECT_EQ(item->text(), "Exit Full Screen");
    QTest::keyClick(window, Qt::Key_F11);
    EXPECT_TRUE(testing_qt::spinUntil([&] { return !window->isFullScreen(); }));
    EXPECT_EQ(item->text(), "Enter Full Screen");

    // Put in full screen past the menu and the window's own calls, as a
    // window manager does.
    window->windowHandle()->setWindowStates(Qt::WindowFullScreen);
    EXPECT_TRUE(testing_qt::spinUntil([&] { return window->isFullScreen(); }));
    EXPECT_EQ(item->text(), "Exit Full Screen");

    // Another window active, the item speaks for it; back, for this one.
    QMainWindow other;
    other.show();
    ASSERT_TRUE(testing_qt::spinUntil([&] {
        other.activateWindow();
        return other.isActiveWindow();
    }));
    EXPECT_EQ(item->text(), "Enter Full Screen");
    ASSERT_TRUE(testing_qt::spinUntil([&] {
        window->activateWindow();
        return window->isActiveWindow();
    }));
    EXPECT_EQ(item->text(), "Exit Full Screen");
    item->trigger();
    EXPECT_TRUE(testing_qt::spinUntil([&] { return !window->isFullScreen(); }));
    EXPECT_EQ(item->text(), "Enter Full Screen");
}

// --- Pages and folders opened outside ------------------------------------------------------------

// A local server of https that answers every request with `reply`, its
// certificate made for the test (the helper's own checks are told to let it
// pass).
class AnnouncementServer {
public:
    explicit AnnouncementServer(const QByteArray &reply) : m_reply(reply) {
        const QString key = m_dir.filePath("key.pem"), certificate = m_dir.filePath("certificate.pem");
        QProcess openssl;
        openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                                  "/CN=localhost", "-keyout", key, "-out", certificate});
        if (!openssl.waitForFinished(60000) || openssl.exitCode() != 0)
            return;
        QFile keyFile(key), certificateFile(certificate);
        if (!keyFile.open(QIODevice::ReadOnly) || !certificateFile.open(QIODevice::ReadOnly))
            return;
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setPrivateKey(QSslKey(keyFile.readAll(), QSsl::Rsa));
        configuration.setLocalCertificate(QSslCertificate(certificateFile.readAll()));
        configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
        m_server.setSslConfiguration(configuration);
        QObject::connect(&m_server, &QSslServer::pendingConnectionAvailable, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    if (!socket->readAll().contains("\r\n\r\n"))
                        return;
                    socket->write(
                        "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nConnection: close\r\nContent-Length: " +
                        QByteArray::number(m_reply.size()) + "\r\n\r\n" + m_reply);
                    socket->disconnectFromHost();
                });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        m_listening = m_server.listen(QHostAddress::LocalHost);
    }
    bool isListening() const { return m_listening; }
    QString address() const { return QStringLiteral("https://127.0.0.1:%1/latest.txt").arg(m_server.serverPort()); }

private:
    QTemporaryDir m_dir;
    QByteArray m_reply;
    QSslServer m_server;
    bool m_listening = false;
};

// Every command that hands a page or a folder to the desktop's opener, which
// fails as xdg-open does when nothing opens what it is given: each tells the
// user, naming what could not be opened and the address or the folder's path.
// An opener that opens what it is given tells nothing.
TEST_F(Program, EveryPageAndFolderThatNothingOpensIsToldWithWhereItIs) {
    StandInOpener &opener = StandInOpener::install();
    opener.clear();
    for (const char *action : {"onlineHelp:", "openThemesFolder:"})
        menu().itemForAction(action)->trigger();
    ASSERT_TRUE(testing_qt::spinUntil([&] { return opener.calls().size() == 2; }, 30s));
    testing_qt::spinFor(200ms);
    EXPECT_EQ(m_alerts.count(), 0);

    StandInOpener::Failing failing;
    opener.clear();

    const QString announcement = QStringLiteral("https://tessaro.org/orvane/news/8");
    AnnouncementServer server("8: " + announcement.toUtf8());
    KVXAnnouncementHelper *announcements = KVXAnnouncementHelper::sharedHelper();
    announcements->setMessageURL(server.address());
    announcements->setMailingListSignupPage(QString::fromLatin1(maker::kMailingListSignupPage));
    QObject trust;
    QObject::connect(&announcements->network(), &QNetworkAccessManager::sslErrors, &trust,
                     [](QNetworkReply *reply, const QList<QSslError> &) { reply->ignoreSslErrors(); });
    // The application's helper outlives the test: it is left with the
    // maker's address and without the connection to the test's server,
    // which its network keeps on a thread of its own.
    struct Restored {
        KVXAnnouncementHelper *helper;
        ~Restored() {
            helper->setMessageURL(QString::fromLatin1(maker::kAnnouncementAddress));
            helper->network().clearConnectionCache();
            testing_qt::spinFor(100ms);
        }
    } restored{announcements};

    struct Command {
        QString action;
        QString what;   // as the alert names it
        QString where;  // the address or the path it gives
    };
    const QString site = QString::fromLatin1(maker::kSupportSite);
    QList<Command> commands = {
        {"onlineHelp:", "The page “Knowledge Base”", site + "kb/"},
        {"onlineHelpOrvane:", "The page “Orvane Help”", site + "kb/orvane/"},
        {"submitBetaIssue:", "The page “Report a Problem with a Test Release”", site + "forum/beta/"},
        {"submitProblem:", "The page “Report a Problem”", site + "forum/problems/"},
    };
    for (const char *pane : {"General", "Appearance", "Editing", "TZR", "CriticMarkup", "Preview", "Printing", "Files",
                             "Advanced", "Pro Features"}) {
        const QString name = QString::fromLatin1(pane);
        commands.append({"orvanePrefs" + QString(name).remove(" Features") + ":",
                         "The help page of the " + name + " preferences",
                         site + "kb/orvane/preferences/" + name.section(u' ', 0, 0).toLower()});
    }
    commands.append({"getMoreThemes:", "The page of more themes", QString::fromLatin1(maker::kExtrasPage)});
    commands.append({"loadSignup:", "The mailing list's page", QString::fromLatin1(maker::kMailingListSignupPage)});
    const QString data = m_extras.userFolder(TZRThemeController::Kind::Theme).section(u'/', 0, -2);
    commands.append({"openThemesFolder:", "The Themes folder", data + "/Themes"});
    commands.append({"openCSSFolder:", "The Style Sheets folder", data + "/CSS"});
    commands.append({"openExpansionFolder:", "The Expansions folder", data + "/Expansions"});
    commands.append({"openKeyBindingsFolder:", "The Key Bindings folder", data + "/KeyBindings"});
    if (server.isListening()) {
        commands.append({"showNewMessage:", "The announcement", announcement});
        commands.append({"showLastMessage:", "The announcement", announcement});
    } else {
        ADD_FAILURE() << "no https server for the announcements (openssl)";
    }

    for (const Command &command : commands) {
        const std::string name = command.action.toStdString();
        QAction *item = menu().itemForAction(command.action);
        ASSERT_TRUE(item) << name;
        const qsizetype before = m_alerts.count();
        const qsizetype calls = opener.calls().size();
        item->trigger();
        ASSERT_TRUE(testing_qt::spinUntil([&] { return m_alerts.count() > before; }, 30s)) << name;
        const platform::Alert told = m_alerts.shown().last();
        EXPECT_EQ(told.messageText, command.what + " could not be opened.") << name;
        EXPECT_TRUE(told.informativeText.contains(command.where)) << name << ": " << told.informativeText.toStdString();
        // The opener was asked, with the address or the folder.
        ASSERT_EQ(opener.calls().size(), calls + 1) << name;
        EXPECT_TRUE(QUrl(opener.calls().last()).toString().contains(command.where) ||
                    QUrl(opener.calls().last()).toLocalFile() == command.where)
            << name << ": " << opener.calls().last().toStdString();
    }
    EXPECT_EQ(commands.size(), 22);
    testing_qt::spinFor(100ms);
    EXPECT_EQ(m_alerts.count(), 22);
}

}  // namespace
