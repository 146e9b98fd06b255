// The sidebars' lists as the bridge builds and publishes them in its cycles:
// only for visible sidebars, only on change, stamped with the edit
// generation, and the folder permission the referenced files need.
#include "engine_bridge_support.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/folder_picker.h"
#include "platform/kvx_sandbox_permission_manager.h"
#include "platform/sandbox.h"
#include "support/qt_print.h"

using View = EngineEditorLink::View;

namespace {

bool writeFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QStringList labels(const QList<HeaderRow> &rows) {
    QStringList result;
    for (const HeaderRow &row : rows)
        result << row.label;
    return result;
}

}  // namespace

TEST_F(BridgeTest, ListsArePublishedOnlyOnChangeButAlwaysCarryTheNewestGeneration) {
    defaults.setBool(true, "EXT_CRITIC");
    start("# One\n\nText {++added++} here.\n\n# Two\n\nMore.\n");
    // The first cycle and its replay saw the same text: told once.
    ASSERT_EQ(headerLists.size(), 1);
    ASSERT_EQ(changeLists.size(), 1);
    EXPECT_EQ(labels(headerLists[0].rows), (QStringList{"One", "Two"}));
    EXPECT_EQ(changeLists[0].rows.value(0).start, editor.text.indexOf("{++"));
    EXPECT_TRUE(bridge->headers().get().offsetsValidFor(editor.generation));

    // One letter for another after the headings and the change: same rows.
    editAndSettle(editor.text.indexOf("More"), 1, "N");
    EXPECT_EQ(headerLists.size(), 1);
    EXPECT_EQ(changeLists.size(), 1);
    // ...and the published lists now hold for the text as it is.
    EXPECT_EQ(bridge->headers().get().generation, editor.generation);
    EXPECT_EQ(bridge->headers().get().rows.value(1).generation, editor.generation);
    EXPECT_TRUE(bridge->changes().get().offsetsValidFor(editor.generation));

    // An edit before them moves them: told, with the new offsets.
    editAndSettle(0, 0, "Intro.\n\n");
    ASSERT_EQ(headerLists.size(), 2);
    EXPECT_EQ(headerLists[1].rows.value(0).start, 8);
    EXPECT_EQ(changeLists.last().rows.value(0).start, editor.text.indexOf("{++"));

    // The editor moves on: the rows no longer fit until the next cycle.
    editor.generation++;
    EXPECT_FALSE(bridge->headers().get().offsetsValidFor(editor.generation));
}

TEST_F(BridgeTest, ListsAreBuiltOnlyForVisibleSidebars) {
    editor.setHidden(View::TableOfContents, true);
    editor.setHidden(View::Changes, true);
    defaults.setBool(true, "EXT_CRITIC");
    start("# One\n\n{++x++}\n");
    EXPECT_TRUE(headerLists.isEmpty());
    EXPECT_TRUE(changeLists.isEmpty());
    EXPECT_FALSE(bridge->headers().get().present);
    EXPECT_EQ(referenceLists.size(), 1);  // the references sidebar is shown

    editor.setHidden(View::TableOfContents, false);
    editAndSettle(0, 0, "# Zero\n\n");
    ASSERT_EQ(headerLists.size(), 1);
    EXPECT_EQ(labels(headerLists[0].rows), (QStringList{"Zero", "One"}));
    EXPECT_TRUE(changeLists.isEmpty());
}

TEST_F(BridgeTest, OffsetsOfAPreparedTextAreMarkedAsNotTheEditors) {
    start("Title: T\ntzrheader: Before\n\n# Heading\n");
    const HeaderList list = bridge->headers().get();
    ASSERT_TRUE(list.present);
    EXPECT_FALSE(list.editorOffsets);
    EXPECT_FALSE(list.offsetsValidFor(editor.generation));
    // The heading's offset counts the header text the editor does not hold.
    EXPECT_NE(list.rows.value(0).start, editor.text.indexOf("# Heading"));
}

TEST_F(BridgeTest, ReferencesJoinCitationKeysWhichReachTheCompletionOnlyWhenTheyChange) {
    QTemporaryDir folder;
    ASSERT_TRUE(writeFile(folder.filePath("refs.bib"), "@book{knuth84,\n title={T}}\n@article{lamport94,\n}\n"));
    makeBridge();
    bridge->setTransclusionFolder(folder.path());
    bridge->setTransclusionFile(folder.filePath("doc.md"));
    editor.setText("Title: T\nbibtex: refs.bib\n\nSee [^note] and [link][ref].\n\n[^note]: A note.\n\n"
                   "[ref]: http://example.org\n");
    bridge->enableUpdating();
    ASSERT_TRUE(settle());

    const QSet<QString> keys{"#knuth84", "#lamport94"};
    EXPECT_EQ(bridge->citeKeys().get().rows, keys);
    const QSet<QString> references = keys + QSet<QString>{"^note", "ref"};
    EXPECT_EQ(bridge->references().get().rows, references);
    ASSERT_EQ(editor.bibtexCalls.size(), 1);
    EXPECT_EQ(editor.bibtexCalls[0], keys);

    editAndSettle(editor.text.size(), 0, "\nMore.\n");
    EXPECT_EQ(editor.bibtexCalls.size(), 1);

    ASSERT_TRUE(writeFile(folder.filePath("refs.bib"), "@book{knuth84,\n}\n"));
    editAndSettle(editor.text.size(), 0, "\n");
    ASSERT_EQ(editor.bibtexCalls.size(), 2);
    EXPECT_EQ(editor.bibtexCalls[1], QSet<QString>{"#knuth84"});
    EXPECT_EQ(referenceLists.last().rows, (QSet<QString>{"#knuth84", "^note", "ref"}));
}

TEST_F(BridgeTest, TheHeadingFilterLeavesThePublishedListAlone) {
    start("# Apples\n\nRed.\n\n# Pears\n\nGreen.\n");
    const HeaderList published = bridge->headers().get();
    const HeaderList filtered = bridge->headersFilteredFor("green");
    EXPECT_EQ(labels(filtered.rows), QStringList{"Pears"});
    EXPECT_EQ(filtered.generation, published.generation);
    EXPECT_EQ(bridge->headers().get(), published);
    EXPECT_EQ(labels(bridge->headers().get().rows), (QStringList{"Apples", "Pears"}));
}

// Referenced files outside the document's folder need the folder that holds
// them all; a refusal ends the asking for this window.
class SandboxedBridgeTest : public BridgeTest {
protected:
    QTemporaryDir root;
    QString docs;
    void SetUp() override {
        platform::Sandbox::setSandboxed(true);
        docs = root.filePath("work/docs");
        QDir().mkpath(docs);
        QDir().mkpath(root.filePath("work/pictures"));
    }
    void TearDown() override {
        BridgeTest::TearDown();
        platform::Sandbox::setSandboxed(std::nullopt);
    }
    void startIn(const QString &text) {
        makeBridge();
        bridge->setTransclusionFolder(docs);
        bridge->setTransclusionFile(docs + "/doc.md");
        editor.setText(text);
        bridge->enableUpdating();
        ASSERT_TRUE(settle());
    }
};

TEST_F(SandboxedBridgeTest, AsksOnceForTheCommonFolderAndStopsAfterARefusal) {
    platform::ScriptedFolderPicker picker({std::nullopt});
    startIn("![a](../pictures/a.png)\n");
    ASSERT_EQ(picker.requests().size(), 1);
    // The common folder of the document's folder and the picture's path, as
    // a plain prefix of characters.
    EXPECT_EQ(picker.requests()[0].startFolder, root.filePath("work/"));
    EXPECT_TRUE(picker.requests()[0].message.startsWith("TZR Orvane needs read-only access to \"" +
                                                        root.filePath("work/") + "\" in order to\nread"));
    EXPECT_EQ(bridge->sandboxAssets().get().rows, QSet<QString>{"../pictures/a.png"});
    const quint64 cycles = bridge->completedCycles();

    // Refused: other files are no longer collected, nor asked for.
    editAndSettle(0, 0, "![b](../pictures/b.png)\n");
    EXPECT_EQ(picker.requests().size(), 1);
    EXPECT_EQ(bridge->sandboxAssets().get().rows, QSet<QString>{"../pictures/a.png"});
    EXPECT_GT(bridge->completedCycles(), cycles);
}

TEST_F(SandboxedBridgeTest, AStoredPermissionForAParentFolderIsEnough) {
    platform::ScriptedFolderPicker picker;
    KVXSandboxPermissionManager::saveSecurityBookmarkForURL(root.path(), true);
    startIn("![a](../pictures/a.png)\n");
    EXPECT_TRUE(picker.requests().isEmpty());
    EXPECT_EQ(bridge->sandboxAssets().get().rows, QSet<QString>{"../pictures/a.png"});
}
