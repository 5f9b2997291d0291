#pragma once

#include <cstdint>

// The page zoom, in percent, on the ladder the browser engine's own Ctrl+wheel walks (25% to
// 500%), so that the keys and the wheel agree on where the next step is.
constexpr int32_t kDefaultZoom = 100;

// A remembered or reported zoom held within the ladder's ends; a value at or below zero (an
// unreadable setting) is the default.
int32_t ValidZoom(int32_t percent);

// The first step above (direction > 0) or below (direction < 0) the current zoom, which need not
// be on a step itself; at an end the zoom stays. Direction 0 gives the default.
int32_t NextZoom(int32_t percent, int direction);
