// The look of sidebar lists: "appearanceTheme" read on systems without
// vibrant materials (this one) and with them, the plain colours as painted,
// and the colours a style sheet gives.
#include <QLineEdit>
#include <QPainter>

#include "platform/runtime/framework_version.h"
#include "window/sidebar_test_support.h"
#include "support/log_capture.h"
#include "window/sidebars/kvx_appearance_controller.h"
#include "window/sidebars/kvx_filter_outline_view.h"
#include "window/sidebars/kvx_filter_table_view.h"
#include "window/sidebars/kvx_list_views.h"

using namespace sidebartest;

namespace {

using Controller = KVXAppearanceController;
const QColor kBlue(56, 117, 215), kGrey(202, 202, 202);

void setTheme(platform::Defaults &defaults, int theme) {
    defaults.setInteger(theme, QStringLiteral("appearanceTheme"));
}

bool nearColor(QRgb pixel, const QColor &color, int tolerance = 3) {
    return qAbs(qRed(pixel) - color.red()) <= tolerance && qAbs(qGreen(pixel) - color.green()) <= tolerance &&
           qAbs(qBlue(pixel) - color.blue()) <= tolerance;
}

// The darkest and lightest pixels of an area.
std::pair<int, int> grayRange(const QImage &image, QRect area) {
    int dark = 255, light = 0;
    area &= image.rect();
    for (int y = area.top(); y <= area.bottom(); y++)
        for (int x = area.left(); x <= area.right(); x++) {
            dark = std::min(dark, qGray(image.pixel(x, y)));
            light = std::max(light, qGray(image.pixel(x, y)));
        }
    return {dark, light};
}

bool hasInk(const QImage &image, QRect area, const std::function<bool(QRgb)> &ink) {
    area &= image.rect();
    for (int y = area.top(); y <= area.bottom(); y++)
        for (int x = area.left(); x <= area.right(); x++)
            if (ink(image.pixel(x, y)))
                return true;
    return false;
}

}  // namespace

class AppearanceTest : public DocumentTest {};

TEST_F(AppearanceTest, PlainSettingsGiveFixedColoursPaintedBlueWhileActiveAndGreyOtherwise) {
    setTheme(defaults, 2);
    auto *table = place(new KVXFilterTableView);
    table->setContent({QVariantMap{{"label", "Selected row"}}, QVariantMap{{"label", "Plain row"}}});
    KVXTableView *list = table->tableView();
    EXPECT_EQ(list->highlightStyle(), KVXColouredList::HighlightStyle::None);
    EXPECT_EQ(list->textColor(), QColor(Qt::black));
    EXPECT_EQ(list->highlightedTextColor(), QColor(Qt::white));
    EXPECT_EQ(list->inactiveHighlightedTextColor(), QColor(Qt::black));
    EXPECT_EQ(list->highlightColor(), kBlue);
    EXPECT_EQ(list->inactiveHighlightColor(), kGrey);

    show();
    table->selectRow(0);
    list->setFocus();
    testing_qt::spinUntil([&] { return list->isActiveList(); }, std::chrono::milliseconds(500));
    ASSERT_TRUE(list->isActiveList());
    const QRect selected = list->visualRect(list->model()->index(0, 0));
    const QRect plain = list->visualRect(list->model()->index(1, 0));
    QImage active = grab(list->viewport());
    EXPECT_TRUE(nearColor(active.pixel(selected.right() - 3, selected.center().y()), kBlue));
    // White text on the blue; black text on the clear rows.
    EXPECT_TRUE(hasInk(active, selected, [](QRgb p) { return qGray(p) > 235; }));
    EXPECT_LT(grayRange(active, plain).first, 80);

    editor->setFocus();  // the list is no longer the one that acts
    testing_qt::spinUntil([&] { return !list->isActiveList(); }, std::chrono::milliseconds(500));
    QImage inactive = grab(list->viewport());
    EXPECT_TRUE(nearColor(inactive.pixel(selected.right() - 3, selected.center().y()), kGrey));
    EXPECT_LT(grayRange(inactive, selected).first, 80);  // black selected text
    EXPECT_FALSE(hasInk(inactive, selected, [](QRgb p) { return nearColor(p, kBlue, 30); }));

    // The theme's sidebar colours, where the style sheet gives them, over the plain ones.
    table->applyStyleSheet({{"sidebars", QVariantMap{{"textColor", "#FF0000"}, {"highlightColor", "#00FF00"}}}});
    EXPECT_EQ(list->textColor(), QColor(Qt::red));
    EXPECT_EQ(list->highlightColor(), QColor(Qt::green));
    EXPECT_EQ(list->inactiveHighlightColor(), kGrey);
    EXPECT_EQ(list->highlightedTextColor(), QColor(Qt::white));
    table->applyStyleSheet({});
    EXPECT_EQ(list->textColor(), QColor(Qt::black));
}

TEST_F(AppearanceTest, WithoutVibrancyTheVibrantSettingsLeaveListsAsThePlatformDrawsThem) {
    for (int theme : {0, 1}) {
        setTheme(defaults, theme);
        KVXFilterOutlineView outline;
        KVXOutlineView *list = outline.tableView();
        EXPECT_FALSE(list->highlightColor().isValid()) << theme;
        EXPECT_EQ(list->highlightStyle(), KVXColouredList::HighlightStyle::Regular);
        EXPECT_EQ(list->appearance(), ListAppearance::Platform);
        EXPECT_TRUE(list->styleDrawsSelection());
        EXPECT_EQ(Controller::textColorForTableColumnforHUD(false), QColor(Qt::black));
        EXPECT_EQ(Controller::actualAppearanceTheme(), theme > 2 ? 3 : 2);
        std::unique_ptr<QWidget> layer(Controller::backgroundLayerForWindow(window.get()));
        EXPECT_FALSE(layer->autoFillBackground());
    }
    // Lists read any value from 2 up as a plain setting.
    setTheme(defaults, 7);
    KVXFilterTableView plain;
    EXPECT_EQ(plain.tableView()->highlightColor(), kBlue);
    EXPECT_EQ(Controller::actualAppearanceTheme(), 3);
    // A panel keeps the platform's drawing, with white cells.
    EXPECT_EQ(Controller::textColorForTableColumnforHUD(true), QColor(Qt::white));
    KVXTableView list;
    Controller::configureTableAppearance(list, true);
    EXPECT_FALSE(list.highlightColor().isValid());
    QWidget panel;
    const QPalette before = panel.palette();
    Controller::configureHUDAppearance(&panel);
    EXPECT_EQ(panel.palette(), before);
}

TEST_F(AppearanceTest, WithVibrancyListsFollowTheSettingAndPanelsAreAlwaysDark) {
    platform::ScopedFrameworkVersion version(1300);
    testing_qt::LogCapture log;
    KVXTableView list;
    setTheme(defaults, 0);
    Controller::configureTableAppearance(list, false);
    EXPECT_EQ(list.appearance(), ListAppearance::VibrantLight);
    EXPECT_EQ(list.textColor(), QColor(Qt::black));
    EXPECT_EQ(list.highlightedTextColor(), QColor(Qt::white));
    EXPECT_EQ(list.highlightColor(), kBlue);
    EXPECT_EQ(Controller::textColorForTableColumnforHUD(false), QColor(Qt::black));
    EXPECT_EQ(Controller::actualAppearanceTheme(), 0);
    // A panel's list ignores the setting.
    Controller::configureTableAppearance(list, true);
    EXPECT_EQ(list.appearance(), ListAppearance::VibrantDark);
    EXPECT_EQ(list.textColor(), QColor(Qt::white));

    setTheme(defaults, 1);
    Controller::configureTableAppearance(list, false);
    EXPECT_EQ(list.appearance(), ListAppearance::VibrantDark);
    EXPECT_EQ(Controller::textColorForTableColumnforHUD(false), QColor(Qt::white));
    EXPECT_EQ(log.count("unrecognized value for appearanceTheme"), 0);

    // An unknown value makes cells and backgrounds dark, with a log line
    // each time it is read so; lists take any value from 2 up as plain.
    setTheme(defaults, 9);
    EXPECT_EQ(Controller::textColorForTableColumnforHUD(false), QColor(Qt::white));
    std::unique_ptr<QWidget> layer(Controller::backgroundLayerForWindow(window.get()));
    EXPECT_TRUE(layer->autoFillBackground());
    EXPECT_LT(qGray(layer->palette().color(QPalette::Window).rgb()), 80);
    EXPECT_EQ(log.count("unrecognized value for appearanceTheme"), 2);
    Controller::configureTableAppearance(list, false);
    EXPECT_EQ(list.textColor(), QColor(Qt::black));
    EXPECT_EQ(Controller::actualAppearanceTheme(), 9);

    // The plain settings stay plain, backgrounds included.
    setTheme(defaults, 3);
    std::unique_ptr<QWidget> plain(Controller::backgroundLayerForWindow(window.get()));
    EXPECT_FALSE(plain->autoFillBackground());
    EXPECT_EQ(plain->geometry(), window->contentsRect());
    QWidget panel;
    Controller::configureHUDAppearance(&panel);
    EXPECT_LT(qGray(panel.palette().color(QPalette::Window).rgb()), 80);
}
