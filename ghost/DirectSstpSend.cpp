#include "ghost/DirectSstpSend.h"

#include "ghost/FmoRoute.h"
#include "ghost/NinixRoute.h"
#include "ghost/SstpWire.h"
#include "ghost/TcpSstpRoute.h"
#include "platform/DebugOutput.h"
#include "platform/Encoding.h"
#include "platform/Errors.h"

#include <fcntl.h>
#include <unistd.h>

TDirectSSTP::TDirectSSTP(std::shared_ptr<ISynchronizer> synchronizer,
    std::function<std::vector<std::string>()> fmoNames, std::vector<uint16_t> tcpPorts,
    TPlayLimits limits)
    : synchronizer_(std::move(synchronizer))
    , fmoNames_(std::move(fmoNames))
    , reply_(TWindow::Create([this](const TWindowMessage& m) { return ReplyWndProc(m); }))
    , limits_(limits)
{
    if (::pipe2(cancel_, O_CLOEXEC | O_NONBLOCK) != 0)
        cancel_[0] = cancel_[1] = -1;
    auto fmo = std::make_unique<TFmoRoute>(
        reply_->Handle(), cancel_[0], static_cast<int>(limits_.LockWait.count()));
    fmo_ = fmo.get();
    fmo->OnSend = [this](const TPlayResult& chosen) {
        const TMutexLock lock(mutex_);
        awaitingSend_ = chosen;
    };
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
    request.Deadline = std::chrono::steady_clock::now() + limits_.GiveUpAfter;
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
    const std::string ghost = result.Ghost.empty() ? std::string() : result.Ghost + ": ";
    switch (result.Outcome) {
    case TPlayOutcome::Delivered:
        return Sjis("再生しました: ") + result.Ghost
            + (result.Route.empty() ? std::string() : " (" + result.Route + ")");
    case TPlayOutcome::Refused:
        return Sjis("再生できませんでした: ") + ghost + result.Reason;
    case TPlayOutcome::Busy:
        return Sjis("再生待ち: ") + ghost + result.Reason;
    case TPlayOutcome::NoHost:
        return Sjis("再生待ち: 起動中のゴーストが見つかりません");
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
    std::string text;
    {
        // One answer per send: a second answer, or one nobody waits for, changes nothing.
        const TMutexLock lock(mutex_);
        if (!awaiting_)
            return 0;
        const uint64_t id = *awaiting_;
        awaiting_.reset();
        TPlayResult result = AnswerResult(answer, THostKind::Window, awaitingSend_.Ghost);
        result.Route = awaitingSend_.Route;
        text = Settle(id, result);
    }
    if (!text.empty()) {
        OutputDebugString("Play: " + text);
        if (statusHandler_)
            statusHandler_(text);
    }
    return 0;
}

void TDirectSSTP::Execute()
{
    for (;;) {
        std::string text;
        bool due = false;
        {
            const TMutexLock lock(mutex_);
            if (!stop_)
                wake_.wait_for(mutex_, std::chrono::milliseconds(kPollMs));
            if (stop_)
                return;
            due = HeadDue(text);
        }
        Announce(text);
        if (!due)
            continue;
        // Nothing may leave the thread: a failed try is reported, and the play waits as for a
        // busy host.
        try {
            DeliverHead();
        } catch (const std::exception& e) {
            OutputDebugString(std::string("Direct SSTP: ") + e.what());
            const TMutexLock lock(mutex_);
            retryAt_ = std::chrono::steady_clock::now() + limits_.RetryEvery;
        }
    }
}

bool TDirectSSTP::HeadDue(std::string& text)
{
    if (queue_.empty())
        return false;
    const TPlayRequest& head = queue_.front();
    const auto now = std::chrono::steady_clock::now();
    if (now >= head.Deadline) {
        const auto seconds
            = (limits_.GiveUpAfter + std::chrono::milliseconds(999)) / std::chrono::seconds(1);
        TPlayResult dropped { TPlayOutcome::Refused,
            awaiting_ == head.Id ? awaitingSend_.Ghost : head.Ghost,
            std::to_string(seconds) + Sjis(" 秒以内に届けられませんでした"), {} };
        if (dropped.Ghost.empty())
            dropped.Ghost = head.Ghost;
        text = Settle(head.Id, dropped);
        return false;
    }
    if (awaiting_ == head.Id && !answerOverdue_) {
        if (now < answerDeadline_)
            return false;
        // The play now waits as for a busy host; an answer that comes before the next send still
        // counts.
        answerOverdue_ = true;
        TPlayResult unanswered = awaitingSend_;
        unanswered.Outcome = TPlayOutcome::Busy;
        unanswered.Reason = Sjis("応答がありません");
        text = Settle(head.Id, unanswered);
        return false;
    }
    return now >= retryAt_;
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
    TPlayResult result;
    for (const auto& route : routes_) {
        const bool window = route.get() == fmo_;
        if (window) {
            // Armed before sending: a host may answer before its window message returns.
            const TMutexLock lock(mutex_);
            awaiting_ = head.Id;
            awaitingSend_ = {};
            answerDeadline_ = std::chrono::steady_clock::time_point::max();
            answerOverdue_ = false;
        }
        try {
            result = route->Play(head, sender);
        } catch (const EVelmoError& e) {
            // A directory that cannot be read now (its lock held past the limit) leaves the
            // routes after it untried: a host that holds its lock is still starting or busy.
            Disarm(head.Id);
            result
                = { TPlayOutcome::Busy, {}, Sjis("ゴーストの一覧を読めません: ") + e.what(), {} };
            break;
        } catch (...) {
            Disarm(head.Id);
            throw;
        }
        if (window && result.Outcome != TPlayOutcome::Sent)
            Disarm(head.Id);
        if (result.Outcome != TPlayOutcome::NoHost)
            break;
    }
    std::string text;
    {
        const TMutexLock lock(mutex_);
        text = Settle(head.Id, result);
    }
    Announce(text);
}

void TDirectSSTP::Disarm(uint64_t id)
{
    const TMutexLock lock(mutex_);
    if (awaiting_ == id)
        awaiting_.reset();
}

std::string TDirectSSTP::Settle(uint64_t id, const TPlayResult& result)
{
    if (queue_.empty() || queue_.front().Id != id)
        return {}; // already answered, or dropped
    const auto now = std::chrono::steady_clock::now();
    switch (result.Outcome) {
    case TPlayOutcome::Sent:
        if (awaiting_ == id)
            answerDeadline_ = now + limits_.AnswerWait;
        return {};
    case TPlayOutcome::Delivered:
    case TPlayOutcome::Refused:
        queue_.pop_front();
        if (awaiting_ == id)
            awaiting_.reset();
        retryAt_ = {};
        lastWaiting_.clear();
        return StatusText(result);
    case TPlayOutcome::Busy:
    case TPlayOutcome::NoHost:
        break;
    }
    // A waiting play is tried every RetryEvery: what it waits on is said when that changes.
    retryAt_ = now + limits_.RetryEvery;
    std::string text = StatusText(result);
    if (text == lastWaiting_)
        return {};
    lastWaiting_ = text;
    return text;
}

void TDirectSSTP::Announce(const std::string& text)
{
    if (text.empty())
        return;
    OutputDebugString("Play: " + text);
    synchronizer_->Synchronize([this, &text] {
        if (statusHandler_)
            statusHandler_(text);
    });
}
