#include "app/ViewRunner.h"

#include "platform/Encoding.h"
#include "platform/Errors.h"
#include "platform/Synchronize.h"
#include "platform/Termination.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

#include <thread>

namespace {

// The path with each run of slashes as one, as the browser gives it back.
std::string Collapsed(const std::string& path)
{
    std::string collapsed;
    for (const char c : path)
        if (c != '/' || collapsed.empty() || collapsed.back() != '/')
            collapsed += c;
    return collapsed;
}

} // namespace

TViewRunner::TViewRunner(
    std::shared_ptr<ISynchronizer> synchronizer, TEvents events, QObject* parent)
    : QObject(parent)
    , synchronizer_(std::move(synchronizer))
    , events_(std::move(events))
    , progressTimer_(new QTimer(this))
    , sliceTimer_(new QTimer(this))
    , holdTimer_(new QTimer(this))
{
    progressTimer_->setInterval(100);
    connect(progressTimer_, &QTimer::timeout, this, [this] { SayProgress(); });
    // A pause between slices leaves the browser engine room to load and paint the page shown
    // (back to back slices kept it blank until the last page was written).
    sliceTimer_->setInterval(kPauseMs);
    connect(sliceTimer_, &QTimer::timeout, this, [this] { WriteSlice(); });
    holdTimer_->setSingleShot(true);
    holdTimer_->setInterval(kHoldMs);
    connect(holdTimer_, &QTimer::timeout, this, [this] { PageShown(); });
}

TViewRunner::~TViewRunner()
{
    if (state_)
        state_->cancel = true;
}

void TViewRunner::Gather(const TViewRequest& request, const TViewPlace& place, TViewHooks hooks,
    std::function<void(TGathered& gathered)> done)
{
    if (state_)
        throw EVelmoError("A view is being gathered already");
    auto state = std::make_shared<TState>();
    hooks.progress = [state](size_t bytes) { state->bytes = bytes; };
    hooks.reading = [state](int32_t messages) { state->messages = messages; };
    hooks.cancelled = [state] { return state->cancel.load(); };
    if (hooks.store)
        hooks.store = [state, store = std::move(hooks.store)](const TMessageList& messages) {
            state->messages = messages.Count();
            state->storing = true;
            store(messages);
        };
    state_ = state;
    progressTimer_->start();
    SayProgress();
    if (events_.busyChanged)
        events_.busyChanged();
    QPointer<TViewRunner> self(this);
    std::thread([state, self, synchronizer = synchronizer_, request, place,
                    hooks = std::move(hooks), done = std::move(done)]() mutable {
        auto gathered = std::make_shared<TGathered>();
        try {
            gathered->result = GatherMessages(request, place, hooks, gathered->messages);
        } catch (const std::exception& e) {
            gathered->error = e.what();
        } catch (...) {
            gathered->error = "Unknown error";
        }
        gathered->stopped = !gathered->error.empty() && (state->cancel || TerminationRequested());
        // The worker is released at once; the window takes the outcome between its events.
        synchronizer->Synchronize([&] {
            if (!self)
                return;
            QTimer::singleShot(0, self.data(), [self, state, gathered, done = std::move(done)] {
                if (self->state_ == state) {
                    self->state_.reset();
                    self->progressTimer_->stop();
                }
                if (self->events_.busyChanged)
                    self->events_.busyChanged();
                done(*gathered);
            });
        });
        // What the hooks hold (the store's own archive connection) goes on this thread.
        hooks = {};
    }).detach();
}

bool TViewRunner::Cancel()
{
    if (state_) {
        state_->cancel = true;
        if (events_.status)
            events_.status(Sjis("中止しています..."));
        return true;
    }
    if (writer_) {
        StopPages();
        if (events_.status)
            events_.status(Sjis("ページの書き込みを中止しました"));
        return true;
    }
    return false;
}

void TViewRunner::SayProgress()
{
    if (!state_ || !events_.status || state_->cancel)
        return;
    const int32_t messages = state_->messages;
    if (state_->storing) {
        events_.status(
            Sjis("アーカイブに保存しています: ") + std::to_string(messages) + Sjis(" 件"));
        return;
    }
    events_.status(messages >= 0
            ? Sjis("ログを読んでいます: ") + std::to_string(messages) + Sjis(" 件 (Escで中止)")
            : Sjis("ログを受信しています: ") + std::to_string(state_->bytes.load())
                + Sjis(" バイト (Escで中止)"));
}

void TViewRunner::WritePages(const TMessageList& list, const TPageSettings& settings,
    TSsParser& parser, TSurfaces& surfaces, TPageEvents events)
{
    StopPages();
    settings_ = settings;
    pageEvents_ = std::move(events);
    wanted_ = 0;
    auto writer = std::make_unique<TPageWriter>(list, settings_, parser, surfaces);
    writer->Write(1);
    writer->Flush();
    writer_ = std::move(writer);
    if (pageEvents_.show)
        pageEvents_.show(PagePath(settings_, 1), 1);
    if (events_.busyChanged)
        events_.busyChanged();
    holdTimer_->start();
}

void TViewRunner::PageShown()
{
    holdTimer_->stop();
    if (writer_ && !sliceTimer_->isActive())
        sliceTimer_->start();
}

bool TViewRunner::Want(const std::string& path)
{
    if (!writer_)
        return false;
    const size_t slash = path.rfind('/');
    const int32_t page
        = PageNumberOf(slash == std::string::npos ? path : path.substr(slash + 1)).value_or(0);
    if (page < 1 || page > writer_->PageTotal()
        || Collapsed(path) != Collapsed(PagePath(settings_, page)))
        return false;
    if (writer_->Written(page)) {
        writer_->Flush();
        return false;
    }
    wanted_ = page;
    return true;
}

void TViewRunner::WriteSlice()
{
    if (!writer_)
        return;
    QElapsedTimer slice;
    slice.start();
    try {
        do {
            if (wanted_ != 0) {
                const int32_t page = std::exchange(wanted_, 0);
                writer_->Write(page);
                writer_->Flush();
                if (pageEvents_.show)
                    pageEvents_.show(PagePath(settings_, page), page);
                if (!writer_)
                    return; // the show began another view
            } else if (!writer_->WriteNext()) {
                break;
            }
        } while (slice.elapsed() < kSliceMs);
        if (!writer_->Done()) {
            if (events_.status)
                events_.status(Sjis("ページを書いています: ")
                    + std::to_string(writer_->WrittenCount()) + "/"
                    + std::to_string(writer_->PageTotal()));
            return;
        }
        writer_->Finish();
    } catch (const std::exception& e) {
        const TPageEvents events = pageEvents_;
        EndWriting();
        if (events.failed)
            events.failed(e.what());
        return;
    }
    const TPageEvents events = pageEvents_;
    EndWriting();
    if (events.done)
        events.done();
}

void TViewRunner::StopPages()
{
    if (writer_)
        EndWriting();
}

void TViewRunner::EndWriting()
{
    sliceTimer_->stop();
    holdTimer_->stop();
    wanted_ = 0;
    writer_.reset();
    pageEvents_ = {};
    if (events_.busyChanged)
        events_.busyChanged();
}
