#pragma once

#include "ghost/PlayRoute.h"
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

class TBottleMessage;
class TFmoRoute;

// Replays messages on local ghosts. A thread of its own polls the queue every 100 ms and offers
// the request at its head to each route in turn until one finds a ghost:
//  1. the ghost directory in named shared memory (mapping names copied from the main window on
//     the GUI thread) and WM_COPYDATA to the ghost's window; the reply window takes one answer
//     per send, and an answer that begins "SSTP/1.4 200 OK" removes the request it was sent for.
//     Without an answer the request is sent again after 2 s (a late answer arrives in time, and
//     a host that answers twice cannot remove the next request unplayed);
//  2. a running ninix-kagari, over its sockets;
//  3. an SSTP host on loopback TCP.
// The socket routes answer at once: delivered or refused removes the head (and the status bar
// says so), busy keeps it and waits a second before the next try. A directory that cannot be read
// is tried again next cycle. The reply window is serviced on the GUI thread (ReplyFd /
// ProcessReplies). Destruction wakes a pending send and ends the thread promptly.
class TDirectSSTP
{
public:
    static constexpr int kPollMs = 100;
    static constexpr int kBusyRetryMs = 1000;
    // How long a window message's answer is waited for before the request is sent again.
    static constexpr int kAnswerWaitMs = 2000;

    // GUI thread. fmoNames runs on the GUI thread (through the synchroniser) before each delivery.
    // tcpPorts are the loopback ports tried for an SSTP host. Throws EVelmoError when the reply
    // window cannot be made.
    TDirectSSTP(std::shared_ptr<ISynchronizer> synchronizer,
        std::function<std::vector<std::string>()> fmoNames,
        std::vector<uint16_t> tcpPorts = { 9801, 9821 });
    ~TDirectSSTP();
    TDirectSSTP(const TDirectSSTP&) = delete;
    TDirectSSTP& operator=(const TDirectSSTP&) = delete;

    // The largest script a play request may carry; a window message holds it with its request
    // lines.
    static constexpr size_t kMaxScriptBytes = 1 << 20;

    // GUI thread. A script over kMaxScriptBytes is refused with EVelmoError and never queued, so
    // the queue cannot stall behind a request no window could take; so is a request whose texts
    // hold a line break or a NUL, which would end its header line and pass for headers.
    void Enqueue(const TBottleMessage& message);
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
    void DeliverHead();
    // After a route's answer: removes the request it answered, and tells the status bar.
    void Finish(const TPlayRequest& head, const TPlayResult& result);
    // The window route found no ghost: no answer is waited for.
    void Disarm(uint64_t id);

    std::shared_ptr<ISynchronizer> synchronizer_;
    std::function<std::vector<std::string>()> fmoNames_;
    std::function<void(const std::string&)> statusHandler_; // GUI thread only
    std::unique_ptr<TWindow> reply_;
    // The delivery thread's own, in the order they are tried; the first is the directory's.
    std::vector<std::unique_ptr<IPlayRoute>> routes_;
    TFmoRoute* fmo_ = nullptr;
    std::string lastBusy_; // the delivery thread's

    mutable TMutex mutex_;
    TCondition wake_;
    std::deque<TPlayRequest> queue_ GUARDED_BY(mutex_);
    std::vector<std::string> mappingNames_ GUARDED_BY(mutex_);
    std::string senderName_ GUARDED_BY(mutex_) = "Velmo 2";
    bool stop_ GUARDED_BY(mutex_) = false;
    uint64_t nextId_ GUARDED_BY(mutex_) = 1;
    std::chrono::steady_clock::time_point retryAt_ GUARDED_BY(mutex_) {};
    // The request a window message went out for, whose one answer the reply window may take,
    // and until when the next send waits for that answer.
    std::optional<uint64_t> awaiting_ GUARDED_BY(mutex_);
    std::chrono::steady_clock::time_point answerDeadline_ GUARDED_BY(mutex_) {};
    int cancel_[2] = { -1, -1 }; // written once to wake a pending send
    std::thread thread_;
};
