// The extras keeper over temporary folders: installing without replacing the
// user's files, lists and lookups across domains, key bindings with their
// fallbacks, menus, watchers, and every bad folder or file reported without
// a crash.
#include "app/extras/tzr_theme_controller.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QUrl>

#include <gtest/gtest.h>

#include <chrono>

#include "platform/files/folders.h"
#include "platform/files/workspace.h"
#include "platform/prefs/registered_defaults.h"
#include "platform/runtime/action_router.h"
#include "platform/runtime/alerts.h"
#include "support/log_capture.h"
#include "support/qt_print.h"
#include "support/qt_wait.h"
#include "textengine/settings/keybindings.h"

using namespace std::chrono_literals;
using Kind = TZRThemeController::Kind;

namespace {

// Catches what the controller asks the desktop to open.
class OpenedUrls {
public:
    OpenedUrls() {
        platform::Workspace::setOpenerForTesting([this](const QUrl &url) {
            urls << url;
            return true;
        });
    }
    ~OpenedUrls() { platform::Workspace::setOpenerForTesting({}); }
    OpenedUrls(const OpenedUrls &) = delete;
    OpenedUrls &operator=(const OpenedUrls &) = delete;
    QList<QUrl> urls;
};

struct CountingSync : TZRExtrasSync {
    int calls = 0;
    void syncLocalToCloud() override { calls++; }
};

class ThemeController : public testing::Test {
protected:
    void SetUp() override {
        m_resources = m_folders.root() + "/resources";
        QDir().mkpath(m_resources);
    }

    QString user() const { return m_folders.layout().userData + "/Tessaro Orvane 4"; }
    QString shared() const { return m_folders.layout().sharedData.first() + "/Tessaro Orvane 4"; }

    static void write(const QString &path, const QByteArray &text) {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
        file.write(text);
    }
    static QByteArray read(const QString &path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
    }
    std::unique_ptr<TZRThemeController> controller() {
        return std::make_unique<TZRThemeController>(
            TZRExtrasLocations{m_resources, platform::Folders::dataFolders()});
    }
    static QStringList titles(const QMenu &menu) {
        QStringList names;
        for (const QAction *item : menu.actions())
            names << item->data().toString();
        return names;
    }
    static QStringList ticked(const QMenu &menu) {
        QStringList names;
        for (const QAction *item : menu.actions())
            if (item->isChecked())
                names << item->data().toString();
        return names;
    }

    platform::ScopedFolders m_folders;
    platform::ScopedStandardDefaults m_standard;
    platform::Defaults *m_defaults = &m_standard.defaults();
    QString m_resources;
};

TEST_F(ThemeController, InstallingDefaultsNeverReplacesTheUsersFiles) {
    write(m_resources + "/Paper.theme", "{\"foregroundColor\": \"#000\"}");
    write(m_resources + "/Plain.css", "body {}");
    write(m_resources + "/Dates.json", "{\"expansions\": []}");
    write(m_resources + "/default.keybinding", "[]");
    write(user() + "/Themes/Paper.theme", "mine");
    auto extras = controller();

    extras->installDefaultResources();
    EXPECT_EQ(read(user() + "/Themes/Paper.theme"), "mine");
    EXPECT_EQ(read(user() + "/CSS/Plain.css"), "body {}");
    EXPECT_EQ(read(user() + "/Expansions/Dates.json"), "{\"expansions\": []}");
    EXPECT_EQ(read(user() + "/KeyBindings/default.keybinding"), "[]");
    // The user may edit what was installed, and nothing is left behind.
    EXPECT_TRUE(QFileInfo(user() + "/CSS/Plain.css").isWritable());
    EXPECT_EQ(QDir(user() + "/CSS").entryList(QDir::Files | QDir::Hidden), QStringList({"Plain.css"}));

    // A default the user deleted comes back; an edited one stays edited.
    ASSERT_TRUE(QFile::remove(user() + "/CSS/Plain.css"));
    write(user() + "/Expansions/Dates.json", "edited");
    extras->installDefaultResources();
    EXPECT_EQ(read(user() + "/CSS/Plain.css"), "body {}");
    EXPECT_EQ(read(user() + "/Expansions/Dates.json"), "edited");

    // A link of the user's, even a broken one, counts as the user's file.
    ASSERT_TRUE(QFile::remove(user() + "/CSS/Plain.css"));
    ASSERT_TRUE(QFile::link(m_folders.root() + "/nowhere.css", user() + "/CSS/Plain.css"));
    EXPECT_FALSE(extras->installResource(m_resources + "/Plain.css", TZRThemeController::folderOf(Kind::CSS), false));
    EXPECT_TRUE(QFileInfo(user() + "/CSS/Plain.css").isSymLink());
    // Asked to, it replaces.
    EXPECT_TRUE(extras->installResource(m_resources + "/Paper.theme", TZRThemeController::folderOf(Kind::Theme), true));
    EXPECT_EQ(read(user() + "/Themes/Paper.theme"), "{\"foregroundColor\": \"#000\"}");
}

TEST_F(ThemeController, ListsNameEachExtraOnceAndPathsPreferTheLastDomain) {
    write(m_resources + "/Paper.theme", "app");
    write(m_resources + "/banana.theme", "app");
    write(m_resources + "/notes.txt", "not an extra");
    write(user() + "/Themes/Paper.theme", "user");
    write(user() + "/Themes/Apple.theme", "user");
    write(user() + "/Themes/.Hidden.theme", "user");
    write(user() + "/Themes/Dark.Night.theme", "user");
    QDir().mkpath(user() + "/Themes/Folder.theme");
    write(shared() + "/Themes/cherry.theme", "shared");
    write(shared() + "/Themes/Apple.theme", "shared");
    auto extras = controller();

    EXPECT_EQ(extras->themeList(), QStringList({"Apple", "banana", "cherry", "Dark.Night", "Paper"}));
    EXPECT_TRUE(extras->cssList().isEmpty());

    // The user's copy over the application's; the machine's over the user's.
    EXPECT_EQ(extras->filePathForThemeNamed("Paper"), user() + "/Themes/Paper.theme");
    EXPECT_EQ(extras->filePathForThemeNamed("Apple"), shared() + "/Themes/Apple.theme");
    EXPECT_EQ(extras->filePathForThemeNamed("banana"), m_resources + "/banana.theme");
    EXPECT_EQ(extras->filePathForThemeNamed("Dark.Night"), user() + "/Themes/Dark.Night.theme");
    EXPECT_TRUE(extras->filePathForThemeNamed("Missing").isEmpty());
    EXPECT_TRUE(extras->filePathForThemeNamed("Folder").isEmpty());
    // Names are file names, never paths out of the folders.
    write(user() + "/secret.theme", "outside");
    EXPECT_TRUE(extras->filePathForThemeNamed("../secret").isEmpty());
    EXPECT_TRUE(extras->filePathForThemeNamed("").isEmpty());

    // The editor loads every expansion set, each from where it resolves.
    write(m_resources + "/Dates.json", "{}");
    write(user() + "/Expansions/Dates.json", "{}");
    write(user() + "/Expansions/mine.json", "{}");
    EXPECT_EQ(extras->expansionFilePaths(),
              QStringList({user() + "/Expansions/Dates.json", user() + "/Expansions/mine.json"}));

    EXPECT_EQ(extras->possiblePathForCustomResourceNamed("New", "css", "Tessaro Orvane 4/CSS"),
              user() + "/CSS/New.css");
    EXPECT_EQ(extras->defaultResourcesForExtension("theme"),
              QStringList({m_resources + "/Paper.theme", m_resources + "/banana.theme"}));
}

TEST_F(ThemeController, UnreadableFoldersAndAnUnwritableDataFolderFallBackToTheDefaults) {
    write(m_resources + "/Paper.theme", "app");
    write(m_resources + "/default.keybinding", R"([{"modifiers": ["cmd"], "key": "k", "action": "selectAll:"}])");
    // Where the user's folders should be, a file stands: nothing can be read
    // from them or made in them (even by root).
    write(user(), "in the way");
    testing_qt::LogCapture log;
    auto extras = controller();

    extras->installDefaultResources();
    EXPECT_GE(log.count("cannot be used"), 1);
    EXPECT_EQ(read(user()), "in the way");

    EXPECT_EQ(extras->themeList(), QStringList({"Paper"}));
    EXPECT_EQ(extras->themeList(), QStringList({"Paper"}));
    EXPECT_EQ(log.count("Cannot read extras folder \"" + user() + "/Themes\""), 1);  // once a run
    EXPECT_EQ(extras->filePathForThemeNamed("Paper"), m_resources + "/Paper.theme");

    stack *table = extras->keyBindingStack();
    ASSERT_EQ(table->size, 1u);
    EXPECT_NE(key_bindings_lookup(table, 'K', kKeyModifierCmd), nullptr);
    key_bindings_free(table);

    // The folders that cannot be made are told, with where they would be.
    OpenedUrls opened;
    platform::ScriptedAlerts alerts;
    EXPECT_FALSE(extras->openThemesFolder());
    EXPECT_FALSE(extras->openKeyBindingsFolder());
    EXPECT_TRUE(opened.urls.isEmpty());
    ASSERT_EQ(alerts.count(), 2);
    EXPECT_EQ(alerts.shown()[0].messageText, "The Themes folder could not be opened.");
    EXPECT_TRUE(alerts.shown()[0].informativeText.contains(user() + "/Themes"))
        << alerts.shown()[0].informativeText.toStdString();
    EXPECT_EQ(alerts.shown()[1].messageText, "The Key Bindings folder could not be opened.");
    EXPECT_TRUE(alerts.shown()[1].informativeText.contains(user() + "/KeyBindings"));
}

TEST_F(ThemeController, KeyBindingsComeFromTheUsersFileOrTheBuiltInNine) {
    testing_qt::LogCapture log;
    auto extras = controller();
    auto codes = [](stack *table) {
        std::vector<uint64_t> found;
        for (size_t i = 0; i < table->size; i++)
            found.push_back(static_cast<key_binding *>(table->element[i])->code);
        key_bindings_free(table);
        return found;
    };
    const std::vector<uint64_t> builtIn = {0x14F703, 0x14F702, 0x12007D, 0x12007B, 0x12005D,
                                           0x12005B, 0x10005D, 0x10005B, 0x100009};

    // No file anywhere: the built-in bindings, quietly.
    EXPECT_EQ(codes(extras->keyBindingStack()), builtIn);
    EXPECT_EQ(log.count("Error loading custom key bindings"), 0);

    // The user's own table.
    const QString file = user() + "/KeyBindings/default.keybinding";
    write(file, R"([{"modifiers": ["cmd", "opt"], "key": "t", "action": "toggleTOC:"}])");
    EXPECT_EQ(codes(extras->keyBindingStack()), std::vector<uint64_t>({0x180054}));

    // An empty table, a damaged file and one that is not a table: the
    // built-in bindings, and the reason in the log each time.
    int expectedLogs = 0;
    for (const QByteArray &bad : {QByteArray("[]"), QByteArray("[{\"key\": "), QByteArray("{\"key\": \"k\"}"),
                                  QByteArray("\xff\xfe\x00garbage", 10)}) {
        write(file, bad);
        EXPECT_EQ(codes(extras->keyBindingStack()), builtIn) << bad.toStdString();
        EXPECT_EQ(log.count("Error loading custom key bindings"), ++expectedLogs);
    }
    EXPECT_EQ(read(file), QByteArray("\xff\xfe\x00garbage", 10));  // the user's file is left as it was
}

TEST_F(ThemeController, MenusListTheExtrasAndTickTheDefault) {
    write(m_resources + "/Paper.theme", "{}");
    write(m_resources + "/Black & White.theme", "{}");
    write(m_resources + "/Plain.css", "");
    m_defaults->setObject("Paper", "defaultTheme");
    auto extras = controller();
    QMenu themeMenu, cssMenu;
    QComboBox themeButton, cssButton;
    extras->setThemeMenu(&themeMenu);
    extras->setThemeButton(&themeButton);
    extras->setCSSMenu(&cssMenu);
    extras->setCSSButton(&cssButton);
    extras->awakeFromNib();

    EXPECT_EQ(titles(themeMenu), QStringList({"Black & White", "Paper"}));
    EXPECT_EQ(themeMenu.actions()[0]->text(), "Black && White");  // no shortcut mark
    EXPECT_EQ(themeMenu.actions()[0]->objectName(), "selectTheme:");
    EXPECT_EQ(ticked(themeMenu), QStringList({"Paper"}));
    EXPECT_EQ(themeButton.currentText(), "Paper");
    EXPECT_EQ(titles(cssMenu), QStringList({"Plain"}));
    EXPECT_EQ(cssMenu.actions()[0]->objectName(), "selectCSS:");
    EXPECT_TRUE(ticked(cssMenu).isEmpty());  // no default style sheet chosen

    // The main menu's items go to the window in front, which learns the
    // name the item stands for.
    struct Front : platform::Responder {
        QStringList chosen;
        bool respondsToAction(const QString &action) const override {
            return action == "selectTheme:" || action == "selectCSS:";
        }
        void performAction(const QString &action, QObject *sender) override {
            chosen << action + TZRThemeController::styleNameOf(qobject_cast<QAction *>(sender));
        }
    } front;
    platform::ActionRouter::addApplicationResponder(&front);
    themeMenu.actions()[0]->trigger();
    cssMenu.actions()[0]->trigger();
    platform::ActionRouter::removeApplicationResponder(&front);
    EXPECT_EQ(front.chosen, QStringList({"selectTheme:Black & White", "selectCSS:Plain"}));

    // A document ticks its own theme.
    for (QAction *item : themeMenu.actions())
        EXPECT_TRUE(TZRThemeController::validateUserInterfaceItem(item, "Black & White"));
    EXPECT_EQ(ticked(themeMenu), QStringList({"Black & White"}));

    // Choosing in the popup stores the default and leaves the menu's ticks
    // to the next rebuild.
    emit themeButton.activated(0);
    EXPECT_EQ(m_defaults->stringForKey("defaultTheme"), "Black & White");
    EXPECT_EQ(themeButton.currentText(), "Black & White");
    EXPECT_EQ(ticked(themeMenu), QStringList({"Black & White"}));
    emit cssButton.activated(0);
    EXPECT_EQ(m_defaults->stringForKey("defaultCSS"), "Plain");

    // A default that names no extra ticks nothing.
    m_defaults->setObject("Gone", "defaultTheme");
    extras->updateThemeMenu();
    EXPECT_TRUE(ticked(themeMenu).isEmpty());
}

TEST_F(ThemeController, FolderChangesRebuildTheMenusAndReachTheSync) {
    write(m_resources + "/Paper.theme", "{}");
    write(m_resources + "/Plain.css", "");
    auto extras = controller();
    extras->installDefaultResources();
    write(user() + "/Themes/Mine.theme", "{}");
    CountingSync sync;
    extras->setExtrasSync(&sync);
    QMenu themeMenu, cssMenu;
    extras->setThemeMenu(&themeMenu);
    extras->setCSSMenu(&cssMenu);
    extras->awakeFromNib();  // starts watching the theme and style-sheet folders
    ASSERT_EQ(titles(themeMenu), QStringList({"Mine", "Paper"}));

    // A theme deleted from the user's folder leaves the menu, unless the
    // application has its own copy.
    ASSERT_TRUE(QFile::remove(user() + "/Themes/Mine.theme"));
    ASSERT_TRUE(QFile::remove(user() + "/Themes/Paper.theme"));
    EXPECT_TRUE(testing_qt::spinUntil([&] { return titles(themeMenu) == QStringList({"Paper"}); }, 30s));
    EXPECT_GE(sync.calls, 1);

    // A style sheet saved by an editor through a rename shows up.
    write(user() + "/CSS/.Fresh.css.tmp", "");
    ASSERT_TRUE(QFile::rename(user() + "/CSS/.Fresh.css.tmp", user() + "/CSS/Fresh.css"));
    EXPECT_TRUE(testing_qt::spinUntil([&] { return titles(cssMenu) == QStringList({"Fresh", "Plain"}); }, 30s));

    // The key-binding and expansion folders are watched once asked for
    // (when they exist by then).
    QDir().mkpath(user() + "/Expansions");
    QDir().mkpath(user() + "/KeyBindings");
    stack *table = extras->keyBindingStack();
    key_bindings_free(table);
    EXPECT_EQ(extras->expansionList(), QStringList());
    const int before = sync.calls;
    write(user() + "/Expansions/More.json", "{}");
    write(user() + "/KeyBindings/other.keybinding", "[]");
    EXPECT_TRUE(testing_qt::spinUntil([&] { return sync.calls >= before + 2; }, 30s));
    EXPECT_EQ(extras->expansionList(), QStringList({"More"}));
}

TEST_F(ThemeController, OpeningAFolderMakesItAndShowsIt) {
    auto extras = controller();
    OpenedUrls opened;
    EXPECT_TRUE(extras->openCSSFolder());
    EXPECT_TRUE(extras->openExpansionFolder());
    EXPECT_TRUE(QFileInfo(user() + "/CSS").isDir());
    EXPECT_EQ(opened.urls, QList<QUrl>({QUrl::fromLocalFile(user() + "/CSS"),
                                        QUrl::fromLocalFile(user() + "/Expansions")}));
    extras->getMoreThemes();
    ASSERT_EQ(opened.urls.size(), 3);
    EXPECT_EQ(opened.urls[2].scheme(), "https");
}

}  // namespace
