#include "gui/qt/contents/ZoomSteps.h"

namespace packsmith::qt {

namespace {

// A scale this close to a step is on it: from a fitted scale of 0.4999 a step in goes on
// to 67 % rather than to 50 %, which would look like no change at all.
constexpr double kSameScale = 1e-3;

} // namespace

double ZoomStepIn(double scale)
{
    for (const double step : kZoomSteps)
        if (step > scale * (1 + kSameScale))
            return step;
    return scale;
}

double ZoomStepOut(double scale)
{
    for (auto step = std::rbegin(kZoomSteps); step != std::rend(kZoomSteps); ++step)
        if (*step < scale * (1 - kSameScale))
            return *step;
    return scale;
}

} // namespace packsmith::qt
