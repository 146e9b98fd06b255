// The arithmetic of nested panes, without a single widget.
#include "window/panes/matryoshka_geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace matryoshka;

namespace {

const QSizeF Bounds(1000, 600);

struct SplitCase {
    const char *name;
    std::uint64_t bits;
    double ratio, size, gap;
    QRect permanent, other, m_gap;
};

}  // namespace

// Every side of both forms, in Qt's coordinates (y grows downwards, so a
// permanent view at the bottom puts the other pane at y = 0).
TEST(MatryoshkaGeometry, PlacesBothPanesAndTheGapOnEverySide) {
    const SplitCase cases[] = {
        {"ratio, left", 0xD1, 0.3, 0, 1, {0, 0, 300, 600}, {301, 0, 699, 600}, {300, 0, 1, 600}},
        {"ratio, right", 0xD2, 0.3, 0, 1, {700, 0, 300, 600}, {0, 0, 699, 600}, {699, 0, 1, 600}},
        {"ratio, top", 0x44, 0.25, 0, 0, {0, 0, 1000, 150}, {0, 150, 1000, 450}, {0, 150, 1000, 0}},
        {"ratio, bottom", 0x48, 0.25, 0, 0, {0, 450, 1000, 150}, {0, 0, 1000, 450}, {0, 450, 1000, 0}},
        {"fixed, left", 0xB1, 0, 200, 2, {0, 0, 798, 600}, {800, 0, 200, 600}, {798, 0, 2, 600}},
        {"fixed, right", 0xB2, 0, 200, 2, {202, 0, 798, 600}, {0, 0, 200, 600}, {200, 0, 2, 600}},
        {"fixed, top, spacer", 0xA4, 0, 30, 10, {0, 0, 1000, 560}, {0, 570, 1000, 30}, {0, 560, 1000, 10}},
        {"fixed, bottom", 0xA8, 0, 20, 0, {0, 20, 1000, 580}, {0, 0, 1000, 20}, {0, 20, 1000, 0}},
    };
    for (const SplitCase &c : cases) {
        SCOPED_TRACE(c.name);
        const SplitLayout layout = splitLayout(c.bits, Bounds, c.ratio, c.size, c.gap);
        EXPECT_EQ(layout.pixels(SplitLayout::Permanent), c.permanent);
        EXPECT_EQ(layout.pixels(SplitLayout::Other), c.other);
        EXPECT_EQ(layout.pixels(SplitLayout::Gap), c.m_gap);
    }
}

// A fixed pane gives way only where the view cannot hold it; shares outside
// 0..1 and numbers that are not numbers leave no piece negative.
TEST(MatryoshkaGeometry, PiecesNeverGoNegative) {
    const SplitLayout cramped = splitLayout(0xB2, QSizeF(150, 400), 0, 200, 1);
    EXPECT_EQ(cramped.rect(SplitLayout::Other).width(), 149);
    EXPECT_EQ(cramped.rect(SplitLayout::Permanent).width(), 0);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (double ratio : {-0.5, 1.7, nan}) {
        const SplitLayout layout = splitLayout(0xD1, Bounds, ratio, 0, 1);
        for (auto piece : {SplitLayout::Permanent, SplitLayout::Other, SplitLayout::Gap})
            EXPECT_GE(layout.rect(piece).width(), 0) << ratio;
        EXPECT_EQ(layout.edges[3], 1000);
    }
    EXPECT_GE(splitLayout(0xB1, Bounds, 0, nan, nan).rect(SplitLayout::Other).width(), 0);
}

TEST(MatryoshkaGeometry, PixelEdgesTileWithoutGapsOrOverlaps) {
    for (int extent : {997, 1000, 1283}) {
        for (double ratio = 0.05; ratio < 0.96; ratio += 0.0731) {
            const SplitLayout layout = splitLayout(0xD2, QSizeF(extent, 300), ratio, 0, 2);
            const QRect other = layout.pixels(SplitLayout::Other), gap = layout.pixels(SplitLayout::Gap),
                        permanent = layout.pixels(SplitLayout::Permanent);
            EXPECT_EQ(other.left(), 0);
            EXPECT_EQ(gap.left(), other.left() + other.width());
            EXPECT_EQ(permanent.left(), gap.left() + gap.width());
            EXPECT_EQ(permanent.left() + permanent.width(), extent);
        }
    }
}

TEST(MatryoshkaGeometry, InsetAndCentredViews) {
    EXPECT_EQ(insetRect(QSizeF(200, 100), QMarginsF(10, 5, 20, 15)), QRectF(10, 5, 170, 80));
    EXPECT_EQ(insetRect(QSizeF(20, 10), QMarginsF(10, 10, 10, 10)), QRectF(10, 10, 0, 0));
    EXPECT_EQ(centredRect(QSizeF(200, 100), QSizeF(40, 20)), QRectF(80, 40, 40, 20));
    EXPECT_EQ(centredRect(QSizeF(200, 100), QSizeF(40, 20), QSizeF(100, 30)), QRectF(50, 35, 100, 30));
    // The minimum holds only where there is room for it.
    EXPECT_EQ(centredRect(QSizeF(80, 100), QSizeF(40, 20), QSizeF(100, 30)), QRectF(0, 35, 80, 30));
}

TEST(MatryoshkaGeometry, BandFollowsTheDividerAndVanishesWithTheCollapsedPane) {
    EXPECT_EQ(band(0xD1, Bounds, 0.3, 0), QRectF(292, 0, 16, 600));
    EXPECT_EQ(band(0xD2, Bounds, 0.3, 0), QRectF(692, 0, 16, 600));
    EXPECT_EQ(band(0x54, Bounds, 0.5, 0), QRectF(0, 292, 1000, 16));
    EXPECT_EQ(band(0x58, Bounds, 0.25, 0), QRectF(0, 442, 1000, 16));
    EXPECT_EQ(band(0xB1, Bounds, 0, 200), QRectF(792, 0, 16, 600));
    EXPECT_EQ(band(0xB2, Bounds, 0, 200), QRectF(192, 0, 16, 600));
    EXPECT_EQ(band(0xB4, Bounds, 0, 30), QRectF(0, 562, 1000, 16));
    EXPECT_EQ(band(0xB8, Bounds, 0, 30), QRectF(0, 22, 1000, 16));

    EXPECT_FALSE(band(0xD1, Bounds, 1.0, 0));   // collapsed ratio pane
    EXPECT_FALSE(band(0xB2, Bounds, 0, 0));     // collapsed fixed pane
    EXPECT_FALSE(band(0xC1, Bounds, 0.3, 0));   // no divider
}

// Shares are measured from the permanent view's edge, sizes from the toggle
// pane's; beyond the limits the value stops there and is no new target.
TEST(MatryoshkaGeometry, DragsStayWithinTheirLimits) {
    const struct {
        std::uint64_t bits;
        QPointF point;
        double value;
        bool withinLimits;
    } drags[] = {
        {0xD1, {400, 0}, 0.4, true},
        {0xD2, {400, 0}, 0.6, true},
        {0x54, {0, 150}, 0.25, true},
        {0x58, {0, 150}, 0.75, true},
        {0xD1, {20, 0}, static_cast<double>(0.05f), false},
        {0xD2, {-300, 0}, static_cast<double>(0.95f), false},
        // The limits are single-precision: a share of exactly 0.05 lies below.
        {0xD1, {50, 0}, static_cast<double>(0.05f), false},
        {0xB2, {150, 0}, 150, true},    // a left-hand sidebar is as wide as x
        {0xB2, {4, 0}, 10, false},
        {0xB2, {1200, 0}, 990, false},
        {0xB1, {850, 0}, 150, true},
        {0xB4, {0, 500}, 100, true},
        {0xB8, {0, 100}, 100, true},
    };
    for (const auto &d : drags) {
        SCOPED_TRACE(d.bits);
        const auto placement = placeAt(d.bits, Bounds, d.point);
        ASSERT_TRUE(placement);
        EXPECT_DOUBLE_EQ(placement->value, d.value);
        EXPECT_EQ(placement->withinLimits, d.withinLimits);
    }
    // Offsets: a coordinate for ratios; for fixed panes a size within 0 and
    // the extent, with no ten-point margin.
    EXPECT_DOUBLE_EQ(placeAtOffset(0xD2, Bounds, 250)->value, 0.75);
    EXPECT_TRUE(placeAtOffset(0xB2, Bounds, 5)->withinLimits);
    EXPECT_EQ(placeAtOffset(0xB2, Bounds, -5)->value, 0);
    EXPECT_EQ(placeAtOffset(0xB2, Bounds, 1500)->value, 1000);
    EXPECT_FALSE(placeAtOffset(0xB2, Bounds, 1500)->withinLimits);
}

// A drag in a view that has no size yet, or to a point that is not a
// number, must not turn a target into NaN or a fixed pane negative.
TEST(MatryoshkaGeometry, DragsWithoutRoomOrWithoutANumberDoNothing) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(placeAt(0xD1, QSizeF(0, 0), QPointF(0, 0)));
    EXPECT_FALSE(placeAt(0xD1, Bounds, QPointF(nan, 0)));
    EXPECT_FALSE(placeAt(0xB1, QSizeF(15, 600), QPointF(12, 0)));
    EXPECT_FALSE(placeAtOffset(0xB1, Bounds, nan));
    EXPECT_FALSE(placeAt(0xF0, Bounds, QPointF(10, 10)));   // no side
    EXPECT_FALSE(placeAt(0x81, Bounds, QPointF(10, 10)));   // neither ratio nor size
}

TEST(MatryoshkaGeometry, SwappingSidesAndWhatAShareHides) {
    EXPECT_EQ(swappedSides(0xD1), 0xD2u);
    EXPECT_EQ(swappedSides(0xB8), 0xB4u);
    EXPECT_EQ(swappedSides(0x80), 0x80u);
    EXPECT_EQ(hidingForShare(1.0), Hiding::TogglePane);
    EXPECT_EQ(hidingForShare(0.0), Hiding::PermanentAndDivider);
    EXPECT_EQ(hidingForShare(std::nextafter(1.0, 0.0)), Hiding::Nothing);
}
