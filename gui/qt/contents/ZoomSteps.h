#pragma once

#include <iterator>

namespace packsmith::qt {

// The scales a picture is shown at when zoomed step by step (1.0 is 100 %).
inline constexpr double kZoomSteps[] = {0.25, 1.0 / 3, 0.5, 2.0 / 3, 1.0, 1.5, 2.0, 3.0, 4.0, 6.0, 8.0};
inline constexpr double kSmallestZoom = kZoomSteps[0];
inline constexpr double kLargestZoom = kZoomSteps[std::size(kZoomSteps) - 1];

// The next step above (or below) scale; scale itself when there is none. A scale between
// steps, as a fitted one usually is, goes to the nearest step on that side.
double ZoomStepIn(double scale);
double ZoomStepOut(double scale);

} // namespace packsmith::qt
