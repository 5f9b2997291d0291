#include "platform/QueueSynchronizer.h"

#include <fcntl.h>
#include <unistd.h>

TQueueSynchronizer::TQueueSynchronizer(std::function<void(const std::string&)> onError)
    : guiThread_(std::this_thread::get_id())
    , onError_(std::move(onError))
{
    if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0)
        pipe_[0] = pipe_[1] = -1;
}

TQueueSynchronizer::~TQueueSynchronizer()
{
    for (const int fd : pipe_)
        if (fd >= 0)
            ::close(fd);
}

void TQueueSynchronizer::Run(const std::function<void()>& call)
{
    try {
        call();
    } catch (const std::exception& e) {
        if (onError_)
            onError_(e.what());
    } catch (...) {
        if (onError_)
            onError_("Unknown error");
    }
}

void TQueueSynchronizer::Synchronize(const std::function<void()>& call)
{
    if (std::this_thread::get_id() == guiThread_) {
        bool detached;
        {
            const TMutexLock lock(mutex_);
            detached = detached_;
        }
        if (!detached)
            Run(call);
        return;
    }
    auto pending = std::make_shared<Pending>();
    pending->call = call;
    const TMutexLock lock(mutex_);
    if (detached_ || pipe_[1] < 0)
        return;
    queue_.push_back(pending);
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(pipe_[1], &byte, 1);
    while (!pending->done && !detached_)
        finished_.wait(mutex_);
}

void TQueueSynchronizer::ProcessPending()
{
    char buffer[64];
    while (::read(pipe_[0], buffer, sizeof buffer) > 0) { }
    // A call that opens a message box runs a nested message loop, which wakes us again: the calls
    // that arrived meanwhile wait for the outer loop below, so each runs alone and in order.
    if (processing_)
        return;
    processing_ = true;
    struct Reset
    {
        bool& flag;
        ~Reset() { flag = false; }
    } reset { processing_ };
    for (;;) {
        std::shared_ptr<Pending> pending;
        {
            const TMutexLock lock(mutex_);
            if (detached_ || queue_.empty())
                return;
            pending = queue_.front();
            queue_.pop_front();
        }
        Run(pending->call);
        {
            const TMutexLock lock(mutex_);
            pending->done = true;
        }
        finished_.notify_all();
    }
}

void TQueueSynchronizer::Detach()
{
    {
        const TMutexLock lock(mutex_);
        detached_ = true;
        queue_.clear();
    }
    finished_.notify_all();
}
