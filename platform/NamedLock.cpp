#include "platform/NamedLock.h"

#include "platform/SstpFolder.h"

#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <unistd.h>

std::unique_ptr<TNamedLock> TNamedLock::Open(std::string_view name)
{
    const std::string path = SstpObjectPath("lock", name);
    if (path.empty())
        return nullptr;
    const int fd
        = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0)
        return nullptr;
    return std::unique_ptr<TNamedLock>(new TNamedLock(fd));
}

TNamedLock::~TNamedLock()
{
    ::close(fd_);
}

bool TNamedLock::Wait(int timeoutMs, int cancelFd)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (::flock(fd_, LOCK_EX | LOCK_NB) == 0)
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        // The pause between tries doubles as the wait for the cancel descriptor.
        pollfd cancel { cancelFd, POLLIN, 0 };
        if (::poll(&cancel, cancelFd >= 0 ? 1 : 0, 10) > 0)
            return false;
    }
}

void TNamedLock::Release()
{
    ::flock(fd_, LOCK_UN);
}
