#pragma once

#include "platform/FileDescriptor.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// Windows and window messages between processes: a window is a Unix-domain SOCK_SEQPACKET socket
// bound at windows/<handle> in the SSTP folder (handles are positive 32-bit numbers). Sending a
// message connects, sends one packet of a 16-byte header (message, wParam, dwData, cbData, each a
// little-endian uint32) and the cbData bytes, and waits for one 8-byte little-endian result. Data
// over 64 KiB (up to 1 MiB and 64 KiB) goes instead as a memory file passed with the header
// (SCM_RIGHTS), since one packet cannot outgrow the socket's send buffer.

constexpr uint32_t WM_COPYDATA = 0x004A;

struct TWindowMessage
{
    uint32_t message = 0;
    uint32_t wParam = 0;
    uint32_t dwData = 0;
    std::string data;
};

using TWindowProc = std::function<int64_t(const TWindowMessage& message)>;

// A window of this process. Its procedure runs in Process(), on the thread that calls it (the
// GUI thread, woken by a notifier on Fd()). Process never waits: a sender that has connected but
// not yet sent is kept (at most kMaxWaiting of them, each for kWaitingSeconds) and answered when
// its message arrives, so a silent peer cannot hold the thread. Destroying it removes its socket
// file.
class TWindow
{
public:
    static constexpr size_t kMaxWaiting = 64;
    static constexpr int kWaitingSeconds = 10;

    // Picks a free handle. Throws EVelmoError when no socket can be made.
    static std::unique_ptr<TWindow> Create(TWindowProc procedure);
    ~TWindow();
    TWindow(const TWindow&) = delete;
    TWindow& operator=(const TWindow&) = delete;

    uint32_t Handle() const { return handle_; }
    // Readable while a connection or a message waits (an epoll descriptor over the window's socket
    // and its connections).
    int Fd() const { return poll_.get(); }
    // Answers every message waiting now: runs the procedure and sends its result back.
    void Process();

private:
    TWindow(int fd, int poll, uint32_t handle, std::string path, TWindowProc procedure);
    void AcceptWaiting();
    void Answer(int connection);
    void Forget(int connection);

    TFileDescriptor listen_;
    TFileDescriptor poll_;
    uint32_t handle_;
    std::string path_;
    TWindowProc procedure_;
    // Accepted connections whose message has not come yet (owned: Forget closes them), with when
    // they came.
    std::map<int, std::chrono::steady_clock::time_point> waiting_;
};

// Sends a message to a window and waits at most timeoutMs in all for its result; nullopt when the
// window does not exist, refuses, does not answer in time, or is hung (its queue of connections is
// full: nullopt at once), or when cancelFd (if not -1) becomes readable meanwhile. Never blocks
// past those limits.
std::optional<int64_t> SendMessageTimeout(uint32_t handle, uint32_t message, uint32_t wParam,
    uint32_t dwData, std::string_view data, int timeoutMs, int cancelFd = -1);
