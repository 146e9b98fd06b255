// The lazy layout against Qt's own QTextDocumentLayout: on the same document
// they must place every block, caret and hit at the same coordinates and
// give the same height, also after edits and a change of width, whichever
// blocks the lazy one had laid out before.
#include <QAbstractTextDocumentLayout>
#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextLayout>

#include <gtest/gtest.h>

#include <memory>
#include <random>

#include <time.h>

#include "editor/view/lazy_document_layout.h"

namespace {

// The caret rectangle as QTextEdit computes it from a layout.
QRectF caretRect(QTextDocument *document, int position) {
    QTextBlock block = document->findBlock(position);
    const QPointF origin = document->documentLayout()->blockBoundingRect(block).topLeft();
    QTextLine line = block.layout()->lineForTextPosition(position - block.position());
    if (!line.isValid())
        return QRectF(origin, QSizeF(1, 10));
    return QRectF(origin.x() + line.cursorToX(position - block.position()), origin.y() + line.y(), 1,
                  line.height());
}

// Writes the same varied document into `document`: paragraphs that wrap,
// words longer than a line, headings with spacing, hanging and right
// indents, alignments, line heights of every kind, tab stops, fonts of
// several sizes and right-to-left text.
void fill(QTextDocument *document) {
    QTextCursor cursor(document);
    auto block = [&](const QString &text, const QTextBlockFormat &format,
                     const QTextCharFormat &chars = QTextCharFormat()) {
        if (!document->isEmpty() || cursor.position() > 0)
            cursor.insertBlock();
        cursor.setBlockFormat(format);
        cursor.insertText(text, chars);
    };
    QTextBlockFormat plain;
    QTextBlockFormat heading;
    heading.setTopMargin(14);
    heading.setBottomMargin(6);
    heading.setLineHeight(115, QTextBlockFormat::ProportionalHeight);
    QTextCharFormat big;
    big.setFontPointSize(20);
    big.setFontWeight(QFont::Bold);
    QTextBlockFormat item;
    item.setLeftMargin(24);
    item.setTextIndent(-12);
    QTextBlockFormat code;
    code.setTopMargin(12);
    code.setBottomMargin(12);
    code.setRightMargin(30);
    code.setBackground(QColor(240, 240, 240));
    QList<QTextOption::Tab> tabs;
    for (int i = 1; i <= 8; i++)
        tabs.append(QTextOption::Tab(i * 37.5, QTextOption::LeftTab));
    code.setTabPositions(tabs);
    QTextCharFormat mono;
    mono.setFontFamilies({QStringLiteral("DejaVu Sans Mono")});
    QTextBlockFormat fixedHeight;
    fixedHeight.setLineHeight(19, QTextBlockFormat::FixedHeight);
    QTextBlockFormat minimum;
    minimum.setLineHeight(30, QTextBlockFormat::MinimumHeight);
    QTextBlockFormat distance;
    distance.setLineHeight(7, QTextBlockFormat::LineDistanceHeight);
    distance.setIndent(2);
    QTextBlockFormat right;
    right.setAlignment(Qt::AlignRight);
    QTextBlockFormat centre;
    centre.setAlignment(Qt::AlignHCenter);
    centre.setBottomMargin(20);
    QTextBlockFormat justified;
    justified.setAlignment(Qt::AlignJustify);
    justified.setTopMargin(9);

    const QString words = QStringLiteral(
        "The quick brown fox jumps over the lazy dog while the editor keeps every line where "
        "the stock layout would put it, wrapped at the same words and measured in the same "
        "sixty-fourths of a pixel. ");
    for (int round = 0; round < 3; round++) {
        block(QStringLiteral("Heading number %1").arg(round), heading, big);
        block(words + words, plain);
        block(QString(), plain);
        block(QStringLiteral("- an item that hangs its second line under the first word ") + words, item);
        block(QStringLiteral("code\twith\ttabs\tin\tcolumns\tand a rather long line that wraps ") + words, code, mono);
        block(QStringLiteral("Supercalifragilisticexpialidociouslyunbreakablewordthatislongerthanthewholelinebyfarandthensome more"), plain);
        block(words, fixedHeight);
        block(words, minimum);
        block(words, distance);
        block(QStringLiteral("right aligned ") + words, right);
        block(QStringLiteral("centred"), centre);
        block(words + words, justified);
        block(QStringLiteral("שלום עולם, זהו טקסט מימין לשמאל ") + words, plain);
        block(QStringLiteral("emoji 😀 and accents: Café, naïve, Ünïcödé"), plain);
    }
}

struct Pair {
    QTextDocument stock;
    QTextDocument lazy;
    LazyDocumentLayout *layout;

    explicit Pair(qreal width) {
        for (QTextDocument *d : {&stock, &lazy}) {
            d->setUndoRedoEnabled(false);
            d->setDefaultFont(QFont(QStringLiteral("DejaVu Sans"), 11));
            QTextOption option = d->defaultTextOption();
            option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
            d->setDefaultTextOption(option);
        }
        layout = new LazyDocumentLayout(&lazy);
        lazy.setDocumentLayout(layout);
        for (QTextDocument *d : {&stock, &lazy}) {
            fill(d);
            d->setTextWidth(width);
        }
    }

    void setWidth(qreal width) {
        stock.setTextWidth(width);
        lazy.setTextWidth(width);
    }
};

::testing::AssertionResult sameGeometry(Pair &pair, int caretStep) {
    QTextDocument &a = pair.stock, &b = pair.lazy;
    if (a.blockCount() != b.blockCount())
        return ::testing::AssertionFailure() << "block counts differ";
    // Ask the lazy layout for blocks out of order first, so that blocks are
    // laid out while others above still have estimated heights.
    for (int n = b.blockCount() - 1; n >= 0; n -= 7)
        b.documentLayout()->blockBoundingRect(b.findBlockByNumber(n));
    for (QTextBlock x = a.firstBlock(), y = b.firstBlock(); x.isValid(); x = x.next(), y = y.next()) {
        QRectF rx = a.documentLayout()->blockBoundingRect(x);
        QRectF ry = b.documentLayout()->blockBoundingRect(y);
        if (rx != ry)
            return ::testing::AssertionFailure()
                   << "block " << x.blockNumber() << " at (" << rx.x() << "," << rx.y() << " "
                   << rx.width() << "x" << rx.height() << ") against (" << ry.x() << "," << ry.y()
                   << " " << ry.width() << "x" << ry.height() << ")";
    }
    for (int position = 0; position < a.characterCount(); position += caretStep) {
        if (caretRect(&a, position) != caretRect(&b, position))
            return ::testing::AssertionFailure() << "caret differs at " << position;
    }
    pair.layout->finishLayout();
    if (a.documentLayout()->documentSize().height() != b.documentLayout()->documentSize().height())
        return ::testing::AssertionFailure() << "heights " << a.documentLayout()->documentSize().height()
                                             << " and " << b.documentLayout()->documentSize().height();
    const qreal height = a.documentLayout()->documentSize().height();
    for (qreal y = -5; y < height + 20; y += 7.3)
        for (qreal x = -3; x < a.textWidth() + 10; x += 41.7)
            if (a.documentLayout()->hitTest({x, y}, Qt::FuzzyHit) !=
                b.documentLayout()->hitTest({x, y}, Qt::FuzzyHit)) {
                return ::testing::AssertionFailure()
                       << "hit differs at " << x << "," << y << ": "
                       << a.documentLayout()->hitTest({x, y}, Qt::FuzzyHit) << " against "
                       << b.documentLayout()->hitTest({x, y}, Qt::FuzzyHit);
            }
    return ::testing::AssertionSuccess();
}


// A QTextEdit 400 x 300 over the lazy layout, shown, holding `lines` lines
// of words that wrap once or twice at its width.
struct ShownEdit {
    QTextEdit edit;
    LazyDocumentLayout *layout = new LazyDocumentLayout(edit.document());
    explicit ShownEdit(int lines) {
        edit.document()->setDocumentLayout(layout);
        QString text;
        for (int i = 0; i < lines; i++)
            text += QStringLiteral("Line %1 with words enough to wrap at this width once or twice.\n").arg(i);
        edit.resize(400, 300);
        edit.setPlainText(text);
        edit.show();
    }
};

}  // namespace

TEST(LazyLayout, PlacesBlocksCaretsAndHitsAsQtsOwnLayout) {
    Pair pair(480);
    EXPECT_TRUE(sameGeometry(pair, 3));
    pair.lazy.setDocumentMargin(12);
    pair.stock.setDocumentMargin(12);
    pair.setWidth(333.5);
    EXPECT_TRUE(sameGeometry(pair, 5));
}

TEST(LazyLayout, StaysEqualThroughRandomEdits) {
    Pair pair(420);
    std::mt19937 random(7);
    const QString pieces[] = {QStringLiteral("x"), QStringLiteral(" word "), QStringLiteral("\n"),
                              QStringLiteral("\n\n"), QStringLiteral("long paragraph text "),
                              QStringLiteral("😀"), QStringLiteral("\t")};
    for (int step = 0; step < 300; step++) {
        const int length = pair.stock.characterCount() - 1;
        const int at = int(random() % unsigned(length + 1));
        const int removed = random() % 4 == 0 ? int(random() % unsigned(qMin(60, length - at) + 1)) : 0;
        const QString text = pieces[random() % std::size(pieces)];
        for (QTextDocument *d : {&pair.stock, &pair.lazy}) {
            QTextCursor cursor(d);
            cursor.setPosition(at);
            cursor.setPosition(at + removed, QTextCursor::KeepAnchor);
            cursor.insertText(text);
        }
        if (step % 3 == 0) {
            // A block format change, as a restyle makes.
            QTextBlockFormat format;
            format.setTopMargin(random() % 12);
            format.setBottomMargin(random() % 9);
            format.setLeftMargin(random() % 20);
            for (QTextDocument *d : {&pair.stock, &pair.lazy}) {
                QTextCursor cursor(d);
                cursor.setPosition(at);
                cursor.setBlockFormat(format);
            }
        }
        if (step % 25 == 0) {
            ASSERT_TRUE(sameGeometry(pair, 11)) << "after step " << step;
        }
    }
    EXPECT_TRUE(sameGeometry(pair, 1));
}

TEST(LazyLayout, LaysOutOnlyWhatIsNeededAndSettlesTheRestInSlices) {
    QTextDocument document;
    auto *layout = new LazyDocumentLayout(&document);
    document.setDocumentLayout(layout);
    document.setTextWidth(400);
    QString text;
    for (int i = 0; i < 5000; i++)
        text += QStringLiteral("Line %1 of a long document with enough words to wrap once or twice "
                               "at this width, so that estimates are off.\n").arg(i);
    document.setPlainText(text);
    EXPECT_FALSE(layout->isExact());
    // A block far down can be asked for at once.
    QRectF far = layout->blockBoundingRect(document.findBlockByNumber(4000));
    EXPECT_GT(far.top(), 0);
    EXPECT_FALSE(layout->isExact());
    int slices = 0;
    while (layout->layoutSome(5))
        slices++;
    EXPECT_GT(slices, 1);
    EXPECT_TRUE(layout->isExact());
    // Once exact, the block sits where a full layout puts it.
    QTextDocument stock;
    stock.setTextWidth(400);
    stock.setPlainText(text);
    EXPECT_EQ(stock.documentLayout()->blockBoundingRect(stock.findBlockByNumber(4000)),
              layout->blockBoundingRect(document.findBlockByNumber(4000)));
    EXPECT_EQ(stock.documentLayout()->documentSize().height(), layout->documentSize().height());
}

TEST(LazyLayout, EditsThatAddOrRemoveLinesKeepEveryOtherHeight) {
    QTextDocument document, stock;
    auto *layout = new LazyDocumentLayout(&document);
    document.setDocumentLayout(layout);
    QString text;
    for (int i = 0; i < 2000; i++)
        text += QStringLiteral("Line %1 with words enough to wrap at this width once.\n").arg(i);
    for (QTextDocument *d : {&document, &stock}) {
        d->setTextWidth(300);
        d->setPlainText(text);
    }
    layout->finishLayout();
    // A line break and a joined line: only the blocks around them are laid
    // out again, at once; the exact heights of the others stay.
    for (const QString &insert : {QStringLiteral("\n"), QString()}) {
        for (QTextDocument *d : {&document, &stock}) {
            QTextCursor cursor(d->findBlockByNumber(1000));
            cursor.movePosition(QTextCursor::EndOfBlock);
            if (insert.isEmpty())
                cursor.deleteChar();
            else
                cursor.insertText(insert);
        }
        EXPECT_TRUE(layout->isExact());
        EXPECT_EQ(stock.documentLayout()->documentSize().height(), layout->documentSize().height());
    }
}

// Once shown, a change on screen is laid out by the time it is painted, but
// one far from the view (a background pass marking text the user does not see) waits for the
// idle slices, which lay such a block out once however often its formats
// changed; a slice ends after the block that used up its time, so that a
// block of thousands of characters (a long line's part) never makes one
// slice lay out many. The picture is the same as with every change laid out
// at once.
TEST(LazyLayout, ChangesFarFromTheViewWaitForTheIdleSlices) {
    ShownEdit shown(400);
    QTextEdit &edit = shown.edit;
    LazyDocumentLayout *layout = shown.layout;
    const QString text = edit.toPlainText();
    layout->finishLayout();
    QImage image(edit.viewport()->size(), QImage::Format_ARGB32);
    edit.viewport()->render(&image);
    ASSERT_TRUE(layout->isExact());
    QTextDocument stock;
    stock.setDefaultFont(edit.document()->defaultFont());
    stock.setTextWidth(edit.document()->textWidth());
    stock.setPlainText(text);

    auto colour = [&](int blockNumber, int count, QColor colour) {
        for (QTextDocument *document : {edit.document(), &stock})
            for (int i = 0; i < count; i++) {
                QTextCursor cursor(document->findBlockByNumber(blockNumber));
                cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
                QTextCharFormat format;
                format.setFontWeight(i % 2 ? QFont::Normal : QFont::Bold);
                format.setForeground(colour);
                cursor.mergeCharFormat(format);
            }
    };
    const qint64 before = layout->charactersLaidOut();
    colour(300, 5, Qt::red);
    colour(310, 1, Qt::green);
    EXPECT_FALSE(layout->isLaidOut(300));
    EXPECT_FALSE(layout->isLaidOut(310));
    // The block after a change keeps its lines when its collapsed margin,
    // all of it the change could move, stays as it was.
    EXPECT_TRUE(layout->isLaidOut(301));
    EXPECT_EQ(layout->charactersLaidOut(), before);
    // On screen: laid out by the time it is painted.
    colour(1, 1, Qt::blue);
    edit.viewport()->render(&image);
    EXPECT_TRUE(layout->isLaidOut(1));
    EXPECT_TRUE(layout->isLaidOut(2));

    // One block a slice when the slice has no time.
    EXPECT_TRUE(layout->layoutSome(0));
    EXPECT_EQ(layout->estimatedBlocks(), 1);
    EXPECT_FALSE(layout->layoutSome(0));
    EXPECT_TRUE(layout->isExact());
    qint64 expected = 0;
    for (int n : {1, 300, 310})
        expected += edit.document()->findBlockByNumber(n).length() - 1;
    EXPECT_EQ(layout->charactersLaidOut() - before, expected);

    // A margin below a block moves the one after it.
    for (QTextDocument *document : {edit.document(), static_cast<QTextDocument *>(&stock)}) {
        QTextCursor cursor(document->findBlockByNumber(320));
        QTextBlockFormat format;
        format.setBottomMargin(12);
        cursor.mergeBlockFormat(format);
    }
    EXPECT_FALSE(layout->isLaidOut(321));
    while (layout->layoutSome(5)) {
    }
    EXPECT_EQ(stock.documentLayout()->documentSize().height(), layout->documentSize().height());
    for (int n : {1, 300, 301, 311, 321, 399})
        EXPECT_EQ(stock.documentLayout()->blockBoundingRect(stock.findBlockByNumber(n)).top(),
                  layout->blockBoundingRect(edit.document()->findBlockByNumber(n)).top())
            << n;
}

TEST(LazyLayout, WorksUnderQTextEdit) {
    QTextEdit stockEdit, lazyEdit;
    for (QTextEdit *edit : {&stockEdit, &lazyEdit}) {
        edit->resize(600, 400);
        edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        edit->document()->setDefaultFont(QFont(QStringLiteral("DejaVu Sans"), 11));
    }
    lazyEdit.document()->setDocumentLayout(new LazyDocumentLayout(lazyEdit.document()));
    for (QTextEdit *edit : {&stockEdit, &lazyEdit}) {
        fill(edit->document());
        edit->show();
    }
    for (QTextEdit *edit : {&stockEdit, &lazyEdit}) {
        QTextCursor cursor = edit->textCursor();
        cursor.movePosition(QTextCursor::Start);
        edit->setTextCursor(cursor);
    }
    // Moving down line by line lands on the same positions and rectangles.
    for (int i = 0; i < 60; i++) {
        stockEdit.moveCursor(QTextCursor::Down);
        lazyEdit.moveCursor(QTextCursor::Down);
        ASSERT_EQ(stockEdit.textCursor().position(), lazyEdit.textCursor().position()) << i;
        ASSERT_EQ(stockEdit.cursorRect(), lazyEdit.cursorRect()) << i;
    }
    QImage image(lazyEdit.viewport()->size(), QImage::Format_ARGB32);
    lazyEdit.viewport()->render(&image);
    EXPECT_FALSE(image.isNull());
}

// Text appended piece by piece at the end (as a large file is laid into the
// editor while the program idles), with idle slices and far blocks asked
// for between the pieces, ends placed as Qt's own layout places it; so does
// the document's width once its widest line (one that never breaks) is
// gone.
TEST(LazyLayout, TextAppendedPieceByPieceEndsAsQtsOwnLayout) {
    Pair pair(420);
    QTextBlockFormat unbroken;
    unbroken.setNonBreakableLines(true);
    const QString words = QStringLiteral("words enough to wrap once at this width, or twice when the line runs long");
    for (int piece = 0; piece < 40; piece++) {
        for (QTextDocument *d : {&pair.stock, &pair.lazy}) {
            QTextCursor cursor(d);
            cursor.movePosition(QTextCursor::End);
            for (int line = 0; line < 30; line++) {
                cursor.insertBlock(piece == 20 && line == 5 ? unbroken : QTextBlockFormat());
                cursor.insertText(QStringLiteral("Piece %1 line %2 ").arg(piece).arg(line) +
                                  (line % 3 == 0 ? words : QString()) +
                                  (piece == 20 && line == 5 ? words + words : QString()));
            }
        }
        pair.layout->layoutSome(0);
        if (piece % 7 == 0)
            pair.layout->blockBoundingRect(pair.lazy.lastBlock());
    }
    EXPECT_TRUE(sameGeometry(pair, 13));
    EXPECT_EQ(pair.stock.documentLayout()->documentSize().width(), pair.layout->documentSize().width());

    const qreal wide = pair.layout->documentSize().width();
    EXPECT_GT(wide, pair.lazy.textWidth() * 2);
    for (QTextDocument *d : {&pair.stock, &pair.lazy}) {
        QTextBlock block = d->firstBlock();
        while (!block.blockFormat().nonBreakableLines())
            block = block.next();
        QTextCursor cursor(block);
        cursor.select(QTextCursor::BlockUnderCursor);
        cursor.removeSelectedText();
    }
    EXPECT_TRUE(sameGeometry(pair, 13));
    EXPECT_EQ(pair.stock.documentLayout()->documentSize().width(), pair.layout->documentSize().width());
    EXPECT_LT(pair.layout->documentSize().width(), wide);
}

// A long document is tall: a few hundred thousand lines reach further down
// than a 32-bit count of 1/64 px does. A block down there is found at its
// height, hit where it shows, and painted when its part of the view is.
TEST(LazyLayout, FindsHitsAndPaintsBlocksFarDownATallDocument) {
    QTextDocument document;
    auto *layout = new LazyDocumentLayout(&document);
    document.setDocumentLayout(layout);
    document.setTextWidth(400);
    QTextCursor cursor(&document);
    QTextBlockFormat spaced;
    spaced.setTopMargin(1000000);
    for (int i = 0; i < 80; i++) {
        if (i > 0)
            cursor.insertBlock();
        cursor.setBlockFormat(spaced);
        cursor.insertText(QStringLiteral("Block %1").arg(i));
    }
    // A new width: every block waits for its layout again.
    document.setTextWidth(380);
    const QTextBlock far = document.findBlockByNumber(60);
    const qreal top = layout->blockTop(60);
    EXPECT_GT(top, 59e6);
    EXPECT_GT(layout->documentSize().height(), 79e6);
    EXPECT_EQ(layout->blockAtHeight(top + 2).blockNumber(), 60);
    const int hit = layout->hitTest(QPointF(5, top + 2), Qt::FuzzyHit);
    EXPECT_GE(hit, far.position());
    EXPECT_LT(hit, far.position() + far.length());
    EXPECT_EQ(layout->blockBoundingRect(document.findBlockByNumber(70)).top(), layout->blockTop(70));

    // Painting the part of the view that holds block 75 lays it out and
    // shows it.
    QImage image(400, 100, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    const qreal shown = layout->blockTop(75) - 10;
    painter.translate(0, -shown);
    QAbstractTextDocumentLayout::PaintContext context;
    context.clip = QRectF(0, shown, 400, 100);
    layout->draw(&painter, context);
    painter.end();
    EXPECT_GT(document.findBlockByNumber(75).layout()->lineCount(), 0);
    bool painted = false;
    for (int y = 0; y < image.height() && !painted; y++)
        for (int x = 0; x < image.width() && !painted; x++)
            painted = image.pixel(x, y) != qRgb(255, 255, 255);
    EXPECT_TRUE(painted);
}

// A document longer than the settle limit settles only the neighbourhood of
// what is painted: the idle slices end with the other blocks estimated, and
// go on where the view goes.
TEST(LazyLayout, ALongDocumentSettlesOnlyAroundWhatIsShown) {
    QTextDocument document;
    auto *layout = new LazyDocumentLayout(&document);
    document.setDocumentLayout(layout);
    document.setTextWidth(400);
    layout->setSettleLimit(1000);
    QString text;
    for (int i = 0; i < 6000; i++)
        text += QStringLiteral("Line %1 with words enough to wrap at this width once or twice.\n").arg(i);
    document.setPlainText(text);
    const int blocks = document.blockCount();
    const size_t radius = LazyDocumentLayout::kSettleRadius;
    ASSERT_GT(size_t(blocks), 4 * radius + 1000);
    while (layout->layoutSome(5)) {
    }
    EXPECT_TRUE(layout->isSettled());
    EXPECT_FALSE(layout->isExact());
    EXPECT_EQ(layout->estimatedBlocks(), blocks - int(radius) - 1);

    // Painted far down: the blocks around there settle, and only they.
    const qreal y = layout->blockTop(4500);
    QImage image(400, 300, QImage::Format_ARGB32);
    QPainter painter(&image);
    painter.translate(0, -y);
    QAbstractTextDocumentLayout::PaintContext context;
    context.clip = QRectF(0, y, 400, 300);
    layout->draw(&painter, context);
    painter.end();
    const int shown = layout->blockAtHeight(y + 299).blockNumber() - 4500 + 1;
    EXPECT_GT(shown, 1);
    EXPECT_FALSE(layout->isSettled());
    while (layout->layoutSome(5)) {
    }
    EXPECT_TRUE(layout->isSettled());
    EXPECT_EQ(layout->estimatedBlocks(), blocks - int(radius) - 1 - (2 * int(radius) + shown));

    // Under a higher limit the whole document settles, where Qt's own
    // layout puts it.
    layout->setSettleLimit(size_t(blocks));
    while (layout->layoutSome(5)) {
    }
    EXPECT_TRUE(layout->isExact());
    QTextDocument stock;
    stock.setTextWidth(400);
    stock.setPlainText(text);
    EXPECT_EQ(stock.documentLayout()->documentSize().height(), layout->documentSize().height());
}

namespace {

qint64 threadNanoseconds() {
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + qint64(now.tv_nsec);
}

}  // namespace

// Text that costs far more to lay out than prose (here every block costs
// six milliseconds of the thread's time more, some six times the bar even
// where the sanitizers make prose dear; a part of a line of colour emoji
// costs tens): once the idle slices have weighed it, they settle only
// the blocks around what is painted, and go on where the view goes; the
// others keep their estimates. Prose of the same length settles whole.
TEST(LazyLayout, TextCostlyToLayOutSettlesOnlyAroundWhatIsShown) {
    ShownEdit shown(600);
    QTextEdit &edit = shown.edit;
    LazyDocumentLayout *layout = shown.layout;
    const QString text = edit.toPlainText();
    QImage image(edit.viewport()->size(), QImage::Format_ARGB32);
    edit.viewport()->render(&image);
    const qint64 start = layout->charactersLaidOut();
    layout->setFormatHook([](const QTextBlock &) {
        const qint64 until = threadNanoseconds() + 6000000;
        while (threadNanoseconds() < until) {
        }
    });
    while (layout->layoutSome(5)) {
    }
    EXPECT_TRUE(layout->isSettled());
    EXPECT_TRUE(layout->isCostly());
    // A few hundred milliseconds of work weighed it, not the whole text.
    EXPECT_GT(layout->estimatedBlocks(), 400);
    EXPECT_LT(layout->charactersLaidOut() - start, text.size() / 2);
    EXPECT_FALSE(layout->isLaidOut(590));

    // Scrolled far down: the blocks there settle as they are painted and
    // around them, and only they.
    edit.verticalScrollBar()->setValue(int(layout->blockTop(570)));
    edit.viewport()->render(&image);
    EXPECT_TRUE(layout->isLaidOut(575));
    while (layout->layoutSome(5)) {
    }
    EXPECT_TRUE(layout->isSettled());
    EXPECT_TRUE(layout->isLaidOut(597));
    EXPECT_FALSE(layout->isLaidOut(450));
    EXPECT_GT(layout->estimatedBlocks(), 300);

    // Without the cost the same text settles whole.
    QTextEdit prose;
    auto *proseLayout = new LazyDocumentLayout(prose.document());
    prose.document()->setDocumentLayout(proseLayout);
    prose.resize(400, 300);
    prose.setPlainText(text);
    prose.show();
    prose.viewport()->render(&image);
    while (proseLayout->layoutSome(5)) {
    }
    EXPECT_FALSE(proseLayout->isCostly());
    EXPECT_TRUE(proseLayout->isExact());
}

// The blocks in view and the caret's keep the glyphs their text was shaped
// into, so that a paint or the caret's blink (its line drawn, its place
// asked for) shapes nothing again; a block that left the view lets its
// glyphs go, wherever the caret and the view have been.
TEST(LazyLayout, OnlyTheBlocksInViewAndTheCaretsKeepTheirGlyphs) {
    ShownEdit shown(40);
    QTextEdit &edit = shown.edit;
    LazyDocumentLayout *layout = shown.layout;
    edit.activateWindow();
    edit.setFocus();
    QCoreApplication::processEvents();
    ASSERT_TRUE(edit.hasFocus());
    QImage image(edit.viewport()->size(), QImage::Format_ARGB32);
    auto keeping = [&] {
        std::vector<int> blocks;
        for (QTextBlock block = edit.document()->firstBlock(); block.isValid(); block = block.next())
            if (block.layout()->cacheEnabled())
                blocks.push_back(block.blockNumber());
        return blocks;
    };
    for (int number : {2, 5, 30, 3}) {
        QTextCursor cursor(edit.document()->findBlockByNumber(number));
        edit.setTextCursor(cursor);
        edit.ensureCursorVisible();
        edit.viewport()->render(&image);
        const std::vector<int> kept = keeping();
        const QRectF view(0, edit.verticalScrollBar()->value(), edit.viewport()->width(),
                          edit.viewport()->height());
        std::vector<int> shown;
        for (QTextBlock block = edit.document()->firstBlock(); block.isValid(); block = block.next())
            if (layout->blockBoundingRect(block).intersects(view) || block.blockNumber() == number)
                shown.push_back(block.blockNumber());
        EXPECT_EQ(kept, shown) << "the caret in block " << number;
        EXPECT_LT(kept.size(), 20u);
    }
}

// New formats of one block, as the storage sets them on its layout (styles,
// spelling marks), are reported by the document as a change of the whole
// block and its separator: the block is laid out again, and the one after
// it, whose text and margins stayed as they were, keeps its lines. Told of
// nothing, the layout takes the block after it for changed too.
TEST(LazyLayout, NewFormatsOfOneBlockLeaveTheNextBlocksLines) {
    ShownEdit shown(12);
    QTextEdit &edit = shown.edit;
    LazyDocumentLayout *layout = shown.layout;
    layout->finishLayout();
    QImage image(edit.viewport()->size(), QImage::Format_ARGB32);
    edit.viewport()->render(&image);
    ASSERT_TRUE(layout->isExact());

    auto setFormats = [&](int number, bool told) {
        const QTextBlock block = edit.document()->findBlockByNumber(number);
        QTextCharFormat bold;
        bold.setFontWeight(QFont::Bold);
        QTextCursor cursor(edit.document());
        cursor.beginEditBlock();
        block.layout()->setFormats({{0, 4, bold}});
        if (told)
            layout->expectFormatsOf(block);
        cursor.endEditBlock();
        layout->expectFormatsOf(QTextBlock());
        return qint64(block.length() - 1);
    };
    qint64 before = layout->charactersLaidOut();
    const qint64 own = setFormats(3, true);
    edit.viewport()->render(&image);
    EXPECT_EQ(layout->charactersLaidOut() - before, own);
    EXPECT_TRUE(layout->isExact());

    before = layout->charactersLaidOut();
    const qint64 both = setFormats(5, false) + edit.document()->findBlockByNumber(6).length() - 1;
    edit.viewport()->render(&image);
    EXPECT_EQ(layout->charactersLaidOut() - before, both);
}
