#include "platform/Poll.h"

#include <cerrno>
#include <poll.h>

int RemainingMs(std::chrono::steady_clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return left.count() < 0 ? -1 : static_cast<int>(left.count());
}

bool WaitFor(int fd, short events, std::chrono::steady_clock::time_point deadline, int cancelFd)
{
    for (;;) {
        const int left = RemainingMs(deadline);
        if (left < 0)
            return false;
        pollfd fds[2] = { { fd, events, 0 }, { cancelFd, POLLIN, 0 } };
        const int n = ::poll(fds, cancelFd >= 0 ? 2 : 1, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || (cancelFd >= 0 && fds[1].revents))
            return false;
        return (fds[0].revents & (events | POLLHUP | POLLERR)) != 0;
    }
}
