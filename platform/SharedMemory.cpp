#include "platform/SharedMemory.h"

#include "platform/FileDescriptor.h"
#include "platform/SstpFolder.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::optional<std::string> TSharedMemory::Read(std::string_view name, size_t maxBytes)
{
    const std::string path = SstpObjectPath("shm", name);
    if (path.empty())
        return std::nullopt;
    TFileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW));
    struct stat st
    { };
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    std::string bytes(maxBytes, '\0');
    size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n
            = ::pread(fd.get(), bytes.data() + got, bytes.size() - got, static_cast<off_t>(got));
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
