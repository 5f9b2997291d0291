#include "ghost/DirectSstpSend.h"

#include "ghost/FmoRoute.h"
#include "ghost/NinixRoute.h"
#include "ghost/SstpWire.h"
#include "ghost/TcpSstpRoute.h"
#include "log/BottleMessage.h"
#include "platform/DebugOutput.h"
#include "platform/Encoding.h"
#include "platform/Errors.h"

#include <fcntl.h>
#include <unistd.h>

TDirectSSTP::TDirectSSTP(std::shared_ptr<ISynchronizer> synchronizer,
    std::function<std::vector<std::string>()> fmoNames, std::vector<uint16_t> tcpPorts)
    : synchronizer_(std::move(synchronizer))
    , fmoNames_(std::move(fmoNames))
    , reply_(TWindow::Create([this](const TWindowMessage& m) { return ReplyWndProc(m); }))
{
    if (::pipe2(cancel_, O_CLOEXEC | O_NONBLOCK) != 0)
        cancel_[0] = cancel_[1] = -1;
    auto fmo = std::make_unique<TFmoRoute>(reply_->Handle(), cancel_[0]);
    fmo_ = fmo.get();
    routes_.push_back(std::move(fmo));
    routes_.push_back(std::make_unique<TNinixRoute>(cancel_[0]));
    routes_.push_back(std::make_unique<TTcpSstpRoute>(cancel_[0], std::move(tcpPorts)));
    ReloadMappingNames();
    thread_ = std::thread([this] { Execute(); });
}

TDirectSSTP::~TDirectSSTP()
{
    {
        const TMutexLock lock(mutex_);
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
    if (!FitsHeaderLine(request.Ghost) || !FitsHeaderLine(request.Channel)
        || !FitsHeaderLine(request.Script))
        throw EVelmoError(Sjis("改行かNUL文字を含むメッセージは再生できません"));
    const TMutexLock lock(mutex_);
    request.Id = nextId_++;
    queue_.push_back(std::move(request));
}

void TDirectSSTP::ReloadMappingNames()
{
    std::vector<std::string> names
        = fmoNames_ ? fmoNames_() : std::vector<std::string> { "Sakura" };
    const TMutexLock lock(mutex_);
    mappingNames_ = std::move(names);
}

void TDirectSSTP::SetSenderName(std::string name)
{
    const TMutexLock lock(mutex_);
    senderName_ = std::move(name);
}

size_t TDirectSSTP::QueueLength() const
{
    const TMutexLock lock(mutex_);
    return queue_.size();
}

std::string TDirectSSTP::StatusText(const TPlayResult& result)
{
    switch (result.Outcome) {
    case TPlayOutcome::Delivered:
        return Sjis("再生しました: ") + result.Ghost;
    case TPlayOutcome::Refused:
        return Sjis("再生できませんでした: ") + result.Ghost + ": " + result.Reason;
    case TPlayOutcome::Busy:
        return Sjis("再生を待っています: ") + result.Ghost + ": " + result.Reason;
    case TPlayOutcome::NoHost:
    case TPlayOutcome::Sent:
        break;
    }
    return {};
}

int64_t TDirectSSTP::ReplyWndProc(const TWindowMessage& message)
{
    if (message.message != WM_COPYDATA)
        return 0;
    const std::string_view answer
        = std::string_view(message.data).substr(0, message.data.find('\0'));
    // One answer per send: a second answer, or one nobody waits for, changes nothing.
    const TMutexLock lock(mutex_);
    if (!awaiting_)
        return 0;
    const uint64_t id = *awaiting_;
    awaiting_.reset();
    if (answer.starts_with("SSTP/1.4 200 OK") && !queue_.empty() && queue_.front().Id == id)
        queue_.pop_front();
    return 0;
}

void TDirectSSTP::Execute()
{
    for (;;) {
        {
            const TMutexLock lock(mutex_);
            if (!stop_)
                wake_.wait_for(mutex_, std::chrono::milliseconds(kPollMs));
            if (stop_)
                return;
            const auto now = std::chrono::steady_clock::now();
            if (queue_.empty() || now < retryAt_ || (awaiting_ && now < answerDeadline_))
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
        const TMutexLock lock(mutex_);
        if (copied)
            mappingNames_ = names;
        fmo_->SetMappingNames(mappingNames_);
        if (queue_.empty() || stop_)
            return;
        head = queue_.front();
        sender = senderName_;
    }
    // A directory error ends this cycle only (it leaves the routes after it untried, as a host
    // that holds its lock is still starting or busy).
    for (const auto& route : routes_) {
        const bool window = route.get() == fmo_;
        if (window) {
            // Armed before sending: a host may answer before its window message returns.
            const TMutexLock lock(mutex_);
            awaiting_ = head.Id;
            answerDeadline_ = std::chrono::steady_clock::time_point::max();
        }
        TPlayResult result;
        try {
            result = route->Play(head, sender);
        } catch (...) {
            Disarm(head.Id);
            throw;
        }
        if (window && result.Outcome != TPlayOutcome::Sent)
            Disarm(head.Id);
        if (result.Outcome != TPlayOutcome::NoHost) {
            Finish(head, result);
            return;
        }
    }
}

void TDirectSSTP::Disarm(uint64_t id)
{
    const TMutexLock lock(mutex_);
    if (awaiting_ == id)
        awaiting_.reset();
}

void TDirectSSTP::Finish(const TPlayRequest& head, const TPlayResult& result)
{
    {
        const TMutexLock lock(mutex_);
        if (result.Outcome == TPlayOutcome::Sent && awaiting_ == head.Id)
            answerDeadline_
                = std::chrono::steady_clock::now() + std::chrono::milliseconds(kAnswerWaitMs);
        if (result.Outcome == TPlayOutcome::Delivered || result.Outcome == TPlayOutcome::Refused) {
            if (!queue_.empty() && queue_.front().Id == head.Id)
                queue_.pop_front();
        } else if (result.Outcome == TPlayOutcome::Busy) {
            retryAt_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyRetryMs);
        }
    }
    // A busy host is asked again every second: its text is shown once.
    const std::string text = StatusText(result);
    if (text.empty() || (result.Outcome == TPlayOutcome::Busy && text == lastBusy_))
        return;
    lastBusy_ = result.Outcome == TPlayOutcome::Busy ? text : std::string();
    OutputDebugString("Play: " + text);
    synchronizer_->Synchronize([this, &text] {
        if (statusHandler_)
            statusHandler_(text);
    });
}
