// The bridge over the real text storage: typing, undo and continuous edits
// through the storage's edit path end rendered and listed for its last text,
// with the storage's edit count on the lists.
#include "editor/storage/smart_text_storage.h"
#include "window/bridge/engine_bridge_support.h"
#include "support/storage_engine_link.h"

#include <QElapsedTimer>

#include <random>

class StorageBridgeTest : public ::testing::Test {
protected:
    platform::ScopedStandardDefaults scoped;
    SmartTextStorage storage;
    StorageEngineLink link{storage};
    QObject observer;
    QString html;
    std::unique_ptr<TZREngine> bridge;

    void start(const QString &text) {
        storage.setInitialText(text);
        bridge = std::make_unique<TZREngine>();
        bridge->setEditor(&link);
        bridge->htmlString().observe(&observer, [this](const PreviewHtml &h) { html = withoutAnchor(h.html); });
        bridge->enableUpdating();
        ASSERT_TRUE(settle(*bridge));
    }
    void TearDown() override {
        bridge.reset();
        ASSERT_TRUE(drainBackground());
    }
    QString renderedText() const { return rendered(QByteArray(storage.str(), qsizetype(storage.len()))); }
};

TEST_F(StorageBridgeTest, TypingAndUndoThroughTheStorageAreRenderedAndListed) {
    start("# Notes\n\nFirst line.\n");
    const QString typed = "\n## Added é😀\n\nMore *text*.";
    qsizetype at = storage.length();
    for (qsizetype i = 0; i < typed.size(); i++) {  // one character at a time
        const qsizetype units = typed[i].isHighSurrogate() ? 2 : 1;
        storage.replaceCharactersInRange({at, 0}, typed.mid(i, units));
        at += units, i += units - 1;
    }
    ASSERT_TRUE(settle(*bridge));
    EXPECT_EQ(html, renderedText());
    const HeaderList headers = bridge->headers().get();
    ASSERT_EQ(headers.rows.value(0).children.size(), 1);
    EXPECT_EQ(headers.rows[0].children[0].label, "Added é😀");
    EXPECT_EQ(headers.rows[0].children[0].start, storage.string().indexOf("## Added"));
    EXPECT_TRUE(headers.offsetsValidFor(link.editGeneration()));

    while (storage.canUndo())
        storage.undo();
    ASSERT_TRUE(settle(*bridge));
    EXPECT_EQ(storage.string(), "# Notes\n\nFirst line.\n");
    EXPECT_EQ(html, renderedText());
    EXPECT_TRUE(bridge->headers().get().rows.value(0).children.isEmpty());
}

TEST_F(StorageBridgeTest, ContinuousTypingThroughTheStorageEndsWithTheLastTextRendered) {
    start(sampleDocument(200 * 1024));
    std::mt19937 random(3);
    const QString letters = "type words é*x*{++y++}\n";
    const quint64 cyclesBefore = bridge->completedCycles();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 1200) {
        const qsizetype at = qsizetype(random() % quint32(storage.length()));
        if (random() % 4 == 0)
            storage.replaceCharactersInRange({at, 1}, QString());
        else
            storage.replaceCharactersInRange({at, 0}, QString(letters[int(random() % letters.size())]));
        QCoreApplication::processEvents();
    }
    ASSERT_TRUE(settle(*bridge));
    // Cycles that newer text overtakes end early: a slow machine may finish
    // none while the keys come, but the one after them.
    EXPECT_GT(bridge->completedCycles(), cyclesBefore);
    EXPECT_EQ(html, renderedText());
    EXPECT_EQ(bridge->headers().get().generation, link.editGeneration());
}
