// Velmo's surface plug-in: draws the surfaces of the ghosts installed on this machine from their
// shells' PNG files. It implements plugins/spp.h, version 1.
//
// Settings: velmo-shell-preview.txt beside this file, one ghost root folder a line, scanned after
// the usual place of the Linux ghost host ($NINIX_HOME/.ninix/ghost, ~/.ninix/ghost).

#include "ShellIndex.h"
#include "plugins/spp.h"

#include <cstring>
#include <iconv.h>
#include <memory>
#include <png.h>
#include <vector>

namespace {

constexpr int32_t kMaxSide = 4096;

ShellIndex* shells = nullptr;

// The host's strings are Shift_JIS; the file system's names are UTF-8.
std::string SjisToUtf8(const char* sjis)
{
    const std::string converted = ShellIndex::Convert("UTF-8", "CP932", sjis);
    return converted.empty() ? std::string(sjis) : converted;
}

// A decoded surface: BGRA pixels, rows top to bottom.
struct Picture
{
    int32_t width = 0;
    int32_t height = 0;
    bool hasAlpha = false;
    std::vector<uint8_t> bgra;
};

bool Decode(const std::string& file, Picture& picture, bool pixels)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, file.c_str()))
        return false;
    if (image.width == 0 || image.height == 0 || image.width > kMaxSide
        || image.height > kMaxSide) {
        png_image_free(&image);
        return false;
    }
    picture.width = static_cast<int32_t>(image.width);
    picture.height = static_cast<int32_t>(image.height);
    picture.hasAlpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    if (!pixels) {
        png_image_free(&image);
        return true;
    }
    image.format = PNG_FORMAT_BGRA;
    picture.bgra.assign(PNG_IMAGE_SIZE(image), 0);
    if (!png_image_finish_read(&image, nullptr, picture.bgra.data(), 0, nullptr)) {
        png_image_free(&image);
        return false;
    }
    return true;
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) int32_t GetVersion(
    char* description, int32_t length, int32_t* version, uint8_t* flag)
{
    if (description && length > 0)
        std::snprintf(description, static_cast<size_t>(length), "Velmo shell preview (PNG shells)");
    *version = SPP_INTERFACE_VERSION;
    *flag = 1;
    return 0;
}

__attribute__((visibility("default"))) int32_t Load(const char* folder)
{
    try {
        delete shells;
        shells = new ShellIndex;
        shells->Scan(ShellIndex::Roots(SjisToUtf8(folder) + "velmo-shell-preview.txt"));
    } catch (...) {
        // An shells that could not be built draws nothing; the host goes on.
    }
    return 0;
}

__attribute__((visibility("default"))) int32_t Unload(void)
{
    delete shells;
    shells = nullptr;
    return 0;
}

__attribute__((visibility("default"))) int32_t GetImageSize(
    const char* ghostName, int32_t surface, int32_t* width, int32_t* height)
{
    try {
        const std::string file = shells ? shells->SurfaceFile(ghostName, surface) : std::string();
        Picture picture;
        if (file.empty() || !Decode(file, picture, false))
            return 1;
        *width = picture.width;
        *height = picture.height;
        return 0;
    } catch (...) {
        return 1;
    }
}

__attribute__((visibility("default"))) int32_t GetImage(
    const char* ghostName, int32_t surface, SppBitmap* bitmap)
{
    try {
        const std::string file = shells ? shells->SurfaceFile(ghostName, surface) : std::string();
        Picture picture;
        if (file.empty() || !Decode(file, picture, true) || picture.width != bitmap->width
            || picture.height != bitmap->height)
            return 1;
        // Shells without alpha use the old convention: the top-left pixel's colour is transparent.
        const uint8_t* key = picture.bgra.data();
        for (int32_t y = 0; y < picture.height; ++y) {
            uint8_t* out = bitmap->pixels
                + static_cast<size_t>(y) * static_cast<size_t>(bitmap->bytesPerRow);
            const uint8_t* in = picture.bgra.data()
                + static_cast<size_t>(y) * static_cast<size_t>(picture.width) * 4;
            for (int32_t x = 0; x < picture.width; ++x, in += 4, out += 4) {
                unsigned alpha = in[3];
                if (!picture.hasAlpha)
                    alpha = (in[0] == key[0] && in[1] == key[1] && in[2] == key[2]) ? 0 : 255;
                for (int c = 0; c < 3; ++c)
                    out[c]
                        = static_cast<uint8_t>((in[c] * alpha + 255 * (255 - alpha) + 127) / 255);
                out[3] = 0;
            }
        }
        return 0;
    } catch (...) {
        return 1;
    }
}

__attribute__((visibility("default"))) int32_t Configure(void)
{
    return 0;
}

} // extern "C"
