// MatryoshkaView is the layout block of every window: two panes side by side
// or stacked, or a single view inset by margins or centred. Views nest: a
// MatryoshkaView is usually the permanent view of the next one out.
//
// In the two-pane forms one pane is the permanent view and the other a plain
// pane or a toggle pane that collapses and opens again, with or without
// animation. The panes share the space by a ratio (the permanent view's share)
// or the toggle pane keeps a fixed width or height; a DividerView between them
// lets the user drag that share or size. The sizes the user chooses by
// dragging are published as `ratioTarget` and `fixedTarget`; collapsing and
// opening leave them alone, and the pane reopens at them.
//
// The pieces are placed from the view's state (its `extensions` bits, the
// present share or size and the divider's thickness) by the arithmetic in
// matryoshka_geometry.h, so exchanging the sides only flips the side bits.
#pragma once

#include "window/panes/divider_view.h"
#include "window/panes/matryoshka_geometry.h"

#include <QColor>
#include <QMarginsF>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

class QVariantAnimation;

class MatryoshkaView : public QWidget {
    Q_OBJECT
    Q_PROPERTY(double ratioTarget READ ratioTarget WRITE setRatioTarget NOTIFY ratioTargetChanged)
    Q_PROPERTY(double fixedTarget READ fixedTarget WRITE setFixedTarget NOTIFY fixedTargetChanged)
    Q_PROPERTY(quint64 extensions READ extensions)
    Q_PROPERTY(QColor backgroundColor READ backgroundColor WRITE setBackgroundColor)

public:
    // The two-pane forms, named by the permanent view's side; each value is
    // the form's `extensions` bits (a divider adds matryoshka::Resizable).
    enum class Panes : quint64 {
        LeftBesideRightByRatio = 0x41,   // plain right pane; the left view's share
        LeftWithToggleByRatio = 0xC1,    // toggle pane on the right
        RightWithToggleByRatio = 0xC2,   // toggle pane on the left
        BottomUnderTopByRatio = 0x48,    // plain top pane; the bottom view's share
        RightWithToggleByWidth = 0xA2,   // toggle pane of fixed width on the left
        LeftWithToggleByWidth = 0xA1,    // toggle pane of fixed width on the right
        TopWithToggleByHeight = 0xA4,    // toggle pane of fixed height at the bottom
        BottomWithToggleByHeight = 0xA8, // toggle pane of fixed height on top
    };

    // An empty view (a blank strip, or the base of a subclass that builds
    // its own form).
    explicit MatryoshkaView(QWidget *parent = nullptr);
    // Two panes: `sizing` is the permanent view's share in the ratio forms
    // and the toggle pane's width or height in the fixed ones; it becomes the
    // target and the view starts open at it. `spacer` separates stacked panes
    // without a divider in the fixed forms. Both views become children.
    MatryoshkaView(Panes form, QWidget *permanent, QWidget *other, double sizing, bool resizable,
                   double spacer = 0.0, QWidget *parent = nullptr);
    // One view inset by margins, or centred at its own size (at least the
    // minimum, where there is room).
    static MatryoshkaView *inset(QWidget *view, const QMarginsF &margins, QWidget *parent = nullptr);
    static MatryoshkaView *centred(QWidget *view, QWidget *parent = nullptr);
    static MatryoshkaView *centred(QWidget *view, QSizeF minimum, QWidget *parent = nullptr);
    ~MatryoshkaView() override;

    quint64 extensions() const { return m_extensions; }
    QWidget *permanentView() const { return m_permanent; }
    // The collapsible pane; nothing in the forms without one.
    QWidget *toggleView() const;
    DividerView *dividerView() const { return m_divider; }
    QWidget *backgroundView() const { return m_background; }

    double ratioTarget() const { return m_ratioTarget; }
    void setRatioTarget(double ratio);
    double fixedTarget() const { return m_fixedTarget; }
    void setFixedTarget(double size);
    // The permanent view's present share (1.0 while the toggle pane is
    // collapsed) and the toggle pane's present size (0 while collapsed).
    double currentRatio() const { return m_currentRatio; }
    double currentSize() const { return m_currentSize; }
    // The divider's thickness while the toggle pane is open: the largest
    // pixel ratio of the screens, never below 1.
    double dividerThickness() const { return m_dividerThickness; }
    // True while an animated size change runs; toggles are ignored meanwhile.
    bool isAdjusting() const { return m_adjusting; }
    // Whether the toggle view is only ever given the size it has open: while
    // the pane opens or collapses it slides in or out at that size, cut off
    // at the view's edge, and collapsed it keeps the size it reopens at (the
    // target's, following the view's own size). For a view to which every
    // new size is costly: a page of megabytes lays itself out anew at each,
    // and the narrower, the taller and dearer. Off by default: the toggle
    // view takes its share at every step.
    void setToggleViewKeepsOpenSize(bool keeps);

    QColor backgroundColor() const { return m_backgroundColor; }
    void setBackgroundColor(const QColor &color);

    // Collapses the toggle pane when it stands at its target, else opens it
    // at the target; nothing without a toggle pane or while animating.
    void toggleViewWithAnimation(bool animated);
    void toggleRatioViewWithAnimation(bool animated);
    void toggleFixedViewWithAnimation(bool animated);
    // Sets the permanent view's share (1.0 collapses the toggle pane, 0.0 the
    // permanent view); nothing in a view without a ratio.
    void adjustRatio(double ratio, bool animated);
    // Sets the toggle pane's width or height (0 collapses it).
    void adjustFixedDimension(double size, bool animated);
    // The divider's present thickness; 0 hides it.
    void setDividerThickness(double thickness);
    // Places the divider at a point in the view's coordinates, as a drag does:
    // within the limits the share or size becomes the new target, beyond them
    // the divider stops at the limit and the target stays.
    void setDividerTo(QPointF point);
    // The same at an offset along the split axis; a fixed view takes it as the
    // toggle pane's size.
    void setDividerOffset(double offset);

    // Exchanges the panes' sides; each keeps its size, state and target.
    void swapViews();
    // A view behind everything else, filling the view; replaces (and
    // deletes) an earlier one.
    void addBackgroundView(QWidget *view);

    // The band around the divider where presses start a drag; nothing while
    // the toggle pane is collapsed or without a divider.
    std::optional<QRectF> trackingBand() const { return m_band; }
    // Places every piece from the present state and rebuilds the band.
    void layoutPanes();
    void logDebugInfo() const;

    QSize sizeHint() const override;

signals:
    void ratioTargetChanged(double ratio);
    void fixedTargetChanged(double size);

protected:
    // Builds this empty view in one form, once: for subclasses, whose panes
    // exist only after the base is made.
    void initPanes(Panes form, QWidget *permanent, QWidget *other, double sizing, bool resizable,
                   double spacer = 0.0);
    void initInset(QWidget *view, const QMarginsF &margins);
    void initCentred(QWidget *view, QSizeF minimum = {});

    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    enum class Single { None, Inset, Centred };

    bool isBuilt() const;
    void initSingle(Single form, QWidget *view, const QMarginsF &margins, QSizeF minimum);
    void prepAndAddSubview(QWidget *view);
    void updateTrackingAreas();
    void showPieces();
    void applyCollapseRule();
    // The toggle view's size under setToggleViewKeepsOpenSize(), the pieces
    // standing as `shown` places them.
    QSize openToggleSize(const matryoshka::SplitLayout &shown, double gap) const;
    void applyPlacement(const std::optional<matryoshka::Placement> &placement);
    void animate(double from, double to, std::function<void(double)> step,
                 std::function<void()> completion);
    void stopAnimation();
    void endDrag();

    double m_dividerThickness = 1.0;
    QPointer<QWidget> m_permanent;
    QPointer<QWidget> m_other;          // the toggle pane in the toggle forms
    QPointer<DividerView> m_divider;
    QPointer<QWidget> m_background;
    quint64 m_extensions = 0;
    double m_currentRatio = 0;
    double m_currentSize = 0;
    double m_ratioTarget = 0;
    double m_fixedTarget = 0;
    // What the pieces are laid out with: the present share and size, except
    // while an animation moves them towards it.
    double m_shownRatio = 0;
    double m_shownSize = 0;
    double m_shownThickness = 0;
    double m_spacer = 0;
    bool m_adjusting = false;
    bool m_toggleKeepsOpenSize = false;
    QPointer<QVariantAnimation> m_animation;

    Single m_single = Single::None;
    QPointer<QWidget> m_singleView;
    QMarginsF m_margins;
    QSizeF m_minimum;

    QColor m_backgroundColor;
    std::optional<QRectF> m_band;
    bool m_dragging = false;
};
