#include "platform/StreamSocket.h"

#include "platform/FileDescriptor.h"
#include "platform/Poll.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

namespace {

using Clock = std::chrono::steady_clock;

bool Cancelled(int cancelFd)
{
    pollfd cancel { cancelFd, POLLIN, 0 };
    return cancelFd >= 0 && ::poll(&cancel, 1, 0) > 0;
}

// Connects without waiting past the deadline; false when nothing accepts.
bool Connect(
    int fd, const sockaddr* address, socklen_t size, Clock::time_point deadline, int cancelFd)
{
    if (::connect(fd, address, size) == 0)
        return true;
    // A Unix socket whose queue is full answers EAGAIN at once: a host too busy to take us now.
    if ((errno != EINPROGRESS && errno != EINTR) || !WaitFor(fd, POLLOUT, deadline, cancelFd))
        return false;
    int error = 0;
    socklen_t length = sizeof error;
    return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
}

TExchangeResult Exchange(int family, const sockaddr* address, socklen_t size,
    std::string_view request, const TExchangeLimits& limits)
{
    const Clock::time_point deadline
        = Clock::now() + std::chrono::milliseconds(std::max(limits.timeoutMs, 0));
    TExchangeResult result;
    TFileDescriptor fd(::socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (fd.get() < 0 || !Connect(fd.get(), address, size, deadline, limits.cancelFd)) {
        result.status
            = Cancelled(limits.cancelFd) ? TExchangeStatus::Cancelled : TExchangeStatus::NoPeer;
        return result;
    }
    const auto stopped = [&] {
        result.status
            = Cancelled(limits.cancelFd) ? TExchangeStatus::Cancelled : TExchangeStatus::NoAnswer;
        return result;
    };
    // A peer may write its answer and close without reading: the send then fails, but what it
    // wrote is waiting to be read.
    bool closedEarly = false;
    for (size_t done = 0; done < request.size() && !closedEarly;) {
        const ssize_t n
            = ::send(fd.get(), request.data() + done, request.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!WaitFor(fd.get(), POLLOUT, deadline, limits.cancelFd))
                return stopped();
        } else if (n < 0 && (errno == EPIPE || errno == ECONNRESET)) {
            closedEarly = true;
        } else {
            result.status = TExchangeStatus::NoPeer;
            return result;
        }
    }
    result.sent = !closedEarly;
    // The peer went away before it had the whole request and said nothing: it acted on none of it.
    const auto finished = [&](TExchangeStatus status) {
        const bool nothing = closedEarly && result.answer.empty();
        result.status
            = nothing && status != TExchangeStatus::Cancelled ? TExchangeStatus::NoPeer : status;
        return result;
    };
    char buffer[16384];
    for (;;) {
        if (limits.complete && limits.complete(result.answer))
            return finished(TExchangeStatus::Answered);
        const ssize_t n = ::recv(fd.get(), buffer, sizeof buffer, 0);
        if (n == 0)
            return finished(TExchangeStatus::Answered);
        if (n > 0) {
            if (result.answer.size() + static_cast<size_t>(n) > limits.maxAnswer)
                return finished(TExchangeStatus::TooLong);
            result.answer.append(buffer, static_cast<size_t>(n));
        } else if (errno == EINTR) {
            continue;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (!WaitFor(fd.get(), POLLIN, deadline, limits.cancelFd))
                return finished(Cancelled(limits.cancelFd) ? TExchangeStatus::Cancelled
                                                           : TExchangeStatus::NoAnswer);
        } else {
            // A reset after the answer: what came is the answer.
            return finished(
                result.answer.empty() ? TExchangeStatus::NoAnswer : TExchangeStatus::Answered);
        }
    }
}

} // namespace

TExchangeResult ExchangeUnix(
    const std::string& path, std::string_view request, const TExchangeLimits& limits)
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path
        || path.find('\0') != std::string::npos)
        return {};
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return Exchange(
        AF_UNIX, reinterpret_cast<const sockaddr*>(&address), sizeof address, request, limits);
}

TExchangeResult ExchangeLoopback(
    uint16_t port, std::string_view request, const TExchangeLimits& limits)
{
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return Exchange(
        AF_INET, reinterpret_cast<const sockaddr*>(&address), sizeof address, request, limits);
}
