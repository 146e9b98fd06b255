// The bridge over the real text storage: typing, undo and a burst of edits
// through the storage's edit path are rendered and listed, the last state
// always, and the lists carry the storage's edit count.
#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <random>

#include "editor/smart_text_storage.h"
#include "engine_bridge_support.h"
#include "support/qt_print.h"
#include "support/storage_engine_link.h"
#include "tzr.h"

namespace {

class StorageBridgeTest : public ::testing::Test {
protected:
    platform::ScopedStandardDefaults scoped;
    SmartTextStorage storage;
    StorageEngineLink link{storage};
    QObject observer;
    QStringList htmls;
    std::unique_ptr<TZREngine> bridge;

    void start(const QString &text) {
        storage.setInitialText(text);
        bridge = std::make_unique<TZREngine>();
        bridge->setEditor(&link);
        bridge->htmlString().observe(&observer, [this](const QString &html) { htmls.append(html); });
        bridge->enableUpdating();
        ASSERT_TRUE(settle());
    }
    void TearDown() override {
        bridge.reset();
        ASSERT_TRUE(drainBackground());
    }
    bool settle() { return ::settle(*bridge); }
    QString rendered() const { return ::rendered(QByteArray(storage.str(), qsizetype(storage.len()))); }
    QString lastHtml() const { return withoutAnchor(htmls.value(htmls.size() - 1)); }
};

}  // namespace

TEST_F(StorageBridgeTest, TypingAndUndoThroughTheStorageAreRenderedAndListed) {
    start("# Notes\n\nFirst line.\n");
    EXPECT_EQ(lastHtml(), rendered());

    const QString typed = "\n## Added é😀\n\nMore *text*.";
    // One character at a time, as typed (the emoji as its surrogate pair).
    qsizetype at = storage.length();
    for (qsizetype i = 0; i < typed.size(); i++) {
        const qsizetype units = typed[i].isHighSurrogate() ? 2 : 1;
        storage.replaceCharactersInRange({at, 0}, typed.mid(i, units));
        at += units;
        i += units - 1;
    }
    ASSERT_TRUE(settle());
    EXPECT_EQ(lastHtml(), rendered());
    const HeaderList headers = bridge->headers().get();
    ASSERT_EQ(headers.rows.size(), 1);
    EXPECT_EQ(headers.rows[0].children.value(0).label, "Added é😀");
    EXPECT_EQ(headers.rows[0].children.value(0).start, storage.string().indexOf("## Added"));
    EXPECT_TRUE(headers.offsetsValidFor(link.generation));

    while (storage.canUndo())
        storage.undo();
    ASSERT_TRUE(settle());
    EXPECT_EQ(storage.string(), "# Notes\n\nFirst line.\n");
    EXPECT_EQ(lastHtml(), rendered());
    EXPECT_TRUE(bridge->headers().get().rows.value(0).children.isEmpty());
}

TEST_F(StorageBridgeTest, ContinuousTypingThroughTheStorageEndsWithTheLastTextRendered) {
    start(sampleDocument(200 * 1024));
    std::mt19937 random(3);
    const QString letters = "type words é😀 *x* {++y++}\n";
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
    ASSERT_TRUE(settle());
    EXPECT_GT(bridge->completedCycles(), 3u);
    EXPECT_EQ(lastHtml(), rendered());
    EXPECT_EQ(bridge->headers().get().generation, link.generation);
}
