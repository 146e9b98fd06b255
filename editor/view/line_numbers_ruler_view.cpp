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
    disconnect(textConnection_);
    disconnect(layoutConnection_);
    disconnect(scrollConnection_);
    client_ = client;
    if (client_) {
        textConnection_ = connect(client_->storage(), &SmartTextStorage::textChanged, this,
                                  [this](const TextChange &change) { textChanged(change); });
        // Heights that settle and restyles move the lines; scrolling moves
        // the labels.
        layoutConnection_ = connect(client_->storage()->documentLayout(),
                                    &QAbstractTextDocumentLayout::update, this,
                                    [this] { update(); });
        scrollConnection_ = connect(client_->verticalScrollBar(), &QScrollBar::valueChanged, this,
                                    [this] { update(); });
    }
    clientTextStorageDidProcessEditing();
}

SmartTextStorage *LineNumbersRulerView::currentTextStorage() const {
    return client_ ? client_->storage() : nullptr;
}

void LineNumbersRulerView::setTextColor(const QColor &color) {
    textColor_ = color;
    update();
}

void LineNumbersRulerView::setBackgroundColor(const QColor &color) {
    backgroundColor_ = color;
    update();
}

void LineNumbersRulerView::setZoomFactor(double zoom) {
    if (zoom <= 0 || zoom == zoomFactor_)
        return;
    zoomFactor_ = zoom;
    clientTextStorageDidProcessEditing();
}

void LineNumbersRulerView::scaleUnitSquareToSize(double width, double height) {
    Q_UNUSED(height);
    setZoomFactor(zoomFactor_ * width);
}

bool LineNumbersRulerView::numbersParagraphs() const {
    return client_ && client_->countParasNotLines();
}

QFont LineNumbersRulerView::labelFont() const {
    QFont zoomed = font();
    zoomed.setPointSizeF(font().pointSizeF() * zoomFactor_);
    return zoomed;
}

void LineNumbersRulerView::clientTextStorageDidProcessEditing(const TextChange *change) {
    if (change && valid_ && indexedParagraphs_ && client_) {
        // An edit inside one line that neither empties it nor fills an
        // empty one leaves every paragraph start where it was: block numbers
        // do not move.
        const QTextDocument *document = client_->storage()->document();
        const QTextBlock block = document->findBlock(int(change->location));
        const bool oneLine =
            document->blockCount() == indexedBlockCount_ && block.isValid() &&
            change->location + change->insertedLength < block.position() + block.length();
        if (oneLine) {
            const qsizetype now = block.length() - 1;
            const qsizetype before = now - change->insertedLength + change->removedLength;
            if ((now == 0) == (before == 0)) {
                update();
                return;
            }
        }
    }
    valid_ = false;
    update();
}

void LineNumbersRulerView::textChanged(const TextChange &change) {
    clientTextStorageDidProcessEditing(&change);
}

void LineNumbersRulerView::resetIndex() {
    valid_ = false;
    update();
}

void LineNumbersRulerView::changeEvent(QEvent *event) {
    if (event->type() == QEvent::FontChange)
        resetIndex();
    QWidget::changeEvent(event);
}

void LineNumbersRulerView::updateLineInformation() {
    if (processing_)
        return;
    processing_ = true;
    paragraphs_.clear();
    lines_ = 0;
    indexedParagraphs_ = numbersParagraphs();
    indexedBlockCount_ = 0;
    if (client_) {
        const QTextDocument *document = client_->storage()->document();
        indexedBlockCount_ = document->blockCount();
        // The empty line after a final line feed is no line of the text.
        const QTextBlock last = document->lastBlock();
        const int numbered = indexedBlockCount_ - (last.length() <= 1 ? 1 : 0);
        if (!indexedParagraphs_) {
            lines_ = numbered;
        } else {
            try {
                bool afterEmpty = true;
                for (QTextBlock block = document->firstBlock();
                     block.isValid() && block.blockNumber() < numbered; block = block.next()) {
                    const bool empty = block.length() <= 1;
                    if (!empty && afterEmpty)
                        paragraphs_.push_back(block.blockNumber());
                    afterEmpty = empty;
                }
            } catch (const std::bad_alloc &) {
                std::vector<int>().swap(paragraphs_);
            }
            lines_ = qsizetype(paragraphs_.size());
        }
    }
    valid_ = true;

    const int digits = lines_ > 0 ? int(std::ceil(std::log10(double(lines_) + 1))) : 1;
    const double w = QFontMetricsF(font()).horizontalAdvance(QLatin1Char('0'));
    const double wide = std::max(std::ceil(digits * w + kThicknessPad), std::ceil(w + kThicknessPad));
    const int thickness = int(std::ceil(wide * zoomFactor_));
    processing_ = false;
    if (thickness != thickness_) {
        thickness_ = thickness;
        updateGeometry();
        emit thicknessChanged(thickness_);
    }
}

qsizetype LineNumbersRulerView::lineIndexForCharacterIndex(qsizetype index) const {
    if (!client_ || lines_ == 0)
        return kNotFound;
    const QTextBlock block = client_->storage()->document()->findBlock(int(index));
    if (!block.isValid() || block.position() != index)
        return kNotFound;
    const int number = block.blockNumber();
    if (!indexedParagraphs_)
        return number < lines_ ? number : kNotFound;
    auto found = std::lower_bound(paragraphs_.begin(), paragraphs_.end(), number);
    if (found == paragraphs_.end() || *found != number)
        return kNotFound;
    return qsizetype(found - paragraphs_.begin());
}

QRectF LineNumbersRulerView::dividerRect() const {
    return QRectF(width() - zoomFactor_, 0, zoomFactor_, height());
}

QSize LineNumbersRulerView::sizeHint() const { return QSize(thickness_, 0); }

QList<LineNumbersRulerView::Label> LineNumbersRulerView::labelsInRect(QRectF rect) const {
    QList<Label> labels;
    if (!client_)
        return labels;
    if (rect.isNull())
        rect = QRectF(QPointF(0, 0), QSizeF(size()));
    SmartTextStorage *storage = client_->storage();
    LazyDocumentLayout *layout = storage->documentLayout();
    const double top = client_->verticalScrollBar()->value();
    const double bottom = top + client_->viewport()->height();
    const QFontMetricsF metrics(labelFont());
    const double dividerX = dividerRect().x();
    double previousY = qQNaN();
    for (QTextBlock block = client_->blockAtDocumentY(top); block.isValid(); block = block.next()) {
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
        const QRectF labelRect(dividerX - s.width() - kLabelGap * zoomFactor_,
                               lineBottom - top - s.height() - kLabelLift * zoomFactor_, s.width(),
                               s.height());
        const double slack = kLabelSlack * zoomFactor_;
        if (labelRect.adjusted(-slack, -slack, slack, slack).intersects(rect) &&
            labelRect.y() != previousY)
            labels.append({n + 1, labelRect});
        previousY = labelRect.y();
    }
    return labels;
}

void LineNumbersRulerView::paintEvent(QPaintEvent *event) {
    if (!valid_)
        updateLineInformation();
    QPainter painter(this);
    const QRectF dirty = event->rect();
    painter.fillRect(dirty, backgroundColor_);
    const QRectF divider = dividerRect();
    if (divider.intersects(dirty))
        painter.fillRect(divider, Qt::gray);
    if (!client_)
        return;
    const QFont font = labelFont();
    const QFontMetricsF metrics(font);
    painter.setFont(font);
    painter.setPen(textColor_);
    for (const Label &label : labelsInRect(dirty))
        painter.drawText(QPointF(label.rect.x(), label.rect.y() + metrics.ascent()),
                         QString::number(label.number));
}
