#include "platform/NamedLock.h"

#include "platform/SstpFolder.h"

#include <chrono>
#include <fcntl.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

std::unique_ptr<TNamedLock> TNamedLock::Open(std::string_view name)
{
    const std::string path = SstpObjectPath("lock", name);
    if (path.empty())
        return nullptr;
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return nullptr;
    return std::unique_ptr<TNamedLock>(new TNamedLock(fd));
}

TNamedLock::~TNamedLock()
{
    ::close(fd_);
}

bool TNamedLock::Wait(int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (::flock(fd_, LOCK_EX | LOCK_NB) == 0)
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void TNamedLock::Release()
{
    ::flock(fd_, LOCK_UN);
}
