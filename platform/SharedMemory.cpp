#include "platform/SharedMemory.h"

#include "platform/FileDescriptor.h"
#include "platform/FileIO.h"
#include "platform/SstpFolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::optional<std::string> TSharedMemory::Read(std::string_view name, size_t maxBytes)
{
    const std::string path = SstpObjectPath("shm", name);
    if (path.empty())
        return std::nullopt;
    return ReadPath(path, maxBytes);
}

std::optional<std::string> TSharedMemory::ReadPath(const std::string& path, size_t maxBytes)
{
    TFileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW));
    struct stat st
    { };
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return ReadPrefix(fd.get(), maxBytes);
}
