#include "render/Surfaces.h"

#include "platform/Encoding.h"
#include "platform/Errors.h"
#include "platform/FileIO.h"
#include "platform/StrUtils.h"
#include "render/Bitmap.h"
#include "render/SppList.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>

namespace {

const char* Replacement(char c)
{
    switch (c) {
    case '\\':
        return "_yen_";
    case '/':
        return "_slash_";
    case ':':
        return "_colon_";
    case '*':
        return "_asterisk_";
    case '?':
        return "_question_";
    case '"':
        return "_double-c_";
    case '<':
        return "_litler_";
    case '>':
        return "_larger_";
    case '|':
        return "_bar_";
    default:
        return nullptr;
    }
}

} // namespace

TSurfaces::TSurfaces(std::string placeholder, TSppList& plugins)
    : placeholder_(std::move(placeholder))
    , plugins_(plugins)
{ }

std::string TSurfaces::EscapeFileName(const std::string& name)
{
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (IsLeadByte(static_cast<unsigned char>(c)) && i + 1 < name.size()) {
            out.append(name, i, 2);
            ++i;
        } else if (const char* word = Replacement(c)) {
            out += word;
        } else {
            out += c;
        }
    }
    return out;
}

std::string TSurfaces::CacheFolder() const
{
    if (CacheDir.empty() || CacheDir.back() == '/')
        return CacheDir;
    return CacheDir + "/";
}

std::string TSurfaces::GetSurfacePath(const std::string& ghostName, int32_t surface)
{
    if (surface < 0)
        return placeholder_;
    const std::string folder = CacheFolder();
    const std::string name = CacheName(ghostName, std::to_string(surface));
    const std::string path = folder + name;
    if (Cached(folder, name))
        return path;
    // A name that can name no file (not Shift_JIS, or holding a NUL, which NativePath refuses)
    // gives a missing picture, as for a surface no plug-in can draw.
    try {
        NativePath(path);
    } catch (const EEncodingError&) {
        return path;
    }
    TBitmap bitmap;
    if (plugins_.GetSurface(ghostName, surface, bitmap) && !bitmap.Empty()) {
        if (!folder.empty())
            CreateFolders(folder);
        WriteFileAtomic(path, bitmap.ToBmpBytes());
        listing_.insert(name);
    }
    return path;
}

std::string TSurfaces::CacheName(const std::string& ghostName, std::string_view surfaceText)
{
    return EscapeFileName(ghostName) + std::string(surfaceText) + ".bmp";
}

std::string TSurfaces::CachePath(const std::string& ghostName, std::string_view surfaceText) const
{
    return CacheFolder() + CacheName(ghostName, surfaceText);
}

void TSurfaces::ReloadPlugins()
{
    plugins_.LoadFromFolder(SppDir);
    listedFolder_.reset();
}

bool TSurfaces::Cached(const std::string& folder, const std::string& name)
{
    if (listedFolder_ != folder) {
        listing_.clear();
        listedFolder_ = folder;
        // A folder that cannot be listed (it does not exist yet, or its name does not convert)
        // holds nothing.
        std::string native;
        try {
            native = NativePath(folder.empty() ? "." : folder);
        } catch (const EEncodingError&) {
            return false;
        }
        if (DIR* dir = ::opendir(native.c_str())) {
            while (const dirent* entry = ::readdir(dir)) {
                try {
                    listing_.insert(FromNativePath(entry->d_name));
                } catch (const EEncodingError&) {
                    // a name no ghost's picture can have
                }
            }
            ::closedir(dir);
        }
    }
    return listing_.count(name) != 0;
}
