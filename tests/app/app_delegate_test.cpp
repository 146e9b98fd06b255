// The application's delegate: the crash flag on disk and its offer, a bad
// preferences file told once, the time-in-use milestones and their timer,
// the main menu with the user's key bindings, the default font and its
// chooser (from the menu and from the preferences), and the library's
// reports in Qt's log.
#include "app/app_delegate.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QFontDialog>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrlQuery>

#include <gtest/gtest.h>

#include <memory>

#include "app/library_log.h"
#include "app/extras/tzr_theme_controller.h"
#include "app/prefs/smart_editor_preferences.h"
#include "editor/input/context_menu_controllers.h"
#include "editor/smart_text_view.h"
#include "editor/storage/smart_text_storage.h"
#include "editor/view/text_services.h"
#include "library/diagnostics.h"
#include "textengine/settings/keybindings.h"
#include "platform/runtime/action_router.h"
#include "platform/runtime/alerts.h"
#include "platform/prefs/registered_defaults.h"
#include "platform/files/workspace.h"
#include "platform/text/font_resolver.h"
#include "support/log_capture.h"
#include "support/qt_wait.h"

using namespace std::chrono_literals;

namespace {

// Catches the folders handed to the file manager.
class OpenedFolders : public QObject {
    Q_OBJECT
public:
    OpenedFolders() { QDesktopServices::setUrlHandler("file", this, "open"); }
    ~OpenedFolders() override { QDesktopServices::unsetUrlHandler("file"); }
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

// A run of the program over a preferences file in a temporary folder: each
// run reads the file afresh, as a new process would.
class Launches : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_path = m_dir.filePath("preferences.json");
        m_extras = std::make_unique<TZRThemeController>(TZRThemeController::standardLocations());
        platform::Workspace::setOpenerForTesting([this](const QUrl &url) {
            m_opened << url;
            return true;
        });
    }
    void TearDown() override {
        m_delegate.reset();
        m_defaults.reset();
        platform::Workspace::setOpenerForTesting({});
    }

    AppDelegate &launch() {
        m_delegate.reset();
        m_defaults = std::make_unique<platform::Defaults>(m_path);
        platform::registerDefaults(*m_defaults);
        m_defaults->setBool(false, "checkForAnnouncements");
        m_delegate = std::make_unique<AppDelegate>(m_defaults.get(), m_extras.get());
        m_delegate->setCrashReportsFolder(m_dir.path());
        m_delegate->applicationWillFinishLaunching();
        m_delegate->applicationDidFinishLaunching();
        testing_qt::spinFor(20ms);
        return *m_delegate;
    }
    // What a fresh reader finds on disk.
    QVariant onDisk(const QString &key) { return platform::Defaults(m_path).objectForKey(key); }

    QTemporaryDir m_dir;
    QString m_path;
    std::unique_ptr<TZRThemeController> m_extras;
    std::unique_ptr<platform::Defaults> m_defaults;
    std::unique_ptr<AppDelegate> m_delegate;
    QList<QUrl> m_opened;
};

TEST_F(Launches, TheCrashFlagIsOnDiskFromLaunchToQuitAndARunThatEndedOtherwiseIsOffered) {
    platform::ScriptedAlerts alerts({1});
    launch();
    EXPECT_EQ(alerts.count(), 0);
    // Written the moment it is set: a crash right now would leave it.
    EXPECT_EQ(onDisk("appCrashed"), QVariant(true));
    m_delegate->applicationWillTerminate();
    EXPECT_EQ(onDisk("appCrashed"), QVariant(false));

    launch();
    EXPECT_EQ(alerts.count(), 0);
    // This run ends without the quit sequence.
    launch();
    ASSERT_EQ(alerts.count(), 1);
    const platform::Alert offer = alerts.shown().first();
    EXPECT_EQ(offer.messageText, "Possible crash detected");
    EXPECT_EQ(offer.buttons, (QStringList{"Report Crash", "False Alarm"}));
    EXPECT_TRUE(offer.informativeText.contains("did not quit properly.  This can happen"));
    EXPECT_TRUE(offer.informativeText.endsWith("(Instructions will appear in the email body for you).  Thanks!!"));
    // "False Alarm" opens nothing and leaves the flag for this run.
    EXPECT_TRUE(m_opened.isEmpty());
    EXPECT_EQ(onDisk("appCrashed"), QVariant(true));
}

TEST_F(Launches, ReportingACrashWritesAMailAndShowsTheReportsFolder) {
    OpenedFolders folders;
    platform::ScriptedAlerts alerts({0});
    launch();
    launch();
    ASSERT_EQ(alerts.count(), 1);
    ASSERT_EQ(m_opened.size(), 1);
    const QUrl mail = m_opened.first();
    EXPECT_EQ(mail.scheme(), "mailto");
    EXPECT_TRUE(mail.toString(QUrl::FullyEncoded).contains("subject=Tessaro%20Orvane%20Crash"));
    const QString body = QUrlQuery(mail).queryItemValue("body", QUrl::FullyDecoded);
    EXPECT_TRUE(body.startsWith("I was using Tessaro Orvane " + KVXAppDelegate::versionBuildString()));
    EXPECT_TRUE(body.contains(m_dir.path()));
    EXPECT_EQ(folders.urls, QList<QUrl>{QUrl::fromLocalFile(m_dir.path())});
}

TEST_F(Launches, ADamagedOrUnreadablePreferencesFileIsToldOnceAndTheDefaultsServe) {
    {
        QFile file(m_path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("{\"horizontalPadding\": 12, \"appCrashed\": tr");
    }
    platform::ScriptedAlerts alerts;
    testing_qt::LogCapture log;
    launch();
    ASSERT_EQ(alerts.count(), 1);
    EXPECT_EQ(alerts.shown().first().messageText, "Your preferences could not be read");
    EXPECT_TRUE(alerts.shown().first().informativeText.contains("damaged"));
    EXPECT_EQ(m_defaults->integerForKey("horizontalPadding"), 40);
    EXPECT_TRUE(QFile::exists(m_path + ".corrupt"));
    // The fresh file works: the flag is on disk, and the next run is quiet
    // (and sees a crash, since this one did not quit).
    EXPECT_EQ(onDisk("appCrashed"), QVariant(true));
    m_delegate->applicationWillTerminate();
    launch();
    EXPECT_EQ(alerts.count(), 1);

    // A folder where the file should be cannot be read: told, never written.
    QFile::remove(m_path);
    ASSERT_TRUE(QDir().mkpath(m_path));
    launch();
    ASSERT_EQ(alerts.count(), 2);
    EXPECT_TRUE(alerts.shown().last().informativeText.contains("cannot be read"));
    EXPECT_TRUE(QFileInfo(m_path).isDir());
}

TEST(TimeInUse, MilestonesAndTheirTimerNeverWaitMoreThanADay) {
    struct Case {
        double hours;
        qint64 milestone;
    };
    for (const Case &c : {Case{0, 1}, Case{0.5, 1}, Case{9.5, 10}, Case{99.9, 100}, Case{150, 200},
                          Case{999, 1000}, Case{1000, 2000}, Case{2500, 3000}})
        EXPECT_EQ(AppDelegate::milestoneHours(qint64(std::floor(c.hours))), c.milestone) << c.hours;

    platform::ScopedStandardDefaults scoped;
    TZRThemeController extras(TZRThemeController::standardLocations());
    AppDelegate delegate(&scoped.defaults(), &extras);
    auto arm = [&](double seconds) {
        scoped.defaults().setFloat(float(seconds), "timeInUse");
        delegate.setTimeInUseTarget();
        return delegate.timeInUseTimer()->interval();
    };
    EXPECT_EQ(arm(0), 3600 * 1000);
    EXPECT_EQ(delegate.targetTimeInUse(), 3600);
    EXPECT_EQ(arm(9.5 * 3600), 1800 * 1000);
    EXPECT_EQ(delegate.targetTimeInUse(), 36000);
    // Far milestones: a day at a time, never a wrapped or refused interval.
    EXPECT_EQ(arm(2500 * 3600.0), 24 * 3600 * 1000);
    EXPECT_EQ(delegate.targetTimeInUse(), 3000 * 3600);
    EXPECT_EQ(arm(1000 * 3600.0), 24 * 3600 * 1000);
    EXPECT_TRUE(delegate.timeInUseTimer()->isActive());
}

TEST(TimeInUse, ACheckPastTheMilestoneThanksOnceAndAnEarlyOneOnlyReArms) {
    platform::ScopedStandardDefaults scoped;
    platform::ScriptedAlerts alerts;
    TZRThemeController extras(TZRThemeController::standardLocations());
    AppDelegate delegate(&scoped.defaults(), &extras);

    scoped.defaults().setFloat(3590, "timeInUse");
    delegate.setTimeInUseTarget();
    delegate.checkTimeInUse();  // the timer cut short: nothing to say yet
    EXPECT_EQ(alerts.count(), 0);
    EXPECT_EQ(delegate.targetTimeInUse(), 3600);

    delegate.setStartupDate(QDateTime::currentDateTimeUtc().addSecs(-20));
    delegate.checkTimeInUse();
    ASSERT_EQ(alerts.count(), 1);
    EXPECT_EQ(alerts.shown().first().messageText, "Thank you!");
    EXPECT_EQ(alerts.shown().first().informativeText,
              "You've logged over an hour using Tessaro Orvane. We hope it has served you well!");
    EXPECT_EQ(delegate.targetTimeInUse(), 36000);
    EXPECT_GE(scoped.defaults().floatForKey("timeInUse"), 3609.f);

    EXPECT_EQ(AppDelegate::thankYouMessage(10 * 3600 + 5),
              "You've logged over 10 hours using Tessaro Orvane. We hope it has served you well!");
    EXPECT_EQ(AppDelegate::thankYouMessage(2 * 3600 - 1).contains("an hour"), true);
}

// --- The main menu ---------------------------------------------------------------------

// A window whose editor takes a few actions.
class RespondingWindow : public QWidget, public platform::Responder {
public:
    QStringList performed;
    bool respondsToAction(const QString &action) const override { return action == "zoomIn:"; }
    void performAction(const QString &action, QObject *) override { performed << action; }
};

TEST(MainMenu, MenusInOrderWithItemsNamedByTheirActionsRoutedToTheFocusThenTheApplication) {
    platform::ScopedStandardDefaults scoped;
    TZRThemeController extras(TZRThemeController::standardLocations());
    AppDelegate delegate(&scoped.defaults(), &extras);
    MainMenu &menu = delegate.mainMenu();
    QStringList titles;
    for (QAction *item : menu.menu()->actions())
        titles << item->menu()->objectName();
    EXPECT_EQ(titles, (QStringList{"Orvane", "File", "Edit", "Format", "View", "Window", "Help"}));

    QAction *save = menu.itemForAction("saveDocument:");
    ASSERT_TRUE(save);
    EXPECT_EQ(save->objectName(), "saveDocument:");
    EXPECT_EQ(save->shortcut(), QKeySequence::Save);
    EXPECT_TRUE(menu.itemForAction("showPreferences:"));
    EXPECT_TRUE(menu.itemForAction("orvanePrefsPro:"));
    EXPECT_TRUE(menu.themeMenu() && menu.cssMenu());
    EXPECT_GT(menu.themeMenu()->actions().size(), 1);
    for (QAction *item : menu.actionItems())
        EXPECT_EQ(item->objectName(), platform::ActionRouter::actionOf(item));

    // The focused window answers first; the application answers the rest;
    // validation disables what nobody answers.
    RespondingWindow window;
    window.show();
    QAction *zoomIn = menu.itemForAction("zoomIn:");
    EXPECT_EQ(platform::ActionRouter::targetForAction("zoomIn:", &window), &window);
    EXPECT_EQ(platform::ActionRouter::targetForAction("showCheatSheet:", &window), &delegate);
    EXPECT_EQ(platform::ActionRouter::targetForAction("saveDocument:", &window), nullptr);
    platform::ActionRouter::validateMenu(menu.topLevelMenu("File"), &window);
    EXPECT_FALSE(save->isEnabled());
    EXPECT_FALSE(menu.itemForAction("openDocument:")->isEnabled());
    delegate.setDocumentOpener([](const QString &) {});
    platform::ActionRouter::validateMenu(menu.topLevelMenu("File"), &window);
    EXPECT_TRUE(menu.itemForAction("openDocument:")->isEnabled());
    EXPECT_TRUE(platform::ActionRouter::sendAction("zoomIn:", zoomIn, &window));
    EXPECT_EQ(window.performed, QStringList{"zoomIn:"});
}

TEST(MainMenu, KeyBindingsReachItemsByActionExceptTheEditMenusLateSubmenus) {
    platform::ScopedStandardDefaults scoped;
    TZRThemeController extras(TZRThemeController::standardLocations());
    AppDelegate delegate(&scoped.defaults(), &extras);
    MainMenu &menu = delegate.mainMenu();
    const QKeySequence findKeys = menu.itemForAction("performFindPanelAction:")->shortcut();
    const QKeySequence printKeys = menu.itemForAction("printDocument:")->shortcut();

    stack *table = key_bindings_from_string(R"([
        {"modifiers": ["cmd", "ctrl"], "key": "\uF701", "action": "shiftDown:"},
        {"modifiers": ["cmd"], "key": "K", "action": "addStrong:"},
        {"modifiers": ["cmd", "opt"], "key": "h", "action": "copyAsHTML:"},
        {"modifiers": ["cmd", "shift"], "key": "f", "action": "performFindPanelAction:"},
        {"modifiers": ["cmd"], "key": "u", "action": "uppercaseWord:"},
        {"modifiers": ["cmd"], "key": "a", "action": "selectAll:"},
        {"modifiers": ["cmd"], "key": "j", "action": "noSuchItem:"},
        {"modifiers": ["shift", "cmd"], "key": "\t", "action": ["insertText:", "x"]}
    ])");
    ASSERT_TRUE(table);
    AppDelegate::applyBindings(table, menu.menu());
    key_bindings_free(table);

    EXPECT_EQ(menu.itemForAction("shiftDown:")->shortcut(),
              QKeySequence(Qt::ControlModifier | Qt::MetaModifier | Qt::Key_Down));
    EXPECT_EQ(menu.itemForAction("addStrong:")->shortcut(), QKeySequence(Qt::ControlModifier | Qt::Key_K));
    // Copy As comes before the Edit menu's second separator: it is reached;
    // an item of the Edit menu itself is reached wherever it stands.
    EXPECT_EQ(menu.itemForAction("copyAsHTML:")->shortcut(),
              QKeySequence(Qt::ControlModifier | Qt::AltModifier | Qt::Key_H));
    EXPECT_EQ(menu.itemForAction("selectAll:")->shortcut(), QKeySequence(Qt::ControlModifier | Qt::Key_A));
    // Find and Transformations come after it: they keep their own keys.
    EXPECT_EQ(menu.itemForAction("performFindPanelAction:")->shortcut(), findKeys);
    EXPECT_TRUE(menu.itemForAction("uppercaseWord:")->shortcut().isEmpty());
    EXPECT_EQ(menu.itemForAction("printDocument:")->shortcut(), printKeys);

    // The delegate applies the user's file only when asked to; of several
    // bindings of an action the table's first wins (arrows sort first).
    const QKeySequence indentKeys = menu.itemForAction("shiftRight:")->shortcut();
    delegate.applicationWillFinishLaunching();
    EXPECT_EQ(menu.itemForAction("shiftRight:")->shortcut(), indentKeys);
    scoped.defaults().setBool(true, "useKeyBindingsForMenuBar");
    delegate.applicationWillFinishLaunching();
    EXPECT_EQ(menu.itemForAction("shiftRight:")->shortcut(),
              QKeySequence(Qt::ControlModifier | Qt::MetaModifier | Qt::Key_Right));
}

// The Edit menu's text services reach the editor that has the keyboard:
// the switches are checked as their preferences stand and flip them; there
// are no items for grammar or the system's text replacements.
TEST(MainMenu, TheEditMenusTextServicesReachTheEditor) {
    platform::ScopedStandardDefaults scoped;
    TZRThemeController extras(TZRThemeController::standardLocations());
    AppDelegate delegate(&scoped.defaults(), &extras);
    MainMenu &menu = delegate.mainMenu();
    auto actions = [](QMenu *submenu) {
        QStringList result;
        for (QAction *item : submenu->actions())
            if (!item->isSeparator())
                result << platform::ActionRouter::actionOf(item);
        return result;
    };
    QMenu *spelling = menu.submenuTitled("Spelling and Grammar");
    QMenu *substitutions = menu.submenuTitled("Substitutions");
    QMenu *speech = menu.submenuTitled("Speech");
    ASSERT_TRUE(spelling && substitutions && speech);
    EXPECT_EQ(actions(spelling), (QStringList{"showGuessPanel:", "checkSpelling:", "toggleContinuousSpellChecking:",
                                              "toggleGrammarChecking:", "toggleAutomaticSpellingCorrection:"}));
    EXPECT_EQ(
        actions(substitutions),
        (QStringList{"orderFrontSubstitutionsPanel:", "toggleSmartInsertDelete:", "toggleAutomaticQuoteSubstitution:",
                     "toggleAutomaticDashSubstitution:", "toggleAutomaticLinkDetection:"}));
    EXPECT_EQ(actions(speech), (QStringList{"startSpeaking:", "stopSpeaking:"}));
    EXPECT_EQ(menu.itemForAction("toggleGrammarChecking:")->text(), QStringLiteral("Check Grammar With Spelling"));
    EXPECT_FALSE(menu.itemForAction("toggleAutomaticTextReplacement:"));

    SmartTextStorage storage(scoped.defaults());
    storage.setInitialText("Some text.\n");
    SmartTextView view(&storage, &scoped.defaults());
    view.show();
    view.activateWindow();
    view.setFocus();
    ASSERT_TRUE(testing_qt::spinUntil([&] { return view.isVisible(); }));
    QAction *checking = menu.itemForAction("toggleContinuousSpellChecking:");
    QAction *quotes = menu.itemForAction("toggleAutomaticQuoteSubstitution:");
    platform::ActionRouter::validateMenu(spelling, &view);
    platform::ActionRouter::validateMenu(substitutions, &view);
    EXPECT_TRUE(checking->isEnabled() && checking->isCheckable() && checking->isChecked());
    EXPECT_TRUE(quotes->isEnabled() && quotes->isCheckable() && !quotes->isChecked());
    EXPECT_TRUE(menu.itemForAction("checkSpelling:")->isEnabled());
    EXPECT_TRUE(platform::ActionRouter::sendAction("toggleAutomaticQuoteSubstitution:", quotes, &view));
    EXPECT_TRUE(scoped.defaults().boolForKey("smartQuotes"));
    platform::ActionRouter::validateMenu(substitutions, &view);
    EXPECT_TRUE(quotes->isChecked());
    // Grammar: off for a new user, then on from its item.
    QAction *grammar = menu.itemForAction("toggleGrammarChecking:");
    platform::ActionRouter::validateMenu(spelling, &view);
    EXPECT_TRUE(grammar->isEnabled() && grammar->isCheckable() && !grammar->isChecked());
    EXPECT_TRUE(platform::ActionRouter::sendAction("toggleGrammarChecking:", grammar, &view));
    EXPECT_TRUE(scoped.defaults().boolForKey("checkGrammar"));
    EXPECT_TRUE(view.textServices()->checksGrammar());
    platform::ActionRouter::validateMenu(spelling, &view);
    EXPECT_TRUE(grammar->isChecked());
}

TEST(AppCommands, TheFontChooserStoresNameAndSizeAndTheLibrarysLinesReachQtsLog) {
    platform::ScopedStandardDefaults scoped;
    TZRThemeController extras(TZRThemeController::standardLocations());
    AppDelegate delegate(&scoped.defaults(), &extras);
    QFont font("DejaVu Sans Mono");
    font.setPointSizeF(13.5);
    delegate.myFontChanged(font);
    EXPECT_EQ(scoped.defaults().stringForKey("defaultFontName"), "DejaVu Sans Mono");
    EXPECT_EQ(scoped.defaults().objectForKey("defaultFontSize").typeId(), QMetaType::Float);
    EXPECT_FLOAT_EQ(scoped.defaults().floatForKey("defaultFontSize"), 13.5f);

    testing_qt::LogCapture log;
    installLibraryLogHandler();
    tzr_log("Unknown token type: %d\n", 301);
    removeLibraryLogHandler();
    EXPECT_EQ(log.messages(), QStringList{"orvane.library: Unknown token type: 301"});
}

// The preferences' font button opens the default-font chooser as the menu
// item does, and the chooser shows the font in its own face: of the faces a
// family lists, the first is often an oblique or a condensed one.
TEST(AppCommands, ThePreferencesFontButtonOpensTheChooserOnTheFontsOwnFace) {
    platform::ScopedStandardDefaults scoped;
    platform::Defaults &defaults = scoped.defaults();
    TZRThemeController extras(TZRThemeController::standardLocations());
    SmartEditorPreferences prefs(&defaults, &extras);
    AppDelegate delegate(&defaults, &extras, &prefs);
    defaults.setObject(QStringLiteral("DejaVu Sans"), "defaultFontName");
    defaults.setFloat(13, "defaultFontSize");
    // The face the chooser has selected, as its list of faces shows it.
    auto shownFace = [&] {
        const QList<QListView *> lists = delegate.fontPanel()->findChildren<QListView *>();
        return lists.size() == 3 ? lists.at(1)->currentIndex().data().toString() : QString();
    };

    prefs.showWindow();
    auto *change = prefs.paneView("Appearance")->findChild<QPushButton *>("myChangeFont:");
    ASSERT_TRUE(change);
    change->click();
    ASSERT_TRUE(delegate.fontPanel());
    EXPECT_TRUE(delegate.fontPanel()->isVisible());
    EXPECT_EQ(delegate.fontPanel()->currentFont().family(), "DejaVu Sans");
    EXPECT_EQ(delegate.fontPanel()->currentFont().pointSize(), 13);
    EXPECT_EQ(shownFace(), "Book");
    EXPECT_FALSE(delegate.fontPanel()->currentFont().italic());
    // What is chosen there is stored, and the field shows it.
    delegate.fontPanel()->setCurrentFont(QFontDatabase::font("DejaVu Serif", "Book", 15));
    EXPECT_EQ(defaults.stringForKey("defaultFontName"), "DejaVu Serif");
    EXPECT_FLOAT_EQ(defaults.floatForKey("defaultFontSize"), 15.0f);
    EXPECT_EQ(prefs.defaultFontField()->text(), "DejaVu Serif 15 pt");
    delegate.fontPanel()->close();

    // From the menu, on a family whose first face is a condensed italic.
    QAction *item = delegate.mainMenu().itemForAction("myChangeFont:");
    ASSERT_TRUE(item);
    item->trigger();
    EXPECT_TRUE(delegate.fontPanel()->isVisible());
    EXPECT_EQ(shownFace(), "Book");
    EXPECT_EQ(platform::FontResolver::styleNameOf(QFont("DejaVu Sans Mono", 12)), "Book");
    QFont bold("DejaVu Sans", 12);
    bold.setBold(true);
    EXPECT_EQ(platform::FontResolver::styleNameOf(bold), "Bold");
    QFont italic("DejaVu Serif", 12);
    italic.setItalic(true);
    EXPECT_EQ(platform::FontResolver::styleNameOf(italic), "Italic");
    delegate.fontPanel()->close();
}

// A window that hides when asked to close, as the guides do, or one that
// refuses, as a document the user keeps.
class StubbornWindow : public QWidget {
public:
    explicit StubbornWindow(bool hides) : m_hides(hides) {}

protected:
    void closeEvent(QCloseEvent *event) override {
        event->ignore();
        if (m_hides)
            hide();
    }

private:
    bool m_hides;
};

TEST(AppCommands, QuittingClosesEveryWindowAWindowThatHidesDoesNotStopItOneThatStaysDoes) {
    QWidget plain;
    StubbornWindow guide(true);
    plain.show();
    guide.show();
    EXPECT_TRUE(AppDelegate::closeAllWindows());
    EXPECT_FALSE(plain.isVisible());
    EXPECT_FALSE(guide.isVisible());

    StubbornWindow document(false);
    document.show();
    EXPECT_FALSE(AppDelegate::closeAllWindows());
    EXPECT_TRUE(document.isVisible());
    document.hide();
}

}  // namespace

#include "app_delegate_test.moc"

TEST(MainMenu, TheEditorsContextMenuRepeatsTheMainMenusItemsOnceDocumentsAreInstalled) {
    platform::ScopedStandardDefaults scoped;
    TZRThemeController extras(TZRThemeController::standardLocations());
    auto titles = [](QMenu *menu) {
        QStringList result;
        for (QAction *item : menu->actions())
            result << item->text();
        return result;
    };
    {
        AppDelegate delegate(&scoped.defaults(), &extras);
        MainMenu &menu = delegate.mainMenu();
        using Item = ContextMenuSource::Item;
        for (Item item : {Item::Copy, Item::CopyAs, Item::Paste, Item::PasteAs, Item::CleanUp, Item::Convert,
                          Item::ToggleListType, Item::ToggleChangeTracking, Item::AcceptCriticMarkup,
                          Item::RejectCriticMarkup, Item::Theme, Item::StyleSheet, Item::TitleCase})
            EXPECT_TRUE(menu.menuItem(item)) << int(item);
        EXPECT_EQ(menu.menuItem(Item::CleanUp)->menu(), menu.submenuTitled("Clean Up"));

        delegate.installDocumentMachinery();
        QMenu *context = SmartTextContextMenuController::sharedController().contextMenu();
        EXPECT_EQ(titles(context), (QStringList{"Copy", "Copy As", "Paste", "Paste As", "Clean Up", "Make",
                                                "Toggle List Type", "Track Changes", "Accept Change",
                                                "Reject Change", "Theme", "Style Sheet"}));
        // The new, open and recent commands go to the documents now.
        platform::ActionRouter::validateMenu(menu.topLevelMenu("File"));
        EXPECT_TRUE(menu.itemForAction("newDocument:")->isEnabled());
        EXPECT_TRUE(menu.itemForAction("clearRecentDocuments:")->isEnabled());
    }
    // The delegate gone, the editor's menu repeats nothing of it.
    EXPECT_TRUE(SmartTextContextMenuController::sharedController().contextMenu()->actions().isEmpty());
}
