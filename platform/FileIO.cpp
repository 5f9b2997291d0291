#include "platform/FileIO.h"

#include "platform/Encoding.h"
#include "platform/Errors.h"
#include "platform/FileDescriptor.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Reason(int error)
{
    return std::strerror(error);
}

EFileError WriteError(const std::string& path, int error)
{
    return EFileError("Cannot write file \"" + path + "\". " + Reason(error));
}

// Creates a new, empty file beside target, named target + "." + a random suffix, with mode 0666
// so that the kernel applies the umask as for any new file. The name is stored in temp.
int CreateTemporary(const std::string& target, std::string& temp)
{
    static const char* hex = "0123456789abcdef";
    thread_local std::mt19937_64 random { std::random_device {}() };
    for (int attempt = 0; attempt < 100; ++attempt) {
        uint64_t bits = random();
        temp = target + ".";
        for (int i = 0; i < 12; ++i, bits >>= 4)
            temp += hex[bits & 15];
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// Where a write to path lands: a symbolic link is followed to its target (which may not exist
// yet), so that replacing the file keeps the link.
std::string WriteTarget(const std::string& native)
{
    std::string path = native;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st
        { };
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        std::string target(4096, '\0');
        const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
        if (n <= 0 || static_cast<size_t>(n) >= target.size())
            return path;
        target.resize(static_cast<size_t>(n));
        if (target[0] != '/') {
            const size_t slash = path.rfind('/');
            target
                = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + target;
        }
        path = target;
    }
    return path; // a loop: the rename below fails with the system's own reason
}

} // namespace

bool WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

std::optional<std::string> ReadPrefix(int fd, size_t maxBytes)
{
    std::string bytes(maxBytes, '\0');
    size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n
            = ::pread(fd, bytes.data() + got, bytes.size() - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break;
        got += static_cast<size_t>(n);
    }
    bytes.resize(got);
    return bytes;
}

std::string ReadFileBytes(const std::string& path)
{
    const std::string native = NativePath(path);
    TFileDescriptor fd(::open(native.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st
    { };
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0)
        throw EFileError("Cannot open file \"" + path + "\". " + Reason(errno));
    if (S_ISDIR(st.st_mode))
        throw EFileError("Cannot open file \"" + path + "\". " + Reason(EISDIR));
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n == 0)
            return bytes;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw EFileError("Cannot read file \"" + path + "\". " + Reason(errno));
        }
        bytes.append(buffer, static_cast<size_t>(n));
    }
}

bool FileExists(const std::string& path)
{
    struct stat st
    { };
    return ::stat(NativePath(path).c_str(), &st) == 0;
}

void WriteFileAtomic(const std::string& path, std::string_view bytes)
{
    const std::string native = WriteTarget(NativePath(path));
    std::string temp;
    TFileDescriptor fd(CreateTemporary(native, temp));
    if (fd.get() < 0)
        throw WriteError(path, errno);
    // Keep the old file's permissions: a user who made the file private keeps it private. A new
    // file keeps the mode the umask gave the temporary one.
    struct stat old
    { };
    if (::stat(native.c_str(), &old) == 0)
        ::fchmod(fd.get(), old.st_mode & 07777);
    const bool written = WriteAll(fd.get(), bytes) && ::fsync(fd.get()) == 0;
    const int error = errno;
    if (!fd.Close() || !written) {
        const int reported = written ? errno : error;
        ::unlink(temp.c_str());
        throw WriteError(path, reported);
    }
    if (::rename(temp.c_str(), native.c_str()) != 0) {
        const int reported = errno;
        ::unlink(temp.c_str());
        throw WriteError(path, reported);
    }
}

void CreateFolders(const std::string& folder, unsigned mode)
{
    const std::string native = NativePath(folder);
    for (size_t i = 1; i <= native.size(); ++i) {
        if (i < native.size() && native[i] != '/')
            continue;
        const std::string part = native.substr(0, i);
        if (::mkdir(part.c_str(), static_cast<mode_t>(mode)) != 0 && errno != EEXIST)
            throw EFileError("Cannot create folder \"" + folder + "\". " + std::strerror(errno));
    }
    struct stat st
    { };
    if (::stat(native.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        throw EFileError("Cannot create folder \"" + folder + "\". " + std::strerror(ENOTDIR));
}
