// Scroll positions as fractions of a pane's whole document, for the scroll
// synchroniser: where the middle of the visible part stands, and where to
// scroll so that a fraction stands at a given height of the view.
#pragma once

class QScrollBar;

namespace scrollsync {

// The fraction of the document at the middle of the visible part; NaN while
// the document has no height.
double totalPercentageAtCenter(double top, double visibleHeight, double documentHeight);
// The top that puts fraction `p` of the document at fraction `h` of the
// visible height (`h` is clamped to 0..1, `p` is not); NaN while the document
// has no height or either number is not finite.
double alignedTop(double p, double h, double visibleHeight, double documentHeight);

// The same over a scroll bar whose value is the top of the visible part,
// whose page step is the visible height and whose range plus page step is
// the document's height.
double totalPercentageAtCenter(const QScrollBar &bar);
void alignTotalPercentage(QScrollBar &bar, double p, double h);
inline void centerVisibleAtTotalPercentage(QScrollBar &bar, double p) { alignTotalPercentage(bar, p, 0.5); }
inline void topVisibleAtTotalPercentage(QScrollBar &bar, double p) { alignTotalPercentage(bar, p, 0.0); }
// The top of the document aligns at the top of the view, its end at the
// bottom.
inline void slidingAlignmentAtTotalPercentage(QScrollBar &bar, double p) { alignTotalPercentage(bar, p, p); }

}  // namespace scrollsync
