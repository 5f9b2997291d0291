#pragma once

#include "archive/Query.h"
#include "log/BottleServer.h"
#include "log/LogRequest.h"
#include "log/LogText.h"
#include "platform/AppFolders.h"
#include "platform/FileDialog.h"
#include "render/PageWriter.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

class TMessageList;
class TSsParser;
class TSurfaces;

// The one road every log view takes: the request, the log text (a download from the bottle server,
// with its progress and a cancel, or a file) or the messages a search of the archive found, the
// reader, the store, the pages, and the first page to show. The window's menu commands, the command
// line and the tests all run views through it; the window only gathers the request and shows the
// outcome. No Qt.

enum class TViewSource {
    Server, // the bottle server's log for a request (ログ表示, 続きを表示, the command line)
    LocalLog, // a fetched-log file (ローカルログ表示)
    SentLog, // a Sent.log file the person chooses (Sent.logを表示)
    Search, // the archive's messages a query finds (the search field, the command line)
};

struct TViewRequest
{
    TViewSource source = TViewSource::Server;
    TLogRequest log; // Server
    std::string path; // LocalLog
    IOpenDialog* chooser = nullptr; // SentLog: asks for the file; must outlive the run
    TQuery query; // Search
    // A view with no messages stops before its pages (no plug-in reload, nothing to show). The
    // local log view and the command line write their (no) pages and show the first all the same.
    bool stopWhenEmpty = true;
};

// What the road calls back on the way; every member may be empty. All run on the thread that
// gathers the messages.
struct TViewHooks
{
    // Bytes of the log received so far, as they arrive.
    std::function<void(size_t bytes)> progress;
    // Messages of the downloaded log read so far, as the reading goes on.
    std::function<void(int32_t messages)> reading;
    // Asked while the download runs (and while it is read): true stops it with
    // "受信を中止しました".
    std::function<bool()> cancelled;
    // The messages just read, before their pages are written: where they are kept.
    std::function<void(const TMessageList& messages)> store;
    // When the server cannot be reached: fills the list with the messages kept for the request's
    // stretch. With none, the download's failure stands.
    std::function<void(const TLogRequest& request, TMessageList& messages)> recall;
    // A search: appends the messages the query finds, in time order. They come from the archive,
    // so the store is not asked to keep them again. Without it a search finds nothing.
    std::function<void(const TQuery& query, TMessageList& messages)> search;
};

// Where a view's texts come from and its pages go.
struct TViewPlace
{
    TBottleServer server;
    TAppFolders folders;
    TPageSettings pages;
};

enum class TViewOutcome {
    Pages, // pages written; firstPage names the first
    NoMessages, // read, but nothing to show (stopWhenEmpty): no page written
    NotALog, // the server's answer is no log (problem says why): the list is empty, no page
};

struct TViewResult
{
    TViewOutcome outcome = TViewOutcome::NoMessages;
    std::string problem; // NotALog
    std::string firstPage; // Pages
    // Set when the messages were recalled because the server could not be reached: why not.
    std::string offline;
};

// The first half of a view: the messages of the request, read into the list (which is cleared
// first) and handed to the store, or the reason there are none (NoMessages when the list is empty
// and the request stops when empty, NotALog). Throws as TLogView::Run does. Any thread for the
// server's log and a fetched-log file (the hooks run on that thread); the Sent.log's chooser and a
// search ask the window's objects, so those run on the GUI thread.
TViewResult GatherMessages(const TViewRequest& request, const TViewPlace& place,
    const TViewHooks& hooks, TMessageList& list);

// Runs views over one message list with the window's tokenizer and surface cache, which must
// outlive it. A failed download (with nothing to recall), an unreadable file or a malformed log
// throws EVelmoError (the messages read before a malformed line stay in the list, and their pages
// are not written). A download that was cancelled, or stopped because the program ends, is never
// answered from what is kept.
// GUI thread only (the tokenizer and the cache are the window's). The window runs its own views in
// the background instead (TViewRunner): GatherMessages on a worker, then the pages in slices.
class TLogView
{
public:
    TLogView(TMessageList& list, TSsParser& parser, TSurfaces& surfaces);

    TViewResult Run(const TViewRequest& request, const TViewPlace& place, const TViewHooks& hooks);

    // The steps, for a caller that runs them apart.
    // Downloads the log for the request; an empty answer is the download's failure (EHttpError).
    static TLogText Fetch(
        const TBottleServer& server, const TLogRequest& request, const TViewHooks& hooks);
    // Reads the text into the list (freeing it as it goes), then hands the list to the store.
    static TViewResult Read(TLogText&& text, const TViewHooks& hooks, TMessageList& list);
    // Writes the pages of the list and names the first.
    TViewResult WritePages(const TViewPlace& place);

private:
    TMessageList& list_;
    TSsParser& parser_;
    TSurfaces& surfaces_;
};

// Installed, pages live apart from the shipped style sheet, which they name relatively: the
// default page folder is made, and a copy of the sheet (the user's own, else the shipped one) is
// put beside the pages whenever it differs.
void PreparePageFolder(const TAppFolders& folders, const TPageSettings& pages);
