// The bridge under load and at teardown: edits from the main thread without
// pause while cycles run (with tags, filters, exports on another thread and
// preference changes between them), and the bridge destroyed in each stage of
// a cycle.
#include "window/bridge/engine_bridge_support.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <random>

TEST_F(BridgeTest, ContinuousEditsWhileCyclesRunEndWithTheLastTextRendered) {
    defaults.setBool(true, "EXT_CRITIC");
    start(sampleDocument(60 * 1024));
    std::mt19937 random(29);
    const QStringList inserts = {"a", " ", "\n\n", "# Heading\n\n", "é", "😀", "*x*", "{--y--}"};
    std::atomic<int> exports{0};
    int exportsAsked = 0;
    const qsizetype largest = editor.text.size() * 3 / 2;
    const quint64 cyclesBefore = bridge->completedCycles();
    quint64 cyclesAtLastChange = cyclesBefore;
    QElapsedTimer clock;
    clock.start();
    // The text keeps about its size, so that a slow machine's cycles do not
    // grow slower as it edits.
    for (int edit = 0; clock.elapsed() < 1500; edit++) {
        qsizetype at = qsizetype(random() % quint32(editor.text.size()));
        if (editor.text[at].isLowSurrogate())
            at--;  // never inside a surrogate pair, as no editor would
        if (random() % 3 == 0 || editor.text.size() > largest)
            editor.edit(at, editor.text[at].isHighSurrogate() ? 2 : 1, QString());
        else
            editor.edit(at, 0, inserts[int(random() % quint32(inserts.size()))]);
        switch (edit % 97) {
        case 10:
            bridge->tzrTags();  // the engine's lock taken on the main thread
            break;
        case 20:
            bridge->headersFilteredFor("section 1");
            break;
        case 30:  // an export on another thread of the text taken here, while it edits
            exportsAsked++;
            platform::Dispatch::background([this, &exports, text = editor.text.toUtf8(), css = editor.cssPath] {
                bridge->exportToFormat(0, text, css);
                exports++;
            });
            break;
        case 40:
            // A preference change ends the cycle running: between cycles
            // only, or a slow machine would never finish one.
            if (bridge->completedCycles() > cyclesAtLastChange) {
                cyclesAtLastChange = bridge->completedCycles();
                defaults.setBool(edit % 2, "EXT_SMART");
            }
            break;
        case 50:
            editor.setHidden(EngineEditorLink::View::Preview, edit % 3 == 0);
            break;
        }
        QCoreApplication::processEvents();
    }
    // The exports read the bridge: they end before the test does.
    EXPECT_TRUE(testing_qt::spinUntil([&] { return exports == exportsAsked; }, std::chrono::seconds(120)));
    editor.setHidden(EngineEditorLink::View::Preview, false);
    editAndSettle(0, 0, "Final ");
    // Cycles that a newer text overtakes end early: a slow machine may finish
    // none while the edits come, but the one after them.
    EXPECT_GT(bridge->completedCycles(), cyclesBefore);
    EXPECT_GT(exportsAsked, 0);
    EXPECT_EQ(editor.offMainCalls, 0);
    EXPECT_EQ(withoutAnchor(lastHtml()), rendered(editor.text.toUtf8()));
    EXPECT_EQ(bridge->headers().get().generation, editor.generation);
}

TEST_F(BridgeTest, TheBridgeCanGoWhileACycleParsesBuildsItsListsOrWaitsToResume) {
    auto goSoon = [this](bool *gone) {
        return [this, gone] {
            QTimer::singleShot(0, [this, gone] {
                bridge.reset();
                *gone = true;
            });
        };
    };
    // Right after the text was copied, while the cycle parses 1 MB.
    bool gone = false;
    start(sampleDocument(1024 * 1024));
    const qsizetype stores = htmls.size();
    editor.onTextCopy = goSoon(&gone);
    editor.edit(0, 0, "x");
    ASSERT_TRUE(testing_qt::spinUntil([&] { return gone; }));
    ASSERT_TRUE(drainBackground());
    EXPECT_EQ(htmls.size(), stores);  // the cycle stopped without publishing

    // Halfway through the lists, when the citation keys reach the completion.
    QTemporaryDir folder;
    QFile bib(folder.filePath("refs.bib"));
    ASSERT_TRUE(bib.open(QIODevice::WriteOnly) && bib.write("@book{key1,\n}\n") > 0);
    bib.close();
    gone = false;
    editor.setText("Title: T\nbibtex: refs.bib\n\n" + sampleDocument(100 * 1024));
    makeBridge();
    bridge->setTransclusionFolder(folder.path());
    editor.onBibtex = goSoon(&gone);
    bridge->enableUpdating();
    ASSERT_TRUE(testing_qt::spinUntil([&] { return gone; }));
    ASSERT_TRUE(drainBackground());

    // Between the end of a cycle and its resume.
    makeBridge();
    bridge->enableUpdating();
    ASSERT_TRUE(testing_qt::spinUntil([&] { return bridge->completedCycles() == 1; }, std::chrono::seconds(30)));
    EXPECT_TRUE(bridge->isUpdating());
    bridge.reset();
    ASSERT_TRUE(drainBackground());
    testing_qt::spinFor(std::chrono::milliseconds(80));  // past the resume it would have had
}
