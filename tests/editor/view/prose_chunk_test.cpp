// The runs the text services read a block with: inside a list, a quote, a
// table or a fenced code block of megabytes, a run is a few dozen lines, and
// what it leaves out of prose is what a parse of the whole text leaves out.
#include <QTextBlock>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "editor/editor_test_support.h"
#include "editor/markdown/prose_ranges.h"
#include "editor/storage/smart_text_storage.h"
#include "editor/view/prose_chunk.h"
#include "library/token.h"

namespace {

// What of [from, to) is left out of prose, cut to the range.
std::vector<std::tuple<qsizetype, qsizetype, int, bool>> leftOut(const std::vector<prose::Excluded> &excluded,
                                                                  qsizetype from, qsizetype to) {
    std::vector<std::tuple<qsizetype, qsizetype, int, bool>> out;
    for (const prose::Excluded &e : excluded)
        if (e.end > from && e.start < to)
            out.emplace_back(qMax(e.start, from), qMin(e.end, to), int(e.kind), e.silent);
    return out;
}

}  // namespace

TEST(ProseChunk, ARunInsideABlockOfMegabytesIsAFewDozenLinesReadAsTheWholeText) {
    struct Case {
        const char *what;
        QString head;
        QString line;
    };
    const Case cases[] = {
        {"a list", {}, QStringLiteral("- item %1 with `code` and [a link](http://x.org/%1) in it\n")},
        {"a quote", {}, QStringLiteral("> quoted %1 with `code` and $math$ in it\n>\n")},
        {"a table", QStringLiteral("| a | b |\n|---|---|\n"), QStringLiteral("| cell %1 `code` | [x](y%1) |\n")},
        {"a fence", QStringLiteral("```\n"), QStringLiteral("code line %1 with words in it\n")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        QString text = QStringLiteral("Before.\n\n") + c.head;
        for (int i = 0; text.size() < 1000000; i++)
            text += c.line.arg(i);
        text += QStringLiteral("\nAfter.\n");
        SmartTextStorage storage;
        storage.applyThemeFromPath(editortest::themePath());
        storage.setInitialText(text);
        storage.finishLayingIn();
        storage.finishStylingAhead();
        token *whole = storage.parseFrom(0, storage.length());
        ASSERT_NE(whole, nullptr);
        const std::vector<prose::Excluded> wholeExcluded = prose::excludedRanges(whole, 0, storage.length());
        token_tree_free(whole);
        for (qsizetype at : {text.size() / 2, text.size() - 200}) {
            const QTextBlock block = storage.document()->findBlock(int(at));
            const ProseChunk chunk = proseChunkAround(storage, block);
            EXPECT_LE(chunk.from, block.position());
            EXPECT_GE(chunk.to, block.position() + block.length() - 1);
            EXPECT_LT(chunk.to - chunk.from, 20000);
            EXPECT_EQ(leftOut(chunk.excluded, chunk.from, chunk.to), leftOut(wholeExcluded, chunk.from, chunk.to));
        }
    }
}
