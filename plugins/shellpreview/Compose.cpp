#include "Compose.h"

#include <algorithm>
#include <cstring>

void BlendOver(uint8_t* d, const uint8_t* s)
{
    const uint32_t sa = s[3];
    const uint32_t da = d[3];
    if (sa == 255 || da == 0) {
        std::memcpy(d, s, 4);
        return;
    }
    if (sa == 0)
        return;
    // Weights over 255 * 255: the source's sa * 255, the destination's da * (255 - sa).
    const uint32_t ws = sa * 255;
    const uint32_t wd = da * (255 - sa);
    const uint32_t total = ws + wd;
    for (int c = 0; c < 3; ++c)
        d[c] = static_cast<uint8_t>((s[c] * ws + d[c] * wd + total / 2) / total);
    d[3] = static_cast<uint8_t>((total + 127) / 255);
}

namespace {

enum class Method { Over, Replace, OverOpaque, Under, Reduce };

Method MethodOf(std::string_view name)
{
    if (name == "base" || name == "replace")
        return Method::Replace;
    if (name == "overlayfast")
        return Method::OverOpaque;
    if (name == "interpolate")
        return Method::Under;
    if (name == "reduce")
        return Method::Reduce;
    return Method::Over;
}

// The image's rectangle on the canvas, clipped to it: canvas columns left..right-1, rows
// top..bottom-1 (empty when right <= left or bottom <= top).
struct Clip
{
    int left;
    int top;
    int right;
    int bottom;

    Clip(const Image& canvas, const Image& image, int x, int y)
        : left(std::max(0, x))
        , top(std::max(0, y))
        , right(static_cast<int>(std::min<int64_t>(canvas.width, int64_t(x) + image.width)))
        , bottom(static_cast<int>(std::min<int64_t>(canvas.height, int64_t(y) + image.height)))
    { }

    int64_t Pixels() const
    {
        return right > left && bottom > top ? int64_t(right - left) * (bottom - top) : 0;
    }
};

} // namespace

int64_t LayerArea(const Image& canvas, const Image& image, int x, int y)
{
    return Clip(canvas, image, x, y).Pixels();
}

void DrawLayer(Image& canvas, const Image& image, int x, int y, std::string_view name)
{
    const Method method = MethodOf(name);
    if (name == "base")
        std::fill(canvas.bgra.begin(), canvas.bgra.end(), 0);
    const Clip clip(canvas, image, x, y);
    for (int cy = clip.top; cy < clip.bottom; ++cy)
        for (int cx = clip.left; cx < clip.right; ++cx) {
            uint8_t* d = canvas.At(cx, cy);
            const uint8_t* s = image.At(cx - x, cy - y);
            switch (method) {
            case Method::Replace:
                std::memcpy(d, s, 4);
                break;
            case Method::OverOpaque:
                if (d[3] != 0) {
                    // The colour as if drawn on the opaque canvas; the canvas keeps its alpha.
                    uint8_t opaque[4] = { d[0], d[1], d[2], 255 };
                    BlendOver(opaque, s);
                    std::memcpy(d, opaque, 3);
                }
                break;
            case Method::Under: {
                uint8_t under[4];
                std::memcpy(under, s, 4);
                BlendOver(under, d);
                std::memcpy(d, under, 4);
                break;
            }
            case Method::Reduce:
                d[3] = static_cast<uint8_t>((d[3] * s[3] + 127) / 255);
                break;
            case Method::Over:
                BlendOver(d, s);
                break;
            }
        }
}
