#pragma once

#include <memory>
#include <string_view>

// A named lock shared between processes (the file lock/<name> of the SSTP folder, used only for
// flock). The kernel drops the lock of a process that dies, so a dead holder never blocks
// anyone. One thread at a time per object.
class TNamedLock
{
public:
    // nullptr when the name names no object or the file cannot be opened.
    static std::unique_ptr<TNamedLock> Open(std::string_view name);
    ~TNamedLock();
    TNamedLock(const TNamedLock&) = delete;
    TNamedLock& operator=(const TNamedLock&) = delete;

    // Tries every 10 ms until the lock is taken or the time is up; gives up at once when cancelFd
    // (if not -1) becomes readable.
    bool Wait(int timeoutMs, int cancelFd = -1);
    void Release();
    int Handle() const { return fd_; }

private:
    explicit TNamedLock(int fd)
        : fd_(fd)
    { }
    int fd_;
};
