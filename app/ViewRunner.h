#pragma once

#include "app/LogView.h"
#include "log/MessageList.h"
#include "render/PageWriter.h"

#include <QObject>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class ISynchronizer;
class QTimer;
class TSsParser;
class TSurfaces;

// What gathering a view's messages on the worker came to.
struct TGathered
{
    TMessageList messages;
    TViewResult result;
    std::string error; // the failure's text; empty when the messages were gathered
    bool stopped = false; // the failure was a cancel, or the program ending
};

// A view in the background, so that the window never freezes: the messages are gathered (the
// download, the reading and the store) on a thread of their own, and the pages are written on the
// GUI thread in short slices between its events, the first at once and a page the person asks for
// next. The worker reaches the window only through the synchronizer; once the window is gone its
// outcome is dropped. GUI thread only.
class TViewRunner : public QObject
{
    Q_OBJECT

public:
    // How long one slice of page writing may hold the GUI thread, about.
    static constexpr int kSliceMs = 15;
    // The pause between two slices.
    static constexpr int kPauseMs = 10;
    // How long the rest of the pages wait for the first to be shown, at most.
    static constexpr int kHoldMs = 2000;

    struct TEvents
    {
        // What the status bar should say of the work under way.
        std::function<void(const std::string& text)> status;
        // The runner has started or ended work (gathering or writing pages).
        std::function<void()> busyChanged;
    };
    struct TPageEvents
    {
        // Page n is on the disk and is to be shown: the first, then each one asked for by Want.
        std::function<void(const std::string& path, int32_t page)> show;
        // Every page is written (and the stale ones removed).
        std::function<void()> done;
        // Writing stopped on a failure (a page that cannot be written, the program ending).
        std::function<void(const std::string& text)> failed;
    };

    TViewRunner(std::shared_ptr<ISynchronizer> synchronizer, TEvents events, QObject* parent);
    // Cancels the gathering (its worker ends on its own, and its outcome is dropped) and stops
    // the writing.
    ~TViewRunner() override;

    bool Gathering() const { return state_ != nullptr; }
    bool Writing() const { return writer_ != nullptr; }
    bool Busy() const { return Gathering() || Writing(); }

    // Runs GatherMessages on a thread of its own with the hooks given (their progress, reading
    // and cancelled are the runner's; store and recall must be safe on that thread). done runs
    // once on the GUI thread, after the worker is released, unless the runner is gone by then.
    // Only when not Gathering.
    void Gather(const TViewRequest& request, const TViewPlace& place, TViewHooks hooks,
        std::function<void(TGathered& gathered)> done);
    // Stops the gathering (no view changes) or else the writing; false when there was nothing
    // to stop.
    bool Cancel();

    // Writes the list's pages: the first before it returns (shown through events.show), the rest
    // in slices once it has been shown (PageShown, or kHoldMs at most: the browser engine needs
    // the GUI thread to load and paint it). The list, parser and surfaces must stay as they are
    // until the writing ends or is stopped. Any writing under way is stopped first. Throws what the
    // first page throws.
    void WritePages(const TMessageList& list, const TPageSettings& settings, TSsParser& parser,
        TSurfaces& surfaces, TPageEvents events);
    // A page of the writing that is not on the disk yet: it is written next and shown through
    // events.show; true. False for any other path (which may be loaded as it is).
    bool Want(const std::string& path);
    // The page last asked for has loaded in the browser.
    void PageShown();
    // Stops the writing; the pages written stay.
    void StopPages();

private:
    struct TState
    {
        std::atomic<size_t> bytes { 0 };
        std::atomic<int32_t> messages { -1 }; // -1 until reading starts
        std::atomic<bool> storing { false };
        std::atomic<bool> cancel { false };
    };
    void SayProgress();
    void WriteSlice();
    void EndWriting();

    std::shared_ptr<ISynchronizer> synchronizer_;
    TEvents events_;
    std::shared_ptr<TState> state_; // while gathering
    QTimer* progressTimer_ = nullptr;
    QTimer* sliceTimer_ = nullptr;
    QTimer* holdTimer_ = nullptr;
    std::unique_ptr<TPageWriter> writer_; // while writing
    TPageSettings settings_;
    TPageEvents pageEvents_;
    int32_t wanted_ = 0;
};
