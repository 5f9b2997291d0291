#include "ghost/DirectSstpSend.h"

#include "log/BottleMessage.h"
#include "platform/DebugOutput.h"
#include "platform/Encoding.h"
#include "platform/Errors.h"

#include <fcntl.h>
#include <unistd.h>

TDirectSSTP::TDirectSSTP(
    std::shared_ptr<ISynchronizer> synchronizer, std::function<std::vector<std::string>()> fmoNames)
    : synchronizer_(std::move(synchronizer))
    , fmoNames_(std::move(fmoNames))
    , reply_(TWindow::Create([this](const TWindowMessage& m) { return ReplyWndProc(m); }))
{
    if (::pipe2(cancel_, O_CLOEXEC | O_NONBLOCK) != 0)
        cancel_[0] = cancel_[1] = -1;
    seeker_.CancelFd = cancel_[0];
    ReloadMappingNames();
    thread_ = std::thread([this] { Execute(); });
}

TDirectSSTP::~TDirectSSTP()
{
    {
        const std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(cancel_[1], &byte, 1);
    thread_.join();
    for (const int fd : cancel_)
        if (fd >= 0)
            ::close(fd);
}

void TDirectSSTP::Enqueue(const TBottleMessage& message)
{
    Enqueue(TPlayRequest { message.Ghost, message.Channel, message.Script });
}

void TDirectSSTP::Enqueue(TPlayRequest request)
{
    if (request.Script.size() > kMaxScriptBytes)
        throw EVelmoError(Sjis("スクリプトが大きすぎて再生できません (")
            + std::to_string(request.Script.size()) + Sjis(" バイト、上限 ")
            + std::to_string(kMaxScriptBytes) + Sjis(" バイト)"));
    const std::lock_guard lock(mutex_);
    queue_.push_back(std::move(request));
}

void TDirectSSTP::ReloadMappingNames()
{
    std::vector<std::string> names
        = fmoNames_ ? fmoNames_() : std::vector<std::string> { "Sakura" };
    const std::lock_guard lock(mutex_);
    mappingNames_ = std::move(names);
}

void TDirectSSTP::SetSenderName(std::string name)
{
    const std::lock_guard lock(mutex_);
    senderName_ = std::move(name);
}

size_t TDirectSSTP::QueueLength() const
{
    const std::lock_guard lock(mutex_);
    return queue_.size();
}

std::string TDirectSSTP::RequestText(const TPlayRequest& request, const std::string& senderName,
    const std::string& namePair, uint32_t replyWindow)
{
    return "SEND SSTP/1.4\r\nCharset: Shift_JIS\r\nSender:  " + request.Ghost + "/"
        + request.Channel + "/" + senderName + "\r\nIfGhost: " + namePair
        + "\r\nScript: " + request.Script + "\r\nHWnd: " + std::to_string(replyWindow)
        + "\r\nX-Bottle-IfGhost: " + request.Ghost + "\r\n\r\n";
}

int64_t TDirectSSTP::ReplyWndProc(const TWindowMessage& message)
{
    if (message.message != WM_COPYDATA)
        return 0;
    const std::string_view answer
        = std::string_view(message.data).substr(0, message.data.find('\0'));
    if (answer.starts_with("SSTP/1.4 200 OK")) {
        const std::lock_guard lock(mutex_);
        if (!queue_.empty())
            queue_.pop_front();
    }
    return 0;
}

void TDirectSSTP::Execute()
{
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            wake_.wait_for(lock, std::chrono::milliseconds(kPollMs), [this] { return stop_; });
            if (stop_)
                return;
            if (queue_.empty())
                continue;
        }
        // Nothing may leave the thread: a failed cycle is reported and the next one tries again.
        try {
            DeliverHead();
        } catch (const std::exception& e) {
            OutputDebugString(std::string("Direct SSTP: ") + e.what());
        }
    }
}

void TDirectSSTP::DeliverHead()
{
    std::vector<std::string> names;
    bool copied = false;
    synchronizer_->Synchronize([&] {
        names = fmoNames_ ? fmoNames_() : std::vector<std::string> {};
        copied = true;
    });
    TPlayRequest head;
    std::string sender;
    {
        const std::lock_guard lock(mutex_);
        if (copied)
            mappingNames_ = names;
        seeker_.FileMappingTarget = mappingNames_;
        if (queue_.empty() || stop_)
            return;
        head = queue_.front();
        sender = senderName_;
    }
    seeker_.Detect(); // a directory error ends this cycle only
    const TSakuraProcess* ghost = seeker_.ProcessByName(head.Ghost);
    if (!ghost && seeker_.Count() > 0)
        ghost = &seeker_.Processes(0);
    const uint32_t window = ghost ? ghost->HWnd() : 0;
    const std::string text
        = RequestText(head, sender, ghost ? ghost->NamePair() : std::string(), ReplyWindow());
    if (window != 0)
        SendMessageTimeout(
            window, WM_COPYDATA, ReplyWindow(), kDirectSstpId, text, kSendTimeoutMs, cancel_[0]);
}
