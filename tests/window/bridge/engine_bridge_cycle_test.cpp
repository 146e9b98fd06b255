// The bridge's update cycle with a fake editor: blocked until enabled, one
// replay for a burst of edits, engine rebuilds, nothing for hidden views,
// what the preview gets and how the source is prepared.
#include "window/bridge/engine_bridge_support.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <memory>

using platform::TextRange;
using View = EngineEditorLink::View;

TEST(BridgeExtensions, PreferencesMapToTheLibrarysFlags) {
    const QStringList keys = {"EXT_SMART",      "EXT_NOTES",         "EXT_RANDOM_FOOT",  "EXT_NO_LABELS",
                              "EXT_CRITIC",     "EXT_CRITIC_ACCEPT", "EXT_CRITIC_REJECT", "EXT_TRANSCLUDE",
                              "EXT_COMPATIBILITY", "EXT_COMPLETE",   "EXT_SNIPPET"};
    const QList<std::pair<QStringList, uint64_t>> cases = {
        {{}, 0},
        {{"EXT_SMART", "EXT_NOTES", "EXT_RANDOM_FOOT", "EXT_NO_LABELS"}, 0x1038},
        {{"EXT_CRITIC_ACCEPT"}, 0x600},
        {{"EXT_CRITIC_REJECT"}, 0xA00},
        {{"EXT_CRITIC_ACCEPT", "EXT_CRITIC_REJECT"}, 0x200},  // they cancel out: the marks stay
        {{"EXT_TRANSCLUDE", "EXT_COMPLETE"}, 0x2002},
        // Plain Markdown replaces what came before it, not what follows.
        {{"EXT_SMART", "EXT_CRITIC_ACCEPT", "EXT_TRANSCLUDE", "EXT_COMPATIBILITY"}, 0x121},
        {{"EXT_COMPATIBILITY", "EXT_COMPLETE", "EXT_SNIPPET", "EXT_SMART"}, 0x127},
    };
    platform::ScopedStandardDefaults scoped;
    for (const auto &[on, flags] : cases) {
        for (const QString &key : keys)
            scoped.defaults().setBool(on.contains(key), key);
        EXPECT_EQ(TZREngine::extensions(), flags) << on.join(' ').toStdString();
    }
}

TEST_F(BridgeTest, IsBlockedUntilEnabledThenRunsOneCycleAndOneReplay) {
    editor.setText("# Title\n\nText.\n");
    makeBridge();
    editor.edit(0, 0, "A");
    testing_qt::spinFor(std::chrono::milliseconds(150));
    EXPECT_EQ(editor.textCopies, 0);
    EXPECT_TRUE(htmls.isEmpty());

    bridge->enableUpdating();
    ASSERT_TRUE(settle());
    // The first cycle, and the replay owed to the requests of the blocked time.
    EXPECT_EQ(bridge->completedCycles(), 2u);
    EXPECT_EQ(withoutAnchor(lastHtml()), rendered(editor.text.toUtf8()));
    EXPECT_EQ(editor.offMainCalls, 0);
}

// The editor's state goes to the cycle with the request; the cycle never
// waits for the main thread. Here the main thread does not come back to its
// loop after the edit until the cycle has parsed, published its HTML and
// built its lists; the citation keys reach the completion afterwards.
TEST_F(BridgeTest, ACycleRunsToItsEndWhileTheMainThreadIsBusy) {
    QTemporaryDir folder;
    QFile bib(folder.filePath("refs.bib"));
    ASSERT_TRUE(bib.open(QIODevice::WriteOnly) && bib.write("@book{knuth84,\n}\n") > 0);
    bib.close();
    start("Title: T\n\n# One\n\nText.\n");
    bridge->setTransclusionFolder(folder.path());
    const qsizetype calls = editor.bibtexCalls.size();
    auto stores = std::make_shared<std::atomic<int>>(0);
    bridge->htmlString().observe(&observer, [stores](const QString &) { ++*stores; }, Qt::DirectConnection);

    editor.edit(0, editor.text.indexOf("\n"), "Title: T\nbibtex: refs.bib");
    QElapsedTimer clock;
    clock.start();
    while (bridge->completedCycles() < 3 && clock.elapsed() < 60000)
        QThread::msleep(1);
    EXPECT_EQ(bridge->completedCycles(), 3u);
    EXPECT_EQ(*stores, 1);
    EXPECT_EQ(withoutAnchor(bridge->htmlString().get()), rendered(editor.text.toUtf8()));
    EXPECT_EQ(bridge->citeKeys().get().rows, QSet<QString>{"#knuth84"});
    EXPECT_EQ(editor.bibtexCalls.size(), calls);

    ASSERT_TRUE(settle());
    ASSERT_EQ(editor.bibtexCalls.size(), calls + 1);
    EXPECT_EQ(editor.bibtexCalls.last(), QSet<QString>{"#knuth84"});
    EXPECT_EQ(editor.offMainCalls, 0);
}

TEST_F(BridgeTest, EditsDuringACycleGiveOneReplayForTheCaretWhereItIsThen) {
    start("First paragraph.\n\nSecond paragraph.\n\nThird paragraph.\n");
    const int readsBefore = editor.caretReads;
    editor.onTextCopy = [&] {
        for (int i = 0; i < 5; i++)
            editor.edit(0, 0, "x");
        // Until the five requests have met the running cycle.
        for (int i = 0; i < 5000 && platform::Dispatch::backgroundPool().activeThreadCount() > 1; i++)
            QThread::msleep(1);
        editor.caret = editor.text.indexOf("Third") + 3;  // moved before the replay
    };
    editAndSettle(0, 0, "y");
    EXPECT_EQ(bridge->completedCycles(), 4u);
    EXPECT_EQ(editor.caretReads - readsBefore, 1);
    EXPECT_EQ(withoutAnchor(lastHtml()), rendered(editor.text.toUtf8()));
    EXPECT_GT(anchorAt(lastHtml()), lastHtml().indexOf("Third"));
}

TEST_F(BridgeTest, AnExtensionChangeDuringACycleRebuildsTheEngineBeforeTheNextOne) {
    defaults.setBool(true, "EXT_CRITIC");
    start("A {++new++} word.\n");
    EXPECT_TRUE(lastHtml().contains("<ins>new</ins>"));
    editor.onTextCopy = [&] {
        defaults.setBool(true, "EXT_CRITIC_ACCEPT");
    };
    editAndSettle(0, 0, " ");
    const quint64 cycles = bridge->completedCycles();
    // The next request rebuilds instead of running, then asks for a fresh
    // cycle, without an anchor.
    editAndSettle(0, 1, "");
    EXPECT_EQ(bridge->completedCycles(), cycles + 1);
    EXPECT_EQ(lastHtml(), rendered("A new word.\n"));
}

TEST_F(BridgeTest, DoesNothingForHiddenViewsAndBuildsOnlyTheVisibleSidebarsLists) {
    defaults.setBool(true, "EXT_CRITIC");
    start("# One\n\n{++x++}\n");
    const int copies = editor.textCopies;
    const qsizetype stores = htmls.size(), tocs = headerLists.size(), changes = changeLists.size();
    for (View view : {View::Preview, View::Changes, View::References, View::TableOfContents})
        editor.setHidden(view, true);
    editAndSettle(0, 0, "# Zero\n\n");
    EXPECT_EQ(editor.textCopies, copies);  // not even copied
    EXPECT_EQ(bridge->completedCycles(), 2u);
    EXPECT_FALSE(bridge->isUpdating());

    editor.setHidden(View::TableOfContents, false);
    editAndSettle(editor.text.size(), 0, " ");
    EXPECT_EQ(bridge->completedCycles(), 3u);
    EXPECT_EQ(htmls.size(), stores);
    EXPECT_EQ(changeLists.size(), changes);
    ASSERT_EQ(headerLists.size(), tocs + 1);
    EXPECT_EQ(headerLists.last().rows.value(0).label, "Zero");
}

// A typed space is shown only once typing pauses: a key that follows at once
// makes it part of the next change, and none is ever left out of the page,
// also when keys typed during the cycle before came with it.
TEST_F(BridgeTest, ThePreviewHoldsTypedSpacesUntilTypingPausesWaitsForPermissionWhenNotLiveAndRefreshesWithoutAnchor) {
    start("Word\n");
    editor.typedSpace = true;
    editor.edit(4, 0, " ");
    ASSERT_TRUE(testing_qt::spinUntil([&] { return bridge->completedCycles() == 3; }, std::chrono::seconds(30)));
    EXPECT_EQ(htmls.size(), 2);  // held
    EXPECT_FALSE(editor.typedSpace);
    editAndSettle(5, 0, "x");  // the next key, before the pause ends
    ASSERT_TRUE(testing_qt::spinUntil([&] { return htmls.size() >= 3; }, std::chrono::seconds(30)));
    testing_qt::spinFor(std::chrono::milliseconds(600));
    ASSERT_EQ(htmls.size(), 3);  // the held space never came on its own
    EXPECT_TRUE(lastHtml().contains("Word x")) << lastHtml().toStdString();

    // Letters typed while a cycle ran, then a space: the replay that takes
    // them all is held, and shown when typing pauses.
    editor.onTextCopy = [&] {
        editor.edit(7, 0, "z");
        editor.typedSpace = true;
        editor.edit(8, 0, " ");
    };
    editor.edit(6, 0, "y");
    ASSERT_TRUE(testing_qt::spinUntil([&] { return lastHtml().contains("Word xyz"); }, std::chrono::seconds(30)))
        << lastHtml().toStdString();
    ASSERT_TRUE(settle());
    bridge->updateData(std::nullopt);
    ASSERT_TRUE(settle());
    EXPECT_EQ(lastHtml(), rendered("Word xyz \n"));

    const qsizetype shown = htmls.size();
    defaults.setBool(false, "liveUpdatePreview");
    editAndSettle(0, 0, "New ");
    EXPECT_EQ(htmls.size(), shown + 1);  // the permission the bridge started with
    editAndSettle(0, 0, "Newer ");
    EXPECT_EQ(htmls.size(), shown + 1);
    // The document wrote its file, and wrote it again before the cycle that
    // shows it took its snapshot.
    editor.onTextCopy = [&] { bridge->setOkToUpdatePreview(true); };
    bridge->setOkToUpdatePreview(true);
    ASSERT_TRUE(settle());
    ASSERT_EQ(htmls.size(), shown + 2);
    EXPECT_TRUE(lastHtml().contains("Newer New Word"));
    // A write after that cycle showed it shows it once more.
    bridge->setOkToUpdatePreview(true);
    ASSERT_TRUE(settle());
    EXPECT_EQ(htmls.size(), shown + 3);
}

// E-mail addresses are written as character references drawn at random: an
// edit elsewhere leaves an address's HTML as it was, so that the preview's
// page takes in only what the edit changed.
TEST_F(BridgeTest, AnAddressTheEditDidNotReachIsWrittenTheSameWay) {
    const QString text = QStringLiteral("Write to <someone@example.org> or <other@example.org>.\n");
    start(text);
    const QString first = withoutAnchor(lastHtml());
    ASSERT_TRUE(first.contains(u"&#"));
    editAndSettle(0, 0, "Please ");
    QString expected = first;
    expected.replace(QStringLiteral("<p>Write"), QStringLiteral("<p>Please Write"));
    EXPECT_EQ(withoutAnchor(lastHtml()), expected);
    editAndSettle(0, 7, "");
    EXPECT_EQ(withoutAnchor(lastHtml()), first);
}

TEST_F(BridgeTest, TheSourceIsPreparedAsTheFlagsSay) {
    QTemporaryDir folder;
    QFile part(folder.filePath("part.md"));
    ASSERT_TRUE(part.open(QIODevice::WriteOnly) && part.write("Included words.\n") > 0);
    part.close();
    defaults.setBool(true, "EXT_CRITIC_ACCEPT");
    defaults.setBool(true, "EXT_CRITIC_REJECT");
    defaults.setBool(true, "EXT_TRANSCLUDE");
    start("Title: T\ntzrheader: Header words\n\nKeep {++this++}.\n\n{{part.md}}\n");
    // Header text first; accept and reject together keep the marks; without
    // a document path nothing is transcluded.
    EXPECT_LT(lastHtml().indexOf("Header words"), lastHtml().indexOf("Keep"));
    EXPECT_TRUE(lastHtml().contains("<ins>this</ins>"));
    EXPECT_TRUE(lastHtml().contains("{{part.md}}"));

    bridge->setTransclusionFolder(folder.path());
    bridge->setTransclusionFile(folder.filePath("doc.md"));
    defaults.setBool(false, "EXT_CRITIC_REJECT");
    ASSERT_TRUE(settle());
    editAndSettle(0, 0, "");
    EXPECT_TRUE(lastHtml().contains("Keep this."));
    EXPECT_TRUE(lastHtml().contains("Included words."));

    // Plain Markdown: no metadata, so no header text, and no transclusion.
    defaults.setBool(true, "EXT_COMPATIBILITY");
    ASSERT_TRUE(settle());
    editAndSettle(0, 0, "");
    EXPECT_EQ(lastHtml().count("Header words"), 1);  // the metadata line itself
    EXPECT_FALSE(lastHtml().contains("Included words."));
}

// A text too large to render is neither parsed nor written, nor copied for
// it: the preview gets a note that says so (with the text's size), edits
// keep it there, and a text cut back below the limit is rendered again.
TEST_F(BridgeTest, ATextTooLargeToRenderGetsANoteInThePreview) {
    const QString huge = QStringLiteral("# Huge\n\n") + QString(33 * 1024 * 1024, u'a') + QStringLiteral("\n");
    start(huge);
    EXPECT_TRUE(lastHtml().contains(u"This document is too large for the preview (33.0 MB)"))
        << lastHtml().left(300).toStdString();
    EXPECT_TRUE(lastHtml().contains(u"up to 32 MB"));
    EXPECT_FALSE(lastHtml().contains(u"<h1"));
    EXPECT_TRUE(headerLists.isEmpty() || headerLists.last().rows.isEmpty());
    const int copies = editor.textCopies;
    editAndSettle(0, 0, "Typed ");
    EXPECT_TRUE(lastHtml().contains(u"too large for the preview"));
    EXPECT_EQ(editor.textCopies, copies);

    editAndSettle(0, editor.text.size(), "# Small again\n\nText.\n");
    EXPECT_TRUE(lastHtml().contains(u"<h1"));
    EXPECT_FALSE(lastHtml().contains(u"too large"));
}
