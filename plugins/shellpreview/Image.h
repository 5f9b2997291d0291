#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

// A picture in memory: B, G, R, A bytes per pixel (alpha not premultiplied), rows top to bottom.
struct Image
{
    // The largest picture decoded, a side; also the largest surface composed, as the canvas is
    // the base picture's size. One such picture takes 16 MiB.
    static constexpr int32_t kMaxSide = 2048;

    int32_t width = 0;
    int32_t height = 0;
    bool hadAlpha = false; // the file carried an alpha channel
    std::vector<uint8_t> bgra;

    uint8_t* At(int32_t x, int32_t y)
    {
        return bgra.data() + (static_cast<size_t>(y) * static_cast<size_t>(width) + x) * 4;
    }
    const uint8_t* At(int32_t x, int32_t y) const
    {
        return bgra.data() + (static_cast<size_t>(y) * static_cast<size_t>(width) + x) * 4;
    }

    // A PNG file's bytes decoded; nothing when they are not a picture, or one over kMaxSide a side
    // or over maxPixels in all (both known from the header, before anything is decoded).
    static std::optional<Image> DecodePng(std::string_view bytes, int64_t maxPixels);

    int64_t Pixels() const { return int64_t(width) * height; }
};
