// The engine bridge's update cycle with a fake editor: blocked until enabled,
// one replay for a burst of edits, rebuilds on preference changes, nothing for
// hidden views, and what the preview gets.
#include "engine_bridge_support.h"

#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include "tzr.h"

using platform::Dispatch;
using platform::TextRange;
using testing_qt::spinFor;
using testing_qt::spinUntil;

namespace {

// Blocks the calling thread until the background pool runs only the cycle
// that called it (the blocks queued meanwhile have all run).
void waitForOtherBackgroundBlocks() {
    for (int i = 0; i < 5000 && Dispatch::backgroundPool().activeThreadCount() > 1; i++)
        QThread::msleep(1);
}

}  // namespace

TEST(BridgeExtensions, PreferencesMapToTheLibrarysFlags) {
    struct Case {
        QStringList on;
        uint64_t flags;
    };
    const Case cases[] = {
        {{}, 0},
        {{"EXT_SMART", "EXT_NOTES", "EXT_RANDOM_FOOT", "EXT_NO_LABELS"}, 0x1038},
        {{"EXT_CRITIC"}, 0x200},
        {{"EXT_CRITIC_ACCEPT"}, 0x600},
        {{"EXT_CRITIC_REJECT"}, 0xA00},
        // Accepting and rejecting at once cancel out: the marks stay.
        {{"EXT_CRITIC_ACCEPT", "EXT_CRITIC_REJECT"}, 0x200},
        {{"EXT_TRANSCLUDE", "EXT_COMPLETE"}, 0x2002},
        // Plain Markdown replaces whatever came before it, but not what follows.
        {{"EXT_SMART", "EXT_NOTES", "EXT_CRITIC_ACCEPT", "EXT_TRANSCLUDE", "EXT_COMPATIBILITY"}, 0x121},
        {{"EXT_COMPATIBILITY", "EXT_COMPLETE", "EXT_SNIPPET", "EXT_SMART"}, 0x127},
    };
    const QStringList keys = {"EXT_SMART",         "EXT_NOTES",        "EXT_RANDOM_FOOT", "EXT_NO_LABELS",
                              "EXT_CRITIC",        "EXT_CRITIC_ACCEPT", "EXT_CRITIC_REJECT",
                              "EXT_TRANSCLUDE",    "EXT_COMPATIBILITY", "EXT_COMPLETE", "EXT_SNIPPET"};
    platform::ScopedStandardDefaults scoped;
    for (const Case &c : cases) {
        for (const QString &key : keys)
            scoped.defaults().setBool(c.on.contains(key), key);
        EXPECT_EQ(TZREngine::extensions(), c.flags) << c.on.join(' ').toStdString();
    }
    // A value of the wrong kind reads as off.
    scoped.defaults().setObject(QStringList{"yes"}, "EXT_SMART");
    EXPECT_EQ(TZREngine::extensions() & TZR_EXT_SMART, 0u);
}

TEST_F(BridgeTest, IsBlockedUntilEnabledThenRunsOneCycleAndOneReplay) {
    editor.setText("# Title\n\nText.\n");
    makeBridge();
    editor.edit(0, 0, "A");
    bridge->updateData(TextRange{0, 0});
    spinFor(std::chrono::milliseconds(150));
    EXPECT_EQ(bridge->completedCycles(), 0u);
    EXPECT_EQ(editor.textCopies, 0);
    EXPECT_TRUE(htmls.isEmpty());

    bridge->enableUpdating();
    ASSERT_TRUE(settle());
    // The first cycle, and the replay owed to the requests of the blocked time.
    EXPECT_EQ(bridge->completedCycles(), 2u);
    EXPECT_EQ(htmls.size(), 2);
    EXPECT_EQ(withoutAnchor(lastHtml()), rendered(editor.text));
    EXPECT_EQ(editor.offMainCalls, 0);
}

TEST_F(BridgeTest, EditsDuringACycleGiveOneReplayForTheCaretWhereItIsThen) {
    start("First paragraph.\n\nSecond paragraph.\n\nThird paragraph.\n");
    const int readsBefore = editor.caretReads;
    bool burst = false;
    editor.onTextCopy = [&] {
        if (std::exchange(burst, true))
            return;
        // Five edits while this cycle runs: each only notes that one more
        // cycle is needed.
        for (int i = 0; i < 5; i++)
            editor.edit(0, 0, "x");
        waitForOtherBackgroundBlocks();
        EXPECT_TRUE(bridge->needsFinalUpdate());
        // The caret moves to the third paragraph before the replay.
        editor.caret = editor.text.indexOf("Third") + 3;
    };
    editAndSettle(0, 0, "y");
    EXPECT_EQ(bridge->completedCycles(), 4u);
    EXPECT_EQ(editor.caretReads - readsBefore, 1);
    EXPECT_FALSE(bridge->needsFinalUpdate());
    // The replay rendered the newest text, anchored in the third paragraph.
    EXPECT_EQ(withoutAnchor(lastHtml()), rendered(editor.text));
    EXPECT_TRUE(beforeAnchor(lastHtml()).endsWith("paragraph.")) << lastHtml().toStdString();
    EXPECT_GT(anchorAt(lastHtml()), lastHtml().indexOf("Third"));
}

TEST_F(BridgeTest, AnExtensionChangeDuringACycleRebuildsTheEngineBeforeTheNextOne) {
    defaults.setBool(true, "EXT_CRITIC");
    start("A {++new++} word.\n");
    EXPECT_TRUE(lastHtml().contains("<ins>new</ins>"));

    editor.onTextCopy = [&] {
        editor.onTextCopy = nullptr;
        defaults.setBool(true, "EXT_CRITIC_ACCEPT");
    };
    editAndSettle(0, 0, " ");
    const quint64 cycles = bridge->completedCycles();

    // The next request rebuilds the engine instead of running, then asks for
    // a fresh cycle without an anchor.
    editAndSettle(0, 1, "");
    EXPECT_EQ(bridge->completedCycles(), cycles + 1);
    EXPECT_EQ(lastHtml(), rendered(QStringLiteral("A new word.\n")));
    EXPECT_LT(anchorAt(lastHtml()), 0);
}

TEST_F(BridgeTest, DoesNothingWhileThePreviewAndEverySidebarAreHidden) {
    start("# One\n\nText.\n");
    const int copies = editor.textCopies;
    const qsizetype stores = htmls.size();
    editor.hideAll(true);
    editAndSettle(0, 0, "x");
    EXPECT_EQ(editor.textCopies, copies);  // not even copied
    EXPECT_EQ(bridge->completedCycles(), 2u);
    EXPECT_FALSE(bridge->isUpdating());

    // The table of contents alone: its list, and no HTML for a hidden preview.
    editor.setHidden(EngineEditorLink::View::TableOfContents, false);
    editAndSettle(0, 1, "");
    EXPECT_EQ(bridge->completedCycles(), 3u);
    EXPECT_EQ(htmls.size(), stores);
    ASSERT_FALSE(headerLists.isEmpty());
    EXPECT_EQ(headerLists.last().rows.value(0).label, "One");
}

TEST_F(BridgeTest, ThePreviewGetsAnchoredHtmlAndAForcedRefreshGetsNoAnchor) {
    start("# Title\n\nSome *emphasis* here.\n\n\n\nLast é😀 words.\n");
    const QString text = editor.text;

    // A caret inside the emphasis: right after the emphasised word's HTML.
    bridge->updateData(TextRange{text.indexOf("phasis"), 0});
    ASSERT_TRUE(settle());
    EXPECT_TRUE(beforeAnchor(lastHtml()).endsWith("emphasis")) << lastHtml().toStdString();

    // On the blank lines: after the paragraph before them.
    bridge->updateData(TextRange{text.indexOf("\n\n\n\n") + 3, 0});
    ASSERT_TRUE(settle());
    EXPECT_TRUE(beforeAnchor(lastHtml(), 20).endsWith("</em> here.")) << lastHtml().toStdString();

    // After an emoji (two UTF-16 units, four bytes), in the last paragraph.
    bridge->updateData(TextRange{text.indexOf("😀") + 2, 0});
    ASSERT_TRUE(settle());
    EXPECT_GT(anchorAt(lastHtml()), lastHtml().indexOf("Last"));

    bridge->updateData(std::nullopt);
    ASSERT_TRUE(settle());
    EXPECT_LT(anchorAt(lastHtml()), 0);
    EXPECT_EQ(lastHtml(), rendered(text));
}

TEST_F(BridgeTest, HeaderTextIsRenderedFirstAndTheAnchorCountsIt) {
    const QString text = "Title: T\ntzrheader: Header words\n\nBody text here.\n";
    start(text);
    EXPECT_LT(lastHtml().indexOf("Header words"), lastHtml().indexOf("Body text"));
    // The caret's offset is taken in the prepared text, which holds the
    // header text as well: the anchor lands earlier than the caret.
    bridge->updateData(TextRange{text.size(), 0});
    ASSERT_TRUE(settle());
    EXPECT_GE(anchorAt(lastHtml()), 0);
}

TEST_F(BridgeTest, WithLiveUpdatesOffThePreviewWaitsForEachPermission) {
    defaults.setBool(false, "liveUpdatePreview");
    start("Text.\n");
    // The bridge starts with permission: the first cycle used it up.
    EXPECT_EQ(htmls.size(), 1);
    EXPECT_FALSE(bridge->okToUpdatePreview());
    editAndSettle(0, 0, "More ");
    EXPECT_EQ(htmls.size(), 1);

    bridge->setOkToUpdatePreview(true);  // the document wrote its file
    ASSERT_TRUE(settle());
    EXPECT_EQ(htmls.size(), 2);
    EXPECT_TRUE(lastHtml().contains("More Text."));
    bridge->setOkToUpdatePreview(false);
    bridge->setOkToUpdatePreview(false);
    ASSERT_TRUE(settle());
    EXPECT_EQ(htmls.size(), 2);
}

TEST_F(BridgeTest, ATypedSpaceSkipsOneStoreAndIsCleared) {
    start("Word\n");
    const qsizetype stores = htmls.size();
    editor.typedSpace = true;
    editAndSettle(4, 0, " ");
    EXPECT_EQ(htmls.size(), stores);
    EXPECT_FALSE(editor.typedSpace);
    editAndSettle(5, 0, "two");
    EXPECT_EQ(htmls.size(), stores + 1);
    EXPECT_TRUE(lastHtml().contains("Word two"));
}

TEST_F(BridgeTest, TheSourceIsPreparedAsTheFlagsSay) {
    QTemporaryDir folder;
    QFile part(folder.filePath("part.md"));
    ASSERT_TRUE(part.open(QIODevice::WriteOnly));
    part.write("Included words.\n");
    part.close();

    defaults.setBool(true, "EXT_CRITIC_ACCEPT");
    defaults.setBool(true, "EXT_CRITIC_REJECT");
    defaults.setBool(true, "EXT_TRANSCLUDE");
    start("Keep {++this++}.\n\n{{part.md}}\n");
    // Both accept and reject: the marks stay; no document path: no transclusion.
    EXPECT_TRUE(lastHtml().contains("<ins>this</ins>"));
    EXPECT_TRUE(lastHtml().contains("{{part.md}}"));

    bridge->setTransclusionFolder(folder.path());
    bridge->setTransclusionFile(folder.filePath("doc.md"));
    defaults.setBool(false, "EXT_CRITIC_REJECT");
    ASSERT_TRUE(settle());
    editAndSettle(0, 0, "");
    ASSERT_TRUE(settle());
    EXPECT_TRUE(lastHtml().contains("Keep this."));
    EXPECT_TRUE(lastHtml().contains("Included words."));

    // Plain Markdown: no metadata, so no header text, and no transclusion.
    defaults.setBool(true, "EXT_COMPATIBILITY");
    ASSERT_TRUE(settle());
    editAndSettle(0, editor.text.size(), "Title: T\ntzrheader: Head\n\n{{part.md}}\n");
    ASSERT_TRUE(settle());
    EXPECT_EQ(lastHtml().count("Head"), 1) << lastHtml().toStdString();  // the line itself
    EXPECT_FALSE(lastHtml().contains("Included words."));
}

TEST_F(BridgeTest, AnEmptyTextGivesValidEmptyHtml) {
    start("");
    EXPECT_EQ(htmls.size(), 2);
    EXPECT_EQ(withoutAnchor(lastHtml()), rendered(QString()));
}
