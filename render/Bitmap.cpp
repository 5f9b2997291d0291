#include "render/Bitmap.h"

#include "platform/Errors.h"

#define SPP_HOST
#include "plugins/spp.h"

namespace {

void PutLE(std::string& out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

} // namespace

TBitmap::TBitmap(int32_t width, int32_t height)
{
    if (width < 0 || height < 0 || int64_t(width) * height > kMaxPixels)
        throw EVelmoError(
            "Invalid bitmap size " + std::to_string(width) + "x" + std::to_string(height));
    width_ = width;
    height_ = height;
    pixels_.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 4, 0);
}

uint32_t TBitmap::Pixel(int32_t x, int32_t y) const
{
    const uint8_t* p
        = &pixels_[(static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x))
            * 4];
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
}

void TBitmap::SetPixel(int32_t x, int32_t y, uint32_t bgr)
{
    uint8_t* p
        = &pixels_[(static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x))
            * 4];
    p[0] = bgr & 0xFF;
    p[1] = (bgr >> 8) & 0xFF;
    p[2] = (bgr >> 16) & 0xFF;
    p[3] = 0;
}

SppBitmap TBitmap::SppView()
{
    return SppBitmap { width_, height_, BytesPerRow(), pixels_.data() };
}

std::string TBitmap::ToBmpBytes() const
{
    const uint32_t rowBytes = (static_cast<uint32_t>(width_) * 3 + 3) & ~3u;
    const uint32_t imageBytes = rowBytes * static_cast<uint32_t>(height_);
    std::string out;
    out.reserve(54 + imageBytes);
    out += "BM";
    PutLE(out, 54 + imageBytes, 4); // file size
    PutLE(out, 0, 4); // reserved
    PutLE(out, 54, 4); // offset of the pixels
    PutLE(out, 40, 4); // info header size
    PutLE(out, static_cast<uint32_t>(width_), 4);
    PutLE(out, static_cast<uint32_t>(height_), 4); // positive: rows from the bottom
    PutLE(out, 1, 2); // planes
    PutLE(out, 24, 2); // bits per pixel
    PutLE(out, 0, 4); // no compression
    PutLE(out, imageBytes, 4);
    PutLE(out, 2835, 4); // 72 dpi
    PutLE(out, 2835, 4);
    PutLE(out, 0, 4);
    PutLE(out, 0, 4);
    for (int32_t y = height_ - 1; y >= 0; --y) {
        const uint8_t* row = &pixels_[static_cast<size_t>(y) * static_cast<size_t>(width_) * 4];
        for (int32_t x = 0; x < width_; ++x)
            out.append(reinterpret_cast<const char*>(row + static_cast<size_t>(x) * 4), 3);
        out.append(rowBytes - static_cast<uint32_t>(width_) * 3, '\0');
    }
    return out;
}
