#include "window/panes/divider_view.h"

#include "window/panes/matryoshka_view.h"

#include <QMouseEvent>
#include <QPainter>

DividerView::DividerView(QWidget *parent) : QWidget(parent), backgroundColor_(Qt::red) {
    setCursor(Qt::SplitHCursor);
}

void DividerView::setBackgroundColor(const QColor &color) {
    backgroundColor_ = color;
    update();
}

void DividerView::setLine(const QRect &line, Qt::Orientation orientation) {
    line_ = line;
    // A line between panes side by side is dragged left and right.
    const Qt::CursorShape shape = orientation == Qt::Vertical ? Qt::SplitHCursor : Qt::SplitVCursor;
    if (cursor().shape() != shape)
        setCursor(shape);
    setGeometry(orientation == Qt::Vertical ? line.adjusted(-Grip, 0, Grip, 0)
                                            : line.adjusted(0, -Grip, 0, Grip));
    update();
}

void DividerView::paintEvent(QPaintEvent *event) {
    if (!backgroundColor_.isValid())
        return;
    // Only the line is painted; the grip lets the panes beneath show through.
    const QRect painted = line_.translated(-pos()) & event->rect();
    if (!painted.isEmpty())
        QPainter(this).fillRect(painted, backgroundColor_);
}

void DividerView::mousePressEvent(QMouseEvent *event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    dragging_ = true;
    event->accept();
}

void DividerView::mouseMoveEvent(QMouseEvent *event) {
    auto *owner = qobject_cast<MatryoshkaView *>(parentWidget());
    if (!dragging_ || !owner) {
        event->ignore();
        return;
    }
    owner->setDividerTo(mapToParent(event->position()));
    event->accept();
}

void DividerView::mouseReleaseEvent(QMouseEvent *event) {
    if (event->button() == Qt::LeftButton)
        dragging_ = false;
    event->accept();
}

void DividerView::hideEvent(QHideEvent *event) {
    // A divider hidden under the pointer gets no release: the drag ends here.
    dragging_ = false;
    QWidget::hideEvent(event);
}
