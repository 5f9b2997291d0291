#pragma once

#include "TestSupport.h"
#include "platform/FileIO.h"
#include "platform/NamedLock.h"
#include "platform/SstpFolder.h"
#include "platform/Window.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

// Each test gets its own SSTP folder and ninix-kagari home: XDG_RUNTIME_DIR and NINIX_HOME point
// at fresh private folders, so no test reaches a host of the machine's user.
class SstpTest : public testing::Test
{
protected:
    TempDir runtime;
    TempDir ninixHome;
    std::string saved;

    void SetUp() override
    {
        if (const char* old = std::getenv("XDG_RUNTIME_DIR"))
            saved = old;
        ::chmod(runtime.Native().c_str(), 0700);
        ::setenv("XDG_RUNTIME_DIR", runtime.Native().c_str(), 1);
        ::setenv("NINIX_HOME", ninixHome.Native().c_str(), 1);
    }
    void TearDown() override
    {
        if (saved.empty())
            ::unsetenv("XDG_RUNTIME_DIR");
        else
            ::setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
        ::unsetenv("NINIX_HOME");
    }
    std::string NinixSockets() const { return (ninixHome.Native() / ".ninix/sock").string(); }

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
// request with `answer` (nothing when empty) through the window named in its "HWnd: " line:
// before its window message returns, or lateMs after it and `times` times over.
class FakeGhost
{
public:
    explicit FakeGhost(
        std::string answer = "SSTP/1.4 200 OK\r\n\r\n", int lateMs = 0, int times = 1)
        : answer_(std::move(answer))
    {
        window_ = TWindow::Create([this, lateMs, times](const TWindowMessage& m) -> int64_t {
            std::string reply;
            {
                const std::lock_guard lock(mutex_);
                requests_.push_back(m);
                reply = answer_;
            }
            const size_t at = m.data.find("HWnd: ");
            if (reply.empty() || at == std::string::npos)
                return 1;
            const auto to = static_cast<uint32_t>(std::stoul(m.data.substr(at + 6)));
            const auto send = [this, to, reply, times] {
                for (int i = 0; i < times; ++i) {
                    SendMessageTimeout(to, WM_COPYDATA, window_->Handle(), 9801, reply, 5000);
                    ++answered_;
                }
            };
            if (lateMs <= 0) {
                send();
            } else {
                const std::lock_guard lock(mutex_);
                late_.emplace_back([send, lateMs] {
                    std::this_thread::sleep_for(std::chrono::milliseconds(lateMs));
                    send();
                });
            }
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
        for (std::thread& t : late_)
            t.join();
    }
    uint32_t Handle() const { return window_->Handle(); }
    std::vector<TWindowMessage> Requests()
    {
        const std::lock_guard lock(mutex_);
        return requests_;
    }
    // How many answers have gone out, each once its window message has returned.
    int Answered() const { return answered_; }
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
    std::vector<std::thread> late_;
    std::atomic<int> answered_ { 0 };
    std::atomic<bool> stop_ { false };
    std::thread thread_;
};

// The stand-in ghost host (velmo-ghost-host) in a process of its own, started with the given
// arguments; it is ready when its first line has come. Output() collects what it has printed.
class StandInHost
{
public:
    explicit StandInHost(std::vector<std::string> arguments)
    {
        int out[2];
        if (::pipe(out) != 0)
            throw std::runtime_error("pipe failed");
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], 1);
            ::close(out[0]);
            arguments.insert(arguments.begin(), VELMO_BIN_DIR "/velmo-ghost-host");
            std::vector<char*> argv;
            for (std::string& a : arguments)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        out_ = out[0];
        ready_ = WaitFor("\n");
    }
    ~StandInHost()
    {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        ::close(out_);
    }
    bool Ready() const { return ready_ && output_.starts_with("ready"); }
    // Reads until the output holds text, for at most 10 s.
    bool WaitFor(const std::string& text)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (output_.find(text) == std::string::npos) {
            pollfd p { out_, POLLIN, 0 };
            if (std::chrono::steady_clock::now() > deadline || ::poll(&p, 1, 100) < 0)
                return false;
            char buffer[4096];
            const ssize_t n = p.revents ? ::read(out_, buffer, sizeof buffer) : 0;
            if (p.revents && n <= 0)
                return false;
            output_.append(buffer, static_cast<size_t>(std::max<ssize_t>(n, 0)));
        }
        return true;
    }
    const std::string& Output() const { return output_; }
    // The requests it has printed so far, read without waiting.
    size_t RequestCount()
    {
        for (pollfd p { out_, POLLIN, 0 }; ::poll(&p, 1, 0) > 0 && p.revents;) {
            char buffer[4096];
            const ssize_t n = ::read(out_, buffer, sizeof buffer);
            if (n <= 0)
                break;
            output_.append(buffer, static_cast<size_t>(n));
        }
        size_t count = 0;
        for (size_t at = output_.find("\n----\n"); at != std::string::npos;
             at = output_.find("\n----\n", at + 1))
            ++count;
        return count;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    bool ready_ = false;
    std::string output_;
};

// A loopback port that nothing listens on now.
inline uint16_t FreePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), size);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    return ntohs(address.sin_port);
}

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
