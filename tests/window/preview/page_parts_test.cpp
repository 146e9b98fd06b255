// A large body cut into parts, and the parts a change touches, without a page.
#include "window/preview/page_parts.h"

#include "support/large_documents.h"
#include "support/preview_render.h"
#include "support/shaped_documents.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

using namespace preview;

namespace {

// `count` paragraphs of about 200 characters, the i-th naming itself.
QStringList paragraphs(int count) {
    QStringList list;
    for (int i = 0; i < count; i++)
        list << QStringLiteral("<p>Paragraph %1 %2</p>\n").arg(i).arg(QString(180, u'x'));
    return list;
}

std::shared_ptr<const BodyBlocks> blocksOf(const QStringList &list) {
    return std::make_shared<const BodyBlocks>(list.join(QString()));
}

// The parts' texts put together, and every part's blocks whole.
void expectWholeAndInOrder(const BodyParts &parts) {
    QString joined;
    for (qsizetype i = 0; i < parts.count(); i++) {
        joined += parts.text(i);
        if (i + 1 < parts.count()) {
            EXPECT_EQ(parts.firstBlock(i) + parts.blockCount(i), parts.firstBlock(i + 1));
        }
    }
    EXPECT_EQ(joined, parts.blocks().text());
    if (parts.count() > 0) {
        EXPECT_EQ(parts.firstBlock(0), 0);
        EXPECT_EQ(parts.firstBlock(parts.count() - 1) + parts.blockCount(parts.count() - 1), parts.blocks().count());
    }
}

QStringList textsOf(const BodyParts &parts) {
    QStringList list;
    for (qsizetype i = 0; i < parts.count(); i++)
        list << parts.text(i).toString();
    return list;
}

}  // namespace

// Parts are runs of whole blocks that reach kPartChars (the last may be
// shorter), and a block or an offset is found in the part that holds it.
TEST(PageParts, CutsABodyIntoRunsOfWholeBlocks) {
    const BodyParts parts(blocksOf(paragraphs(2000)));
    ASSERT_GT(parts.count(), 5);
    expectWholeAndInOrder(parts);
    for (qsizetype i = 0; i + 1 < parts.count(); i++) {
        EXPECT_GE(parts.text(i).size(), kPartChars);
        EXPECT_LT(parts.text(i).size(), kPartChars + 400);
    }
    const qsizetype block = parts.firstBlock(3) + 2;
    EXPECT_EQ(parts.partOfBlock(block), 3);
    EXPECT_EQ(parts.partOfBlock(parts.firstBlock(3)), 3);
    EXPECT_EQ(parts.partOfBlock(parts.blocks().count() + 5), parts.count() - 1);
    const qsizetype offset = parts.blocks().block(block).data() - parts.blocks().text().data();
    EXPECT_EQ(parts.partAt(offset), 3);
    EXPECT_EQ(parts.partAt(0), 0);
    EXPECT_EQ(parts.partAt(parts.blocks().text().size()), parts.count() - 1);

    EXPECT_EQ(BodyParts(std::make_shared<const BodyBlocks>()).count(), 0);
    EXPECT_EQ(BodyParts(nullptr).count(), 0);
}

// A change replaces only the parts it touched; every other part keeps its
// text, and the new parts together are the new body.
TEST(PageParts, AChangeTouchesOnlyItsParts) {
    QStringList list = paragraphs(2000);
    const BodyParts before(blocksOf(list));
    const QStringList old = textsOf(before);
    const qsizetype target = before.firstBlock(4) + 3;

    // One block edited.
    QStringList edited = list;
    edited[target] = QStringLiteral("<p>Paragraph edited</p>\n");
    PartChange change = changeParts(before, blocksOf(edited));
    expectWholeAndInOrder(change.parts);
    ASSERT_EQ(change.hunks.size(), 1u);
    EXPECT_EQ(change.hunks[0], (PartHunk{4, 1, 4, 1}));
    EXPECT_EQ(change.parts.count(), before.count());
    QStringList now = textsOf(change.parts);
    for (qsizetype i = 0; i < before.count(); i++) {
        if (i == 4)
            continue;
        EXPECT_EQ(now[i], old[i]) << i;
    }
    EXPECT_TRUE(now[4].contains("Paragraph edited"));

    // Many blocks inserted in one part: it is cut again, the parts after it
    // keep their text at their new places.
    QStringList grown = list;
    for (int i = 0; i < 400; i++)
        grown.insert(target, QStringLiteral("<p>New %1 %2</p>\n").arg(i).arg(QString(100, u'y')));
    change = changeParts(before, blocksOf(grown));
    expectWholeAndInOrder(change.parts);
    ASSERT_EQ(change.hunks.size(), 1u);
    EXPECT_EQ(change.hunks[0].before, 4);
    EXPECT_EQ(change.hunks[0].removed, 1);
    EXPECT_GT(change.hunks[0].inserted, 1);
    now = textsOf(change.parts);
    const qsizetype moved = change.hunks[0].inserted - 1;
    for (qsizetype i = 5; i < before.count(); i++)
        EXPECT_EQ(now[i + moved], old[i]) << i;

    // Two edits far apart (the caret's anchor moved, say): two hunks.
    QStringList apart = list;
    apart[before.firstBlock(1)] = QStringLiteral("<p>Near the top</p>\n");
    apart[before.firstBlock(before.count() - 2) + 1] = QStringLiteral("<p>Near the end</p>\n");
    change = changeParts(before, blocksOf(apart));
    expectWholeAndInOrder(change.parts);
    ASSERT_EQ(change.hunks.size(), 2u);
    EXPECT_EQ(change.hunks[0].before, 1);
    EXPECT_EQ(change.hunks[1].before, before.count() - 2);

    // Blocks added at the very end go to the last part; everything removed
    // leaves no part.
    QStringList longer = list;
    longer << QStringLiteral("<p>The last word</p>\n");
    change = changeParts(before, blocksOf(longer));
    expectWholeAndInOrder(change.parts);
    ASSERT_EQ(change.hunks.size(), 1u);
    EXPECT_EQ(change.hunks[0].before, before.count() - 1);
    change = changeParts(before, blocksOf({}));
    EXPECT_EQ(change.parts.count(), 0);
    ASSERT_EQ(change.hunks.size(), 1u);
    EXPECT_EQ(change.hunks[0], (PartHunk{0, before.count(), 0, 0}));

    // From nothing, every part is new.
    change = changeParts(BodyParts(), blocksOf(list));
    ASSERT_EQ(change.hunks.size(), 1u);
    EXPECT_EQ(change.hunks[0], (PartHunk{0, 0, 0, change.parts.count()}));

    // No change, no hunk.
    EXPECT_TRUE(changeParts(before, blocksOf(list)).hunks.empty());
}

// The element a block begins with, named as the page names its nodes.
TEST(PageParts, NamesABlocksElement) {
    EXPECT_EQ(blockElementName(u"<p>text</p>"), "P");
    EXPECT_EQ(blockElementName(u"\n<h2 id=\"a\">Title</h2>"), "H2");
    EXPECT_EQ(blockElementName(u"<ul>\n<li>x</li>\n</ul>"), "UL");
    EXPECT_EQ(blockElementName(u"<!-- note -->"), "#comment");
    EXPECT_EQ(blockElementName(u"plain text"), "#text");
    EXPECT_EQ(blockElementName(u"< p"), "#text");
    EXPECT_EQ(blockElementName(u""), "#text");
}

// A long line is one block, a part of its own. The caret's anchor, a block
// of its own before the line, moved into it (the caret went to the line's
// end) and paragraphs were pasted after it: the parts around the line are
// cut again, and the change is taken so
// that the line's part stays in its place, to be spliced there, with the
// parts before and after it replaced around it; a hunk of parts of the same
// count is taken part by part, leaving out those whose text is the same.
TEST(PageParts, ALongPartKeepsItsPlaceWhenThePartsAroundItAreCutAgain) {
    const QString line = QStringLiteral("<p>") + QString(3 * kSplicedPartChars, u'w') + QStringLiteral("</p>\n");
    const QString anchor = QStringLiteral("<a id=\"TZRHTMLSCROLLPOINT\"></a>\n");
    QStringList list = paragraphs(600);
    list.insert(0, anchor);
    list.insert(1, line);
    const BodyParts before(blocksOf(list));
    // The line is a part of its own, after the anchor's.
    ASSERT_EQ(before.blockCount(0), 1);
    ASSERT_EQ(before.text(1), line);
    ASSERT_GT(before.text(2).size(), kPartChars);

    QStringList moved = list;
    moved.removeAt(0);
    moved[0] = QStringLiteral("<p>") + QString(3 * kSplicedPartChars, u'w') + anchor.trimmed() + QStringLiteral("</p>\n");
    // And paragraphs pasted after the line.
    for (int i = 0; i < 300; i++)
        moved.insert(1, QStringLiteral("<p>Pasted %1</p>\n").arg(i));
    PartChange change = changeParts(before, blocksOf(moved));
    ASSERT_EQ(change.hunks.size(), 1u);
    const PartHunk &hunk = change.hunks[0];
    const std::vector<PartHunk> taken = partByPart(before, change.parts, change.hunks);
    // The hunk's parts, the same parts in the same order.
    qsizetype removed = 0, inserted = 0;
    qsizetype longs = 0;
    for (const PartHunk &h : taken) {
        removed += h.removed;
        inserted += h.inserted;
        if (h.removed == 1 && h.inserted == 1 && before.text(h.before).size() >= kSplicedPartChars) {
            longs++;
            const auto cut = partSplice(before.text(h.before), change.parts.text(h.after));
            ASSERT_TRUE(cut);
            EXPECT_LT(change.parts.text(h.after).size() - cut->head - cut->tail, 100);
        }
    }
    EXPECT_EQ(longs, 1);
    EXPECT_EQ(removed, hunk.removed);
    EXPECT_EQ(inserted, hunk.inserted);
    for (size_t i = 1; i < taken.size(); i++) {
        EXPECT_EQ(taken[i].before, taken[i - 1].before + taken[i - 1].removed);
        EXPECT_EQ(taken[i].after, taken[i - 1].after + taken[i - 1].inserted);
    }

    // Three parts for three, the middle one alone changed.
    const BodyParts same(blocksOf(list));
    QStringList edited = list;
    edited[same.firstBlock(3) + 1] = QStringLiteral("<p>Paragraph edited</p>\n");
    const BodyParts after(blocksOf(edited), same.firstBlocks());
    EXPECT_EQ(partByPart(same, after, {{2, 3, 2, 3}}), (std::vector<PartHunk>{{3, 1, 3, 1}}));
    // No long part: the hunk as it is.
    EXPECT_EQ(partByPart(same, after, {{2, 3, 2, 2}}), (std::vector<PartHunk>{{2, 3, 2, 2}}));
}

namespace {

// The parts of the body of `published`, cut where the writer began its
// blocks.
BodyParts partsOf(const PreviewHtml &published) {
    const std::optional<TextRange> body = bodyRange(published.html);
    if (!body)
        return BodyParts();
    return BodyParts(std::make_shared<const BodyBlocks>(
        published.html, partedBlockStarts(published.html, *body, published.blockStarts.get()),
        body->start + body->length));
}

// Where the elements at the top of the body begin, by the nesting of its
// tags (offsets in the page's text).
std::set<qsizetype> topElements(const QString &html) {
    const std::optional<TextRange> body = bodyRange(html);
    std::set<qsizetype> starts;
    for (qsizetype start : topLevelBlockStarts(QStringView(html).mid(body->start, body->length)))
        starts.insert(body->start + start);
    return starts;
}

// The parts of a page's body, put together, are the body.
void expectTheBody(const BodyParts &parts, const QString &html) {
    QString joined;
    for (qsizetype k = 0; k < parts.count(); k++)
        joined += parts.text(k);
    const std::optional<TextRange> body = bodyRange(html);
    EXPECT_EQ(joined, QStringView(html).mid(body->start, body->length).toString());
}

// Where each part after the first begins its first element.
std::vector<qsizetype> partElements(const BodyParts &parts) {
    std::vector<qsizetype> places;
    const QString &text = parts.blocks().text();
    for (qsizetype k = 1; k < parts.count(); k++) {
        qsizetype at = parts.text(k).data() - text.data();
        while (at < text.size() && text[at].isSpace())
            at++;
        places.push_back(at);
    }
    return places;
}

}  // namespace

// A page of every shape the writer nests: each part ends where one of the
// elements at the top of the body ends, so that a table, a quote, a list
// with lists inside, definitions, HTML blocks, math, code with blank lines
// and the notes are never cut inside. The cut by blank lines cut a table
// between its head and its body, a quote and a list between paragraphs.
TEST(PageParts, APartEndsOnlyBetweenTheWritersTopLevelBlocks) {
    const PreviewHtml published = renderedForPreview(shaped::allShapes(0.2));
    ASSERT_TRUE(published.blockStarts);
    const BodyParts parts = partsOf(published);
    ASSERT_GT(parts.count(), 8);
    expectTheBody(parts, published.html);
    const std::set<qsizetype> top = topElements(published.html);
    for (qsizetype at : partElements(parts))
        EXPECT_TRUE(top.count(at)) << QStringView(published.html).mid(at, 60).toString().toStdString();
    // Blocks longer than a part are parts of their own.
    bool table = false, quote = false;
    for (qsizetype k = 0; k < parts.count(); k++) {
        const QString text = parts.text(k).trimmed().toString();
        table = table || (text.startsWith(u"<table>") && text.endsWith(u"</table>") && parts.blockCount(k) == 1);
        quote = quote || (text.startsWith(u"<blockquote>") && parts.blockCount(k) == 1);
    }
    EXPECT_TRUE(table);
    EXPECT_TRUE(quote);
    // Without the writer's places the nesting of the tags says where.
    const std::optional<TextRange> body = bodyRange(published.html);
    std::vector<qsizetype> nested = partedBlockStarts(published.html, *body, nullptr);
    EXPECT_EQ(std::set<qsizetype>(nested.begin() + 1, nested.end()).size() + 1, nested.size());
    for (size_t i = 1; i < nested.size(); i++)
        EXPECT_TRUE(top.count(nested[i]));
}

// A div the document's raw HTML leaves open takes no more than the rest of
// its part: the parts after it are cut as before, at the writer's blocks,
// where the nesting of the tags would make the rest of the body one block.
TEST(PageParts, AnElementLeftOpenReachesNoFurtherThanItsPart) {
    const QString text = shaped::allShapes(0.2);
    const qsizetype middle = text.indexOf(u"## Definitions");
    const PreviewHtml published =
        renderedForPreview(text.left(middle) + QStringLiteral("<div class=\"open\">\n\n") + text.mid(middle));
    const BodyParts parts = partsOf(published);
    const qsizetype open = parts.partAt(published.html.indexOf(u"<div class=\"open\">"));
    EXPECT_GT(parts.count() - open, 4);
    expectTheBody(parts, published.html);
    const std::optional<TextRange> body = bodyRange(published.html);
    const std::vector<qsizetype> nested = topLevelBlockStarts(QStringView(published.html).mid(body->start, body->length));
    EXPECT_EQ(nested.back() + body->start, published.html.indexOf(u"<div class=\"open\">"));
}

// Random edits of every shape, each taken as the preview takes it (the
// parts it touched cut again, taken part by part, long ones spliced), keep
// a page that holds the new text's body exactly, part by part, each part
// whole blocks of the new text: what a fresh cut of it would hold.
TEST(PageParts, PartsChangedByRandomEditsHoldWhatAFreshPageHolds) {
    std::mt19937 random(7);
    QString text = shaped::allShapes(0.2);
    PreviewHtml published = renderedForPreview(text);
    BodyParts parts = partsOf(published);
    QStringList page = textsOf(parts);  // what the page's parts hold
    const QString typed[] = {"x", " ", "\n", "\n\n", "|", "> ", "* ", "    ", "`", "$$", "[^note3]", ": "};
    for (int round = 0; round < 40; round++) {
        // Edits in one place, or in two far apart (the caret moved).
        for (int edit = 0; edit < 1 + int(random() % 2); edit++) {
            const qsizetype at = qsizetype(random() % quint32(text.size()));
            if (random() % 3 == 0)
                text.remove(at, qsizetype(random() % 40));
            else
                text.insert(at, typed[random() % std::size(typed)]);
        }
        const PreviewHtml next = renderedForPreview(text);
        const BodyParts fresh = partsOf(next);
        PartChange change = changeParts(parts, fresh.sharedBlocks());
        const std::vector<PartHunk> hunks = partByPart(parts, change.parts, change.hunks);
        for (auto h = hunks.rbegin(); h != hunks.rend(); ++h) {
            if (h->removed == 1 && h->inserted == 1) {
                if (const auto cut = partSplice(page[h->before], change.parts.text(h->after))) {
                    const QStringView made = change.parts.text(h->after);
                    page[h->before] = page[h->before].left(cut->head) +
                                      made.mid(cut->head, made.size() - cut->head - cut->tail).toString() +
                                      page[h->before].right(cut->tail);
                    continue;
                }
            }
            page.remove(h->before, h->removed);
            for (qsizetype k = 0; k < h->inserted; k++)
                page.insert(h->before + k, change.parts.text(h->after + k).toString());
        }
        ASSERT_EQ(page, textsOf(change.parts)) << "round " << round;
        const std::optional<TextRange> body = bodyRange(next.html);
        ASSERT_EQ(page.join(QString()), QStringView(next.html).mid(body->start, body->length).toString())
            << "round " << round;
        // Each part begins at a block of the new text.
        const QString &html = change.parts.blocks().text();
        const std::set<qsizetype> written(next.blockStarts->begin(), next.blockStarts->end());
        for (qsizetype k = 1; k < change.parts.count(); k++)
            ASSERT_TRUE(written.count(change.parts.text(k).data() - html.data())) << "round " << round;
        // And at an element that the new body's tags, read without the
        // writer's places that made the cut, put at its top: up to the first
        // box of raw HTML (whose tags an edit may leave open) the body is
        // the writer's own markup, whose tags say where its blocks are.
        const std::set<qsizetype> top = topElements(next.html);
        const qsizetype raw = next.html.indexOf(u"class=\"box\"");
        for (qsizetype at : partElements(change.parts))
            if (raw < 0 || at < raw) {
                ASSERT_TRUE(top.count(at)) << "round " << round << ": "
                                           << QStringView(html).mid(at, 60).toString().toStdString();
            }
        parts = std::move(change.parts);
    }
}

// A key in a block longer than a part: the change lies among the children
// of the innermost element that holds blocks (a row's cells, a quote's
// paragraphs, a list's items, the notes' items), which the page replaces
// alone; a long line, or an edit that reaches across most of the part,
// has none.
TEST(PageParts, AKeyInALongBlockReplacesTheChildrenItLiesAmong) {
    struct Case {
        QString text, typedAfter, path, run;
    };
    const Case cases[] = {
        {shaped::table(2000), "Row 1000 of", "TABLE TBODY TR", "TD"},
        {shaped::quote(4000), "Quote line 2001 says", "BLOCKQUOTE", "P"},
        {shaped::nestedList(800), "Inner item 400.1", "UL LI UL", "LI"},
        {shaped::definitions(3000), "Definition 1500 of", "DL", "DD"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        const QString text = QStringLiteral("# Title\n\n") + c.text;
        QString typed = text;
        typed.insert(typed.indexOf(c.typedAfter) + c.typedAfter.size(), QStringLiteral(" typed"));
        const BodyParts before = partsOf(renderedForPreview(text)), after = partsOf(renderedForPreview(typed));
        qsizetype k = 0;
        while (k < before.count() && before.text(k).size() < kSplicedPartChars)
            k++;
        ASSERT_LT(k, before.count());
        const QStringView old = before.text(k), made = after.text(k);
        const std::optional<PartSplice> cut = partSplice(old, made);
        ASSERT_TRUE(cut);
        const std::optional<InnerRun> run = innerRun(old, made, *cut);
        ASSERT_TRUE(run);
        EXPECT_EQ(run->names.join(u' '), c.path);
        EXPECT_EQ(run->firstName, c.run);
        EXPECT_EQ(run->lastName, c.run);
        EXPECT_EQ(run->removed, 1);
        EXPECT_EQ(run->inserted, 1);
        // The new run is whole elements of the new text, and the rest of it
        // is the old text around the old run.
        const QStringView fresh = made.mid(run->start, run->length);
        EXPECT_TRUE(fresh.startsWith(QStringLiteral("<") + c.run.toLower())) << fresh.left(80).toString().toStdString();
        EXPECT_TRUE(fresh.contains(u" typed"));
        const qsizetype oldEnd = run->start + run->length - (made.size() - old.size());
        EXPECT_EQ(made.left(run->start), old.left(run->start));
        EXPECT_EQ(made.mid(run->start + run->length), old.mid(oldEnd));
        EXPECT_LT(fresh.size(), 400);
    }
    // One long line: its paragraph is the whole part.
    const QString line = QStringLiteral("<p>") + QString(3 * kSplicedPartChars, u'w') + QStringLiteral("</p>\n");
    QString typed = line;
    typed.insert(line.size() / 2, u'x');
    EXPECT_FALSE(innerRun(line, typed, *partSplice(line, typed)));
}

// Children whose old or new text is not whole elements have no run of their
// own: an edit that ends a quote in its middle and begins another (the new
// children would close the quote they are put in, whose end tag the page
// drops, nesting the rest in it), and a key that closes the tag an item
// left open (the page nests the items after it in that element, which
// replacing the item alone would leave there). A key in the item before
// it has one.
TEST(PageParts, ChildrenThatAreNotWholeElementsHaveNoRunOfTheirOwn) {
    auto body = [](const QString &text) {
        const PreviewHtml published = renderedForPreview(text);
        const std::optional<TextRange> range = bodyRange(published.html);
        return published.html.mid(range->start, range->length);
    };
    auto run = [](const QString &old, const QString &made) {
        const std::optional<PartSplice> cut = partSplice(old, made);
        return cut ? innerRun(old, made, *cut) : std::nullopt;
    };
    const QString quote = shaped::quote(2000);
    QString ended = quote;
    ended.insert(ended.indexOf(u"Quote line 1001 says") + 20, QStringLiteral("\n\nNo longer quoted.\n\n"));
    const QString quoted = body(quote), split = body(ended);
    ASSERT_TRUE(split.contains(u"</blockquote>\n\n<p>No longer quoted.</p>"));
    ASSERT_TRUE(partSplice(quoted, split));
    EXPECT_FALSE(run(quoted, split));

    const QString list = QString::fromUtf8(large::list("list.md", 2 * kSplicedPartChars));
    const QString note = QStringLiteral("leaves it open.");
    QString closed = list;
    closed.insert(closed.indexOf(note) + note.size(), QStringLiteral("</code>"));
    const QString open = body(list), mended = body(closed);
    ASSERT_TRUE(partSplice(open, mended));
    EXPECT_FALSE(run(open, mended));
    QString before = list;
    before.insert(before.indexOf(u"Note 2 of list.md") + 17, QStringLiteral(" typed"));
    const std::optional<InnerRun> second = run(open, body(before));
    ASSERT_TRUE(second);
    EXPECT_EQ(second->first, 1);
    EXPECT_EQ(second->removed, 1);
    // The old item's text, where the new one's is in the new part.
    EXPECT_EQ(QStringView(open).mid(second->start, second->oldLength),
              QStringView(body(before)).mid(second->start, second->length).toString().remove(QStringLiteral(" typed")));
}
