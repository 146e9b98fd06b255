// The info bar over a real text storage: the document's counts and the
// caret, a selection's own counts (characters, not bytes), the short form
// when the bar is narrow, refreshes when shown again, linking once, the
// word-count goal, its colours, and the floating-panel form.
#include <QLabel>
#include <QVBoxLayout>

#include "window/sidebar_test_support.h"
#include "textengine/buffer/statistics.h"
#include "window/sidebars/smart_text_info_view.h"

using namespace sidebartest;

class InfoBarTest : public DocumentTest {
protected:
    SmartTextInfoView *info = nullptr;
    int refreshes = 0;

    void SetUp() override {
        DocumentTest::SetUp();
        // The bar under the editor, 30 points high, as the window places it.
        auto *column = new QWidget;
        auto *layout = new QVBoxLayout(column);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        window->layout()->removeWidget(editor);
        layout->addWidget(editor, 1);
        info = new SmartTextInfoView;
        info->setFixedHeight(30);
        layout->addWidget(info);
        window->layout()->addWidget(column);
        QObject::connect(info, &SmartTextInfoView::refreshed, [this] { refreshes++; });
    }
    // Waits for the refreshes queued so far.
    QString shown() {
        testing_qt::spinFor(std::chrono::milliseconds(5));
        return info->statusText();
    }
};

TEST_F(InfoBarTest, TheDocumentsCountsAndCaretOrTheSelectionsOwnCountsInCharactersNotBytes) {
    show(QSize(900, 300));
    EXPECT_EQ(shown(), "Words: 0 • Characters: 0 • Lines: 0 • Paragraphs: 0 (0)");
    const QString text = "Café au lait 😀 is\nnice.\n\nSecond paragraph of the notes, naïve and long enough.\n";
    storage->setInitialText(text);
    info->connectToTextView(editor);
    editor->setSelectedRange({35, 0});
    EXPECT_EQ(shown(), QString("Words: %1 • Characters: %2 • Lines: 4 • Paragraphs: 2 (35)")
                           .arg(storage->wordCount())
                           .arg(text.size()));
    EXPECT_EQ(storage->wordCount(), 15u);

    // "Café au lait 😀": 15 characters (the emoji is two, as the editor
    // counts), 17 bytes; one line of it, one paragraph.
    editor->setSelectedRange({0, 15});
    EXPECT_EQ(shown(), "Words: 4 • Characters: 15 • Lines: 1 • Paragraphs: 1 Selected Text (0:15)");
    editor->setSelectedRange({10, 15});
    const QByteArray bytes = text.mid(10, 15).toUtf8();
    uint64_t characters = 0, words = 0, lines = 0, paragraphs = 0;
    text_statistics(bytes.constData(), size_t(bytes.size()), &characters, &words, &lines, &paragraphs);
    EXPECT_EQ(shown(), QString("Words: %1 • Characters: 15 • Lines: %2 • Paragraphs: %3 Selected Text (10:25)")
                           .arg(words)
                           .arg(lines)
                           .arg(paragraphs));
    // An edit refreshes the document's counts.
    editor->setSelectedRange({0, 0});
    storage->replaceCharactersInRange({0, 0}, "Hot ");
    EXPECT_TRUE(shown().startsWith(QString("Words: %1 ").arg(storage->wordCount())));
    EXPECT_EQ(storage->wordCount(), 16u);
}

TEST_F(InfoBarTest, ANarrowBarShowsTheShortFormUntilItWidensAndAHiddenBarRefreshesWhenShown) {
    storage->setInitialText("Some words in a short text.\n");
    info->connectToTextView(editor);
    show(QSize(900, 300));
    EXPECT_TRUE(shown().startsWith("Words: 6 • Characters: 28"));
    EXPECT_EQ(info->statusTextField()->text(), info->statusText());
    window->resize(260, 300);
    ASSERT_TRUE(testing_qt::spinUntil([&] { return info->statusText().startsWith("W: 6 • C: 28 • L: 1 • P: 1"); }));
    window->resize(900, 300);
    ASSERT_TRUE(testing_qt::spinUntil([&] { return info->statusText().startsWith("Words: "); }));
    // Narrower than even the short form: the field cuts it at its end.
    window->resize(120, 300);
    ASSERT_TRUE(testing_qt::spinUntil([&] { return info->statusText().startsWith("W: "); }));
    EXPECT_TRUE(info->statusTextField()->text().endsWith(QChar(0x2026)));

    window->resize(900, 300);
    shown();
    info->hide();
    const int before = refreshes;
    storage->replaceCharactersInRange({0, 0}, "More ");
    info->show();
    EXPECT_TRUE(shown().startsWith("Words: 7 "));
    EXPECT_GT(refreshes, before);
}

TEST_F(InfoBarTest, LinkingTheSameEditorTwiceFollowsItOnceAndUnlinkingShowsZeros) {
    show(QSize(900, 300));
    storage->setInitialText("one two three\n");
    info->connectToTextView(editor);
    shown();
    auto refreshesForASelection = [&](qsizetype at) {
        const int before = refreshes;
        editor->setSelectedRange({at, 2});
        shown();
        return refreshes - before;
    };
    const int once = refreshesForASelection(1);
    ASSERT_GT(once, 0);
    info->connectToTextView(editor);
    shown();
    EXPECT_EQ(refreshesForASelection(4), once);
    EXPECT_EQ(info->linkedTextView(), editor);

    info->disconnectFromTextView(editor);
    EXPECT_EQ(shown(), "Words: 0 • Characters: 0 • Lines: 0 • Paragraphs: 0 (0)");
    EXPECT_EQ(refreshesForASelection(6), 0);
}

TEST_F(InfoBarTest, AWordGoalIsMetOnceAndTheBarTakesTheEditorThemesColours) {
    show(QSize(900, 300));
    storage->setInitialText("one two three\n");
    info->connectToTextView(editor);
    info->setTargetWordCount(5);
    EXPECT_TRUE(info->wordTargetEnabled());
    shown();
    EXPECT_FALSE(info->wordTargetMet());
    storage->replaceCharactersInRange({0, 0}, "zero ");
    shown();
    EXPECT_FALSE(info->wordTargetMet());
    storage->replaceCharactersInRange({0, 0}, "minus ");
    shown();
    EXPECT_TRUE(info->wordTargetMet());
    EXPECT_FALSE(info->wordTargetEnabled());
    // Selected text does not count towards the goal: the document does.
    info->setTargetWordCount(100);
    editor->setSelectedRange({0, 5});
    shown();
    EXPECT_FALSE(info->wordTargetMet());
    EXPECT_TRUE(info->wordTargetEnabled());

    const ThemeColors colors = storage->viewColors();
    EXPECT_EQ(info->backgroundColor(), colors.background);
    EXPECT_EQ(info->statusTextField()->palette().color(QPalette::WindowText), colors.text);
}

TEST(InfoPanel, TheFloatingFormShowsNamesAndNumbersInTwoColumns) {
    platform::ScopedStandardDefaults scoped;
    SmartTextStorage storage;
    KVXTextView editor(&storage);
    storage.setInitialText("Two words\n");
    SmartTextInfoView info(SmartTextInfoView::Form::HUD);
    EXPECT_EQ(info.statusTextField()->text(), "Test");
    showAndWait(info, QSize(230, 160));
    info.connectToTextView(&editor);
    editor.setSelectedRange({4, 5});
    testing_qt::spinFor(std::chrono::milliseconds(5));
    EXPECT_EQ(info.statusText(), "1\n5\n1\n1\n Selected Text\n (4:9)");
    EXPECT_EQ(info.statusTextField()->text(), info.statusText());
    EXPECT_TRUE(info.statusTextField()->alignment() & Qt::AlignRight);
}
