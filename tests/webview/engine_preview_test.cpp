// The preview fed by the engine bridge, as a document window wires them: the
// bridge renders each edit of the editor in the background and publishes its
// HTML, the preview shows it, and the scroll synchroniser parses the text as
// the bridge prepared it.
#include "support/log_capture.h"
#include "support/test_preferences.h"
#include "web_test_support.h"
#include "window/bridge/engine_scroll_map_source.h"
#include "window/bridge/fake_engine_editor.h"
#include "window/preview/preview_preferences.h"
#include "window/preview/smart_web_view.h"
#include "window/scrollsync/sync_scroller.h"
#include "window/preview/text_edit_surface.h"
#include "window/bridge/tzr_engine.h"

#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QHBoxLayout>
#include <QScrollBar>
#include <QTextBlock>
#include <QTemporaryDir>
#include <QTextEdit>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

using namespace web_test;

namespace {

class EnginePreviewTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto *layout = new QHBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(editor, 1);
        layout->addWidget(view, 1);
        window.resize(1200, 800);
        window.show();
        view->setLinkedTextView(&surface);
        // Every edit of the editor reaches the bridge as the editor view
        // reports it: the changed range, the caret after it.
        QObject::connect(editor->document(), &QTextDocument::contentsChange,
                         [this](int position, int removed, int added) {
                             const QString now = editor->toPlainText();
                             link.edit(position, removed, now.mid(position, added));
                             link.caret = editor->textCursor().position();
                         });
        bridge = std::make_unique<TZREngine>();
        bridge->setEditor(&link);
        view->observeHtmlString(bridge->htmlString());
    }
    void TearDown() override {
        bridge->setEditor(nullptr);
        bridge.reset();
    }

    // The window's start: the bridge begins to render, then the preview thaws.
    void open(const QString &text) {
        watch.step("the bridge's first HTML");
        editor->setPlainText(text);
        bridge->enableUpdating();
        ASSERT_TRUE(waitUntil([&] { return !view->controller().baseSourceHTML().isEmpty(); }, kDeadline))
            << "the bridge published no HTML";
        watch.step("the page's first load");
        view->thawAndReload();
        ASSERT_TRUE(waitUntil([&] { return view->controller().knowsPageBlocks() && idle(); }, kDeadline))
            << "the page did not load: updating " << bridge->isUpdating() << view->controller().isUpdating()
            << view->isLoadingHtml();
    }
    bool idle() const {
        return !bridge->isUpdating() && !view->controller().isUpdating() && !view->isLoadingHtml() &&
               view->controller().geometry().has_value();
    }
    // The page's text of the element `selector` finds.
    QString pageText(const QString &selector) {
        return evaluateText(*view, "var e = document.querySelector('" + selector + "'); e ? e.textContent : ''");
    }

    // Each wait is for what it means; a slow machine (two cores under the
    // sanitizers) gets a minute, and a step stuck inside the engine ends the
    // run with its name rather than at the test's timeout.
    static constexpr int kDeadline = 60000;
    StepWatch watch{std::chrono::seconds(150)};
    TestPreferences prefs;
    FakeEngineEditor link;
    QWidget window;
    QTextEdit *editor = new QTextEdit;
    SmartWebView *view = new SmartWebView;
    TextEditSurface surface{editor};
    std::unique_ptr<TZREngine> bridge;
};

QString sections(int count) {
    QString text = "baseheaderlevel: 2\n\n";
    for (int section = 1; section <= count; section++) {
        text += QStringLiteral("# Section %1\n\n").arg(section);
        for (int i = 0; i <= section % 3; i++)
            text += QStringLiteral("Words of section %1, paragraph %2, long enough to wrap in a narrow pane "
                                   "and give the page some height.\n\n")
                        .arg(section)
                        .arg(i);
    }
    return text;
}

}  // namespace

// Typing reaches the page through the bridge, block by block, and the block
// under the caret stands at the caret's height.
TEST_F(EnginePreviewTest, ShowsWhatIsTypedWithTheCaretsBlockAtItsHeight) {
    open(sections(30));
    EXPECT_EQ(pageText("h2"), "Section 1");  // the metadata's heading level holds

    // A word typed into the paragraph of section 20.
    QTextCursor cursor = editor->document()->find("paragraph 0", editor->document()->find("Words of section 20,"));
    ASSERT_FALSE(cursor.isNull());
    editor->setTextCursor(cursor);
    editor->ensureCursorVisible();
    watch.step("the typed words on the page");
    cursor.insertText("paragraph zero, typed");
    ASSERT_TRUE(waitUntil(
        [&] {
            return evaluateText(*view, "document.body.innerText.indexOf('paragraph zero, typed')") != "-1" && idle();
        },
        kDeadline))
        << "the page never showed the typed words";
    EXPECT_TRUE(view->controller().knowsPageBlocks());

    // The anchor the bridge put at the caret's block stands where the caret
    // stands in the editor.
    const double caretHeight = surface.cursorPosition() * surface.viewHeight();
    ASSERT_TRUE(std::isfinite(caretHeight));
    watch.step("the caret's block at its height");
    double anchor = -1;
    ASSERT_TRUE(waitUntil(
        [&] {
            anchor = evaluate(*view, "document.getElementById('TZRHTMLSCROLLPOINT').getBoundingClientRect().top")
                         .toDouble();
            return std::abs(anchor - caretHeight) < 40;
        },
        kDeadline))
        << "the anchor stands at " << anchor << ", the caret at " << caretHeight;
}

// The map parses the text as the bridge prepared it (another file
// transcluded, the metadata's heading level): every block finds its element,
// and the editor centred on a heading brings the page's heading of the same
// section to the middle.
TEST_F(EnginePreviewTest, MapsTheEditorToThePageThroughTheBridgesSource) {
    prefs.insert(preview::SyncPreviewLocationWhileTyping, false);
    prefs.insert("EXT_TRANSCLUDE", true);
    QTemporaryDir folder;
    QFile part(folder.filePath("part.md"));
    ASSERT_TRUE(part.open(QIODevice::WriteOnly) && part.write("Included one.\n\nIncluded two.\n") > 0);
    part.close();
    bridge->setTransclusionFolder(folder.path());
    bridge->setTransclusionFile(folder.filePath("notes.md"));
    open(sections(30) + "{{part.md}}\n");
    ASSERT_EQ(pageText("body > p:last-child"), "Included two.");
    EngineScrollMapSource source(bridge.get());
    SyncScroller scroller;
    scroller.linkToTextView(&surface);
    scroller.linkToWebView(view);
    scroller.linkToEngine(&source);
    {
        // Every block of the text found its element in the page.
        testing_qt::LogCapture log;
        ASSERT_TRUE(scroller.updateScrollMap());
        EXPECT_EQ(log.count("mismatch"), 0) << log.messages().join('\n').toStdString();
    }

    const QTextBlock heading = editor->document()->find("# Section 22").block();
    const QRectF line = editor->document()->documentLayout()->blockBoundingRect(heading);
    QScrollBar *bar = editor->verticalScrollBar();
    bar->setValue(int(line.center().y() - editor->viewport()->height() / 2.0));
    scroller.scrollWebToMatchEdit();
    auto offsetFromMiddle = [&] {
        return evaluate(*view, "var h = document.getElementById('section22').getBoundingClientRect();"
                               "h.top + h.height / 2 - window.innerHeight / 2")
            .toDouble();
    };
    EXPECT_TRUE(waitUntil([&] { return std::abs(offsetFromMiddle()) < 30; })) << offsetFromMiddle();
}

// A caret past a last block whose text the page shows as it stands (a code
// block): that block stays at the caret's height, and the page is not left
// at its blank top.
TEST_F(EnginePreviewTest, KeepsTheLastBlockAtTheCaretsHeightForACaretPastIt) {
    QString text = "Title: Tour\n\n";
    for (int i = 0; i < 12; i++)
        text += QStringLiteral("Paragraph %1 with `code` and words enough to wrap in a narrow pane.\n\n").arg(i);
    open(text + "```\nlast();\n```\n");
    QTextCursor cursor = editor->textCursor();
    cursor.movePosition(QTextCursor::End);
    editor->setTextCursor(cursor);
    cursor.insertText("\n");
    editor->ensureCursorVisible();
    const double caretHeight = surface.cursorPosition() * surface.viewHeight();
    ASSERT_TRUE(std::isfinite(caretHeight));
    const QString anchor = "document.getElementById('TZRHTMLSCROLLPOINT')";
    ASSERT_TRUE(waitUntil([&] {
        return idle() && evaluateText(*view, anchor + ".previousElementSibling.tagName") == "PRE";
    }));
    EXPECT_TRUE(waitUntil([&] {
        return std::abs(evaluate(*view, anchor + ".getBoundingClientRect().top").toDouble() - caretHeight) < 40;
    })) << evaluate(*view, anchor + ".getBoundingClientRect().top").toDouble() << " against " << caretHeight;
    EXPECT_GT(evaluate(*view, "window.scrollY").toDouble(), 0);
}
