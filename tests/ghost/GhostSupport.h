#pragma once

#include "TestSupport.h"
#include "platform/FileIO.h"
#include "platform/NamedLock.h"
#include "platform/SstpFolder.h"
#include "platform/Window.h"

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <poll.h>
#include <sys/stat.h>
#include <thread>

// Each test gets its own SSTP folder: XDG_RUNTIME_DIR points at a fresh private folder.
class SstpTest : public testing::Test
{
protected:
    TempDir runtime;
    std::string saved;

    void SetUp() override
    {
        if (const char* old = std::getenv("XDG_RUNTIME_DIR"))
            saved = old;
        ::chmod(runtime.Native().c_str(), 0700);
        ::setenv("XDG_RUNTIME_DIR", runtime.Native().c_str(), 1);
    }
    void TearDown() override
    {
        if (saved.empty())
            ::unsetenv("XDG_RUNTIME_DIR");
        else
            ::setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    }

    // Writes a directory block: the length field, the text, a NUL.
    static void Publish(const std::string& mapping, const std::string& text, int64_t length = -1)
    {
        const uint32_t field
            = static_cast<uint32_t>(length < 0 ? static_cast<int64_t>(text.size()) : length);
        std::string block;
        for (int i = 0; i < 4; ++i)
            block += static_cast<char>((field >> (8 * i)) & 0xFF);
        block += text;
        block += '\0';
        WriteFileAtomic(FromNativePath(SstpObjectPath("shm", mapping)), block);
    }
};

// A ghost host inside the test: one window serviced on a thread of its own, answering every
// request with `answer` (nothing when empty) through the window named in its "HWnd: " line.
class FakeGhost
{
public:
    explicit FakeGhost(std::string answer = "SSTP/1.4 200 OK\r\n\r\n")
        : answer_(std::move(answer))
    {
        window_ = TWindow::Create([this](const TWindowMessage& m) -> int64_t {
            std::string reply;
            {
                const std::lock_guard lock(mutex_);
                requests_.push_back(m);
                reply = answer_;
            }
            const size_t at = m.data.find("HWnd: ");
            if (!reply.empty() && at != std::string::npos)
                SendMessageTimeout(static_cast<uint32_t>(std::stoul(m.data.substr(at + 6))),
                    WM_COPYDATA, window_->Handle(), 9801, reply, 5000);
            return 1;
        });
        thread_ = std::thread([this] {
            while (!stop_) {
                pollfd p { window_->Fd(), POLLIN, 0 };
                if (::poll(&p, 1, 20) > 0)
                    window_->Process();
            }
        });
    }
    ~FakeGhost()
    {
        stop_ = true;
        thread_.join();
    }
    uint32_t Handle() const { return window_->Handle(); }
    std::vector<TWindowMessage> Requests()
    {
        const std::lock_guard lock(mutex_);
        return requests_;
    }
    void SetAnswer(std::string answer)
    {
        const std::lock_guard lock(mutex_);
        answer_ = std::move(answer);
    }

private:
    std::string answer_;
    std::unique_ptr<TWindow> window_;
    std::mutex mutex_;
    std::vector<TWindowMessage> requests_;
    std::atomic<bool> stop_ { false };
    std::thread thread_;
};

// Holds a named lock in a child process until the returned pid is killed.
inline pid_t HoldLockInChild(const std::string& name)
{
    int ready[2];
    if (::pipe(ready) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        auto lock = TNamedLock::Open(name);
        lock->Wait(1000);
        [[maybe_unused]] const ssize_t n = ::write(ready[1], "x", 1);
        for (;;)
            ::pause();
    }
    char c;
    [[maybe_unused]] const ssize_t n = ::read(ready[0], &c, 1);
    ::close(ready[0]);
    ::close(ready[1]);
    return pid;
}
