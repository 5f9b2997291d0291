#pragma once

#include "ghost/SakuraSeeker.h"
#include "platform/Synchronize.h"
#include "platform/Window.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TBottleMessage;

// A play request: its own copies of the message's texts, so it stays valid when the log view
// that showed the message is replaced.
struct TPlayRequest
{
    std::string Ghost;
    std::string Channel;
    std::string Script;
};

// Replays messages on a local ghost by Direct SSTP. A thread of its own polls the queue every
// 100 ms; for the request at its head it reads the ghost directory (mapping names copied from the
// main window on the GUI thread), picks the ghost (by name, else the first one), and sends
// "SEND SSTP/1.4" as WM_COPYDATA (dwData 9801) to the ghost's window, waiting at most 50 s. Only
// an answer to the reply window that begins "SSTP/1.4 200 OK" removes the head; until then it is
// sent again every cycle. A directory that cannot be read is tried again next cycle. The reply
// window is serviced on the GUI thread (ReplyFd / ProcessReplies). Destruction wakes a pending
// send and ends the thread promptly.
class TDirectSSTP
{
public:
    static constexpr uint32_t kDirectSstpId = 9801;
    static constexpr int kSendTimeoutMs = 50000;
    static constexpr int kPollMs = 100;

    // GUI thread. fmoNames runs on the GUI thread (through the synchroniser) before each delivery.
    // Throws EVelmoError when the reply window cannot be made.
    TDirectSSTP(std::shared_ptr<ISynchronizer> synchronizer,
        std::function<std::vector<std::string>()> fmoNames);
    ~TDirectSSTP();
    TDirectSSTP(const TDirectSSTP&) = delete;
    TDirectSSTP& operator=(const TDirectSSTP&) = delete;

    // The largest script a play request may carry; a window message holds it with its request
    // lines.
    static constexpr size_t kMaxScriptBytes = 1 << 20;

    // GUI thread. A script over kMaxScriptBytes is refused with EVelmoError and never queued, so
    // the queue cannot stall behind a request no window could take.
    void Enqueue(const TBottleMessage& message);
    void Enqueue(TPlayRequest request);
    void ReloadMappingNames();
    void SetSenderName(std::string name);
    size_t QueueLength() const;

    // The reply window, serviced on the GUI thread.
    uint32_t ReplyWindow() const { return reply_->Handle(); }
    int ReplyFd() const { return reply_->Fd(); }
    void ProcessReplies() { reply_->Process(); }
    int64_t ReplyWndProc(const TWindowMessage& message);

    // The request text: eight lines, each ended by CR LF, the last one empty.
    static std::string RequestText(const TPlayRequest& request, const std::string& senderName,
        const std::string& namePair, uint32_t replyWindow);

private:
    void Execute();
    void DeliverHead();

    std::shared_ptr<ISynchronizer> synchronizer_;
    std::function<std::vector<std::string>()> fmoNames_;
    std::unique_ptr<TWindow> reply_;
    TSakuraSeeker seeker_; // the delivery thread's own

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<TPlayRequest> queue_; // guarded by mutex_
    std::vector<std::string> mappingNames_; // guarded by mutex_
    std::string senderName_ = "Velmo 2"; // guarded by mutex_
    bool stop_ = false; // guarded by mutex_
    int cancel_[2] = { -1, -1 }; // written once to wake a pending send
    std::thread thread_;
};
