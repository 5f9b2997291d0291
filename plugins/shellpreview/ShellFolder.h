#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A shell's folder, looked up as the hosts that made shells do: names without regard to (ASCII)
// case, "/" or "\" between folder names, never outside the folder ("..", absolute names).
//
// A ghost is a stranger's download: nothing is listed or read unless its real path, symbolic
// links followed, lies inside the ghost's own folder (the bound), so a link to a picture elsewhere
// or a "parts -> /" folder reads nothing; links that stay inside work. Each folder is listed once,
// at most kMaxEntries names of it, and at most kMaxEntries names and folders in all; a name goes
// at most kMaxDepth folders deep. So a folder that links to itself cannot be listed without end.
class ShellFolder
{
public:
    static constexpr size_t kMaxEntries = 20000;
    static constexpr size_t kMaxDepth = 16;

    // root: a native folder path ending in "/"; bound: the native folder everything must lie in
    // (the ghost's folder), which holds root.
    ShellFolder(std::string root, const std::string& bound);

    const std::string& Root() const { return root_; }
    // The native path of the file a relative name means, or empty when there is none inside the
    // bound.
    std::string Find(std::string_view relative) const;
    // The regular files directly in the folder and inside the bound, in name order.
    std::vector<std::string> Files() const;
    // Whether a path, links followed, names the bound or something in it.
    bool Inside(const std::string& path) const;

    // A file's bytes as ReadRegular gives them, only when the file lies inside the bound.
    std::optional<std::string> Read(const std::string& path, size_t limit) const;

    // The names in a folder (not "." and ".."), in name order, at most kMaxEntries of them.
    static std::vector<std::string> Entries(const std::string& folder);

    // A regular file's bytes, at most `limit` of them; nothing when it is not a regular file,
    // cannot be read or is larger. Never blocks (a FIFO is refused).
    static std::optional<std::string> ReadRegular(const std::string& path, size_t limit);

private:
    // The folder's entries: lower-cased name -> real name (the first in name order wins).
    const std::map<std::string, std::string>& Listing(const std::string& folder) const;
    // The path with every link followed when it lies inside the bound, else empty.
    std::string Resolved(const std::string& path) const;

    std::string root_;
    std::string bound_; // real path, without a trailing "/"; empty when it does not resolve
    mutable std::map<std::string, std::map<std::string, std::string>> listings_;
    mutable size_t listed_ = 0; // names and folders listed so far
};
