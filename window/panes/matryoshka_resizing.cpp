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
    if (!(extensions_ & HasToggle) || adjusting_)
        return;
    if (extensions_ & RatioSized)
        toggleRatioViewWithAnimation(animated);
    else if (extensions_ & FixedSize)
        toggleFixedViewWithAnimation(animated);
}

// A pane counts as open at its target only when it stands there exactly: one
// that a drag stopped at a limit differs from it, so the toggle reopens it.
void MatryoshkaView::toggleRatioViewWithAnimation(bool animated) {
    if (currentRatio_ == ratioTarget_) {
        setDividerThickness(0);
        adjustRatio(1.0, animated);
    } else {
        setDividerThickness(dividerThickness_);
        adjustRatio(ratioTarget_, animated);
    }
}

void MatryoshkaView::toggleFixedViewWithAnimation(bool animated) {
    if (currentSize_ == fixedTarget_) {
        setDividerThickness(0);
        adjustFixedDimension(0, animated);
    } else {
        setDividerThickness(dividerThickness_);
        adjustFixedDimension(fixedTarget_, animated);
    }
}

void MatryoshkaView::adjustRatio(double ratio, bool animated) {
    if (!(extensions_ & RatioSized) || !permanent_)
        return;
    stopAnimation();
    if (currentRatio_ == 0.0 || currentRatio_ == 1.0)
        showPieces();
    currentRatio_ = ratio;
    if (!animated) {
        shownRatio_ = ratio;
        applyCollapseRule();
        layoutPanes();
        return;
    }
    animate(shownRatio_, ratio, [this](double value) { shownRatio_ = value; },
            [this] { applyCollapseRule(); });
}

void MatryoshkaView::adjustFixedDimension(double size, bool animated) {
    if (!(extensions_ & FixedSize) || !other_) {
        qCWarning(lcWindow).noquote() << "Error: Attempted to toggle view without a fixed dimension";
        return;
    }
    stopAnimation();
    currentSize_ = size;
    if (size != 0 && other_->isHidden())
        other_->show();
    const auto hideWhenClosed = [this, size] {
        if (size == 0 && other_ && !other_->isHidden())
            other_->hide();
    };
    if (!animated) {
        shownSize_ = size;
        hideWhenClosed();
        layoutPanes();
        return;
    }
    animate(shownSize_, size, [this](double value) { shownSize_ = value; }, hideWhenClosed);
}

void MatryoshkaView::setDividerThickness(double thickness) {
    if (!divider_)
        return;
    shownThickness_ = thickness;
    divider_->setHidden(thickness == 0);
    layoutPanes();
}

void MatryoshkaView::showPieces() {
    for (QWidget *pane : {permanent_.data(), other_.data()})
        if (pane)
            pane->show();
    // A divider of no thickness stays hidden: its grip would still take the pointer.
    if (divider_ && shownThickness_ != 0)
        divider_->show();
}

void MatryoshkaView::applyCollapseRule() {
    switch (hidingForShare(currentRatio_)) {
    case Hiding::TogglePane:
        if (QWidget *toggle = toggleView())
            toggle->hide();
        break;
    case Hiding::PermanentAndDivider:
        if (permanent_)
            permanent_->hide();
        if (divider_)
            divider_->hide();
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
    adjusting_ = true;
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
        adjusting_ = false;
    });
    animation_ = animation;
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void MatryoshkaView::stopAnimation() {
    if (animation_) {
        animation_->disconnect(this);
        animation_->stop();
    }
    adjusting_ = false;
}

void MatryoshkaView::setDividerTo(QPointF point) {
    applyPlacement(placeAt(extensions_, size(), point));
}

void MatryoshkaView::setDividerOffset(double offset) {
    applyPlacement(placeAtOffset(extensions_, size(), offset));
}

void MatryoshkaView::applyPlacement(const std::optional<Placement> &placement) {
    if (!placement)
        return;
    if (extensions_ & RatioSized) {
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
    band_ = band(extensions_, size(), currentRatio_, currentSize_);
}

// Presses reach this view only where no pane takes them; those in the band
// around the divider start a drag, all others go on to the view outside.
void MatryoshkaView::mousePressEvent(QMouseEvent *event) {
    if (event->button() != Qt::LeftButton || !band_ || !band_->contains(event->position())) {
        event->ignore();
        return;
    }
    if (!dragging_)
        QGuiApplication::setOverrideCursor(isHorizontal(extensions_) ? Qt::SplitHCursor
                                                                     : Qt::SplitVCursor);
    dragging_ = true;
    event->accept();
}

void MatryoshkaView::mouseMoveEvent(QMouseEvent *event) {
    if (!dragging_) {
        event->ignore();
        return;
    }
    setDividerTo(event->position());
    event->accept();
}

void MatryoshkaView::mouseReleaseEvent(QMouseEvent *event) {
    if (!dragging_ || event->button() != Qt::LeftButton) {
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
    if (!dragging_)
        return;
    dragging_ = false;
    QGuiApplication::restoreOverrideCursor();
}
