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
    m_dividerThickness = thicknessForScreens();
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
    return m_permanent || m_other || m_single != Single::None;
}

void MatryoshkaView::initPanes(Panes form, QWidget *permanent, QWidget *other, double sizing,
                               bool resizable, double spacer) {
    if (isBuilt() || !permanent || !other || permanent == other) {
        qCWarning(lcWindow) << "MatryoshkaView: a view is built once, from two distinct panes";
        return;
    }
    m_extensions |= static_cast<quint64>(form);
    m_permanent = permanent;
    m_other = other;
    if (m_extensions & FixedSize) {
        m_fixedTarget = m_currentSize = m_shownSize = sizing;
    } else {
        m_ratioTarget = m_currentRatio = m_shownRatio = sizing;
    }

    // The left (or bottom) pane is the first child, the divider the third.
    const bool permanentFirst = (m_extensions & (PermanentLeft | PermanentBottom)) != 0;
    prepAndAddSubview(permanentFirst ? permanent : other);
    prepAndAddSubview(permanentFirst ? other : permanent);
    if (resizable) {
        m_extensions |= Resizable;
        m_divider = new DividerView(this);
        m_divider->setBackgroundColor(DividerGrey);
        prepAndAddSubview(m_divider);
        m_shownThickness = m_dividerThickness;
    } else if (isVertical(m_extensions) && (m_extensions & FixedSize)) {
        // Only stacked fixed-size panes keep a space between them.
        m_spacer = spacer;
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
    m_single = form;
    m_singleView = view;
    m_margins = margins;
    m_minimum = minimum;
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
    return (m_extensions & HasToggle) ? m_other.data() : nullptr;
}

void MatryoshkaView::setRatioTarget(double ratio) {
    if (ratio == m_ratioTarget)
        return;
    m_ratioTarget = ratio;
    emit ratioTargetChanged(ratio);
}

void MatryoshkaView::setFixedTarget(double size) {
    if (size == m_fixedTarget)
        return;
    m_fixedTarget = size;
    emit fixedTargetChanged(size);
}

void MatryoshkaView::setBackgroundColor(const QColor &color) {
    m_backgroundColor = color;
    update();
}

void MatryoshkaView::layoutPanes() {
    if (m_background)
        m_background->setGeometry(rect());
    if (m_singleView && m_single == Single::Inset) {
        m_singleView->setGeometry(pixelRect(insetRect(size(), m_margins)));
    } else if (m_singleView && m_single == Single::Centred) {
        const QSize wanted = m_singleView->sizeHint()
                                 .expandedTo(m_singleView->minimumSize())
                                 .boundedTo(m_singleView->maximumSize());
        m_singleView->setGeometry(pixelRect(centredRect(size(), wanted, m_minimum)));
    } else if (m_permanent && m_other) {
        const double gap = m_divider ? m_shownThickness : m_spacer;
        const SplitLayout layout = splitLayout(m_extensions, size(), m_shownRatio, m_shownSize, gap);
        m_permanent->setGeometry(layout.pixels(SplitLayout::Permanent));
        if (m_toggleKeepsOpenSize && toggleView())
            m_other->setGeometry(layout.pixelsAtSize(SplitLayout::Other, openToggleSize(layout, gap)));
        else
            m_other->setGeometry(layout.pixels(SplitLayout::Other));
        if (m_divider)
            m_divider->setLine(layout.pixels(SplitLayout::Gap),
                              layout.horizontal ? Qt::Vertical : Qt::Horizontal);
    }
    updateTrackingAreas();
}

void MatryoshkaView::setToggleViewKeepsOpenSize(bool keeps) {
    m_toggleKeepsOpenSize = keeps;
    layoutPanes();
}

QSize MatryoshkaView::openToggleSize(const SplitLayout &shown, double gap) const {
    const bool fixed = (m_extensions & FixedSize) != 0;
    const bool collapsing = fixed ? m_currentSize == 0 : hidingForShare(m_currentRatio) == Hiding::TogglePane;
    if (!m_adjusting && !m_other->isHidden())
        return shown.pixels(SplitLayout::Other).size();  // open, at rest
    if (m_adjusting && collapsing)
        return m_other->size();  // as it stood open when the collapse began
    // Opening: as it will stand; collapsed: as it reopens, with the divider
    // it will have then.
    const double openGap = m_divider ? m_dividerThickness : gap;
    const SplitLayout open = m_adjusting ? splitLayout(m_extensions, size(), m_currentRatio, m_currentSize, openGap)
                                         : splitLayout(m_extensions, size(), m_ratioTarget, m_fixedTarget, openGap);
    return open.pixels(SplitLayout::Other).size();
}

QSize MatryoshkaView::sizeHint() const {
    // A view without a size of its own counts for nothing.
    const auto hintOf = [](const QWidget *view) {
        return view && !view->isHidden()
                   ? view->sizeHint().expandedTo(view->minimumSize()).expandedTo(QSize(0, 0))
                   : QSize(0, 0);
    };
    if (m_singleView && m_single == Single::Inset) {
        const QSize hint = hintOf(m_singleView);
        return QSize(qRound(hint.width() + m_margins.left() + m_margins.right()),
                     qRound(hint.height() + m_margins.top() + m_margins.bottom()));
    }
    if (m_singleView && m_single == Single::Centred)
        return hintOf(m_singleView).expandedTo(m_minimum.toSize());
    if (!m_permanent || !m_other)
        return QWidget::sizeHint();

    const bool horizontal = !isVertical(m_extensions);
    const auto along = [horizontal](QSize size) { return horizontal ? size.width() : size.height(); };
    const auto across = [horizontal](QSize size) { return horizontal ? size.height() : size.width(); };
    const QSize permanent = hintOf(m_permanent), other = hintOf(m_other);
    const int otherAlong = (m_extensions & FixedSize) && !m_other->isHidden() ? qRound(m_currentSize)
                                                                            : along(other);
    const int length = along(permanent) + otherAlong + qRound(m_divider ? m_shownThickness : m_spacer);
    const int thickness = std::max(across(permanent), across(other));
    return horizontal ? QSize(length, thickness) : QSize(thickness, length);
}

void MatryoshkaView::swapViews() {
    // Each pane keeps its size because sizes belong to the permanent and the
    // toggle view, not to a side.
    m_extensions = swappedSides(m_extensions);
    layoutPanes();
}

void MatryoshkaView::addBackgroundView(QWidget *view) {
    if (view == m_background)
        return;
    if (m_background) {
        m_background->hide();
        m_background->setParent(nullptr);
        m_background->deleteLater();
    }
    m_background = view;
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
    if (m_backgroundColor.isValid())
        QPainter(this).fillRect(event->rect(), m_backgroundColor);
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
