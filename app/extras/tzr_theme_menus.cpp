// The theme and style-sheet menus, their preference popups, and the actions
// that open the extras folders.
#include <QAction>
#include <QComboBox>
#include <QMenu>
#include <QSignalBlocker>
#include <QUrl>

#include "app/extras/tzr_theme_controller.h"
#include "app/help/maker_addresses.h"
#include "platform/files/folders.h"
#include "platform/files/native_path.h"
#include "platform/files/workspace.h"
#include "platform/prefs/defaults.h"
#include "platform/runtime/action_router.h"

namespace {

struct MenuKind {
    const char *menuAction;     // the main menu items' action name
    const char *defaultKey;     // the preference of the popup
};
constexpr MenuKind kTheme{"selectTheme:", "defaultTheme"};
constexpr MenuKind kCSS{"selectCSS:", "defaultCSS"};

void selectTitle(QComboBox *button, const QString &title) {
    const int index = button->findText(title);
    if (index >= 0)
        button->setCurrentIndex(index);
}

}  // namespace

void TZRThemeController::setThemeMenu(QMenu *menu) { m_themeMenu = menu; }
void TZRThemeController::setCSSMenu(QMenu *menu) { m_cssMenu = menu; }

void TZRThemeController::setThemeButton(QComboBox *button) {
    if (m_themeButton)
        disconnect(m_themeButton, nullptr, this, nullptr);
    m_themeButton = button;
    if (button)
        connect(button, &QComboBox::activated, this,
                [this, button](int index) { selectDefaultTheme(button->itemText(index)); });
}

void TZRThemeController::setCSSButton(QComboBox *button) {
    if (m_cssButton)
        disconnect(m_cssButton, nullptr, this, nullptr);
    m_cssButton = button;
    if (button)
        connect(button, &QComboBox::activated, this,
                [this, button](int index) { selectDefaultCSS(button->itemText(index)); });
}

void TZRThemeController::awakeFromNib() {
    updateThemeMenu();
    updateCSSMenu();
}

void TZRThemeController::updateThemeMenu() { updateMenu(Kind::Theme); }
void TZRThemeController::updateCSSMenu() { updateMenu(Kind::CSS); }

void TZRThemeController::updateMenu(Kind kind) {
    const bool theme = kind == Kind::Theme;
    const MenuKind &menuKind = theme ? kTheme : kCSS;
    QMenu *menu = theme ? m_themeMenu : m_cssMenu;
    QComboBox *button = theme ? m_themeButton : m_cssButton;
    const QStringList names = listOf(kind);
    const QString defaultName = platform::Defaults::standard().stringForKey(menuKind.defaultKey);

    if (menu) {
        menu->clear();
        bool ticked = false;
        for (const QString &name : names) {
            QAction *item = menu->addAction(QString(name).replace(u'&', QStringLiteral("&&")));
            item->setObjectName(menuKind.menuAction);
            item->setData(name);
            item->setCheckable(true);
            // The first item of the default's name carries the tick.
            item->setChecked(!ticked && !defaultName.isEmpty() && name == defaultName);
            ticked = ticked || item->isChecked();
            // The window in front applies it, and ticks its own when the
            // menu shows.
            platform::ActionRouter::setAction(item, QString::fromLatin1(menuKind.menuAction));
        }
    }
    if (button) {
        // Filling the popup is not a choice of the user's.
        const QSignalBlocker quiet(button);
        button->clear();
        button->addItems(names);
        if (!defaultName.isEmpty())
            selectTitle(button, defaultName);
    }
    startWatching(kind);
}

void TZRThemeController::selectDefaultTheme(const QString &title) {
    platform::Defaults::standard().setObject(title, kTheme.defaultKey);
    if (m_themeButton)
        selectTitle(m_themeButton, title);
}

void TZRThemeController::selectDefaultCSS(const QString &title) {
    platform::Defaults::standard().setObject(title, kCSS.defaultKey);
    if (m_cssButton)
        selectTitle(m_cssButton, title);
}

QString TZRThemeController::styleNameOf(const QAction *item) {
    if (!item)
        return {};
    // Menus show "&" as "&&" so that it is not taken for a shortcut mark:
    // the name the item was made for is kept beside its text.
    const QVariant name = item->data();
    return name.typeId() == QMetaType::QString ? name.toString() : item->text().remove(u'&');
}

bool TZRThemeController::validateUserInterfaceItem(QAction *item, const QString &activeStyle) {
    if (item) {
        item->setCheckable(true);
        item->setChecked(styleNameOf(item) == activeStyle);
    }
    return true;
}

namespace {

// How an alert names the folder of a kind, as its menu item does.
QString folderDescription(TZRThemeController::Kind kind) {
    switch (kind) {
    case TZRThemeController::Kind::Theme:
        return QStringLiteral("The Themes folder");
    case TZRThemeController::Kind::CSS:
        return QStringLiteral("The Style Sheets folder");
    case TZRThemeController::Kind::Expansions:
        return QStringLiteral("The Expansions folder");
    case TZRThemeController::Kind::KeyBindings:
        break;
    }
    return QStringLiteral("The Key Bindings folder");
}

}  // namespace

bool TZRThemeController::openFolder(Kind kind) {
    const QString folder = userFolder(kind);
    const bool made = !folder.isEmpty() && platform::Folders::ensureFolder(folder);
    // A folder that cannot be made, or that no file manager opens, is told
    // with its path: the user may make or open it by hand.
    if (made)
        platform::Workspace::openFolderOrTell(folder, folderDescription(kind));
    else
        platform::Workspace::tellNotOpened(
            folderDescription(kind), QString(),
            folder.isEmpty() ? QStringLiteral("There is no data folder to make it in.")
                             : QStringLiteral("It could not be made at %1.").arg(platform::displayablePath(folder)));
    if (kind == Kind::Theme || kind == Kind::CSS)
        updateMenu(kind);
    return made;
}

bool TZRThemeController::openThemesFolder() { return openFolder(Kind::Theme); }
bool TZRThemeController::openCSSFolder() { return openFolder(Kind::CSS); }
bool TZRThemeController::openExpansionFolder() { return openFolder(Kind::Expansions); }
bool TZRThemeController::openKeyBindingsFolder() { return openFolder(Kind::KeyBindings); }

void TZRThemeController::getMoreThemes() {
    platform::Workspace::openExternallyOrTell(QUrl(QString::fromLatin1(maker::kExtrasPage)),
                                              QStringLiteral("The page of more themes"));
}
