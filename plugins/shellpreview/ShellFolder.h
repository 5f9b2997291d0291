#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A shell's folder, looked up as the hosts that made shells do: names without regard to (ASCII)
// case, "/" or "\" between folder names, never outside the folder ("..", absolute names). Each
// folder is listed once, at most kMaxEntries names of it.
class ShellFolder
{
public:
    static constexpr size_t kMaxEntries = 20000;

    // root: a native folder path ending in "/".
    explicit ShellFolder(std::string root);

    const std::string& Root() const { return root_; }
    // The native path of the file a relative name means, or empty when there is none.
    std::string Find(std::string_view relative) const;
    // The regular files directly in the folder, in name order.
    std::vector<std::string> Files() const;

    // The names in a folder (not "." and ".."), in name order, at most kMaxEntries of them.
    static std::vector<std::string> Entries(const std::string& folder);

    // A regular file's bytes, at most `limit` of them; nothing when it is not a regular file,
    // cannot be read or is larger. Never blocks (a FIFO is refused).
    static std::optional<std::string> Read(const std::string& path, size_t limit);

private:
    // The folder's entries: lower-cased name -> real name (the first in name order wins).
    const std::map<std::string, std::string>& Listing(const std::string& folder) const;

    std::string root_;
    mutable std::map<std::string, std::map<std::string, std::string>> listings_;
};
