#include "Image.h"

#include <cstring>
#include <png.h>

std::optional<Image> Image::DecodePng(std::string_view bytes, int64_t maxPixels)
{
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, bytes.data(), bytes.size()))
        return std::nullopt;
    if (png.width == 0 || png.height == 0 || png.width > static_cast<png_uint_32>(kMaxSide)
        || png.height > static_cast<png_uint_32>(kMaxSide)
        || int64_t(png.width) * png.height > maxPixels) {
        png_image_free(&png);
        return std::nullopt;
    }
    Image image;
    image.width = static_cast<int32_t>(png.width);
    image.height = static_cast<int32_t>(png.height);
    image.hadAlpha = (png.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    png.format = PNG_FORMAT_BGRA;
    image.bgra.assign(PNG_IMAGE_SIZE(png), 0);
    if (!png_image_finish_read(&png, nullptr, image.bgra.data(), 0, nullptr)) {
        png_image_free(&png);
        return std::nullopt;
    }
    return image;
}
