#include "host/frame_scale.h"

#include "render/gdi.h"

#include <algorithm>
#include <cmath>

namespace nuvalo {

namespace {

double exactFit(double width, double height) {
    if (!(width > 0.0) || !(height > 0.0)) { // NaN too
        return 0.0;
    }
    return std::min(width / kFrameWidth, height / kFrameHeight);
}

} // namespace

int largestWholeScale(double width, double height) {
    const double fit = exactFit(width, height);
    return fit >= 1.0 ? static_cast<int>(std::min(std::floor(fit), 1024.0)) : 0;
}

int desktopFactor(double scale) {
    constexpr double kLargest = 16.0;
    return scale >= 1.0 ? static_cast<int>(std::min(std::floor(scale), kLargest)) : 0;
}

double fillingScale(double width, double height) {
    constexpr double kWholeShare = 0.85;
    const double fit = exactFit(width, height);
    const int whole = largestWholeScale(width, height);
    return whole >= 1 && whole >= kWholeShare * fit ? whole : fit;
}

} // namespace nuvalo
