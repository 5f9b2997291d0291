#pragma once

#include "Image.h"

#include <string_view>

// Draws an image onto a canvas at x, y (clipped to the canvas) by a method of surfaces.txt:
// "overlay", "add" and "bind" draw on top; "base" replaces the whole canvas; "overlayfast" draws
// only where the canvas is not transparent; "replace" copies the pixels, alpha included;
// "interpolate" draws only where the canvas is transparent (beneath it); "asis" draws on top;
// "reduce" multiplies the canvas's alpha by the image's. Unknown methods draw as "overlay".
void DrawLayer(Image& canvas, const Image& image, int x, int y, std::string_view name);

// The canvas pixels DrawLayer composes for the same image and place, known before it runs.
int64_t LayerArea(const Image& canvas, const Image& image, int x, int y);

// Source over destination for one pixel (B, G, R, A, alpha not premultiplied).
void BlendOver(uint8_t* destination, const uint8_t* source);
