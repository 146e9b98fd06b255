#include "editor/view/line_numbers_ruler_view.h"

#include <QEvent>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <new>

#include "editor/editor_log.h"
#include "editor/view/kvx_text_view.h"
#include "editor/view/lazy_document_layout.h"
#include "editor/storage/smart_text_storage.h"

namespace {

// Spacings of the labels, at zoom 1.
constexpr double kLabelGap = 2.0;       // between a label and the divider
constexpr double kLabelLift = 3.0;      // between a label and its line's bottom
constexpr double kLabelSlack = 4.0;     // around a label when testing for repaint
constexpr double kThicknessPad = 8.0;   // beside the widest number

}  // namespace

LineNumbersRulerView::LineNumbersRulerView(KVXTextView *client, QWidget *parent) : QWidget(parent) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::SmallestReadableFont);
    if (font.pointSizeF() <= 0)
        font.setPointSizeF(9);
    setFont(font);
    setClientView(client);
}

void LineNumbersRulerView::setClientView(KVXTextView *client) {
    disconnect(m_textConnection);
    disconnect(m_layoutConnection);
    disconnect(m_scrollConnection);
    m_client = client;
    if (m_client) {
        m_textConnection = connect(m_client->storage(), &SmartTextStorage::textChanged, this,
                                  [this](const TextChange &change) { textChanged(change); });
        // Heights that settle and restyles move the lines; scrolling moves
        // the labels.
        m_layoutConnection = connect(m_client->storage()->documentLayout(),
                                    &QAbstractTextDocumentLayout::update, this,
                                    [this] { update(); });
        m_scrollConnection = connect(m_client->verticalScrollBar(), &QScrollBar::valueChanged, this,
                                    [this] { update(); });
    }
    clientTextStorageDidProcessEditing();
}

SmartTextStorage *LineNumbersRulerView::currentTextStorage() const {
    return m_client ? m_client->storage() : nullptr;
}

void LineNumbersRulerView::setTextColor(const QColor &color) {
    m_textColor = color;
    update();
}

void LineNumbersRulerView::setBackgroundColor(const QColor &color) {
    m_backgroundColor = color;
    update();
}

void LineNumbersRulerView::setZoomFactor(double zoom) {
    if (zoom <= 0 || zoom == m_zoomFactor)
        return;
    m_zoomFactor = zoom;
    clientTextStorageDidProcessEditing();
}

void LineNumbersRulerView::scaleUnitSquareToSize(double width, double height) {
    Q_UNUSED(height);
    setZoomFactor(m_zoomFactor * width);
}

bool LineNumbersRulerView::numbersParagraphs() const {
    return m_client && m_client->countParasNotLines();
}

QFont LineNumbersRulerView::labelFont() const {
    QFont zoomed = font();
    zoomed.setPointSizeF(font().pointSizeF() * m_zoomFactor);
    return zoomed;
}

void LineNumbersRulerView::clientTextStorageDidProcessEditing(const TextChange *change) {
    if (change && m_valid && (m_indexedParagraphs || m_indexedLines) && m_client) {
        // An edit inside one line that neither empties it nor fills an
        // empty one leaves every paragraph start where it was: block numbers
        // do not move (nor do the starts of lines, empty or not).
        const QTextDocument *document = m_client->storage()->document();
        const QTextBlock block = document->findBlock(int(change->location));
        const bool oneLine =
            document->blockCount() == m_indexedBlockCount && block.isValid() &&
            change->location + change->insertedLength < block.position() + block.length();
        if (oneLine) {
            const qsizetype now = block.length() - 1;
            const qsizetype before = now - change->insertedLength + change->removedLength;
            if (!m_indexedParagraphs || (now == 0) == (before == 0)) {
                update();
                return;
            }
        }
    }
    m_valid = false;
    update();
}

void LineNumbersRulerView::textChanged(const TextChange &change) {
    clientTextStorageDidProcessEditing(&change);
}

void LineNumbersRulerView::resetIndex() {
    m_valid = false;
    update();
}

void LineNumbersRulerView::changeEvent(QEvent *event) {
    if (event->type() == QEvent::FontChange)
        resetIndex();
    QWidget::changeEvent(event);
}

void LineNumbersRulerView::updateLineInformation() {
    if (m_processing)
        return;
    m_processing = true;
    m_paragraphs.clear();
    m_lines = 0;
    m_indexedParagraphs = numbersParagraphs();
    m_indexedLines = false;
    m_indexedBlockCount = 0;
    if (m_client) {
        const SmartTextStorage *storage = m_client->storage();
        const QTextDocument *document = storage->document();
        m_indexedBlockCount = document->blockCount();
        // The empty line after a final line feed is no line of the text.
        const QTextBlock last = document->lastBlock();
        const int numbered = m_indexedBlockCount - (last.length() <= 1 ? 1 : 0);
        // A line shown in parts is one line, numbered at its first part.
        m_indexedLines = !m_indexedParagraphs && storage->mayHaveLineParts();
        if (!m_indexedParagraphs && !m_indexedLines) {
            m_lines = numbered;
        } else {
            try {
                bool afterEmpty = true;
                for (QTextBlock block = document->firstBlock();
                     block.isValid() && block.blockNumber() < numbered; block = block.next()) {
                    if (storage->continuesLine(block))
                        continue;
                    const bool empty = block.length() <= 1;
                    if (m_indexedLines || (!empty && afterEmpty))
                        m_paragraphs.push_back(block.blockNumber());
                    afterEmpty = empty;
                }
            } catch (const std::bad_alloc &) {
                std::vector<int>().swap(m_paragraphs);
            }
            m_lines = qsizetype(m_paragraphs.size());
        }
    }
    m_valid = true;

    const int digits = m_lines > 0 ? int(std::ceil(std::log10(double(m_lines) + 1))) : 1;
    const double w = QFontMetricsF(font()).horizontalAdvance(QLatin1Char('0'));
    const double wide = std::max(std::ceil(digits * w + kThicknessPad), std::ceil(w + kThicknessPad));
    const int thickness = int(std::ceil(wide * m_zoomFactor));
    m_processing = false;
    if (thickness != m_thickness) {
        m_thickness = thickness;
        updateGeometry();
        emit thicknessChanged(m_thickness);
    }
}

qsizetype LineNumbersRulerView::lineIndexForCharacterIndex(qsizetype index) const {
    if (!m_client || m_lines == 0)
        return kNotFound;
    const QTextBlock block = m_client->storage()->document()->findBlock(int(index));
    if (!block.isValid() || block.position() != index)
        return kNotFound;
    const int number = block.blockNumber();
    if (!m_indexedParagraphs && !m_indexedLines)
        return number < m_lines ? number : kNotFound;
    auto found = std::lower_bound(m_paragraphs.begin(), m_paragraphs.end(), number);
    if (found == m_paragraphs.end() || *found != number)
        return kNotFound;
    return qsizetype(found - m_paragraphs.begin());
}

QRectF LineNumbersRulerView::dividerRect() const {
    return QRectF(width() - m_zoomFactor, 0, m_zoomFactor, height());
}

QSize LineNumbersRulerView::sizeHint() const { return QSize(m_thickness, 0); }

QList<LineNumbersRulerView::Label> LineNumbersRulerView::labelsInRect(QRectF rect) const {
    QList<Label> labels;
    if (!m_client)
        return labels;
    if (rect.isNull())
        rect = QRectF(QPointF(0, 0), QSizeF(size()));
    SmartTextStorage *storage = m_client->storage();
    LazyDocumentLayout *layout = storage->documentLayout();
    const double top = m_client->verticalScrollBar()->value();
    const double bottom = top + m_client->viewport()->height();
    const QFontMetricsF metrics(labelFont());
    const double dividerX = dividerRect().x();
    double previousY = qQNaN();
    for (QTextBlock block = m_client->blockAtDocumentY(top); block.isValid(); block = block.next()) {
        const QRectF bounds = layout->blockBoundingRect(block);
        if (bounds.top() > bottom)
            break;
        const qsizetype n = lineIndexForCharacterIndex(block.position());
        if (n == kNotFound)
            continue;
        const QTextLayout *lines = block.layout();
        if (lines->lineCount() == 0) {
            qCWarning(lcEditor, "no layoutrects");
            break;
        }
        const QTextLine first = lines->lineAt(0);
        const double lineBottom = bounds.top() + first.y() + first.height();
        const QString text = QString::number(n + 1);
        const QSizeF s(metrics.horizontalAdvance(text), metrics.height());
        const QRectF labelRect(dividerX - s.width() - kLabelGap * m_zoomFactor,
                               lineBottom - top - s.height() - kLabelLift * m_zoomFactor, s.width(),
                               s.height());
        const double slack = kLabelSlack * m_zoomFactor;
        if (labelRect.adjusted(-slack, -slack, slack, slack).intersects(rect) &&
            labelRect.y() != previousY)
            labels.append({n + 1, labelRect});
        previousY = labelRect.y();
    }
    return labels;
}

void LineNumbersRulerView::paintEvent(QPaintEvent *event) {
    if (!m_valid)
        updateLineInformation();
    QPainter painter(this);
    const QRectF dirty = event->rect();
    painter.fillRect(dirty, m_backgroundColor);
    const QRectF divider = dividerRect();
    if (divider.intersects(dirty))
        painter.fillRect(divider, Qt::gray);
    if (!m_client)
        return;
    const QFont font = labelFont();
    const QFontMetricsF metrics(font);
    painter.setFont(font);
    painter.setPen(m_textColor);
    for (const Label &label : labelsInRect(dirty))
        painter.drawText(QPointF(label.rect.x(), label.rect.y() + metrics.ascent()),
                         QString::number(label.number));
}
