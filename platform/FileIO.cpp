#include "platform/FileIO.h"

#include "platform/Encoding.h"
#include "platform/Errors.h"
#include "platform/FileDescriptor.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <random>
#include <streambuf>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::string Reason(int error)
{
    return std::strerror(error);
}

EFileError WriteError(const std::string& path, int error)
{
    return EFileError("Cannot write file \"" + path + "\". " + Reason(error));
}

EFileError OpenError(const std::string& path, int error)
{
    return EFileError("Cannot open file \"" + path + "\". " + Reason(error));
}

EFileError TooLarge(const std::string& path, size_t maxBytes)
{
    return EFileError("\"" + path + "\"" + Sjis(" は大きすぎるので読み込みません (上限 ")
        + std::to_string(maxBytes) + Sjis(" バイト)"));
}

EFileError NotRegular(const std::string& path, mode_t mode)
{
    const char* kind = S_ISFIFO(mode)    ? "名前付きパイプ"
        : S_ISCHR(mode) || S_ISBLK(mode) ? "デバイス"
        : S_ISSOCK(mode)                 ? "ソケット"
                                         : "特殊ファイル";
    return EFileError("\"" + path + "\"" + Sjis(" は通常のファイルではない (") + Sjis(kind)
        + Sjis(") ので読み込みません"));
}

// Opens path for reading and tells what it is; a folder is refused as the system would refuse
// reading it.
TFileDescriptor OpenForReading(const std::string& path, int flags, struct stat& st)
{
    TFileDescriptor fd(::open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | flags));
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0)
        throw OpenError(path, errno);
    if (S_ISDIR(st.st_mode))
        throw OpenError(path, EISDIR);
    return fd;
}

// Reads to the end of the file; a file that turns out longer than maxBytes (it may grow while it
// is read) is refused before more than maxBytes are held.
std::string ReadToEnd(int fd, const std::string& path, size_t maxBytes)
{
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0)
            return bytes;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw EFileError("Cannot read file \"" + path + "\". " + Reason(errno));
        }
        if (static_cast<size_t>(n) > maxBytes - bytes.size())
            throw TooLarge(path, maxBytes);
        bytes.append(buffer, static_cast<size_t>(n));
    }
}

constexpr size_t kTemporarySuffixLength = 12;

// Creates a new, empty file beside target, named target + "." + a random suffix, with mode 0666
// so that the kernel applies the umask as for any new file. The name is stored in temp.
int CreateTemporary(const std::string& target, std::string& temp)
{
    static const char* hex = "0123456789abcdef";
    thread_local std::mt19937_64 random { std::random_device {}() };
    for (int attempt = 0; attempt < 100; ++attempt) {
        uint64_t bits = random();
        temp = target + ".";
        for (size_t i = 0; i < kTemporarySuffixLength; ++i, bits >>= 4)
            temp += hex[bits & 15];
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            return fd;
        // The lock tells a start-up clean-up that this file is still being written. One that
        // removed the file in the moment before the lock was taken leaves it without links:
        // start again with another name.
        while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) { }
        struct stat st
        { };
        if (::fstat(fd, &st) == 0 && st.st_nlink == 0) {
            ::close(fd);
            continue;
        }
        return fd;
    }
    return -1;
}

bool IsTemporaryName(std::string_view name, std::string_view prefix)
{
    if (name.size() != prefix.size() + kTemporarySuffixLength || !name.starts_with(prefix))
        return false;
    for (const char c : name.substr(prefix.size()))
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

// Removes one candidate of RemoveStaleTemporaries if it is a stale temporary file of ours.
bool RemoveIfStale(int folder, const std::string& name)
{
    // No link is followed and a FIFO does not block the open.
    TFileDescriptor file(
        ::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat st
    { };
    if (file.get() < 0 || ::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode)
        || st.st_uid != ::geteuid())
        return false;
    // A writer at work holds the lock until its file is renamed or removed.
    if (::flock(file.get(), LOCK_EX | LOCK_NB) != 0)
        return false;
    struct stat now
    { };
    if (::fstatat(folder, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 || now.st_dev != st.st_dev
        || now.st_ino != st.st_ino)
        return false;
    return ::unlinkat(folder, name.c_str(), 0) == 0;
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
    struct stat st
    { };
    const TFileDescriptor fd = OpenForReading(path, 0, st);
    return ReadToEnd(fd.get(), path, std::numeric_limits<size_t>::max());
}

namespace {

// A device is not even opened (opening some has effects of its own); the descriptor's own type is
// what counts, in case the path changed in between.
TFileDescriptor OpenRegularFile(const std::string& path, struct stat& st)
{
    if (::stat(NativePath(path).c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
        throw NotRegular(path, st.st_mode);
    TFileDescriptor fd = OpenForReading(path, O_NONBLOCK, st);
    if (!S_ISREG(st.st_mode))
        throw NotRegular(path, st.st_mode);
    return fd;
}

} // namespace

std::string ReadRegularFile(const std::string& path, size_t maxBytes)
{
    struct stat st
    { };
    const TFileDescriptor fd = OpenRegularFile(path, st);
    if (static_cast<uintmax_t>(st.st_size) > maxBytes)
        throw TooLarge(path, maxBytes);
    return ReadToEnd(fd.get(), path, maxBytes);
}

std::string ReadRegularFileHead(const std::string& path, size_t maxBytes)
{
    struct stat st
    { };
    const TFileDescriptor fd = OpenRegularFile(path, st);
    std::optional<std::string> head = ReadPrefix(fd.get(), maxBytes);
    if (!head)
        throw EFileError("Cannot read file \"" + path + "\". " + Reason(errno));
    return std::move(*head);
}

bool FileExists(const std::string& path)
{
    struct stat st
    { };
    return ::stat(NativePath(path).c_str(), &st) == 0;
}

// Writes through a buffer to the temporary file; the first failure is kept and every write
// after it fails too.
class TReplacingFile::TBuffer : public std::streambuf
{
public:
    explicit TBuffer(int fd)
        : fd_(fd)
    {
        setp(bytes_, bytes_ + sizeof bytes_);
    }

    // Writes what is buffered; false (with Error() set) when it could not.
    bool Drain()
    {
        if (error_ != 0)
            return false;
        if (!WriteAll(fd_.get(), std::string_view(pbase(), static_cast<size_t>(pptr() - pbase()))))
            error_ = errno != 0 ? errno : EIO;
        setp(bytes_, bytes_ + sizeof bytes_);
        return error_ == 0;
    }
    int Error() const { return error_; }
    TFileDescriptor& Descriptor() { return fd_; }

protected:
    int_type overflow(int_type c) override
    {
        if (!Drain())
            return traits_type::eof();
        if (!traits_type::eq_int_type(c, traits_type::eof()))
            sputc(traits_type::to_char_type(c));
        return traits_type::not_eof(c);
    }
    int sync() override { return Drain() ? 0 : -1; }

private:
    TFileDescriptor fd_;
    int error_ = 0;
    char bytes_[1 << 16];
};

TReplacingFile::TReplacingFile(const std::string& path)
    : path_(path)
    , native_(WriteTarget(NativePath(path)))
    , stream_(nullptr)
{
    const int fd = CreateTemporary(native_, temp_);
    if (fd < 0)
        throw WriteError(path, errno);
    buffer_ = std::make_unique<TBuffer>(fd);
    stream_.rdbuf(buffer_.get());
    // Shares the lock, which so outlasts the close in Commit until the rename is done.
    lockHolder_ = TFileDescriptor(::dup(fd));
    // Keep the old file's permissions: a user who made the file private keeps it private. A new
    // file keeps the mode the umask gave the temporary one.
    struct stat old
    { };
    if (::stat(native_.c_str(), &old) == 0)
        ::fchmod(fd, old.st_mode & 07777);
}

TReplacingFile::~TReplacingFile()
{
    Discard();
}

void TReplacingFile::Discard()
{
    if (!temp_.empty())
        ::unlink(temp_.c_str());
    temp_.clear();
}

void TReplacingFile::Commit()
{
    if (temp_.empty())
        throw WriteError(path_, EBADF); // committed already, or failed
    TFileDescriptor& fd = buffer_->Descriptor();
    const bool written = buffer_->Drain() && ::fsync(fd.get()) == 0;
    const int error = buffer_->Error() != 0 ? buffer_->Error() : errno;
    if (!fd.Close() || !written) {
        const int reported = written ? errno : error;
        Discard();
        throw WriteError(path_, reported);
    }
    if (::rename(temp_.c_str(), native_.c_str()) != 0) {
        const int reported = errno;
        Discard();
        throw WriteError(path_, reported);
    }
    temp_.clear();
}

void WriteFileAtomic(const std::string& path, std::string_view bytes)
{
    TReplacingFile file(path);
    file.Stream().write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.Commit();
}

int RemoveStaleTemporaries(const std::string& path)
{
    std::string native;
    try {
        native = WriteTarget(NativePath(path));
    } catch (const EVelmoError&) {
        return 0;
    }
    const size_t slash = native.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : native.substr(0, slash + 1);
    const std::string prefix = native.substr(slash == std::string::npos ? 0 : slash + 1) + ".";
    const std::unique_ptr<DIR, int (*)(DIR*)> listing(::opendir(folder.c_str()), &::closedir);
    if (!listing)
        return 0;
    std::vector<std::string> candidates;
    while (const dirent* entry = ::readdir(listing.get()))
        if (IsTemporaryName(entry->d_name, prefix))
            candidates.emplace_back(entry->d_name);
    int removed = 0;
    for (const std::string& name : candidates)
        removed += RemoveIfStale(::dirfd(listing.get()), name) ? 1 : 0;
    return removed;
}

int RemoveFilesWhere(
    const std::string& folder, const std::function<bool(std::string_view name)>& matches)
{
    std::string native;
    try {
        native = NativePath(folder);
    } catch (const EVelmoError&) {
        return 0;
    }
    const std::unique_ptr<DIR, int (*)(DIR*)> listing(
        ::opendir(native.empty() ? "." : native.c_str()), &::closedir);
    if (!listing)
        return 0;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(listing.get()))
        if (matches(entry->d_name))
            names.emplace_back(entry->d_name);
    int removed = 0;
    const int at = ::dirfd(listing.get());
    for (const std::string& name : names) {
        struct stat st
        { };
        if (::fstatat(at, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode)
            && ::unlinkat(at, name.c_str(), 0) == 0)
            ++removed;
    }
    return removed;
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

std::string JoinPath(
    const std::string& folder, const std::string& defaultFolder, const std::string& name)
{
    return folder.empty() ? defaultFolder + name : folder + "/" + name;
}
