#include "editor/view/zoom_geometry.h"

#include <algorithm>
#include <cmath>

namespace zoomgeometry {

bool zoomStepApplies(double factor) {
    return factor != 0 && !(factor > 0.995 && factor < 1.005);
}

double horizontalPadding(double rawPadding, double zoom) { return rawPadding / zoom; }

double verticalPadding(double rawPadding, double zoom, bool typewriterMode, double typewriterHeight,
                       double viewHeight) {
    if (!typewriterMode)
        return rawPadding / zoom;
    return (std::abs(typewriterHeight - 0.5) + 0.5) * viewHeight / zoom;
}

double horizontalMargin(double width, double padding, double idealWidth) {
    if (width > 2 * padding + idealWidth)
        return (width - idealWidth) * 0.5;
    return std::max(0.0, std::min(padding, width / 4));
}

double idealWidth(double sampleWidth, double lineLength) {
    if (lineLength == 0)
        return kNoIdealWidth;
    return sampleWidth * lineLength / kWidthSampleLength;
}

double optimalZoomStep(double width, double rulerWidth, double padding, double idealWidth) {
    const double all = idealWidth + 2 * padding;
    const double s = (width + rulerWidth + padding) / (idealWidth + rulerWidth + 3 * padding);
    const double between = ((width - 2 * padding) / s + 2 * padding + all) * 0.5;
    return 1 + (s - 1) * between / all;
}

double optimalZoomFactor(double width, double rulerWidth, double padding, double idealWidth) {
    double total = 1;
    for (int i = 0; i < 32; i++) {
        const double f = optimalZoomStep(width / total, rulerWidth, padding / total, idealWidth);
        if (!std::isfinite(f) || f <= 0 || !zoomStepApplies(f))
            break;
        total *= f;
    }
    return total;
}

double idealScrollY(double visibleHeight, double target, double verticalPadding, double rangeTop,
                    double rangeHeight) {
    const double top = verticalPadding + rangeTop;
    if (rangeHeight > visibleHeight)
        return top;
    return top - target * visibleHeight + target * rangeHeight;
}

double safeScrollY(double y, double boundsHeight, double visibleHeight) {
    return std::min(std::max(y, 0.0), boundsHeight - visibleHeight);
}

}  // namespace zoomgeometry
