#include "app/WindowPlacement.h"

#include <algorithm>

TWindowRect FirstWindowRect(const TWindowRect& area)
{
    TWindowRect rect;
    rect.width = area.width * 6 / 10;
    rect.height = area.height * 8 / 10;
    rect.left = area.left + (area.width - rect.width) / 2;
    rect.top = area.top + (area.height - rect.height) / 2;
    return rect;
}

TWindowRect FitWindowRect(const TWindowRect& saved, const TWindowRect& area)
{
    TWindowRect rect = saved;
    rect.width = std::clamp(saved.width, 1, std::max(1, area.width));
    rect.height = std::clamp(saved.height, 1, std::max(1, area.height));
    // An empty area (no screen known) keeps the window at its corner.
    rect.left = std::max(area.left, std::min(saved.left, area.left + area.width - rect.width));
    rect.top = std::max(area.top, std::min(saved.top, area.top + area.height - rect.height));
    return rect;
}
