// The bridge under load and at teardown: edits from the main thread without
// pause while cycles run (with tags, filters, exports and preference changes
// in between), and the bridge destroyed at each stage of a cycle.
#include "engine_bridge_support.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <random>

#include "tzr.h"

using platform::Dispatch;
using testing_qt::spinFor;
using testing_qt::spinUntil;

TEST_F(BridgeTest, ContinuousEditsWhileCyclesRunEndWithTheLastTextRendered) {
    defaults.setBool(true, "EXT_CRITIC");
    start(sampleDocument(60 * 1024));
    std::mt19937 random(29);
    const QStringList inserts = {"a", " ", "\n\n", "# New heading\n\n", "é", "😀", "*x*", "{--y--}", "\n- item\n"};
    std::atomic<int> exportsDone{0};
    QElapsedTimer clock;
    clock.start();
    int edits = 0;
    while (clock.elapsed() < 1500) {
        const qsizetype at = qsizetype(random() % quint32(editor.text.size() + 1));
        if (random() % 3 == 0 && editor.text.size() > 10) {
            qsizetype length = std::min<qsizetype>(qsizetype(random() % 5) + 1, editor.text.size() - at);
            // Never split a surrogate pair: a real editor would not.
            if (at > 0 && editor.text[at].isLowSurrogate())
                continue;
            if (at + length < editor.text.size() && editor.text[at + length].isLowSurrogate())
                length++;
            editor.edit(at, length, QString());
        } else if (!(at > 0 && at < editor.text.size() && editor.text[at].isLowSurrogate())) {
            editor.edit(at, 0, inserts[int(random() % quint32(inserts.size()))]);
        }
        editor.caret = std::min(editor.caret, editor.text.size());
        edits++;
        switch (edits % 97) {
        case 10:
            bridge->tzrTags();  // the engine lock taken on the main thread
            break;
        case 20:
            bridge->headersFilteredFor("section 1");
            break;
        case 30:
            // An export from another thread reads the text through the main
            // thread while this one keeps editing.
            Dispatch::background([this, &exportsDone] {
                bridge->exportToFormat(0);
                exportsDone++;
            });
            break;
        case 40:
            defaults.setBool(edits % 2, "EXT_SMART");
            break;
        case 50:
            editor.setHidden(EngineEditorLink::View::Preview, edits % 3 == 0);
            break;
        }
        QCoreApplication::processEvents();
    }
    editor.setHidden(EngineEditorLink::View::Preview, false);
    editor.edit(0, 0, "Final ");
    ASSERT_TRUE(settle());

    EXPECT_GT(bridge->completedCycles(), 5u);
    EXPECT_GT(exportsDone, 0);
    EXPECT_EQ(editor.offMainCalls, 0);
    EXPECT_EQ(withoutAnchor(lastHtml()), rendered(editor.text));
    EXPECT_EQ(bridge->headers().get().generation, editor.generation);
}

TEST_F(BridgeTest, TheBridgeCanGoWhileACycleParses) {
    start(sampleDocument(1024 * 1024));
    const qsizetype stores = htmls.size();
    bool gone = false;
    editor.onTextCopy = [&] {
        editor.onTextCopy = nullptr;
        // Right after the text is copied, while the cycle goes on parsing.
        QTimer::singleShot(0, [&] {
            bridge.reset();
            gone = true;
        });
    };
    editor.edit(0, 0, "x");
    ASSERT_TRUE(spinUntil([&] { return gone; }));
    ASSERT_TRUE(drainBackground());
    EXPECT_EQ(htmls.size(), stores);  // the cycle stopped without publishing
}

TEST_F(BridgeTest, TheBridgeCanGoWhileACycleBuildsItsListsOrWaitsToResume) {
    QTemporaryDir folder;
    QFile bib(folder.filePath("refs.bib"));
    ASSERT_TRUE(bib.open(QIODevice::WriteOnly));
    bib.write("@book{key1,\n}\n");
    bib.close();
    editor.setText("Title: T\nbibtex: refs.bib\n\n" + sampleDocument(100 * 1024));
    makeBridge();
    bridge->setTransclusionFolder(folder.path());
    bool gone = false;
    // The citation keys reach the completion halfway through the lists.
    editor.onBibtex = [&] {
        editor.onBibtex = nullptr;
        QTimer::singleShot(0, [&] {
            bridge.reset();
            gone = true;
        });
    };
    bridge->enableUpdating();
    ASSERT_TRUE(spinUntil([&] { return gone; }));
    ASSERT_TRUE(drainBackground());
    spinFor(std::chrono::milliseconds(80));  // past the resume it would have had

    // Again, now between the end of a cycle and its resume.
    gone = false;
    makeBridge();
    bridge->enableUpdating();
    ASSERT_TRUE(spinUntil([&] { return bridge->completedCycles() == 1; }, std::chrono::seconds(30)));
    EXPECT_TRUE(bridge->isUpdating());
    bridge.reset();
    ASSERT_TRUE(drainBackground());
    spinFor(std::chrono::milliseconds(80));
}
