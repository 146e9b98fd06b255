// MatryoshkaView: construction, placing the pieces, exchanging sides, the
// background view and drawing. Collapsing, opening and dragging are in
// matryoshka_resizing.cpp.
#include "window/panes/matryoshka_view.h"

#include "window/panes/divider_view.h"
#include "window/window_log.h"

#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QVariantAnimation>

#include <algorithm>
#include <cmath>

using namespace matryoshka;

namespace {

// The platform's grey, for dividers.
const QColor DividerGrey(128, 128, 128);

// The divider is as thick as a pixel of the densest screen, in points.
double thicknessForScreens() {
    double thickness = 1.0;
    for (const QScreen *screen : QGuiApplication::screens())
        thickness = std::max(thickness, screen->devicePixelRatio());
    return thickness;
}

QRect pixelRect(const QRectF &rect) {
    const int left = qRound(rect.left()), top = qRound(rect.top());
    return QRect(left, top, qRound(rect.right()) - left, qRound(rect.bottom()) - top);
}

// One line of the debug log: a view and its frame.
QString frameLine(const QWidget *view) {
    return QStringLiteral("%1: %2").arg(debugText(view), debugText(view->geometry()));
}

}  // namespace

MatryoshkaView::MatryoshkaView(QWidget *parent) : QWidget(parent) {
    dividerThickness_ = thicknessForScreens();
}

MatryoshkaView::MatryoshkaView(Panes form, QWidget *permanent, QWidget *other, double sizing,
                               bool resizable, double spacer, QWidget *parent)
    : MatryoshkaView(parent) {
    initPanes(form, permanent, other, sizing, resizable, spacer);
}

MatryoshkaView *MatryoshkaView::inset(QWidget *view, const QMarginsF &margins, QWidget *parent) {
    auto *result = new MatryoshkaView(parent);
    result->initInset(view, margins);
    return result;
}

MatryoshkaView *MatryoshkaView::centred(QWidget *view, QWidget *parent) {
    return centred(view, QSizeF(), parent);
}

MatryoshkaView *MatryoshkaView::centred(QWidget *view, QSizeF minimum, QWidget *parent) {
    auto *result = new MatryoshkaView(parent);
    result->initCentred(view, minimum);
    return result;
}

MatryoshkaView::~MatryoshkaView() {
    // The animation is a child and would outlive this part of the object.
    stopAnimation();
    endDrag();
}

bool MatryoshkaView::isBuilt() const {
    return permanent_ || other_ || single_ != Single::None;
}

void MatryoshkaView::initPanes(Panes form, QWidget *permanent, QWidget *other, double sizing,
                               bool resizable, double spacer) {
    if (isBuilt() || !permanent || !other || permanent == other) {
        qCWarning(lcWindow) << "MatryoshkaView: a view is built once, from two distinct panes";
        return;
    }
    extensions_ |= static_cast<quint64>(form);
    permanent_ = permanent;
    other_ = other;
    if (extensions_ & FixedSize) {
        fixedTarget_ = currentSize_ = shownSize_ = sizing;
    } else {
        ratioTarget_ = currentRatio_ = shownRatio_ = sizing;
    }

    // The left (or bottom) pane is the first child, the divider the third.
    const bool permanentFirst = (extensions_ & (PermanentLeft | PermanentBottom)) != 0;
    prepAndAddSubview(permanentFirst ? permanent : other);
    prepAndAddSubview(permanentFirst ? other : permanent);
    if (resizable) {
        extensions_ |= Resizable;
        divider_ = new DividerView(this);
        divider_->setBackgroundColor(DividerGrey);
        prepAndAddSubview(divider_);
        shownThickness_ = dividerThickness_;
    } else if (isVertical(extensions_) && (extensions_ & FixedSize)) {
        // Only stacked fixed-size panes keep a space between them.
        spacer_ = spacer;
    }
    layoutPanes();
}

void MatryoshkaView::initInset(QWidget *view, const QMarginsF &margins) {
    initSingle(Single::Inset, view, margins, QSizeF());
}

void MatryoshkaView::initCentred(QWidget *view, QSizeF minimum) {
    initSingle(Single::Centred, view, QMarginsF(), minimum);
}

void MatryoshkaView::initSingle(Single form, QWidget *view, const QMarginsF &margins, QSizeF minimum) {
    if (isBuilt() || !view) {
        qCWarning(lcWindow) << "MatryoshkaView: a view is built once, around one view";
        return;
    }
    single_ = form;
    singleView_ = view;
    margins_ = margins;
    minimum_ = minimum;
    prepAndAddSubview(view);
    layoutPanes();
}

void MatryoshkaView::prepAndAddSubview(QWidget *view) {
    // A view the caller hid on purpose stays hidden; any other shows with us.
    const bool keepHidden = view->isHidden() && view->testAttribute(Qt::WA_WState_ExplicitShowHide);
    view->setParent(this);
    view->raise();
    if (!keepHidden)
        view->show();
}

QWidget *MatryoshkaView::toggleView() const {
    return (extensions_ & HasToggle) ? other_.data() : nullptr;
}

void MatryoshkaView::setRatioTarget(double ratio) {
    if (ratio == ratioTarget_)
        return;
    ratioTarget_ = ratio;
    emit ratioTargetChanged(ratio);
}

void MatryoshkaView::setFixedTarget(double size) {
    if (size == fixedTarget_)
        return;
    fixedTarget_ = size;
    emit fixedTargetChanged(size);
}

void MatryoshkaView::setBackgroundColor(const QColor &color) {
    backgroundColor_ = color;
    update();
}

void MatryoshkaView::layoutPanes() {
    if (background_)
        background_->setGeometry(rect());
    if (singleView_ && single_ == Single::Inset) {
        singleView_->setGeometry(pixelRect(insetRect(size(), margins_)));
    } else if (singleView_ && single_ == Single::Centred) {
        const QSize wanted = singleView_->sizeHint()
                                 .expandedTo(singleView_->minimumSize())
                                 .boundedTo(singleView_->maximumSize());
        singleView_->setGeometry(pixelRect(centredRect(size(), wanted, minimum_)));
    } else if (permanent_ && other_) {
        const double gap = divider_ ? shownThickness_ : spacer_;
        const SplitLayout layout = splitLayout(extensions_, size(), shownRatio_, shownSize_, gap);
        permanent_->setGeometry(layout.pixels(SplitLayout::Permanent));
        other_->setGeometry(layout.pixels(SplitLayout::Other));
        if (divider_)
            divider_->setLine(layout.pixels(SplitLayout::Gap),
                              layout.horizontal ? Qt::Vertical : Qt::Horizontal);
    }
    updateTrackingAreas();
}

QSize MatryoshkaView::sizeHint() const {
    // A view without a size of its own counts for nothing.
    const auto hintOf = [](const QWidget *view) {
        return view && !view->isHidden()
                   ? view->sizeHint().expandedTo(view->minimumSize()).expandedTo(QSize(0, 0))
                   : QSize(0, 0);
    };
    if (singleView_ && single_ == Single::Inset) {
        const QSize hint = hintOf(singleView_);
        return QSize(qRound(hint.width() + margins_.left() + margins_.right()),
                     qRound(hint.height() + margins_.top() + margins_.bottom()));
    }
    if (singleView_ && single_ == Single::Centred)
        return hintOf(singleView_).expandedTo(minimum_.toSize());
    if (!permanent_ || !other_)
        return QWidget::sizeHint();

    const bool horizontal = !isVertical(extensions_);
    const auto along = [horizontal](QSize size) { return horizontal ? size.width() : size.height(); };
    const auto across = [horizontal](QSize size) { return horizontal ? size.height() : size.width(); };
    const QSize permanent = hintOf(permanent_), other = hintOf(other_);
    const int otherAlong = (extensions_ & FixedSize) && !other_->isHidden() ? qRound(currentSize_)
                                                                            : along(other);
    const int length = along(permanent) + otherAlong + qRound(divider_ ? shownThickness_ : spacer_);
    const int thickness = std::max(across(permanent), across(other));
    return horizontal ? QSize(length, thickness) : QSize(thickness, length);
}

void MatryoshkaView::swapViews() {
    // Each pane keeps its size because sizes belong to the permanent and the
    // toggle view, not to a side.
    extensions_ = swappedSides(extensions_);
    layoutPanes();
}

void MatryoshkaView::addBackgroundView(QWidget *view) {
    if (view == background_)
        return;
    if (background_) {
        background_->hide();
        background_->setParent(nullptr);
        background_->deleteLater();
    }
    background_ = view;
    if (!view)
        return;
    prepAndAddSubview(view);
    view->lower();
    view->setGeometry(rect());
}

void MatryoshkaView::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    layoutPanes();
}

void MatryoshkaView::paintEvent(QPaintEvent *event) {
    if (backgroundColor_.isValid())
        QPainter(this).fillRect(event->rect(), backgroundColor_);
}

void MatryoshkaView::logDebugInfo() const {
    qCInfo(lcWindow).noquote() << "debug matryohka\n\n";
    qCInfo(lcWindow).noquote() << frameLine(this);
    for (const QWidget *child : findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        qCInfo(lcWindow).noquote() << frameLine(child);
        for (const QWidget *grandchild : child->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            qCInfo(lcWindow).noquote() << "\t" + frameLine(grandchild);
    }
}
