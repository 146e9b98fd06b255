#include "window/sidebars/kvx_appearance_controller.h"

#include <QLineEdit>
#include <QPalette>
#include <QWidget>

#include "platform/prefs/defaults.h"
#include "platform/runtime/framework_version.h"
#include "window/sidebars/kvx_list_views.h"
#include "window/window_log.h"

namespace {

// The vibrant backgrounds' stand-ins: the materials' tints, translucent.
const QColor kVibrantLightTint(246, 246, 246, 230);
const QColor kVibrantDarkTint(40, 40, 40, 230);

}  // namespace

QColor KVXAppearanceController::highlightColor() { return QColor::fromRgb(56, 117, 215); }

QColor KVXAppearanceController::inactiveHighlightColor() { return QColor::fromRgb(202, 202, 202); }

int KVXAppearanceController::appearanceTheme() {
    return int(platform::Defaults::standard().integerForKey(QStringLiteral("appearanceTheme")));
}

bool KVXAppearanceController::vibrantSettingIsDark(int setting) {
    if (setting == 0)
        return false;
    if (setting != 1)
        qCWarning(lcWindow, "unrecognized value for appearanceTheme");
    return true;
}

QColor KVXAppearanceController::systemTextColor(bool dark) { return dark ? Qt::white : Qt::black; }

void KVXAppearanceController::configureHUDAppearance(QWidget *panel) {
    if (!panel || !platform::FrameworkVersion::hasVibrancy())
        return;
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, kVibrantDarkTint);
    palette.setColor(QPalette::WindowText, Qt::white);
    panel->setPalette(palette);
}

void KVXAppearanceController::configureSearchAppearance(QLineEdit *, bool) {}

void KVXAppearanceController::setAquaCustomColorsForTable(KVXColouredList &list) {
    list.setHighlightStyle(KVXColouredList::HighlightStyle::None);
    list.setTextColor(Qt::black);
    list.setHighlightedTextColor(Qt::white);
    list.setInactiveHighlightedTextColor(Qt::black);
    list.setHighlightColor(highlightColor());
    list.setInactiveHighlightColor(inactiveHighlightColor());
}

void KVXAppearanceController::configureTableAppearance(KVXColouredList &list, bool forHUD) {
    const int setting = appearanceTheme();
    if (!forHUD && setting >= 2) {
        setAquaCustomColorsForTable(list);
        return;
    }
    if (!platform::FrameworkVersion::hasVibrancy())
        return;
    const bool dark = forHUD || vibrantSettingIsDark(setting);
    list.setAppearance(dark ? ListAppearance::VibrantDark : ListAppearance::VibrantLight);
    list.setHighlightStyle(KVXColouredList::HighlightStyle::None);
    list.setTextColor(systemTextColor(dark));
    list.setHighlightedTextColor(Qt::white);
    list.setInactiveHighlightedTextColor(systemTextColor(dark));
    list.setHighlightColor(highlightColor());
    list.setInactiveHighlightColor(inactiveHighlightColor());
}

QColor KVXAppearanceController::textColorForTableColumnforHUD(bool forHUD) {
    if (forHUD)
        return Qt::white;
    if (!platform::FrameworkVersion::hasVibrancy())
        return Qt::black;
    const int setting = appearanceTheme();
    // The plain settings give the list a text colour that replaces this one
    // before anything is drawn.
    if (setting == 2 || setting == 3)
        return Qt::black;
    return systemTextColor(vibrantSettingIsDark(setting));
}

QWidget *KVXAppearanceController::backgroundLayerForWindow(QWidget *window) {
    auto *layer = new QWidget;
    if (window)
        layer->setGeometry(window->contentsRect());
    const int setting = appearanceTheme();
    if (!platform::FrameworkVersion::hasVibrancy() || setting == 2 || setting == 3)
        return layer;
    layer->setAutoFillBackground(true);
    QPalette palette = layer->palette();
    palette.setColor(QPalette::Window, vibrantSettingIsDark(setting) ? kVibrantDarkTint : kVibrantLightTint);
    layer->setPalette(palette);
    return layer;
}

int KVXAppearanceController::actualAppearanceTheme() {
    const int setting = appearanceTheme();
    if (platform::FrameworkVersion::hasVibrancy())
        return setting;
    return setting > 2 ? 3 : 2;
}
