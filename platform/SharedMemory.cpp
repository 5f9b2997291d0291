#include "platform/SharedMemory.h"

#include "platform/SstpFolder.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

std::optional<TSharedMemory> TSharedMemory::Open(std::string_view name)
{
    const std::string path = SstpObjectPath("shm", name);
    if (path.empty())
        return std::nullopt;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat st
    { };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    const auto size = static_cast<size_t>(st.st_size);
    void* data = nullptr;
    if (size > 0) {
        data = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
        if (data == MAP_FAILED) {
            ::close(fd);
            return std::nullopt;
        }
    }
    ::close(fd);
    return TSharedMemory(data, size);
}

TSharedMemory::TSharedMemory(TSharedMemory&& other) noexcept
    : data_(other.data_)
    , size_(other.size_)
{
    other.data_ = nullptr;
    other.size_ = 0;
}

TSharedMemory::~TSharedMemory()
{
    if (data_)
        ::munmap(data_, size_);
}

std::string_view TSharedMemory::View() const
{
    return data_ ? std::string_view(static_cast<const char*>(data_), size_) : std::string_view();
}
