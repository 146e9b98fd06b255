// The arithmetic of nested panes, apart from any widget: where the two panes
// and the divider go, where a drag puts the divider and within which limits,
// and where the band that answers to the pointer around the divider lies.
//
// Everything is in the view's own coordinates as Qt has them: the origin at
// the top left and y growing downwards. "Extent" is the size along the split:
// the width when the panes sit side by side, the height when they are stacked.
#pragma once

#include <QMarginsF>
#include <QRect>
#include <QRectF>
#include <QSizeF>

#include <cstdint>
#include <optional>

namespace matryoshka {

// The bits of a view's `extensions`. The side bits name the permanent view's
// side; several bits are set together.
enum : std::uint64_t {
    PermanentLeft = 0x01,
    PermanentRight = 0x02,
    PermanentTop = 0x04,
    PermanentBottom = 0x08,
    Resizable = 0x10,     // a divider stands between the panes
    FixedSize = 0x20,     // the toggle pane has a fixed width or height
    RatioSized = 0x40,    // the panes share the space by ratio
    HasToggle = 0x80,     // one pane collapses and opens
    SideBits = PermanentLeft | PermanentRight | PermanentTop | PermanentBottom,
};

// A dragged ratio divider keeps the permanent view's share within these; they
// are single-precision values on purpose, so that a share clamped to one of
// them never equals a target chosen by hand and the next toggle reopens.
inline constexpr double MinimumShare = static_cast<double>(0.05f);
inline constexpr double MaximumShare = static_cast<double>(0.95f);
// A dragged fixed-size divider stays this far from either edge.
inline constexpr double EdgeMargin = 10.0;
// The band around the divider reaches this far to either side of it.
inline constexpr double BandReach = 8.0;

// Panes side by side (the permanent view on the left or right).
bool isHorizontal(std::uint64_t bits);
// Panes stacked (the permanent view on top or at the bottom, and not also
// on a horizontal side).
bool isVertical(std::uint64_t bits);
// The bits with the permanent view moved to the other side of the split.
std::uint64_t swappedSides(std::uint64_t bits);
// The width of a horizontal split, the height of a vertical one, else 0.
double extentOf(std::uint64_t bits, QSizeF bounds);

// Where the pieces of a two-pane view go. The panes and the gap between them
// (the divider, or a spacer) tile the split axis from one edge to the other.
struct SplitLayout {
    enum Piece { Permanent, Other, Gap };

    bool horizontal = true;
    bool permanentFirst = true;   // the permanent view at the left or top edge
    double cross = 0;             // the height of a horizontal split, the width of a vertical one
    double edges[4] = {0, 0, 0, 0};   // along the axis: start, end of the first pane, end of the gap, end

    QRectF rect(Piece piece) const;
    // The same, with its edges rounded to whole pixels: neighbours share an
    // edge, so the pieces tile without gaps or overlaps.
    QRect pixels(Piece piece) const;
    // A pane at `size` rather than its share: its edge by the gap stays
    // where pixels() puts it, and a pane larger than its share reaches out
    // past the view's outer edge, where the view cuts it off.
    QRect pixelsAtSize(Piece piece, QSize size) const;

private:
    int firstEdge(Piece piece) const;
};

// The pieces of a two-pane view of the given bits. `ratio` is the permanent
// view's share (ratio forms), `size` the toggle pane's width or height (fixed
// forms), `gap` the divider's thickness or the spacer. A fixed pane keeps its
// size as the view grows and gives way only where the view is too small to
// hold it; no piece is ever of negative size.
SplitLayout splitLayout(std::uint64_t bits, QSizeF bounds, double ratio, double size, double gap);

// One view inset by margins (never of negative size).
QRectF insetRect(QSizeF bounds, const QMarginsF &margins);
// One view of its own size, at least the minimum, at most the bounds, centred.
QRectF centredRect(QSizeF bounds, QSizeF wanted, QSizeF minimum = {});

// The divider's coordinate along the split axis (x or y), or nothing while
// the toggle pane is collapsed or the view has no divider.
std::optional<double> dividerCoordinate(std::uint64_t bits, QSizeF bounds, double currentRatio,
                                        double currentSize);
// The band around the divider that takes presses and drags, 2 * BandReach
// across, over the full length of the divider.
std::optional<QRectF> band(std::uint64_t bits, QSizeF bounds, double currentRatio, double currentSize);

// What a drag does: the permanent view's share (ratio forms) or the toggle
// pane's size (fixed forms), and whether it lay within the limits. Only a
// value within them becomes the view's new target.
struct Placement {
    double value = 0;
    bool withinLimits = false;
};

// The divider dragged to a point. Nothing when the view has neither form nor
// side, or no room to drag in.
std::optional<Placement> placeAt(std::uint64_t bits, QSizeF bounds, QPointF point);
// The programmatic form: a ratio view takes the offset as the coordinate
// along the split axis; a fixed view takes it as the toggle pane's size,
// limited to 0 and the extent.
std::optional<Placement> placeAtOffset(std::uint64_t bits, QSizeF bounds, double offset);

// What a share hides once a change to it has finished: all of the view
// given to the permanent view hides the toggle pane; none of it hides the
// permanent view and the divider.
enum class Hiding { Nothing, TogglePane, PermanentAndDivider };
Hiding hidingForShare(double share);

}  // namespace matryoshka
