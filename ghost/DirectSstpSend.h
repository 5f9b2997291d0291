#pragma once

#include "ghost/PlayRoute.h"
#include "ghost/SakuraSeeker.h"
#include "platform/Mutex.h"
#include "platform/Synchronize.h"
#include "platform/Window.h"

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class TFmoRoute;

// How long a play may take, the same for every route.
struct TPlayLimits
{
    // From queuing to delivery; past it the play is dropped.
    std::chrono::milliseconds GiveUpAfter { 60000 };
    // Between two tries of a play that waits.
    std::chrono::milliseconds RetryEvery { 1000 };
    // How long a window message's answer is waited for before the play counts as unanswered.
    std::chrono::milliseconds AnswerWait { 2000 };
    // How long one try waits for the ghost directory's lock.
    std::chrono::milliseconds LockWait { TSakuraSeeker::kLockTimeoutMs };
};

// Replays messages on local ghosts. A thread of its own polls the queue every 100 ms and offers
// the request at its head to each route in turn until one finds a ghost:
//  1. the ghost directory in named shared memory (mapping names copied from the main window on
//     the GUI thread) and WM_COPYDATA to the ghost's window; the reply window takes one answer
//     per send, for the request it was sent for, and one that has not come within AnswerWait
//     counts as no answer (a late one still counts until the next send; a host that answers twice
//     cannot decide the next request);
//  2. a running ninix-kagari, over its sockets;
//  3. an SSTP host on loopback TCP.
// Every play ends, by the same rules on every route (Settle; what an answer means: AnswerResult):
//  - delivered: removed, and the status bar says where it played ("再生しました: <ghost>
//  (<route>)");
//  - refused by the host: dropped, and the status bar says why ("再生できませんでした: ...");
//  - waiting (a busy host, no answer in time, a directory whose lock is held, no ghost host
//    running): tried again at most once per RetryEvery, and the status bar says what it waits
//    on when that changes ("再生待ち: ...");
//  - not delivered within GiveUpAfter of being queued: dropped, and the status bar says so. Every
//    wait of a route is cut to that deadline, so a play holds up the plays behind it for at most
//    its own time limit.
// The reply window is serviced on the GUI thread (ReplyFd / ProcessReplies). Destruction wakes a
// pending send and ends the thread promptly.
class TDirectSSTP
{
public:
    static constexpr int kPollMs = 100;

    // GUI thread. fmoNames runs on the GUI thread (through the synchroniser) before each delivery.
    // tcpPorts are the loopback ports tried for an SSTP host. Throws EVelmoError when the reply
    // window cannot be made.
    TDirectSSTP(std::shared_ptr<ISynchronizer> synchronizer,
        std::function<std::vector<std::string>()> fmoNames,
        std::vector<uint16_t> tcpPorts = { 9801, 9821 }, TPlayLimits limits = {});
    ~TDirectSSTP();
    TDirectSSTP(const TDirectSSTP&) = delete;
    TDirectSSTP& operator=(const TDirectSSTP&) = delete;

    // The largest script a play request may carry; a window message holds it with its request
    // lines.
    static constexpr size_t kMaxScriptBytes = 1 << 20;

    // GUI thread. A script over kMaxScriptBytes is refused with EVelmoError and never queued, so
    // the queue cannot stall behind a request no window could take; so is a request whose texts
    // hold a line break or a NUL, which would end its header line and pass for headers.
    void Enqueue(TPlayRequest request);
    void ReloadMappingNames();
    void SetSenderName(std::string name);
    size_t QueueLength() const;
    // GUI thread: receives the status texts ("再生しました: <ghost>", ...) on the GUI thread.
    void SetStatusHandler(std::function<void(const std::string&)> handler)
    {
        statusHandler_ = std::move(handler);
    }
    // The status bar's text for a route's result; empty when there is nothing to say.
    static std::string StatusText(const TPlayResult& result);

    // The reply window, serviced on the GUI thread.
    uint32_t ReplyWindow() const { return reply_->Handle(); }
    int ReplyFd() const { return reply_->Fd(); }
    void ProcessReplies() { reply_->Process(); }
    int64_t ReplyWndProc(const TWindowMessage& message);

private:
    void Execute();
    // Whether the head is due for a try now; drops it past its deadline, and marks an overdue
    // answer. `text` receives what the status bar should say.
    bool HeadDue(std::string& text) REQUIRES(mutex_);
    void DeliverHead();
    // Applies the rules above to the request `id` (when it is still the head) after `result`;
    // returns what the status bar should say, empty when nothing new.
    std::string Settle(uint64_t id, const TPlayResult& result) REQUIRES(mutex_);
    // Delivery thread: shows a status text on the GUI thread.
    void Announce(const std::string& text);
    // The window route found no ghost: no answer is waited for.
    void Disarm(uint64_t id);

    std::shared_ptr<ISynchronizer> synchronizer_;
    std::function<std::vector<std::string>()> fmoNames_;
    std::function<void(const std::string&)> statusHandler_; // GUI thread only
    std::unique_ptr<TWindow> reply_;
    // The delivery thread's own, in the order they are tried; the first is the directory's.
    std::vector<std::unique_ptr<IPlayRoute>> routes_;
    TFmoRoute* fmo_ = nullptr;
    const TPlayLimits limits_;

    mutable TMutex mutex_;
    TCondition wake_;
    std::deque<TPlayRequest> queue_ GUARDED_BY(mutex_);
    std::vector<std::string> mappingNames_ GUARDED_BY(mutex_);
    std::string senderName_ GUARDED_BY(mutex_) = "Velmo 2";
    bool stop_ GUARDED_BY(mutex_) = false;
    uint64_t nextId_ GUARDED_BY(mutex_) = 1;
    std::chrono::steady_clock::time_point retryAt_ GUARDED_BY(mutex_) {};
    std::string lastWaiting_ GUARDED_BY(mutex_); // the waiting text shown last for the head
    // The request a window message went out for, whose one answer the reply window may take,
    // where it went, and until when that answer is waited for.
    std::optional<uint64_t> awaiting_ GUARDED_BY(mutex_);
    TPlayResult awaitingSend_ GUARDED_BY(mutex_);
    std::chrono::steady_clock::time_point answerDeadline_ GUARDED_BY(mutex_) {};
    bool answerOverdue_ GUARDED_BY(mutex_) = false;
    int cancel_[2] = { -1, -1 }; // written once to wake a pending send
    std::thread thread_;
};
