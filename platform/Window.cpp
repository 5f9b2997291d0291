#include "platform/Window.h"

#include "platform/Errors.h"
#include "platform/FileDescriptor.h"
#include "platform/FileIO.h"
#include "platform/Poll.h"
#include "platform/SstpFolder.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <random>
#include <sys/epoll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr size_t kHeaderSize = 16;
// A 1 MiB script with the request lines around it.
constexpr size_t kMaxPacket = (1 << 20) + 64 * 1024;
// Data past this size travels in a memory file passed along with the header: one packet must fit
// the socket's send buffer, which a user cannot raise past the system's limit (about 208 KiB).
constexpr size_t kInlineLimit = 64 * 1024;

void PutLE32(std::string& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

uint32_t GetLE32(const char* p)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<uint8_t>(p[i]);
    return v;
}

std::optional<sockaddr_un> Address(uint32_t handle)
{
    const std::string path = SstpFolder() + "/windows/" + std::to_string(handle);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return std::nullopt;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return address;
}

int NewSocket(int flags = 0)
{
    return ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | flags, 0);
}

// Sends one packet, with an optional descriptor, waiting for room until the deadline.
bool SendPacket(int socket, const std::string& packet, int passFd,
    std::chrono::steady_clock::time_point deadline, int cancelFd)
{
    iovec part { const_cast<char*>(packet.data()), packet.size() };
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message {};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    if (passFd >= 0) {
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_SOCKET;
        header->cmsg_type = SCM_RIGHTS;
        header->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(header), &passFd, sizeof(int));
    }
    for (;;) {
        const ssize_t n = ::sendmsg(socket, &message, MSG_NOSIGNAL);
        if (n == static_cast<ssize_t>(packet.size()))
            return true;
        if (n < 0 && errno == EINTR)
            continue;
        if (n >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK)
            || !WaitFor(socket, POLLOUT, deadline, cancelFd))
            return false;
    }
}

// A memory file holding data, for a request too large for one packet; -1 when none can be made.
int MemoryFile(std::string_view data)
{
    TFileDescriptor fd(::memfd_create("velmo-copydata", MFD_CLOEXEC));
    if (fd.get() < 0 || !WriteAll(fd.get(), data))
        return -1;
    return fd.release();
}

} // namespace

TWindow::TWindow(int fd, int poll, uint32_t handle, std::string path, TWindowProc procedure)
    : listen_(fd)
    , poll_(poll)
    , handle_(handle)
    , path_(std::move(path))
    , procedure_(std::move(procedure))
{ }

std::unique_ptr<TWindow> TWindow::Create(TWindowProc procedure)
{
    std::random_device seed;
    std::mt19937 random(seed());
    std::uniform_int_distribution<uint32_t> pick(1, 0x7FFFFFFF);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const uint32_t handle = pick(random);
        const auto address = Address(handle);
        if (!address)
            throw EVelmoError("The SSTP folder's path is too long for a window socket");
        TFileDescriptor socket(NewSocket());
        if (socket.get() < 0)
            throw EVelmoError(
                std::string("Cannot create a window socket: ") + std::strerror(errno));
        if (::bind(socket.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address)
            != 0) {
            if (errno == EADDRINUSE)
                continue;
            throw EVelmoError(std::string("Cannot create a window: ") + std::strerror(errno));
        }
        if (::listen(socket.get(), 16) != 0) {
            ::unlink(address->sun_path);
            throw EVelmoError(std::string("Cannot create a window: ") + std::strerror(errno));
        }
        ::fcntl(socket.get(), F_SETFL, O_NONBLOCK);
        TFileDescriptor poll(::epoll_create1(EPOLL_CLOEXEC));
        epoll_event watch {};
        watch.events = EPOLLIN;
        watch.data.fd = socket.get();
        if (poll.get() < 0 || ::epoll_ctl(poll.get(), EPOLL_CTL_ADD, socket.get(), &watch) != 0) {
            ::unlink(address->sun_path);
            throw EVelmoError(std::string("Cannot create a window: ") + std::strerror(errno));
        }
        return std::unique_ptr<TWindow>(new TWindow(
            socket.release(), poll.release(), handle, address->sun_path, std::move(procedure)));
    }
    throw EVelmoError("Cannot find a free window handle");
}

TWindow::~TWindow()
{
    for (const auto& [connection, since] : waiting_)
        ::close(connection);
    ::unlink(path_.c_str());
}

void TWindow::Process()
{
    for (;;) {
        epoll_event ready[16];
        const int n = ::epoll_wait(poll_.get(), ready, 16, 0);
        if (n <= 0)
            break;
        for (int i = 0; i < n; ++i) {
            if (ready[i].data.fd == listen_.get())
                AcceptWaiting();
            else if (waiting_.count(ready[i].data.fd))
                Answer(ready[i].data.fd);
        }
    }
    // A sender that connected and never sent has given up long ago.
    const auto stale = std::chrono::steady_clock::now() - std::chrono::seconds(kWaitingSeconds);
    for (auto it = waiting_.begin(); it != waiting_.end();) {
        const auto [connection, since] = *it++; // Forget erases the entry
        if (since < stale)
            Forget(connection);
    }
}

void TWindow::AcceptWaiting()
{
    for (;;) {
        TFileDescriptor connection(
            ::accept4(listen_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
        if (connection.get() < 0)
            return;
        // Never more than kMaxWaiting silent peers: the one waiting longest goes.
        if (waiting_.size() >= kMaxWaiting) {
            auto oldest = waiting_.begin();
            for (auto it = waiting_.begin(); it != waiting_.end(); ++it)
                if (it->second < oldest->second)
                    oldest = it;
            Forget(oldest->first);
        }
        epoll_event watch {};
        watch.events = EPOLLIN;
        watch.data.fd = connection.get();
        if (::epoll_ctl(poll_.get(), EPOLL_CTL_ADD, connection.get(), &watch) != 0)
            continue;
        waiting_.emplace(connection.release(), std::chrono::steady_clock::now());
    }
}

void TWindow::Forget(int connection)
{
    ::epoll_ctl(poll_.get(), EPOLL_CTL_DEL, connection, nullptr);
    ::close(connection);
    waiting_.erase(connection);
}

void TWindow::Answer(int connection)
{
    std::vector<char> packet(kHeaderSize + kInlineLimit);
    iovec part { packet.data(), packet.size() };
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr received {};
    received.msg_iov = &part;
    received.msg_iovlen = 1;
    received.msg_control = control;
    received.msg_controllen = sizeof control;
    const ssize_t n = ::recvmsg(connection, &received, MSG_CMSG_CLOEXEC | MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return; // not yet: it stays waiting
    // A request too large for one packet brings its data as a memory file.
    int passedFd = -1;
    for (cmsghdr* c = CMSG_FIRSTHDR(&received); n >= 0 && c; c = CMSG_NXTHDR(&received, c))
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS
            && c->cmsg_len >= CMSG_LEN(sizeof(int))) {
            if (passedFd >= 0)
                ::close(passedFd);
            std::memcpy(&passedFd, CMSG_DATA(c), sizeof passedFd);
        }
    const TFileDescriptor passed(passedFd);
    if (n >= static_cast<ssize_t>(kHeaderSize)) {
        TWindowMessage message;
        message.message = GetLE32(packet.data());
        message.wParam = GetLE32(packet.data() + 4);
        message.dwData = GetLE32(packet.data() + 8);
        const size_t declared = GetLE32(packet.data() + 12);
        if (passed.get() >= 0) {
            message.data = ReadPrefix(passed.get(), std::min(declared, kMaxPacket)).value_or("");
        } else {
            const size_t size = std::min<size_t>(declared, static_cast<size_t>(n) - kHeaderSize);
            message.data.assign(packet.data() + kHeaderSize, size);
        }
        int64_t result = 0;
        try {
            result = procedure_ ? procedure_(message) : 0;
        } catch (...) {
            result = 0; // a window procedure's failure is the window's own
        }
        std::string reply;
        PutLE32(reply, static_cast<uint32_t>(result & 0xFFFFFFFF));
        PutLE32(reply, static_cast<uint32_t>(static_cast<uint64_t>(result) >> 32));
        ::send(connection, reply.data(), reply.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    }
    Forget(connection);
}

std::optional<int64_t> SendMessageTimeout(uint32_t handle, uint32_t message, uint32_t wParam,
    uint32_t dwData, std::string_view data, int timeoutMs, int cancelFd)
{
    if (handle == 0 || data.size() > kMaxPacket)
        return std::nullopt;
    const auto address = Address(handle);
    if (!address)
        return std::nullopt;
    const auto deadline
        = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    // Never blocking: a window whose queue of connections is full is hung, and the answer is at
    // once (as SMTO_ABORTIFHUNG); a full send buffer is waited for only until the deadline.
    TFileDescriptor socket(NewSocket(SOCK_NONBLOCK));
    if (socket.get() < 0
        || ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address)
            != 0)
        return std::nullopt;
    TFileDescriptor large(data.size() > kInlineLimit ? MemoryFile(data) : -1);
    if (data.size() > kInlineLimit && large.get() < 0)
        return std::nullopt;
    std::string packet;
    packet.reserve(kHeaderSize + (large.get() >= 0 ? 0 : data.size()));
    PutLE32(packet, message);
    PutLE32(packet, wParam);
    PutLE32(packet, dwData);
    PutLE32(packet, static_cast<uint32_t>(data.size()));
    if (large.get() < 0)
        packet.append(data);
    if (!SendPacket(socket.get(), packet, large.get(), deadline, cancelFd))
        return std::nullopt;
    if (!WaitFor(socket.get(), POLLIN, deadline, cancelFd))
        return std::nullopt;
    char reply[8];
    if (::recv(socket.get(), reply, sizeof reply, 0) != 8)
        return std::nullopt;
    return static_cast<int64_t>(uint64_t(GetLE32(reply)) | (uint64_t(GetLE32(reply + 4)) << 32));
}
