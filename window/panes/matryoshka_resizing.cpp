// MatryoshkaView: collapsing and opening the toggle pane, with or without
// animation, and dragging the divider or the band around it.
#include "window/panes/matryoshka_view.h"

#include "window/panes/divider_view.h"
#include "window/window_log.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QVariantAnimation>

using namespace matryoshka;

void MatryoshkaView::toggleViewWithAnimation(bool animated) {
    if (!(m_extensions & HasToggle) || m_adjusting)
        return;
    if (m_extensions & RatioSized)
        toggleRatioViewWithAnimation(animated);
    else if (m_extensions & FixedSize)
        toggleFixedViewWithAnimation(animated);
}

// A pane counts as open at its target only when it stands there exactly: one
// that a drag stopped at a limit differs from it, so the toggle reopens it.
// A collapse begins before the divider goes, so that a toggle view that
// keeps its open size is not given the divider's room first.
void MatryoshkaView::toggleRatioViewWithAnimation(bool animated) {
    if (m_currentRatio == m_ratioTarget) {
        adjustRatio(1.0, animated);
        setDividerThickness(0);
    } else {
        setDividerThickness(m_dividerThickness);
        adjustRatio(m_ratioTarget, animated);
    }
}

void MatryoshkaView::toggleFixedViewWithAnimation(bool animated) {
    if (m_currentSize == m_fixedTarget) {
        adjustFixedDimension(0, animated);
        setDividerThickness(0);
    } else {
        setDividerThickness(m_dividerThickness);
        adjustFixedDimension(m_fixedTarget, animated);
    }
}

void MatryoshkaView::adjustRatio(double ratio, bool animated) {
    if (!(m_extensions & RatioSized) || !m_permanent)
        return;
    stopAnimation();
    if (m_currentRatio == 0.0 || m_currentRatio == 1.0)
        showPieces();
    m_currentRatio = ratio;
    if (!animated) {
        m_shownRatio = ratio;
        applyCollapseRule();
        layoutPanes();
        return;
    }
    animate(m_shownRatio, ratio, [this](double value) { m_shownRatio = value; },
            [this] { applyCollapseRule(); });
}

void MatryoshkaView::adjustFixedDimension(double size, bool animated) {
    if (!(m_extensions & FixedSize) || !m_other) {
        qCWarning(lcWindow).noquote() << "Error: Attempted to toggle view without a fixed dimension";
        return;
    }
    stopAnimation();
    m_currentSize = size;
    if (size != 0 && m_other->isHidden())
        m_other->show();
    const auto hideWhenClosed = [this, size] {
        if (size == 0 && m_other && !m_other->isHidden())
            m_other->hide();
    };
    if (!animated) {
        m_shownSize = size;
        hideWhenClosed();
        layoutPanes();
        return;
    }
    animate(m_shownSize, size, [this](double value) { m_shownSize = value; }, hideWhenClosed);
}

void MatryoshkaView::setDividerThickness(double thickness) {
    if (!m_divider)
        return;
    m_shownThickness = thickness;
    m_divider->setHidden(thickness == 0);
    layoutPanes();
}

void MatryoshkaView::showPieces() {
    for (QWidget *pane : {m_permanent.data(), m_other.data()})
        if (pane)
            pane->show();
    // A divider of no thickness stays hidden: its grip would still take the pointer.
    if (m_divider && m_shownThickness != 0)
        m_divider->show();
}

void MatryoshkaView::applyCollapseRule() {
    switch (hidingForShare(m_currentRatio)) {
    case Hiding::TogglePane:
        if (QWidget *toggle = toggleView())
            toggle->hide();
        break;
    case Hiding::PermanentAndDivider:
        if (m_permanent)
            m_permanent->hide();
        if (m_divider)
            m_divider->hide();
        break;
    case Hiding::Nothing:
        break;
    }
}

// One animated change at a time: `step` moves what is shown, `completion`
// runs once the change has finished. A new change stops the running one
// where it stands and starts from there.
void MatryoshkaView::animate(double from, double to, std::function<void(double)> step,
                             std::function<void()> completion) {
    m_adjusting = true;
    auto *animation = new QVariantAnimation(this);
    animation->setStartValue(from);
    animation->setEndValue(to);
    connect(animation, &QVariantAnimation::valueChanged, this, [this, step](const QVariant &value) {
        step(value.toDouble());
        layoutPanes();
    });
    connect(animation, &QAbstractAnimation::finished, this, [this, step, to, completion] {
        step(to);
        completion();
        layoutPanes();
        m_adjusting = false;
    });
    m_animation = animation;
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void MatryoshkaView::stopAnimation() {
    if (m_animation) {
        m_animation->disconnect(this);
        m_animation->stop();
    }
    m_adjusting = false;
}

void MatryoshkaView::setDividerTo(QPointF point) {
    applyPlacement(placeAt(m_extensions, size(), point));
}

void MatryoshkaView::setDividerOffset(double offset) {
    applyPlacement(placeAtOffset(m_extensions, size(), offset));
}

void MatryoshkaView::applyPlacement(const std::optional<Placement> &placement) {
    if (!placement)
        return;
    if (m_extensions & RatioSized) {
        if (placement->withinLimits)
            setRatioTarget(placement->value);
        adjustRatio(placement->value, false);
    } else {
        if (placement->withinLimits)
            setFixedTarget(placement->value);
        adjustFixedDimension(placement->value, false);
    }
}

void MatryoshkaView::updateTrackingAreas() {
    m_band = band(m_extensions, size(), m_currentRatio, m_currentSize);
}

// Presses reach this view only where no pane takes them; those in the band
// around the divider start a drag, all others go on to the view outside.
void MatryoshkaView::mousePressEvent(QMouseEvent *event) {
    if (event->button() != Qt::LeftButton || !m_band || !m_band->contains(event->position())) {
        event->ignore();
        return;
    }
    if (!m_dragging)
        QGuiApplication::setOverrideCursor(isHorizontal(m_extensions) ? Qt::SplitHCursor
                                                                     : Qt::SplitVCursor);
    m_dragging = true;
    event->accept();
}

void MatryoshkaView::mouseMoveEvent(QMouseEvent *event) {
    if (!m_dragging) {
        event->ignore();
        return;
    }
    setDividerTo(event->position());
    event->accept();
}

void MatryoshkaView::mouseReleaseEvent(QMouseEvent *event) {
    if (!m_dragging || event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    endDrag();
    event->accept();
}

void MatryoshkaView::hideEvent(QHideEvent *event) {
    // Hidden in mid-drag, the view sees no release: end the drag here so the
    // resize cursor does not outlive it.
    endDrag();
    QWidget::hideEvent(event);
}

void MatryoshkaView::endDrag() {
    if (!m_dragging)
        return;
    m_dragging = false;
    QGuiApplication::restoreOverrideCursor();
}
