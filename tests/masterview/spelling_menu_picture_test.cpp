// The editor on a real display with spelling checked: misspelt words under
// red wavy lines, and the context menu of one of them opened by a right
// click, its guesses first and the menu's usual items after them. The
// screen is kept as build/test-artifacts/spelling-menu.png.
#include <QApplication>
#include <QContextMenuEvent>
#include <QImage>
#include <QMenu>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include <map>

#include <gtest/gtest.h>

#include "editor/input/context_menu_controllers.h"
#include "editor/smart_text_view.h"
#include "editor/storage/smart_text_storage.h"
#include "editor/view/text_services.h"
#include "masterview/master_view_support.h"
#include "platform/prefs/defaults.h"
#include "platform/prefs/registered_defaults.h"
#include "support/qt_wait.h"

namespace {

// The wavy line is thin and smoothed: reddish rather than pure red.
bool redInk(QRgb p) { return qRed(p) > 150 && qRed(p) - qGreen(p) > 50 && qRed(p) - qBlue(p) > 50; }

// Red pixels in the band just below a word's glyphs.
int redBelow(const QImage &image, QRect word) {
    int red = 0;
    for (int y = word.bottom() - 4; y <= word.bottom() + 4; y++)
        for (int x = word.left(); x <= word.right(); x++)
            if (image.rect().contains(x, y) && redInk(image.pixel(x, y)))
                red++;
    return red;
}

// A few items of the main menu for the shared context menu.
class FewItems : public ContextMenuSource {
public:
    FewItems() {
        m_items[Item::Copy] = m_menu.addAction(QStringLiteral("Copy"));
        m_items[Item::Copy]->setShortcut(QKeySequence::Copy);
        m_items[Item::Paste] = m_menu.addAction(QStringLiteral("Paste"));
        m_items[Item::Paste]->setShortcut(QKeySequence::Paste);
        m_items[Item::CleanUp] = m_menu.addAction(QStringLiteral("Clean Up"));
    }
    QAction *menuItem(Item item) const override {
        const auto found = m_items.find(item);
        return found == m_items.end() ? nullptr : found->second;
    }

private:
    QMenu m_menu;
    std::map<Item, QAction *> m_items;
};

}  // namespace

TEST(SpellingOnScreen, MisspeltWordsUnderlinedBesideTheContextMenusGuesses) {
    platform::ScopedStandardDefaults scoped;
    platform::Defaults &defaults = scoped.defaults();
    FewItems items;
    SmartTextContextMenuController &controller = SmartTextContextMenuController::sharedController();
    controller.setSource(&items);
    // The menu must not outlive its items, however the test ends.
    struct Unset {
        ~Unset() { SmartTextContextMenuController::sharedController().setSource(nullptr); }
    } unset;
    defaults.setObject(QStringLiteral("DejaVu Sans"), QStringLiteral("defaultFontName"));
    defaults.setFloat(16, QStringLiteral("defaultFontSize"));
    SmartTextStorage storage(defaults);
    storage.applyThemeFromPath(QStringLiteral(ORVANE_SOURCE_DIR "/resources/themes/Orvane Light.theme"));
    QWidget window;
    window.setWindowTitle(QStringLiteral("Spelling"));
    auto *layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *view = new SmartTextView(&storage, &defaults);
    layout->addWidget(view);
    storage.setInitialText(QStringLiteral("# Speling\n\nThe quick brown fox jumpd over the lazzy dog, "
                                          "and `codde` stays as it is.\n\nIt was recieved with thanks.\n"));
    window.resize(760, 360);
    window.move(40, 40);
    window.show();
    window.activateWindow();
    view->setFocus();
    ASSERT_TRUE(testing_qt::spinUntil([&] { return window.isVisible() && view->isActiveWindow(); }));
    view->textServices()->checkAll();
    testing_qt::spinFor(std::chrono::milliseconds(200));

    const QString text = storage.string();
    QStringList marked;
    for (const CharRange &range : view->textServices()->misspellings())
        marked.append(text.mid(range.location, range.length));
    EXPECT_EQ(marked, (QStringList{QStringLiteral("Speling"), QStringLiteral("jumpd"), QStringLiteral("lazzy"),
                                   QStringLiteral("recieved")}));

    // Each misspelt word has red under it; the code span has none.
    auto wordRect = [&](const QString &word) {
        const qsizetype at = text.indexOf(word);
        QTextCursor from(storage.document());
        from.setPosition(int(at));
        QTextCursor to(storage.document());
        to.setPosition(int(at + word.size()));
        const QRect a = view->cursorRect(from), b = view->cursorRect(to);
        const QPoint origin = view->viewport()->mapTo(&window, QPoint(0, 0));
        return QRect(a.topLeft(), QPoint(b.left(), a.bottom())).translated(origin);
    };
    const QImage shown = window.grab().toImage();
    EXPECT_GT(redBelow(shown, wordRect(QStringLiteral("lazzy"))), 10);
    EXPECT_GT(redBelow(shown, wordRect(QStringLiteral("recieved"))), 10);
    EXPECT_EQ(redBelow(shown, wordRect(QStringLiteral("codde"))), 0);
    EXPECT_EQ(redBelow(shown, wordRect(QStringLiteral("quick"))), 0);

    // A right click at the end of "lazzy", low in its line so that the
    // menu leaves the word in sight: the screen is taken while it shows.
    const QRect lazzy = wordRect(QStringLiteral("lazzy"));
    const QPoint inView = view->viewport()->mapFrom(&window, QPoint(lazzy.right() - 3, lazzy.bottom() - 2));
    QStringList menuTitles;
    QImage screen;
    QTimer::singleShot(600, [&] {
        if (QWidget *popup = QApplication::activePopupWidget()) {
            if (auto *menu = qobject_cast<QMenu *>(popup))
                for (QAction *item : menu->actions())
                    menuTitles.append(item->isSeparator() ? QStringLiteral("-") : item->text());
            screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
            popup->close();
        }
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, inView, view->viewport()->mapToGlobal(inView));
    QApplication::sendEvent(view->viewport(), &event);
    ASSERT_FALSE(screen.isNull()) << "no menu showed";
    ASSERT_GE(menuTitles.size(), 4);
    EXPECT_EQ(menuTitles.first(), QStringLiteral("lazy"));
    const qsizetype ignore = menuTitles.indexOf(QStringLiteral("Ignore Spelling"));
    ASSERT_GT(ignore, 0);
    EXPECT_EQ(menuTitles.mid(ignore, 6),
              (QStringList{QStringLiteral("Ignore Spelling"), QStringLiteral("Learn Spelling"), QStringLiteral("-"),
                           QStringLiteral("Copy"), QStringLiteral("Paste"), QStringLiteral("Clean Up")}));
    EXPECT_TRUE(screen.save(masterview_test::artifactPath(QStringLiteral("spelling-menu.png"))));
    // The items were for this showing only.
    testing_qt::spinFor(std::chrono::milliseconds(50));
    EXPECT_EQ(storage.string(), text);
    QStringList after;
    for (QAction *item : controller.contextMenu()->actions())
        after.append(item->text());
    EXPECT_EQ(after, (QStringList{QStringLiteral("Copy"), QStringLiteral("Paste"), QStringLiteral("Clean Up")}));
}
