#pragma once

#include <unistd.h>

// Owns a file descriptor (a file, socket or pipe end) and closes it once.
class TFileDescriptor
{
public:
    explicit TFileDescriptor(int fd = -1)
        : fd_(fd)
    { }
    ~TFileDescriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    TFileDescriptor(const TFileDescriptor&) = delete;
    TFileDescriptor& operator=(const TFileDescriptor&) = delete;
    TFileDescriptor(TFileDescriptor&& other) noexcept
        : fd_(other.release())
    { }
    TFileDescriptor& operator=(TFileDescriptor&& other) noexcept
    {
        if (this != &other) {
            if (fd_ >= 0)
                ::close(fd_);
            fd_ = other.release();
        }
        return *this;
    }

    int get() const { return fd_; }
    // Gives the descriptor up without closing it.
    int release()
    {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // Closes now, so that a failing close (a delayed write error) can be reported.
    bool Close() { return ::close(release()) == 0; }

private:
    int fd_;
};
