#pragma once

#include "platform/Mutex.h"
#include "platform/Synchronize.h"

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <thread>

// The synchroniser between worker threads and the GUI thread, without any GUI library: a worker's
// call waits in a queue and a byte is written to a pipe; the GUI thread watches the pipe's read
// end (WakeFd) and runs the waiting calls in ProcessPending, each once, in arrival order, while
// their workers wait. After Detach (the window is going away) every waiting and later call is
// dropped and its worker goes on at once. Share it with std::shared_ptr: a worker that outlives
// the window keeps it alive, and it may be destroyed on any thread.
class TQueueSynchronizer : public ISynchronizer
{
public:
    // The creating thread is the GUI thread. onError receives the text of an exception a call
    // throws (it runs on the GUI thread).
    explicit TQueueSynchronizer(std::function<void(const std::string&)> onError = {});
    ~TQueueSynchronizer() override;
    TQueueSynchronizer(const TQueueSynchronizer&) = delete;
    TQueueSynchronizer& operator=(const TQueueSynchronizer&) = delete;

    // Any thread: runs the call on the GUI thread and waits for it; on the GUI thread itself it
    // runs the call at once. Returns without running it once detached.
    void Synchronize(const std::function<void()>& call) override;

    // GUI thread: readable while calls wait.
    int WakeFd() const { return pipe_[0]; }
    // GUI thread: runs the calls waiting now, and those arriving before it is done. Called again
    // from inside one of them, it returns at once.
    void ProcessPending();
    // GUI thread: drops every waiting and later call.
    void Detach();

private:
    struct Pending
    {
        std::function<void()> call;
        bool done = false; // under the synchroniser's mutex_
    };
    void Run(const std::function<void()>& call);

    const std::thread::id guiThread_;
    std::function<void(const std::string&)> onError_;
    int pipe_[2] = { -1, -1 };
    TMutex mutex_;
    TCondition finished_;
    std::deque<std::shared_ptr<Pending>> queue_ GUARDED_BY(mutex_);
    bool detached_ GUARDED_BY(mutex_) = false;
    bool processing_ = false; // GUI thread only
};
