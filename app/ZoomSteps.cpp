#include "app/ZoomSteps.h"

#include <algorithm>
#include <iterator>

namespace {

constexpr int32_t kSteps[]
    = { 25, 33, 50, 67, 75, 80, 90, 100, 110, 125, 150, 175, 200, 250, 300, 400, 500 };

} // namespace

int32_t ValidZoom(int32_t percent)
{
    if (percent <= 0)
        return kDefaultZoom;
    return std::clamp(percent, kSteps[0], kSteps[std::size(kSteps) - 1]);
}

int32_t NextZoom(int32_t percent, int direction)
{
    const int32_t current = ValidZoom(percent);
    if (direction > 0) {
        const auto* above = std::upper_bound(std::begin(kSteps), std::end(kSteps), current);
        return above == std::end(kSteps) ? current : *above;
    }
    if (direction < 0) {
        const auto* atOrAbove = std::lower_bound(std::begin(kSteps), std::end(kSteps), current);
        return atOrAbove == std::begin(kSteps) ? current : *(atOrAbove - 1);
    }
    return kDefaultZoom;
}
