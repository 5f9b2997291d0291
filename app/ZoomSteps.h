#pragma once

#include <cstdint>

// The page zoom in percent. The keys walk a ladder of the usual browser steps; the engine's own
// Ctrl+wheel moves by 10% and may leave the zoom between two steps. Both stay within the engine's
// range, 25% to 500%.
constexpr int32_t kDefaultZoom = 100;

// A remembered or reported zoom held within the ladder's ends; a value at or below zero (an
// unreadable setting) is the default.
int32_t ValidZoom(int32_t percent);

// The first step above (direction > 0) or below (direction < 0) the current zoom, which need not
// be on a step itself; at an end the zoom stays. Direction 0 gives the default.
int32_t NextZoom(int32_t percent, int direction);
