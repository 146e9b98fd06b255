// The keeper of the user's extras: editor themes, preview style sheets,
// expansion sets and key bindings. It installs the application's own
// defaults into the user's folders, lists what is available, finds the file
// of a name, builds the theme and style-sheet menus, watches the folders and
// hands out the key-binding table.
//
//   kind          extension     folder under each data folder
//   theme         "theme"       "Tessaro Orvane 4/Themes"
//   style sheet   "css"         "Tessaro Orvane 4/CSS"
//   expansions    "json"        "Tessaro Orvane 4/Expansions"
//   key bindings  "keybinding"  "Tessaro Orvane 4/KeyBindings" (the file "default")
//
// Every path handed out names a real file that the text engine's readers can
// open. Lists and paths are worked out afresh on each call and may be asked
// from any thread; menus, actions and watchers belong to the main thread.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <array>
#include <memory>

#include "editor/editor_interfaces.h"
#include "platform/files/directory_watcher.h"
#include "library/stack.h"

class QAction;
class QComboBox;
class QMenu;

// Where extras are looked for.
struct TZRExtrasLocations {
    // The application's own extras, every kind side by side in one folder.
    QString resources;
    // The data folder of every domain, the user's first (see
    // platform::Folders::dataFolders); the kinds' folders lie below them.
    QStringList dataFolders;
};

// Keeps the extras in step with the user's other devices. The controller
// tells it when the extras folders changed.
class TZRExtrasSync {
public:
    virtual ~TZRExtrasSync() = default;
    virtual void syncLocalToCloud() = 0;
};

class TZRThemeController : public QObject,
                           public DirectoryWatcherDelegate,
                           public ExtrasProvider,
                           public KeyBindingProvider {
    Q_OBJECT
public:
    enum class Kind { Theme, CSS, Expansions, KeyBindings };
    static QString extensionOf(Kind kind);
    static QString folderOf(Kind kind);  // "Tessaro Orvane 4/Themes" ...

    // The application's one controller, made on first use (from the main
    // thread) over the standard locations, with the defaults installed and
    // the extras kept in step with the user's other machines
    // (TZRExtrasCloudSync).
    static TZRThemeController *sharedController();
    // The application's extras (from its resources) and the user's folders.
    static TZRExtrasLocations standardLocations();

    explicit TZRThemeController(TZRExtrasLocations locations, QObject *parent = nullptr);
    ~TZRThemeController() override;
    const TZRExtrasLocations &locations() const { return m_locations; }

    // --- Lists and paths ---------------------------------------------------

    // The names (file names without the extension) of the extras with
    // `extension` in the application's resources and in `folder` below every
    // data folder, each once, sorted ignoring case.
    QStringList resourceListForExtension(const QString &extension, const QString &folder) const;
    QStringList themeList() const;
    QStringList cssList() const;
    // Starts watching the user's expansion folder on the first call.
    QStringList expansionList() const;
    // The file of every expansion set, in the order of `expansionList`: what
    // the editor loads.
    QStringList expansionFilePaths() const override;

    // The file of `name`: the application's own copy unless a data folder
    // holds one; of several data folders the last (user, then the machine's
    // in order) wins. Empty when there is none or the name is not a plain
    // file name.
    QString filePathForResourceNamed(const QString &name, const QString &extension,
                                     const QString &folder) const;
    QString filePathForThemeNamed(const QString &name) const;
    QString filePathForCSSNamed(const QString &name) const;
    QString filePathForExpansionNamed(const QString &name) const;
    QString filePathForKeyBindings() const;  // "default.keybinding"

    // Where the user's own copy of `name` is or would be.
    QString possiblePathForCustomResourceNamed(const QString &name, const QString &extension,
                                               const QString &folder) const;
    // The user's folder of a kind's extras.
    QString userFolder(Kind kind) const;

    // The application's own extras with `extension`, sorted.
    QStringList defaultResourcesForExtension(const QString &extension) const;

    // --- Installing the defaults ------------------------------------------

    // Copies `path` into the user's `folder`, made as needed. A file already
    // there is replaced only with `overWrite`. True when a copy was made;
    // failures are logged with their reason.
    bool installResource(const QString &path, const QString &folder, bool overWrite);
    void installDefaultResourcesForExtension(const QString &extension, const QString &folder);
    // Every default the user's folders lack; the user's files are never
    // replaced, so a deleted default comes back at the next launch.
    void installDefaultResources();

    // --- Key bindings -------------------------------------------------------

    // The key-binding table of the user's "default.keybinding", or the
    // built-in bindings when that file is missing, unreadable or empty
    // ("Error loading custom key bindings" is logged for the last two). The
    // caller owns the table: key_bindings_free. Starts watching the user's
    // key-binding folder on the first call.
    stack *keyBindingStack() override;
    // The built-in bindings, as the text of a key-binding file.
    static const char *builtInKeyBindings();

    // --- Menus and actions (main thread) ------------------------------------

    // The theme submenu of the main menu and the default-theme popup of the
    // preferences; the same for style sheets. Any of them may be absent.
    void setThemeMenu(QMenu *menu);
    void setThemeButton(QComboBox *button);
    void setCSSMenu(QMenu *menu);
    void setCSSButton(QComboBox *button);
    // Fills the menus and popups once they are set.
    void awakeFromNib();

    // Rebuilds the menu and the popup of a kind from its list, ticking the
    // default ("defaultTheme", "defaultCSS"); starts watching that kind's
    // folder on the first call. The menu's items send "selectTheme:" and
    // "selectCSS:" to the window in front (platform::ActionRouter).
    void updateThemeMenu();
    void updateCSSMenu();

    // The popups' actions: store the default and show it in the popup.
    void selectDefaultTheme(const QString &title);
    void selectDefaultCSS(const QString &title);

    // The name of the theme or style sheet a menu item stands for.
    static QString styleNameOf(const QAction *item);
    // Ticks `item` when its title is `activeStyle`, unticks it otherwise;
    // documents tick their own theme or style sheet this way. Always true.
    static bool validateUserInterfaceItem(QAction *item, const QString &activeStyle);

    // Make the user's folder of the kind and show it in the file manager;
    // false when it cannot be made. A folder that cannot be made or shown
    // is told in an alert with its path. Themes and style sheets rebuild
    // their menus afterwards either way.
    bool openThemesFolder();
    bool openCSSFolder();
    bool openExpansionFolder();
    bool openKeyBindingsFolder();
    // Opens the web page about more extras (told in an alert with its
    // address when no browser opens it).
    void getMoreThemes();

    void directoryDidChange(DirectoryWatcher *watcher) override;
    // The synchronisation told of folder changes; none by default.
    void setExtrasSync(TZRExtrasSync *sync) { m_sync = sync; }

private:
    QStringList listOf(Kind kind) const;
    void updateMenu(Kind kind);
    bool openFolder(Kind kind);
    void startWatching(Kind kind) const;

    TZRExtrasLocations m_locations;
    QPointer<QMenu> m_themeMenu, m_cssMenu;
    QPointer<QComboBox> m_themeButton, m_cssButton;
    // Started by the first question that needs them, answers included.
    mutable std::array<std::unique_ptr<DirectoryWatcher>, 4> m_watchers;
    mutable std::array<bool, 4> m_watchStarted{};
    TZRExtrasSync *m_sync = nullptr;
};
