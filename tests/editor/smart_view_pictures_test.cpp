// Pictures of the Markdown editor as a person sees it, with the completion
// list open under a label and with the context menu open; both are kept in
// the build folder's test-artifacts to be looked at.
#include <QAction>
#include <QMenu>
#include <QPainter>

#include <gtest/gtest.h>

#include "editor/input/completion_popup.h"
#include "editor/input/context_menu_controllers.h"
#include "platform/runtime/action_router.h"
#include "platform/prefs/defaults.h"
#include "editor/smart_view_support.h"
#include "editor/view_test_support.h"

using editortest::ShownEditor;

namespace {

const QString kSample = QStringLiteral(
    "# Notes on the editor\n\n"
    "The list of sources is in []. Every *label* completes from the "
    "document's own references.\n\n"
    "- first point\n- second point\n\n"
    "[intro]: https://example.org/intro\n"
    "[index]: https://example.org/index\n"
    "[install]: https://example.org/install\n");

// The window `top` painted over the editor at its place on the screen.
QImage withWindowOver(SmartTextView &view, QWidget *top) {
    QImage picture = view.grab().toImage().convertToFormat(QImage::Format_RGB32);
    QPainter painter(&picture);
    painter.drawPixmap(view.mapFromGlobal(top->geometry().topLeft()), top->grab());
    return picture;
}

}  // namespace

TEST(SmartViewPictures, TheCompletionListOpensUnderTheLabel) {
    ShownEditor editor([](platform::Defaults &d) {
        d.setBool(true, QStringLiteral("autocompleteLabels"));
    });
    editor.show(kSample, QSize(560, 320));
    const qsizetype inside = kSample.indexOf(QStringLiteral("[]")) + 1;
    editor.select(inside);
    editor.press(Qt::Key_I, Qt::NoModifier, QStringLiteral("i"));
    CompletionPopup *list = editor.view().completionPopup();
    ASSERT_TRUE(list && list->isVisible());
    EXPECT_EQ(list->count(), 3);
    editor.settle();
    // Below the line, where the word being completed starts.
    const QPoint wordStart = editor.pointAt(inside);
    const QPoint below = editor.view().viewport()->mapToGlobal(
        QPoint(wordStart.x(), editor.view().cursorRect().bottom()));
    EXPECT_GE(list->geometry().top(), below.y());
    EXPECT_LE(std::abs(list->geometry().left() - below.x()), 2);
    EXPECT_TRUE(withWindowOver(editor.view(), list)
                    .save(editortest::artifactPath(QStringLiteral("editor-completion-list.png"))));
    editor.press(Qt::Key_Escape);
}

TEST(SmartViewPictures, TheContextMenuShowsTheMainMenusItems) {
    class Source : public ContextMenuSource {
    public:
        Source() {
            const char *titles[] = {"Copy", "Copy As", "Paste", "Paste As", "Clean Up", "Convert",
                                    "Toggle List Type", "Track Changes", "Accept Change",
                                    "Reject Change", "Theme", "Style Sheet"};
            for (int i = 0; i < 12; i++) {
                QAction *item = menu.addAction(QString::fromLatin1(titles[i]));
                items[i] = item;
            }
            platform::ActionRouter::setAction(items[0], QStringLiteral("copy:"));
            items[0]->setShortcut(QKeySequence::Copy);
            platform::ActionRouter::setAction(items[2], QStringLiteral("paste:"));
            items[2]->setShortcut(QKeySequence::Paste);
            items[7]->setCheckable(true);
            submenu.addAction(QStringLiteral("Default"));
            submenu.addAction(QStringLiteral("Night"));
            items[10]->setMenu(&submenu);
        }
        QAction *menuItem(Item item) const override { return items[int(item)]; }
        QMenu menu, submenu;
        QAction *items[13] = {};
    } source;
    SmartTextContextMenuController &controller = SmartTextContextMenuController::sharedController();
    controller.setSource(&source);
    ShownEditor editor;
    editor.show(kSample, QSize(560, 380));
    editor.select(2, 5);
    QMenu *menu = controller.contextMenu();
    ASSERT_EQ(menu->actions().size(), 12);
    menu->popup(editor.view().viewport()->mapToGlobal(editor.pointAt(6)));
    editor.settle();
    EXPECT_TRUE(withWindowOver(editor.view(), menu)
                    .save(editortest::artifactPath(QStringLiteral("editor-context-menu.png"))));
    menu->hide();
    controller.setSource(nullptr);
}
