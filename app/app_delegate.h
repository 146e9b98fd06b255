// The application's delegate: what happens between the start of the program
// and its first window, while it runs, and when it quits.
//
// Launch: the registered defaults (once per process), the user's key
// bindings applied to the main menu when "useKeyBindingsForMenuBar" is set,
// the crash check (with the offer to report a crash), the guide windows, the
// announcement check when "checkForAnnouncements" is set, and the timer of
// the time-in-use milestones (1, 10, 100 hours, then every 100 up to 1000
// and every 1000 after). A damaged or unreadable preferences file is told to
// the user once, and so is where the last quit kept edits it could not save
// in their files. The documents a run that ended without asking kept whole
// come back in their windows (bringBackUnsavedDocuments()). Quit: the
// edits still waiting for their save in place are saved (into a file of
// their own, beside the file or elsewhere, where another program's version
// of it was not taken in, or their save failed), documents that no file
// holds (untitled, or not saved in place) are kept whole for the next
// start, and the crash flag is cleared. Quit from the menu closes every
// window first, asking about each edited document, so that nothing is left
// to keep (Don't Save discards); only a quit that asks nobody keeps any.
//
// The delegate is the application's responder for the actions no window
// takes: preferences, guides, help pages, announcements, extras folders,
// the default font, opening documents (those of a later start of the program
// too, which hands them over), quitting.
#pragma once

#include <QFontDialog>
#include <QKeySequence>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <memory>

#include "app/kvx_app_delegate.h"
#include "app/main_menu.h"
#include "platform/runtime/action_router.h"

class KVXStaticWebWindowController;
class QFont;
class QTimer;
class SmartEditorPreferences;
class TZRThemeController;
class WindowExtras;
struct key_binding;
struct stack;

class AppDelegate : public KVXAppDelegate, public platform::Responder {
    Q_OBJECT

public:
    // Each time-in-use timer waits at most this long, then re-arms for the
    // rest (a longer wait does not fit Qt's timer).
    static constexpr qint64 kMaxTimerSeconds = 24 * 3600;

    // Registers the table of defaults with the standard preferences, once
    // per process, before anything reads a preference.
    static void initialize();

    // `defaults`, `extras` and `preferences` are the application's shared
    // ones when null; all must outlive the delegate.
    explicit AppDelegate(platform::Defaults *defaults = nullptr, TZRThemeController *extras = nullptr,
                         SmartEditorPreferences *preferences = nullptr, QObject *parent = nullptr);
    ~AppDelegate() override;

    // --- Launch and quit ----------------------------------------------------------
    void applicationWillFinishLaunching();
    void applicationDidFinishLaunching() override;
    void applicationWillTerminate() override;
    // Tells, in one alert, where the last quit kept the edits it could not
    // save in their files (or that it could keep them nowhere); once the
    // alert is answered they are not told again.
    void tellTextsKeptAtQuit();
    // Brings back the documents a run that ended without asking kept in
    // `folder` (the program's, unless given): an untitled one as an untitled
    // window holding its text, one of a file as that file's window holding
    // the edits, each edited; where its file cannot be opened, the edits
    // come back in an untitled window and an alert says so. Those brought
    // back are no longer kept; one that cannot be read is told in an alert
    // that names where it is, and stays there. Two programs starting at
    // once never both bring one back.
    void bringBackUnsavedDocuments(const QString &folder = QString());

    // The crash offer: "Report Crash" writes a mail to the maker and shows
    // the crash reports folder; "False Alarm" ends it.
    void appCrashed() override;
    static QString crashAlertMessage() { return QStringLiteral("Possible crash detected"); }
    static QString crashAlertInformation();
    // The folder the system keeps crash reports in ("/var/crash").
    QString crashReportsFolder() const { return m_crashReportsFolder; }
    void setCrashReportsFolder(const QString &folder) { m_crashReportsFolder = folder; }
    // The mail that reports a crash.
    QUrl crashReportMail() const;

    // --- Time in use ----------------------------------------------------------------
    // The next milestone, in hours, after `hours` whole hours in use.
    static qint64 milestoneHours(qint64 hours);
    // The thanks for `seconds` in use.
    static QString thankYouMessage(double seconds);
    void setTimeInUseTarget();
    void checkTimeInUse();
    qint64 targetTimeInUse() const { return m_targetTimeInUse; }
    QTimer *timeInUseTimer() const { return m_ourTimer; }

    // --- Menus --------------------------------------------------------------------
    MainMenu &mainMenu() { return *m_mainMenu; }
    void applyCustomKeyBindings();
    // Gives the items of `menu` whose action the table binds the binding's
    // keys, as the user's key-binding file names them.
    static void applyBindings(const stack *table, QMenu *menu);
    static QKeySequence keyEquivalentForBinding(const key_binding *binding);
    // Makes `window` show the main menu.
    void installMainMenu(QMainWindow *window) { m_mainMenu->install(window); }

    // --- Commands -------------------------------------------------------------------
    void showPreferences();
    void showCheatSheet();
    void showGuide();
    KVXStaticWebWindowController *cheatSheetWindowController() const { return m_cheatSheet.get(); }
    KVXStaticWebWindowController *guideWindowController() const { return m_guide.get(); }
    // The default-font chooser, and what it stores.
    void myChangeFont();
    void myFontChanged(const QFont &font);
    QFontDialog *fontPanel() const { return m_fontPanel; }
    // Asks every window to close, then quits when all went away.
    void terminate();
    // Asks every visible window to close; false when one stays on screen (a
    // document the user did not let go). A window that hides instead of
    // closing (a guide) counts as gone.
    static bool closeAllWindows();
    // Diagnostics: the listing of the local documents folder, to the log.
    void testFileNavigatorLocal();

    // --- Documents ----------------------------------------------------------------
    // Makes Markdown documents the application's: the document controller
    // makes them and opens what the delegate is asked to open (an empty path
    // is a new untitled document); their windows hold the full window
    // content (editor, preview, sidebars, info bar) under the main menu,
    // with the user's themes, style sheets and expansions; the editors take
    // the user's key bindings and repeat the main menu's items in their
    // context menu. Undone when the delegate goes.
    void installDocumentMachinery();
    // What opens a document, by path; replaceable (tests), and nothing
    // opens until it is set.
    using DocumentOpener = std::function<void(const QString &path)>;
    void setDocumentOpener(DocumentOpener opener) { m_documentOpener = std::move(opener); }
    void openDocuments(const QStringList &paths);
    // Asks for files with the open panel and opens each.
    void openDocumentsWithPanel();
    // Opens a file of Open Recent; one that no longer exists is said so and
    // taken off the list.
    void openRecentDocument(const QString &path);

    // --- Starts of the program ------------------------------------------------------
    // Opens what a start of the program names (its own, or a later start's
    // handed over): folders as project windows, files as documents (one open
    // already comes to the front), each a tab of the front window's group;
    // those that cannot be opened are told in one alert after the others.
    // Returns the window of the last opened; null when none could be.
    QWidget *openCommandLinePaths(const QStringList &paths);
    // Brings `window` to the front, active (a tab selected in its group);
    // without one, the window last active (a new untitled document when no
    // window is left).
    void bringForward(QWidget *window = nullptr);

    // --- Responder ------------------------------------------------------------------
    bool respondsToAction(const QString &action) const override;
    void performAction(const QString &action, QObject *sender) override;
    bool validateAction(const QString &action, QAction *item) override;

private:
    SmartEditorPreferences *preferences();
    void openOutside(const QUrl &url);
    // Makes `guide` (titled `title`) when needed and shows it.
    void showGuideWindow(std::unique_ptr<KVXStaticWebWindowController> &guide, const QString &title);

    TZRThemeController *m_extras;
    SmartEditorPreferences *m_preferences;
    std::unique_ptr<MainMenu> m_mainMenu;
    std::unique_ptr<KVXStaticWebWindowController> m_cheatSheet;
    std::unique_ptr<KVXStaticWebWindowController> m_guide;
    QTimer *m_ourTimer = nullptr;
    qint64 m_targetTimeInUse = 0;
    QString m_crashReportsFolder = QStringLiteral("/var/crash");
    QPointer<QFontDialog> m_fontPanel;
    DocumentOpener m_documentOpener;
    std::unique_ptr<WindowExtras> m_windowExtras;
    bool m_documentsInstalled = false;
    QPointer<QWidget> m_lastActiveWindow;
    QHash<QString, std::function<void()>> m_commands;
};
