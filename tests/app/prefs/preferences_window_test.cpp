// The preferences window: panes under a toolbar, the cross-fade and its
// timing, reopening on the last pane, Ctrl+W, and controls bound both ways
// to the preferences, an open editor following a change made there (its
// margins, its font, lines and alignment).
#include "app/prefs/smart_editor_preferences.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QDoubleSpinBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QToolBar>

#include <gtest/gtest.h>

#include <memory>

#include "app/extras/tzr_theme_controller.h"
#include "editor/smart_text_view.h"
#include "editor/view/kvx_text_view.h"
#include "editor/storage/smart_text_storage.h"
#include "platform/prefs/registered_defaults.h"
#include "support/qt_wait.h"

using namespace std::chrono_literals;

namespace {

// The preferences with the Shift key under the test's control.
class TestPreferences : public SmartEditorPreferences {
public:
    using SmartEditorPreferences::SmartEditorPreferences;
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;

protected:
    Qt::KeyboardModifiers currentModifiers() const override { return modifiers; }
};

class PreferencesWindow : public testing::Test {
protected:
    void SetUp() override {
        m_extras = std::make_unique<TZRThemeController>(TZRThemeController::standardLocations());
        m_prefs = std::make_unique<TestPreferences>(&defaults(), m_extras.get());
    }
    void TearDown() override { m_prefs.reset(); }

    platform::Defaults &defaults() { return m_scoped.defaults(); }
    QMainWindow *window() { return m_prefs->window(); }

    void waitForAnimation() {
        ASSERT_TRUE(testing_qt::spinUntil(
            [&] { return m_prefs->viewAnimation()->state() == QAbstractAnimation::Stopped; }, 5s));
    }
    template <typename Control>
    Control *control(const QString &pane, const QString &key) {
        QWidget *view = m_prefs->paneView(pane);
        return view ? view->findChild<Control *>(key) : nullptr;
    }

    platform::ScopedStandardDefaults m_scoped;
    std::unique_ptr<TZRThemeController> m_extras;
    std::unique_ptr<TestPreferences> m_prefs;
};

TEST_F(PreferencesWindow, OpensOnTheFirstPaneThenOnTheLastShownAndFallsBackFromAStalePane) {
    m_prefs->showWindow();
    ASSERT_TRUE(window()->isVisible());
    EXPECT_EQ(m_prefs->toolbarIdentifiers(), SmartEditorPreferences::paneLabels());
    EXPECT_EQ(m_prefs->toolbar()->actions().size(), 10);
    EXPECT_EQ(m_prefs->selectedIdentifier(), "General");
    EXPECT_EQ(window()->windowTitle(), "General");
    EXPECT_EQ(m_prefs->contentSubviews(), QList<QWidget *>{m_prefs->paneView("General")});
    EXPECT_EQ(defaults().stringForKey("lastPreferenceIdentifier"), "General");

    // The window is the pane's size under the toolbar.
    QWidget *general = m_prefs->paneView("General");
    EXPECT_EQ(window()->width(), general->width());
    EXPECT_EQ(window()->height(), general->height() + m_prefs->toolbar()->height());

    m_prefs->toolbarItemForIdentifier("Printing")->trigger();
    waitForAnimation();
    window()->close();
    EXPECT_FALSE(window()->isVisible());
    m_prefs->showWindow();
    EXPECT_EQ(m_prefs->selectedIdentifier(), "Printing");
    EXPECT_EQ(window()->windowTitle(), "Printing");
    EXPECT_EQ(m_prefs->contentSubviews(), QList<QWidget *>{m_prefs->paneView("Printing")});
    // The toolbar is made once, whatever the number of openings.
    EXPECT_EQ(window()->findChildren<QToolBar *>().size(), 1);
    EXPECT_EQ(m_prefs->toolbar()->actions().size(), 10);

    window()->close();
    defaults().setObject(QStringLiteral("Sharing"), "lastPreferenceIdentifier");
    m_prefs->showWindow();
    EXPECT_EQ(m_prefs->selectedIdentifier(), "General");
    EXPECT_EQ(m_prefs->contentSubviews(), QList<QWidget *>{m_prefs->paneView("General")});
}

TEST_F(PreferencesWindow, CrossFadeTakesAQuarterSecondOrOneAndAQuarterWithShiftAndKeepsTheTopLeft) {
    m_prefs->showWindow();
    const QPoint topLeft = window()->geometry().topLeft();
    auto durations = [&] {
        QList<int> list;
        for (int i = 0; i < m_prefs->viewAnimation()->animationCount(); i++)
            list << m_prefs->viewAnimation()->animationAt(i)->duration();
        return list;
    };

    m_prefs->toolbarItemForIdentifier("Printing")->trigger();
    EXPECT_EQ(durations(), (QList<int>{250, 250, 250}));
    // While it runs the holder holds both panes, the new one last.
    EXPECT_EQ(m_prefs->contentSubviews(),
              (QList<QWidget *>{m_prefs->paneView("General"), m_prefs->paneView("Printing")}));
    waitForAnimation();
    EXPECT_EQ(m_prefs->contentSubviews(), QList<QWidget *>{m_prefs->paneView("Printing")});
    EXPECT_FALSE(m_prefs->paneView("General")->isVisible());
    QWidget *printing = m_prefs->paneView("Printing");
    EXPECT_EQ(window()->geometry(),
              QRect(topLeft, QSize(printing->width(), printing->height() + m_prefs->toolbar()->height())));
    EXPECT_EQ(window()->windowTitle(), "Printing");

    m_prefs->modifiers = Qt::ShiftModifier;
    m_prefs->toolbarItemForIdentifier("Appearance")->trigger();
    EXPECT_EQ(durations(), (QList<int>{1250, 1250, 1250}));
    m_prefs->setShiftSlowsAnimation(false);
    m_prefs->toolbarItemForIdentifier("General")->trigger();
    EXPECT_EQ(durations(), (QList<int>{250, 250, 250}));
    // A change made mid-fade leaves one pane, the last chosen.
    waitForAnimation();
    EXPECT_EQ(m_prefs->contentSubviews(), QList<QWidget *>{m_prefs->paneView("General")});
    EXPECT_EQ(window()->geometry().topLeft(), topLeft);
}

TEST_F(PreferencesWindow, ThePaneShownAgainChangesNothingButTheStoredPane) {
    m_prefs->showWindow();
    const QRect frame = window()->geometry();
    defaults().setObject(QStringLiteral("Files"), "lastPreferenceIdentifier");
    m_prefs->toolbarItemForIdentifier("General")->trigger();
    EXPECT_EQ(m_prefs->viewAnimation()->state(), QAbstractAnimation::Stopped);
    EXPECT_EQ(m_prefs->contentSubviews(), QList<QWidget *>{m_prefs->paneView("General")});
    EXPECT_EQ(window()->geometry(), frame);
    EXPECT_EQ(defaults().stringForKey("lastPreferenceIdentifier"), "General");

    // Without the cross-fade a change is immediate.
    m_prefs->setCrossFade(false);
    m_prefs->loadViewForIdentifier("Files", false);
    EXPECT_EQ(m_prefs->contentSubviews(), QList<QWidget *>{m_prefs->paneView("Files")});
    EXPECT_EQ(m_prefs->selectedIdentifier(), "Files");
}

TEST_F(PreferencesWindow, CtrlWClosesTheWindowAndOtherKeysDoNot) {
    m_prefs->showWindow();
    QKeyEvent other(QEvent::KeyPress, Qt::Key_W, Qt::AltModifier, "w");
    QCoreApplication::sendEvent(window(), &other);
    EXPECT_TRUE(window()->isVisible());
    QKeyEvent close(QEvent::KeyPress, Qt::Key_W, Qt::ControlModifier, "w");
    QCoreApplication::sendEvent(window(), &close);
    EXPECT_FALSE(window()->isVisible());
}

TEST_F(PreferencesWindow, ControlsShowStoreAndFollowTheirPreferencesInTheKeysKinds) {
    m_prefs->showWindow();
    auto *smart = control<QCheckBox>("TZR", "EXT_SMART");
    auto *padding = control<QSpinBox>("Appearance", "horizontalPadding");
    auto *lineHeight = control<QDoubleSpinBox>("Appearance", "lineHeight");
    auto *comment = control<QLineEdit>("CriticMarkup", "markupComment");
    auto *marker = control<QComboBox>("TZR", "tzrListMarker");
    ASSERT_TRUE(smart && padding && lineHeight && comment && marker);

    // Registered values show first.
    EXPECT_TRUE(smart->isChecked());
    EXPECT_EQ(padding->value(), 40);
    EXPECT_DOUBLE_EQ(lineHeight->value(), 1.0);
    EXPECT_EQ(comment->text(), "");
    EXPECT_EQ(marker->currentIndex(), 0);

    // The user's changes are stored in the key's kind.
    smart->click();
    EXPECT_TRUE(defaults().hasStoredValue("EXT_SMART"));
    EXPECT_FALSE(defaults().boolForKey("EXT_SMART"));
    EXPECT_EQ(defaults().objectForKey("EXT_SMART").typeId(), QMetaType::Bool);
    padding->setValue(72);
    EXPECT_EQ(defaults().integerForKey("horizontalPadding"), 72);
    lineHeight->setValue(1.5);
    EXPECT_EQ(defaults().objectForKey("lineHeight").typeId(), QMetaType::Float);
    EXPECT_FLOAT_EQ(defaults().floatForKey("lineHeight"), 1.5f);
    marker->setCurrentIndex(2);
    emit marker->activated(2);
    EXPECT_EQ(defaults().integerForKey("tzrListMarker"), 2);

    // A field stores when editing ends, not while typing.
    comment->setText("Ann");
    comment->setModified(true);
    EXPECT_FALSE(defaults().hasStoredValue("markupComment"));
    emit comment->editingFinished();
    EXPECT_EQ(defaults().stringForKey("markupComment"), "Ann");

    // Changes made elsewhere show at once, and showing them stores nothing.
    int stores = 0;
    defaults().observe("horizontalPadding", window(), [&](const QVariant &) { stores++; });
    defaults().setInteger(9, "horizontalPadding");
    EXPECT_EQ(padding->value(), 9);
    EXPECT_EQ(stores, 1);
    defaults().setBool(true, "EXT_SMART");
    EXPECT_TRUE(smart->isChecked());
    defaults().setObject(QStringLiteral("Bo"), "markupComment");
    EXPECT_EQ(comment->text(), "Bo");
    defaults().setInteger(7, "tzrListMarker");
    EXPECT_EQ(marker->currentIndex(), -1);
    // A value beyond a box's range shows clamped and stays stored as it is.
    defaults().setInteger(5000, "horizontalPadding");
    EXPECT_EQ(padding->value(), 1000);
    EXPECT_EQ(defaults().integerForKey("horizontalPadding"), 5000);

    // Font field follows the font preferences.
    defaults().setObject(QStringLiteral("DejaVu Serif"), "defaultFontName");
    defaults().setFloat(15, "defaultFontSize");
    EXPECT_EQ(m_prefs->defaultFontField()->text(), "DejaVu Serif 15 pt");
}

TEST_F(PreferencesWindow, TheThemeAndStyleSheetPopupsSetTheDefaults) {
    m_prefs->showWindow();
    auto *themes = control<QComboBox>("Appearance", "defaultTheme");
    auto *css = control<QComboBox>("Preview", "defaultCSS");
    ASSERT_TRUE(themes && css);
    EXPECT_GT(themes->count(), 1);
    EXPECT_EQ(themes->currentText(), "Solarized-Dark");
    EXPECT_EQ(css->currentText(), "Github");
    const int typewriter = themes->findText("Typewriter");
    ASSERT_GE(typewriter, 0);
    themes->setCurrentIndex(typewriter);
    emit themes->activated(typewriter);
    EXPECT_EQ(defaults().stringForKey("defaultTheme"), "Typewriter");
}

TEST_F(PreferencesWindow, AnOpenEditorFollowsAPreferenceChangedInTheWindow) {
    SmartTextStorage storage(defaults());
    KVXTextView editor(&storage, &defaults());
    editor.resize(800, 600);
    editor.show();
    storage.setInitialText(QStringLiteral("# Title\n\nSome text.\n"));
    EXPECT_DOUBLE_EQ(editor.rawHorizontalPadding(), 40);

    m_prefs->showWindow();
    control<QSpinBox>("Appearance", "horizontalPadding")->setValue(120);
    EXPECT_DOUBLE_EQ(editor.rawHorizontalPadding(), 120);
    control<QDoubleSpinBox>("Appearance", "typewriterHeight")->setValue(0.25);
    EXPECT_DOUBLE_EQ(editor.typewriterHeight(), 0.25);
}

// The font's name and size, the line height and the alignment reach an open
// Markdown editor at once: its text is shown in the new font and lines.
TEST_F(PreferencesWindow, TheFontLineHeightAndAlignmentReachAnOpenEditorAtOnce) {
    defaults().setObject(QStringLiteral("DejaVu Sans"), "defaultFontName");
    defaults().setFloat(12, "defaultFontSize");
    SmartTextStorage storage(defaults());
    SmartTextView editor(&storage, &defaults());
    editor.resize(800, 600);
    editor.show();
    // A theme of no looks of its own: the preferences decide them.
    QTemporaryDir themes;
    QFile plain(themes.filePath("plain.theme"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.write("{}");
    plain.close();
    storage.applyThemeFromPath(plain.fileName());
    storage.setInitialText(QStringLiteral("Some text.\n\nMore text.\n"));
    EXPECT_EQ(storage.attributesAt(0).pointSize, 12);

    // What the font chooser stores.
    defaults().setFloat(17, "defaultFontSize");
    EXPECT_EQ(storage.attributesAt(0).pointSize, 17);
    EXPECT_EQ(storage.defaultFont().pointSize(), 17);
    EXPECT_EQ(editor.defaultFont().pointSize(), 17);
    defaults().setObject(QStringLiteral("DejaVu Serif"), "defaultFontName");
    EXPECT_EQ(storage.defaultFont().family(), "DejaVu Serif");
    EXPECT_EQ(storage.attributesAt(0).family, "DejaVu Serif");

    m_prefs->showWindow();
    control<QDoubleSpinBox>("Appearance", "lineHeight")->setValue(1.5);
    EXPECT_EQ(storage.document()->firstBlock().blockFormat().lineHeight(), 150);
    auto *alignment = control<QComboBox>("Appearance", "defaultTextAlignment");
    ASSERT_TRUE(alignment);
    alignment->setCurrentIndex(2);
    emit alignment->activated(2);
    EXPECT_EQ(storage.document()->firstBlock().blockFormat().alignment(), Qt::AlignRight);
    EXPECT_EQ(storage.document()->lastBlock().previous().blockFormat().alignment(), Qt::AlignRight);
}

}  // namespace
