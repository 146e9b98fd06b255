#include "window/panes/matryoshka_geometry.h"

#include <algorithm>
#include <cmath>

namespace matryoshka {

bool isHorizontal(std::uint64_t bits) {
    return (bits & (PermanentLeft | PermanentRight)) != 0;
}

bool isVertical(std::uint64_t bits) {
    return !isHorizontal(bits) && (bits & (PermanentTop | PermanentBottom)) != 0;
}

std::uint64_t swappedSides(std::uint64_t bits) {
    if (isHorizontal(bits))
        return bits ^ (PermanentLeft | PermanentRight);
    if (isVertical(bits))
        return bits ^ (PermanentTop | PermanentBottom);
    return bits;
}

double extentOf(std::uint64_t bits, QSizeF bounds) {
    if (isHorizontal(bits))
        return bounds.width();
    if (isVertical(bits))
        return bounds.height();
    return 0;
}

int SplitLayout::firstEdge(Piece piece) const {
    switch (piece) {
    case Permanent: return permanentFirst ? 0 : 2;
    case Other: return permanentFirst ? 2 : 0;
    case Gap: break;
    }
    return 1;
}

QRectF SplitLayout::rect(Piece piece) const {
    const int first = firstEdge(piece);
    const double start = edges[first], length = edges[first + 1] - edges[first];
    return horizontal ? QRectF(start, 0, length, cross) : QRectF(0, start, cross, length);
}

QRect SplitLayout::pixels(Piece piece) const {
    // Each shared edge is rounded once, the same way for both neighbours.
    const int first = firstEdge(piece);
    const int start = qRound(edges[first]), length = qRound(edges[first + 1]) - start;
    const int across = qRound(cross);
    return horizontal ? QRect(start, 0, length, across) : QRect(0, start, across, length);
}

QRect SplitLayout::pixelsAtSize(Piece piece, QSize size) const {
    const QRect shared = pixels(piece);
    // The pane after the gap keeps its start, the one before it its end.
    const bool afterGap = firstEdge(piece) == 2;
    if (horizontal)
        return QRect(afterGap ? shared.left() : shared.left() + shared.width() - size.width(), shared.top(),
                     size.width(), size.height());
    return QRect(shared.left(), afterGap ? shared.top() : shared.top() + shared.height() - size.height(),
                 size.width(), size.height());
}

namespace {

double finiteOrZero(double value) {
    return std::isfinite(value) ? value : 0.0;
}

}  // namespace

SplitLayout splitLayout(std::uint64_t bits, QSizeF bounds, double ratio, double size, double gap) {
    SplitLayout layout;
    layout.horizontal = !isVertical(bits);
    layout.permanentFirst = (bits & (PermanentLeft | PermanentTop)) != 0 || (bits & SideBits) == 0;
    layout.cross = std::max(0.0, layout.horizontal ? bounds.height() : bounds.width());
    const double extent = std::max(0.0, layout.horizontal ? bounds.width() : bounds.height());

    gap = std::clamp(finiteOrZero(gap), 0.0, extent);
    double permanent = 0;
    if (bits & RatioSized) {
        permanent = std::clamp(finiteOrZero(ratio), 0.0, 1.0) * extent;
        gap = std::min(gap, extent - permanent);
    } else if (bits & FixedSize) {
        const double other = std::clamp(finiteOrZero(size), 0.0, extent - gap);
        permanent = extent - gap - other;
    } else {
        permanent = extent - gap;
    }
    const double other = extent - permanent - gap;

    const double first = layout.permanentFirst ? permanent : other;
    layout.edges[0] = 0;
    layout.edges[1] = first;
    layout.edges[2] = first + gap;
    layout.edges[3] = extent;
    return layout;
}

QRectF insetRect(QSizeF bounds, const QMarginsF &margins) {
    const double width = std::max(0.0, bounds.width() - margins.left() - margins.right());
    const double height = std::max(0.0, bounds.height() - margins.top() - margins.bottom());
    return QRectF(margins.left(), margins.top(), width, height);
}

QRectF centredRect(QSizeF bounds, QSizeF wanted, QSizeF minimum) {
    const double width = std::clamp(std::max(wanted.width(), minimum.width()), 0.0,
                                    std::max(0.0, bounds.width()));
    const double height = std::clamp(std::max(wanted.height(), minimum.height()), 0.0,
                                     std::max(0.0, bounds.height()));
    return QRectF((bounds.width() - width) / 2, (bounds.height() - height) / 2, width, height);
}

std::optional<double> dividerCoordinate(std::uint64_t bits, QSizeF bounds, double currentRatio,
                                        double currentSize) {
    if (!(bits & Resizable) || !(bits & SideBits))
        return std::nullopt;
    const double extent = extentOf(bits, bounds);
    // How far the divider lies from the permanent view's edge.
    double fromPermanentEdge = 0;
    if (bits & RatioSized) {
        if (currentRatio == 1.0)
            return std::nullopt;
        fromPermanentEdge = extent * currentRatio;
    } else if (bits & FixedSize) {
        if (currentSize == 0)
            return std::nullopt;
        fromPermanentEdge = extent - currentSize;
    } else {
        return std::nullopt;
    }
    const bool permanentAtOrigin = (bits & (PermanentLeft | PermanentTop)) != 0;
    return permanentAtOrigin ? fromPermanentEdge : extent - fromPermanentEdge;
}

std::optional<QRectF> band(std::uint64_t bits, QSizeF bounds, double currentRatio, double currentSize) {
    const auto at = dividerCoordinate(bits, bounds, currentRatio, currentSize);
    if (!at)
        return std::nullopt;
    if (isHorizontal(bits))
        return QRectF(*at - BandReach, 0, 2 * BandReach, bounds.height());
    return QRectF(0, *at - BandReach, bounds.width(), 2 * BandReach);
}

namespace {

// How far a point along the split axis lies from the edge of the view where
// the permanent view (forPermanent) or the toggle pane sits.
double distanceFromEdge(std::uint64_t bits, double extent, double coordinate, bool forPermanent) {
    const bool permanentAtOrigin = (bits & (PermanentLeft | PermanentTop)) != 0;
    return permanentAtOrigin == forPermanent ? coordinate : extent - coordinate;
}

std::optional<Placement> limited(double value, double lowest, double highest) {
    if (std::isnan(value))
        return std::nullopt;
    if (value < lowest)
        return Placement{lowest, false};
    if (value > highest)
        return Placement{highest, false};
    return Placement{value, true};
}

}  // namespace

std::optional<Placement> placeAt(std::uint64_t bits, QSizeF bounds, QPointF point) {
    if (!(bits & SideBits))
        return std::nullopt;
    const double extent = extentOf(bits, bounds);
    const double coordinate = isHorizontal(bits) ? point.x() : point.y();
    if (!std::isfinite(extent) || !std::isfinite(coordinate))
        return std::nullopt;
    if (bits & RatioSized) {
        // A view with no extent has no share to give.
        if (extent <= 0)
            return std::nullopt;
        return limited(distanceFromEdge(bits, extent, coordinate, true) / extent, MinimumShare,
                       MaximumShare);
    }
    if (bits & FixedSize) {
        // Too small to keep the margin from both edges: no size is allowed.
        if (extent < 2 * EdgeMargin)
            return std::nullopt;
        return limited(distanceFromEdge(bits, extent, coordinate, false), EdgeMargin,
                       extent - EdgeMargin);
    }
    return std::nullopt;
}

std::optional<Placement> placeAtOffset(std::uint64_t bits, QSizeF bounds, double offset) {
    if (bits & RatioSized)
        return placeAt(bits, bounds, QPointF(offset, offset));
    if (!(bits & FixedSize) || !(bits & SideBits) || !std::isfinite(offset))
        return std::nullopt;
    const double extent = extentOf(bits, bounds);
    if (!std::isfinite(extent))
        return std::nullopt;
    return limited(offset, 0, std::max(0.0, extent));
}

Hiding hidingForShare(double share) {
    if (share == 1.0)
        return Hiding::TogglePane;
    if (share == 0.0)
        return Hiding::PermanentAndDivider;
    return Hiding::Nothing;
}

}  // namespace matryoshka
