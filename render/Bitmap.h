#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SppBitmap;

// A picture in memory: width x height pixels, 32 bits each in B, G, R, X order, rows from top
// to bottom. A bitmap of 0 x 0 is empty. Plug-ins draw into it through SppView().
class TBitmap
{
public:
    TBitmap() = default;
    // Zero-filled. Throws EVelmoError for a negative size or one too large to hold.
    TBitmap(int32_t width, int32_t height);

    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    bool Empty() const { return width_ == 0 || height_ == 0; }
    int32_t BytesPerRow() const { return width_ * 4; }

    // B, G, R of pixel (x, y).
    uint32_t Pixel(int32_t x, int32_t y) const;
    void SetPixel(int32_t x, int32_t y, uint32_t bgr);

    // The bitmap as lent to a plug-in; valid while this bitmap lives and is not resized.
    SppBitmap SppView();

    // An uncompressed 24-bit Windows bitmap file: file header, info header, rows from bottom to
    // top padded to 4 bytes.
    std::string ToBmpBytes() const;

    // The largest picture the program accepts, in pixels (about 256 MiB of memory).
    static constexpr int64_t kMaxPixels = 64LL * 1024 * 1024;

private:
    int32_t width_ = 0;
    int32_t height_ = 0;
    std::vector<uint8_t> pixels_;
};
