#include "platform/Window.h"

#include "platform/Errors.h"
#include "platform/FileDescriptor.h"
#include "platform/SstpFolder.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <random>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr size_t kHeaderSize = 16;
constexpr size_t kMaxPacket = 1 << 20;

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

int NewSocket()
{
    return ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
}

// Waits until fd is readable; false on time-out or when cancelFd becomes readable first.
bool WaitReadable(int fd, int timeoutMs, int cancelFd)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() < 0)
            return false;
        pollfd fds[2] = { { fd, POLLIN, 0 }, { cancelFd, POLLIN, 0 } };
        const int n = ::poll(fds, cancelFd >= 0 ? 2 : 1, static_cast<int>(left.count()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || (cancelFd >= 0 && fds[1].revents))
            return false;
        return true;
    }
}

} // namespace

TWindow::TWindow(int fd, uint32_t handle, std::string path, TWindowProc procedure)
    : fd_(fd)
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
        return std::unique_ptr<TWindow>(
            new TWindow(socket.release(), handle, address->sun_path, std::move(procedure)));
    }
    throw EVelmoError("Cannot find a free window handle");
}

TWindow::~TWindow()
{
    ::close(fd_);
    ::unlink(path_.c_str());
}

void TWindow::Process()
{
    for (;;) {
        const int connection = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0)
            return;
        std::vector<char> packet(kHeaderSize + kMaxPacket);
        ssize_t n = -1;
        if (WaitReadable(connection, 1000, -1))
            n = ::recv(connection, packet.data(), packet.size(), 0);
        if (n >= static_cast<ssize_t>(kHeaderSize)) {
            TWindowMessage message;
            message.message = GetLE32(packet.data());
            message.wParam = GetLE32(packet.data() + 4);
            message.dwData = GetLE32(packet.data() + 8);
            const size_t size = std::min<size_t>(
                GetLE32(packet.data() + 12), static_cast<size_t>(n) - kHeaderSize);
            message.data.assign(packet.data() + kHeaderSize, size);
            int64_t result = 0;
            try {
                result = procedure_ ? procedure_(message) : 0;
            } catch (...) {
                result = 0; // a window procedure's failure is the window's own
            }
            std::string reply;
            PutLE32(reply, static_cast<uint32_t>(result & 0xFFFFFFFF));
            PutLE32(reply, static_cast<uint32_t>(static_cast<uint64_t>(result) >> 32));
            ::send(connection, reply.data(), reply.size(), MSG_NOSIGNAL);
        }
        ::close(connection);
    }
}

std::optional<int64_t> SendMessageTimeout(uint32_t handle, uint32_t message, uint32_t wParam,
    uint32_t dwData, std::string_view data, int timeoutMs, int cancelFd)
{
    if (handle == 0 || data.size() > kMaxPacket)
        return std::nullopt;
    const auto address = Address(handle);
    if (!address)
        return std::nullopt;
    TFileDescriptor socket(NewSocket());
    if (socket.get() < 0
        || ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address)
            != 0)
        return std::nullopt;
    std::string packet;
    packet.reserve(kHeaderSize + data.size());
    PutLE32(packet, message);
    PutLE32(packet, wParam);
    PutLE32(packet, dwData);
    PutLE32(packet, static_cast<uint32_t>(data.size()));
    packet.append(data);
    if (::send(socket.get(), packet.data(), packet.size(), MSG_NOSIGNAL)
        != static_cast<ssize_t>(packet.size()))
        return std::nullopt;
    if (!WaitReadable(socket.get(), timeoutMs, cancelFd))
        return std::nullopt;
    char reply[8];
    if (::recv(socket.get(), reply, sizeof reply, 0) != 8)
        return std::nullopt;
    return static_cast<int64_t>(uint64_t(GetLE32(reply)) | (uint64_t(GetLE32(reply + 4)) << 32));
}
