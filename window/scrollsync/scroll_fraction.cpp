#include "window/scrollsync/scroll_fraction.h"

#include <QScrollBar>

#include <algorithm>
#include <cmath>
#include <limits>

namespace scrollsync {

double totalPercentageAtCenter(double top, double visibleHeight, double documentHeight) {
    if (!(documentHeight > 0) || !std::isfinite(documentHeight))
        return std::numeric_limits<double>::quiet_NaN();
    return (top + visibleHeight * 0.5) / documentHeight;
}

double alignedTop(double p, double h, double visibleHeight, double documentHeight) {
    if (!(documentHeight > 0) || !std::isfinite(documentHeight) || !std::isfinite(p) || std::isnan(h))
        return std::numeric_limits<double>::quiet_NaN();
    return documentHeight * p - std::clamp(h, 0.0, 1.0) * visibleHeight;
}

namespace {

double documentHeight(const QScrollBar &bar) {
    return double(bar.maximum()) - bar.minimum() + bar.pageStep();
}

}  // namespace

double totalPercentageAtCenter(const QScrollBar &bar) {
    return totalPercentageAtCenter(double(bar.value()) - bar.minimum(), bar.pageStep(), documentHeight(bar));
}

void alignTotalPercentage(QScrollBar &bar, double p, double h) {
    const double top = alignedTop(p, h, bar.pageStep(), documentHeight(bar));
    if (std::isnan(top))
        return;
    // The scroll bar keeps the value within its range.
    bar.setValue(int(std::clamp(std::lround(top) + double(bar.minimum()), -2.0e9, 2.0e9)));
}

}  // namespace scrollsync
