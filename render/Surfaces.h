#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

class TSppList;

// Where a ghost's surface picture is: a .bmp file per ghost name and surface number in the cache
// folder, drawn by the plug-ins the first time it is asked for and reused in every later run.
// Owned by the main window; GUI thread only.
class TSurfaces
{
public:
    // placeholder is the picture shown for a surface no plug-in draws; plugins must outlive this
    // object.
    TSurfaces(std::string placeholder, TSppList& plugins);

    std::string CacheDir; // cache folder; a missing trailing "/" is added where it is used
    std::string SppDir; // plug-in folder

    // The nine characters a Windows file name cannot hold, each replaced by a word ("\" by
    // "_yen_", "/" by "_slash_", ...); the second byte of a double-byte character is never one.
    static std::string EscapeFileName(const std::string& name);

    // The picture's path, whether or not a file is there: the placeholder picture ("general-1.bmp")
    // for a negative surface; otherwise the cache file, drawn and saved first if it does not exist
    // yet and a plug-in can draw it. The cache folder is created when needed; one that cannot be
    // created or written throws EFileError naming it.
    // A ghost name with a NUL byte or bytes that are not Shift_JIS can name no file: its path is
    // returned without looking for the file or asking a plug-in.
    std::string GetSurfacePath(const std::string& ghostName, int32_t surface);
    // The cache file for a surface written as text; nothing is looked up or drawn.
    std::string CachePath(const std::string& ghostName, std::string_view surfaceText) const;

    // Loads the plug-ins of SppDir afresh and empties their in-memory cache. The cache folder is
    // listed again at the next lookup, so one page build lists it once.
    void ReloadPlugins();

private:
    std::string CacheFolder() const;
    // The cache file's name in the folder: the escaped ghost name, the surface, ".bmp".
    static std::string CacheName(const std::string& ghostName, std::string_view surfaceText);
    // Whether the cache folder holds the file (a name in it), from one listing of the folder
    // made at the first question after ReloadPlugins or a change of CacheDir.
    bool Cached(const std::string& folder, const std::string& name);

    const std::string placeholder_;
    TSppList& plugins_;
    std::optional<std::string> listedFolder_; // the folder listing_ holds, if any
    std::unordered_set<std::string> listing_; // file names in program text
};
