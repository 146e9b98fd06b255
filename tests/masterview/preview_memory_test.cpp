// The preview of a large document hidden and shown again, and loaded again in
// full: its page's process never holds much more than the first opening took,
// and the page ends up holding the document as it is now.
#include "master_view_support.h"

#include <QWebEnginePage>

#include "support/page_memory.h"

using namespace masterview_test;
using testing_proc::PageMemoryWatch;

namespace {

// A glossary of `terms` entries, one top-level list: each a term in bold with
// a list of two inside it, about 140 bytes. Its page's nodes and their layout
// take several times its size.
QString glossary(int terms) {
    QString text = QStringLiteral("# Glossary\n\nThe terms, in order.\n\n");
    for (int i = 0; i < terms; i++) {
        text += QStringLiteral("* **Term %1** stands for one thing of the glossary, said in a few words.\n").arg(i);
        for (int k = 0; k < 2; k++)
            text += QStringLiteral("    * an *aspect* %1.%2 of it\n").arg(i).arg(k);
    }
    return text + QStringLiteral("\nThe last paragraph.\n");
}

constexpr int Terms = 4500;  // 600 KB

// The most the page's process may hold after the first opening: a little
// more than it took then (the page, once laid out, holds what it held), far
// less than a second page's worth.
qint64 boundAfter(qint64 firstOpening) {
    return firstOpening + firstOpening / 5;
}

}  // namespace

class PreviewMemoryTest : public MasterViewTest {
protected:
    std::unique_ptr<PageMemoryWatch> memory;
    int loads = 0;

    // Opens the glossary and waits until its page holds all of it, laid out.
    void openGlossary() {
        open(glossary(Terms));
        memory = std::make_unique<PageMemoryWatch>(view->webView()->page());
        QObject::connect(&controller(), &PreviewController::pageLoaded, [this] { loads++; });
        ASSERT_TRUE(showsTheDocument(QStringLiteral("The last paragraph.")));
        loads = 0;
    }
    PreviewController &controller() const { return view->webView()->controller(); }
    // The page holds every term and `last` in its last paragraph, and has
    // been laid out since (its geometry, which lays the page out, came in).
    bool showsTheDocument(const QString &last) {
        if (!previewShows(last, 120000))
            return false;
        return testing_qt::spinUntil(
            [&] {
                if (controller().isUpdating() || !controller().geometry())
                    return false;
                // The last paragraph's words, without the caret's anchor.
                const QVariantList counts =
                    web_test::evaluate(*view->webView(),
                                       QStringLiteral("(function () { var p = document.body.lastElementChild.cloneNode(true);"
                                                      " var a = p.querySelector('#TZRHTMLSCROLLPOINT'); if (a) a.remove();"
                                                      " return [document.querySelectorAll('body > ul > li').length,"
                                                      " document.querySelectorAll('strong').length, p.textContent]; })()"))
                        .toList();
                return counts.size() == 3 && counts[0].toInt() == Terms && counts[1].toInt() == Terms &&
                       counts[2].toString() == last;
            },
            std::chrono::seconds(60));
    }
    bool paneAtRest() const { return !view->previewPane()->isAdjusting(); }
    // Whether the last paragraph stands in the preview's view.
    bool lastParagraphInView() {
        return web_test::evaluate(*view->webView(),
                                  QStringLiteral("(function () { var r = document.body.lastElementChild"
                                                 ".getBoundingClientRect(); return r.bottom > 0 && r.top < innerHeight; })()"))
            .toBool();
    }
};

// Hidden and shown again, the page is the one it was: the edits made while
// it was hidden go in as changes, the page goes where the caret is, and its
// process holds what it held; so through quick toggles, each with an update
// on its way, and toggles sent while the pane moves. Loaded again in full,
// by the user's refresh or for another style sheet, the page is built in a
// process of its own once the old one has ended, and holds what the first
// opening took. The hidden preview used to be laid out at every width its
// pane passed through and at none, each time anew, then loaded again whole
// beside the old page; a page loaded again in full was built beside the old
// one's nodes, let go but not collected.
TEST_F(PreviewMemoryTest, HiddenShownAndLoadedAgainThePageHoldsWhatItTookAtFirst) {
    openGlossary();
    const qint64 first = memory->peak();
    const qint64 firstTogether = memory->peakTogether();
    // A page that holds this much gets a process of its own when loaded
    // again.
    ASSERT_GT(first, qint64(300) << 20);
    memory->restart();

    view->togglePreview();
    ASSERT_TRUE(testing_qt::spinUntil([&] { return !view->isPreviewVisible() && paneAtRest(); }));
    const QString last = QStringLiteral("The last paragraph.");
    select(text().indexOf(last) + last.size());
    typeText(editor(), QStringLiteral(" Typed while hidden."));
    testing_qt::spinFor(std::chrono::milliseconds(300));
    view->togglePreview();
    ASSERT_TRUE(showsTheDocument(QStringLiteral("The last paragraph. Typed while hidden.")));
    EXPECT_TRUE(lastParagraphInView());
    EXPECT_LE(memory->peak(), boundAfter(first)) << "first opening " << first;
    EXPECT_EQ(loads, 0);

    for (int round = 0; round < 3; round++) {
        typeText(editor(), QStringLiteral(" R%1").arg(round));
        view->togglePreview();
        testing_qt::spinFor(std::chrono::milliseconds(20 * round));
        view->togglePreview();  // while the pane moves: nothing
        ASSERT_TRUE(testing_qt::spinUntil([&] { return paneAtRest(); }));
        EXPECT_FALSE(view->isPreviewVisible());
        view->togglePreview();
        ASSERT_TRUE(testing_qt::spinUntil([&] { return paneAtRest(); }));
    }
    const QString shown = QStringLiteral("The last paragraph. Typed while hidden. R0 R1 R2");
    ASSERT_TRUE(showsTheDocument(shown));
    EXPECT_TRUE(lastParagraphInView());
    EXPECT_LE(memory->peak(), boundAfter(first)) << "first opening " << first;
    EXPECT_EQ(loads, 0);
    EXPECT_FALSE(controller().isPageEnded());

    for (const char *how : {"refresh", "style sheet"}) {
        SCOPED_TRACE(how);
        memory->restart();
        const int before = loads;
        if (QLatin1String(how) == QLatin1String("refresh"))
            view->refreshPreview();
        else
            view->applyCSSNamed(QStringLiteral("Orvane"));
        ASSERT_TRUE(testing_qt::spinUntil([&] { return loads > before; }, std::chrono::seconds(120)));
        ASSERT_TRUE(showsTheDocument(shown));
        EXPECT_LE(memory->peak(), boundAfter(first)) << "first opening " << first;
        // The old page's process and the new one's, empty until the old
        // one has ended: far from two pages' worth.
        EXPECT_LE(memory->peakTogether(), firstTogether + firstTogether * 3 / 4) << "first opening " << firstTogether;
    }
}
