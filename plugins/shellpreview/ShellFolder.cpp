#include "ShellFolder.h"

#include "Charset.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The path with every link followed, or empty when it does not resolve.
std::string RealPath(const std::string& path)
{
    const std::unique_ptr<char, decltype(&std::free)> real(
        ::realpath(path.c_str(), nullptr), &std::free);
    return real ? std::string(real.get()) : std::string();
}

// A regular file's bytes (see ShellFolder::ReadRegular); `flags` are added to the open flags.
std::optional<std::string> ReadOpened(const std::string& path, size_t limit, int flags)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | flags);
    if (fd < 0)
        return std::nullopt;
    struct stat st
    { };
    std::optional<std::string> bytes;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<size_t>(st.st_size) <= limit) {
        std::string data(static_cast<size_t>(st.st_size), '\0');
        size_t done = 0;
        while (done < data.size()) {
            const ssize_t n
                = ::pread(fd, data.data() + done, data.size() - done, static_cast<off_t>(done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            done += static_cast<size_t>(n);
        }
        // A file that shrank while read is what it is now.
        data.resize(done);
        bytes = std::move(data);
    }
    ::close(fd);
    return bytes;
}

} // namespace

ShellFolder::ShellFolder(std::string root, const std::string& bound)
    : root_(std::move(root))
    , bound_(RealPath(bound))
{ }

std::string ShellFolder::Resolved(const std::string& path) const
{
    std::string real = RealPath(path);
    if (bound_.empty() || real.empty())
        return {};
    if (real == bound_ || bound_ == "/")
        return real;
    return real.size() > bound_.size() && real.starts_with(bound_) && real[bound_.size()] == '/'
        ? real
        : std::string();
}

bool ShellFolder::Inside(const std::string& path) const
{
    return !Resolved(path).empty();
}

const std::map<std::string, std::string>& ShellFolder::Listing(const std::string& folder) const
{
    const auto known = listings_.find(folder);
    if (known != listings_.end())
        return known->second;
    std::map<std::string, std::string> listing;
    if (listed_ < kMaxEntries && Inside(folder)) {
        std::vector<std::string> names = Entries(folder);
        names.resize(std::min(names.size(), kMaxEntries - listed_));
        listed_ += names.size() + 1;
        for (const std::string& name : names)
            listing.emplace(LowerAscii(name), name);
    }
    return listings_.emplace(folder, std::move(listing)).first->second;
}

std::vector<std::string> ShellFolder::Entries(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
            if (names.size() >= kMaxEntries)
                break;
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string ShellFolder::Find(std::string_view relative) const
{
    std::string path = root_;
    bool any = false;
    size_t depth = 0;
    while (!relative.empty()) {
        const size_t cut = relative.find_first_of("/\\");
        const std::string_view part = relative.substr(0, cut);
        relative = cut == std::string_view::npos ? std::string_view() : relative.substr(cut + 1);
        if (part.empty() || part == ".")
            continue;
        if (part == ".." || ++depth > kMaxDepth)
            return {};
        const auto& listing = Listing(path);
        const auto it = listing.find(LowerAscii(part));
        if (it == listing.end())
            return {};
        path += it->second;
        if (!relative.empty())
            path += '/';
        any = true;
    }
    return any && Inside(path) ? path : std::string();
}

std::vector<std::string> ShellFolder::Files() const
{
    std::vector<std::string> files;
    for (const auto& [lower, name] : Listing(root_)) {
        // The folder is inside the bound, so only a link can lead out of it.
        const std::string path = root_ + name;
        struct stat st
        { };
        if (::lstat(path.c_str(), &st) != 0
            || (S_ISLNK(st.st_mode) && !(Inside(path) && ::stat(path.c_str(), &st) == 0)))
            continue;
        if (S_ISREG(st.st_mode))
            files.push_back(name);
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::optional<std::string> ShellFolder::Read(const std::string& path, size_t limit) const
{
    // The resolved path has no link left; one put in its place since is not followed.
    const std::string real = Resolved(path);
    return real.empty() ? std::nullopt : ReadOpened(real, limit, O_NOFOLLOW);
}

std::optional<std::string> ShellFolder::ReadRegular(const std::string& path, size_t limit)
{
    return ReadOpened(path, limit, 0);
}
