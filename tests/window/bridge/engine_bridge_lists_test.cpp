// The sidebars' lists as the bridge publishes them: only on change, always
// with the newest generation, citation keys joined to the references, and
// the folder permission that referenced files need.
#include "window/bridge/engine_bridge_support.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/files/folder_picker.h"
#include "platform/files/sandbox.h"

namespace {

bool writeFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

}  // namespace

TEST_F(BridgeTest, ListsArePublishedOnlyOnChangeButAlwaysCarryTheNewestGeneration) {
    defaults.setBool(true, "EXT_CRITIC");
    start("# One\n\nText {++added++} here.\n\n# Two\n\nMore.\n");
    // The first cycle and its replay saw the same text: told once.
    ASSERT_EQ(headerLists.size(), 1);
    ASSERT_EQ(changeLists.size(), 1);
    EXPECT_EQ(changeLists[0].rows.value(0).start, editor.text.indexOf("{++"));

    // One letter for another after the headings and the change: the same
    // rows, not told, but stored as holding for the text as it is now.
    editAndSettle(editor.text.indexOf("More"), 1, "N");
    EXPECT_EQ(headerLists.size(), 1);
    EXPECT_EQ(changeLists.size(), 1);
    EXPECT_EQ(bridge->headers().get().rows.value(1).generation, editor.generation);
    EXPECT_TRUE(bridge->headers().get().offsetsValidFor(editor.generation));
    EXPECT_TRUE(bridge->changes().get().offsetsValidFor(editor.generation));
    // The filter works on a copy.
    EXPECT_EQ(bridge->headersFilteredFor("nore").rows.value(0).label, "Two");
    EXPECT_EQ(bridge->headers().get().rows.size(), 2);

    // An edit before them moves them: told, with the new offsets.
    editAndSettle(0, 0, "Intro.\n\n");
    ASSERT_EQ(headerLists.size(), 2);
    EXPECT_EQ(headerLists[1].rows.value(0).start, 8);
    EXPECT_EQ(changeLists.last().rows.value(0).start, editor.text.indexOf("{++"));
    editor.generation++;  // the editor moves on: the rows no longer fit
    EXPECT_FALSE(bridge->headers().get().offsetsValidFor(editor.generation));

    // Header text moves every offset away from the editor's.
    editAndSettle(0, 0, "Title: T\ntzrheader: Before\n\n");
    EXPECT_FALSE(bridge->headers().get().editorOffsets);
    EXPECT_FALSE(bridge->headers().get().offsetsValidFor(editor.generation));
}

TEST_F(BridgeTest, ReferencesJoinCitationKeysWhichReachTheCompletionOnlyWhenTheyChange) {
    QTemporaryDir folder;
    ASSERT_TRUE(writeFile(folder.filePath("refs.bib"), "@book{knuth84,\n title={T}}\n@article{lamport94,\n}\n"));
    makeBridge();
    bridge->setTransclusionFolder(folder.path());
    editor.setText("Title: T\nbibtex: refs.bib\n\nSee [^note] and [link][ref].\n\n[^note]: A note.\n\n"
                   "[ref]: http://example.org\n");
    bridge->enableUpdating();
    ASSERT_TRUE(settle());
    const QSet<QString> keys{"#knuth84", "#lamport94"};
    EXPECT_EQ(bridge->citeKeys().get().rows, keys);
    EXPECT_EQ(bridge->references().get().rows, (keys + QSet<QString>{"^note", "ref"}));
    ASSERT_EQ(editor.bibtexCalls, QList<QSet<QString>>{keys});

    editAndSettle(editor.text.size(), 0, "\nMore.\n");
    EXPECT_EQ(editor.bibtexCalls.size(), 1);
    ASSERT_TRUE(writeFile(folder.filePath("refs.bib"), "@book{knuth84,\n}\n"));
    editAndSettle(editor.text.size(), 0, "\n");
    ASSERT_EQ(editor.bibtexCalls.size(), 2);
    EXPECT_EQ(editor.bibtexCalls[1], QSet<QString>{"#knuth84"});
    EXPECT_EQ(bridge->references().get().rows, (QSet<QString>{"#knuth84", "^note", "ref"}));
}

TEST_F(BridgeTest, WhenSandboxedReferencedFilesAskOnceForTheirCommonFolderAndARefusalIsFinal) {
    QTemporaryDir root;
    const QString docs = root.filePath("work/docs");
    ASSERT_TRUE(QDir().mkpath(docs) && QDir().mkpath(root.filePath("work/pictures")));
    struct Sandboxed {
        Sandboxed() { platform::Sandbox::setSandboxed(true); }
        ~Sandboxed() { platform::Sandbox::setSandboxed(std::nullopt); }
    } sandboxed;
    platform::ScriptedFolderPicker picker({std::nullopt});
    makeBridge();
    bridge->setTransclusionFolder(docs);
    bridge->setTransclusionFile(docs + "/doc.md");
    editor.setText("![a](../pictures/a.png)\n");
    bridge->enableUpdating();
    ASSERT_TRUE(settle());
    ASSERT_EQ(picker.requests().size(), 1);
    // The common folder as a plain prefix of characters.
    const QString common = root.filePath("work/");
    EXPECT_EQ(picker.requests()[0].startFolder, common);
    EXPECT_EQ(picker.requests()[0].message, "TZR Orvane needs read-only access to \"" + common +
                                                "\" in order to\nread files referenced in your document. "
                                                "Press \"Open\" to approve.");
    EXPECT_EQ(bridge->sandboxAssets().get().rows, QSet<QString>{"../pictures/a.png"});

    // Refused: other files are no longer collected, nor asked for.
    editAndSettle(0, 0, "![b](../pictures/b.png)\n");
    EXPECT_EQ(picker.requests().size(), 1);
    EXPECT_EQ(bridge->sandboxAssets().get().rows, QSet<QString>{"../pictures/a.png"});
}
