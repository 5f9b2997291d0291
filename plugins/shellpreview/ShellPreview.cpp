// Velmo's surface plug-in: draws the surfaces of the ghosts installed on this machine from their
// shells, composed as ghost hosts compose a still surface. It implements plugins/spp.h, version 1.
//
// Settings: velmo-shell-preview.txt beside this file, one ghost root folder a line, scanned after
// the usual place of the Linux ghost host ($NINIX_HOME/.ninix/ghost, ~/.ninix/ghost).
//
// Ghosts are strangers' downloads: only files inside a ghost's own folder are read, and a shell is
// bounded as a whole (see Shell), so one GetImageSize or GetImage returns within a fraction of a
// second, and a shell read or a surface drawn takes a few tens of MiB at most.

#include "Charset.h"
#include "ShellIndex.h"
#include "plugins/spp.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace {

std::unique_ptr<ShellIndex> shells;

// The host asks for a surface's size, then for its pixels: the picture composed for the size is
// kept for the pixels, so each surface is composed once.
struct Drawn
{
    std::string ghost;
    int32_t surface = 0;
    std::optional<Image> image;
};
std::optional<Drawn> lastDrawn;

// The host's strings are Shift_JIS; the file system's names are UTF-8.
std::string SjisToUtf8(const char* sjis)
{
    std::string utf8;
    return Convert("UTF-8", "CP932", sjis, utf8) ? utf8 : std::string(sjis);
}

const std::optional<Image>& Picture(const char* ghostName, int32_t surface)
{
    if (!lastDrawn || lastDrawn->ghost != ghostName || lastDrawn->surface != surface) {
        lastDrawn.reset(); // the old picture goes before the new one is drawn
        const Shell* shell = shells ? shells->ShellOf(ghostName) : nullptr;
        lastDrawn = Drawn { ghostName, surface, shell ? shell->Draw(surface) : std::nullopt };
    }
    return lastDrawn->image;
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
        lastDrawn.reset();
        shells = std::make_unique<ShellIndex>();
        shells->Scan(ShellIndex::Roots(SjisToUtf8(folder) + "velmo-shell-preview.txt"));
    } catch (...) {
        // A list of shells that could not be built draws nothing; the host goes on.
    }
    return 0;
}

__attribute__((visibility("default"))) int32_t Unload(void)
{
    lastDrawn.reset();
    shells.reset();
    return 0;
}

__attribute__((visibility("default"))) int32_t GetImageSize(
    const char* ghostName, int32_t surface, int32_t* width, int32_t* height)
{
    try {
        const auto& image = Picture(ghostName, surface);
        if (!image)
            return 1;
        *width = image->width;
        *height = image->height;
        return 0;
    } catch (...) {
        return 1;
    }
}

__attribute__((visibility("default"))) int32_t GetImage(
    const char* ghostName, int32_t surface, SppBitmap* bitmap)
{
    try {
        const auto& image = Picture(ghostName, surface);
        if (!image || image->width != bitmap->width || image->height != bitmap->height)
            return 1;
        // Drawn over white, as the page shows it.
        for (int32_t y = 0; y < image->height; ++y) {
            uint8_t* out = bitmap->pixels
                + static_cast<size_t>(y) * static_cast<size_t>(bitmap->bytesPerRow);
            const uint8_t* in = image->At(0, y);
            for (int32_t x = 0; x < image->width; ++x, in += 4, out += 4) {
                const unsigned alpha = in[3];
                for (int c = 0; c < 3; ++c)
                    out[c]
                        = static_cast<uint8_t>((in[c] * alpha + 255 * (255 - alpha) + 127) / 255);
                out[3] = 0;
            }
        }
        lastDrawn.reset(); // handed over: the host keeps the bitmap
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
