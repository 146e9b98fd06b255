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
#include <random>

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
                             const QString inserted = now.mid(position, added);
                             // As the editor view flags it: a single space
                             // typed, and nothing else since.
                             link.typedSpace = inserted == QLatin1String(" ");
                             link.edit(position, removed, inserted);
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
    // Where the page's body differs from the body of a fresh rendering of the
    // editor's text (as an export would write it), read from the page's DOM
    // with both parsed there: empty when they are the same. The scroll
    // anchor, which only the preview's HTML has, comments and the blanks
    // between tags are left out.
    QString differenceFromAFreshRendering() {
        const QString fresh = QString::fromUtf8(bridge->exportToFormat(0, editor->toPlainText().toUtf8(), QString()));
        // A snippet is all body.
        const qsizetype open = fresh.indexOf("<body>"), close = fresh.lastIndexOf("</body>");
        const QString body = open >= 0 && close > open ? fresh.mid(open + 6, close - open - 6) : fresh;
        return evaluateText(*view, QStringLiteral(R"js((function () {
  function clean(root) {
    root.querySelectorAll('#TZRHTMLSCROLLPOINT').forEach(function (e) { e.remove(); });
    var walker = document.createTreeWalker(root, NodeFilter.SHOW_COMMENT), comments = [];
    while (walker.nextNode()) comments.push(walker.currentNode);
    comments.forEach(function (c) { c.remove(); });
    // How blocks are spaced between tags is no difference.
    return root.innerHTML.trim().replace(/>\s+</g, '>\n<');
  }
  // Parsed in a document of its own, as the body of a page: nothing in it
  // runs or loads.
  var fresh = document.implementation.createHTMLDocument('');
  fresh.body.innerHTML = %1;
  var want = clean(fresh.body);
  var have = clean(document.body.cloneNode(true));
  if (want === have) return '';
  var at = 0;
  while (at < want.length && want[at] === have[at]) at++;
  return 'at ' + at + ': the page has "' + have.substr(Math.max(0, at - 40), 120) +
         '", a fresh rendering "' + want.substr(Math.max(0, at - 40), 120) + '"';
})())js")
                                          .arg(platform::WebView::stringLiteral(body)));
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

// Whatever the timing of the keys, the page comes to show the text once
// typing stops: bursts of random edits (words typed letter by letter and
// ended with a space, deletions, new lines and blocks pasted) at random
// intervals, many shorter than a cycle of the bridge or a change of the page,
// each followed by a pause, after which the page's body must equal a fresh
// rendering of the editor's text.
TEST_F(EnginePreviewTest, ThePageComesToEqualAFreshRenderingWhateverTheTimingOfTheKeys) {
    QString text = sections(40);
    text += "> A quote of two lines,\n> the second here.\n\n| a | b |\n|---|---|\n| 1 | 2 |\n| 3 | 4 |\n\n"
            "- one\n- two\n    - nested\n\n```\ncode();\n```\n\nTerm\n:   Its definition.\n\nA last paragraph.\n";
    open(text);
    std::mt19937 random(76);
    auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    const QStringList words = {"okay", "fine", "here", "zebra", "*em*", "`x`", "[^n]", "--", "#", "-", "1."};
    const QStringList blocks = {"\n\n- pasted item\n- and another\n\n", "\n\n> pasted quote\n\n",
                                "\n\n| p | q |\n|---|---|\n| r | s |\n\n", "\n\n## Pasted heading\n\n"};
    for (int burst = 0; burst < 14; burst++) {
        watch.step("a burst of keys");
        QTextCursor cursor = editor->textCursor();
        cursor.setPosition(pick(0, editor->document()->characterCount() - 1));
        editor->setTextCursor(cursor);
        const int edits = pick(1, 6);
        for (int e = 0; e < edits; e++) {
            QTextCursor at = editor->textCursor();
            switch (pick(0, 5)) {
            case 0:  // a deletion of a few characters before the caret
                at.movePosition(QTextCursor::PreviousCharacter, QTextCursor::KeepAnchor, pick(1, 8));
                at.removeSelectedText();
                break;
            case 1:
                at.insertText("\n");
                break;
            case 2:
                at.insertText(blocks[pick(0, int(blocks.size()) - 1)]);
                break;
            default: {
                // A word typed letter by letter, then a space: the last key
                // of many bursts, as at the end of a sentence.
                for (QChar letter : words[pick(0, int(words.size()) - 1)]) {
                    at.insertText(QString(letter));
                    pause(pick(0, 60));
                }
                at.insertText(" ");
                break;
            }
            }
            editor->setTextCursor(at);
            pause(pick(0, 120));
        }
        // Typing stops.
        watch.step("the page equal to a fresh rendering");
        QString difference;
        EXPECT_TRUE(waitUntil(
            [&] {
                if (!idle())
                    return false;
                difference = differenceFromAFreshRendering();
                return difference.isEmpty();
            },
            kDeadline))
            << "after burst " << burst << ", " << difference.toStdString();
        if (!difference.isEmpty())
            break;
    }
}
