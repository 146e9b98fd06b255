// The editor view's geometry rules, as plain arithmetic.
//
// The view is never scaled: a zoom factor is folded into the fonts and
// metrics of the text and into the view's margins instead. The rules below
// are stated in "text coordinates", the lengths the text has at zoom 1 (a
// length on screen divided by the zoom factor), so that each reads as the
// rule it is; ZoomGeometry converts between the two at the one place where
// the view hands a length to Qt or takes one from it.
#pragma once

namespace zoomgeometry {

// The measuring sample of the ideal column width: 39 letters, about the mix
// of a line of text.
inline constexpr char kWidthSample[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLM";
inline constexpr int kWidthSampleLength = 39;
// The ideal width when no line length is set: wider than any screen, so the
// column is never centred.
inline constexpr double kNoIdealWidth = 10000.0;

// Screen pixels <-> text coordinates at one zoom factor.
struct ZoomGeometry {
    double zoom = 1.0;
    double toScreen(double text) const { return text * zoom; }
    double toText(double screen) const { return screen / zoom; }
};

// Whether a zoom step changes anything: a factor of 0, or one within half a
// percent of 1, is dropped, so that repeated fitting comes to rest.
bool zoomStepApplies(double factor);

// The horizontal padding: the raw padding at zoom 1, in text coordinates.
double horizontalPadding(double rawPadding, double zoom);

// The vertical padding: the raw padding; in typewriter mode the larger of
// `typewriterHeight` and 1 - `typewriterHeight` of the visible height
// (`viewHeight`, on screen), so that the first and last lines can stand at
// the typewriter height.
double verticalPadding(double rawPadding, double zoom, bool typewriterMode, double typewriterHeight,
                       double viewHeight);

// The left and right margin of a view `width` wide: a column of
// `idealWidth` centred when it fits with the padding on both sides, else the
// padding. A view narrower than four paddings keeps at least half its width
// for the text.
double horizontalMargin(double width, double padding, double idealWidth);

// The width of `lineLength` average characters, given the width of the
// 39-letter sample; kNoIdealWidth without a line length.
double idealWidth(double sampleWidth, double lineLength);

// One step towards the zoom at which a column of `idealWidth` plus padding
// fills a view `width` wide beside a ruler `rulerWidth` thick (all in text
// coordinates at the current zoom): the factor to scale by.
double optimalZoomStep(double width, double rulerWidth, double padding, double idealWidth);
// The steps repeated as the view would repeat them after each scaling (the
// view's width and padding shrinking by each factor, the ruler and column
// keeping their text size), until a step is too small to apply: the whole
// factor.
double optimalZoomFactor(double width, double rulerWidth, double padding, double idealWidth);

// Where to scroll (the top of the visible area, in text coordinates) so that
// a range whose glyphs occupy [rangeTop, rangeTop + rangeHeight) of the text
// stands at fraction `target` of a view `visibleHeight` tall, below a
// padding of `verticalPadding`. A range taller than the view is shown from
// its top.
double idealScrollY(double visibleHeight, double target, double verticalPadding, double rangeTop,
                    double rangeHeight);
// The same kept within the scrollable range: at least 0, at most the text's
// height less the visible height.
double safeScrollY(double y, double boundsHeight, double visibleHeight);

}  // namespace zoomgeometry
