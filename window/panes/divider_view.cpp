#include "window/panes/divider_view.h"

#include "window/panes/matryoshka_view.h"

#include <QMouseEvent>
#include <QPainter>

DividerView::DividerView(QWidget *parent) : QWidget(parent), m_backgroundColor(Qt::red) {
    setCursor(Qt::SplitHCursor);
}

void DividerView::setBackgroundColor(const QColor &color) {
    m_backgroundColor = color;
    update();
}

void DividerView::setLine(const QRect &line, Qt::Orientation orientation) {
    m_line = line;
    // A line between panes side by side is dragged left and right.
    const Qt::CursorShape shape = orientation == Qt::Vertical ? Qt::SplitHCursor : Qt::SplitVCursor;
    if (cursor().shape() != shape)
        setCursor(shape);
    setGeometry(orientation == Qt::Vertical ? line.adjusted(-Grip, 0, Grip, 0)
                                            : line.adjusted(0, -Grip, 0, Grip));
    update();
}

void DividerView::paintEvent(QPaintEvent *event) {
    if (!m_backgroundColor.isValid())
        return;
    // Only the line is painted; the grip lets the panes beneath show through.
    const QRect painted = m_line.translated(-pos()) & event->rect();
    if (!painted.isEmpty())
        QPainter(this).fillRect(painted, m_backgroundColor);
}

void DividerView::mousePressEvent(QMouseEvent *event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    m_dragging = true;
    event->accept();
}

void DividerView::mouseMoveEvent(QMouseEvent *event) {
    auto *owner = qobject_cast<MatryoshkaView *>(parentWidget());
    if (!m_dragging || !owner) {
        event->ignore();
        return;
    }
    owner->setDividerTo(mapToParent(event->position()));
    event->accept();
}

void DividerView::mouseReleaseEvent(QMouseEvent *event) {
    if (event->button() == Qt::LeftButton)
        m_dragging = false;
    event->accept();
}

void DividerView::hideEvent(QHideEvent *event) {
    // A divider hidden under the pointer gets no release: the drag ends here.
    m_dragging = false;
    QWidget::hideEvent(event);
}
