#include "app/LogView.h"

#include "log/HttpClient.h"
#include "log/LogReader.h"
#include "log/MessageList.h"
#include "platform/Encoding.h"
#include "platform/FileIO.h"
#include "platform/Termination.h"

TLogView::TLogView(TMessageList& list, TSsParser& parser, TSurfaces& surfaces)
    : list_(list)
    , parser_(parser)
    , surfaces_(surfaces)
{ }

TViewResult GatherMessages(const TViewRequest& request, const TViewPlace& place,
    const TViewHooks& hooks, TMessageList& list)
{
    TViewResult read { TViewOutcome::Pages, {}, {}, {} };
    switch (request.source) {
    case TViewSource::Server:
        try {
            read = TLogView::Read(TLogView::Fetch(place.server, request.log, hooks), hooks, list);
        } catch (const EHttpError& e) {
            const bool stopped = TerminationRequested() || (hooks.cancelled && hooks.cancelled());
            if (!hooks.recall || stopped)
                throw;
            list.Clear();
            hooks.recall(request.log, list);
            if (list.Empty())
                throw;
            read.offline = e.what();
        }
        break;
    case TViewSource::LocalLog:
        ParseLog(ReadFileBytes(request.path), list);
        if (hooks.store)
            hooks.store(list);
        break;
    case TViewSource::SentLog:
        LoadSentLog(list, *request.chooser);
        if (hooks.store)
            hooks.store(list);
        break;
    case TViewSource::Search:
        list.Clear();
        if (hooks.search)
            hooks.search(request.query, list);
        break;
    }
    if (read.outcome == TViewOutcome::Pages && list.Empty() && request.stopWhenEmpty)
        read.outcome = TViewOutcome::NoMessages;
    return read;
}

TViewResult TLogView::Run(
    const TViewRequest& request, const TViewPlace& place, const TViewHooks& hooks)
{
    TViewResult read = GatherMessages(request, place, hooks, list_);
    if (read.outcome != TViewOutcome::Pages)
        return read;
    TViewResult written = WritePages(place);
    written.offline = std::move(read.offline);
    return written;
}

TLogText TLogView::Fetch(
    const TBottleServer& server, const TLogRequest& request, const TViewHooks& hooks)
{
    const std::string url = server.Url("/fetchlog.cgi" + FetchQuery(request, Now()));
    THttpLimits limits;
    limits.cancelled = hooks.cancelled;
    TLogText text;
    size_t received = 0;
    try {
        THttpClient::Get(url, limits, [&](std::string_view piece) {
            text.Append(piece);
            received += piece.size();
            if (hooks.progress)
                hooks.progress(received);
        });
    } catch (const EHttpError& e) {
        throw EHttpError(Sjis("ログを受け取れませんでした: ") + e.what());
    }
    // An empty answer (a cut one ends in an error of its own) is the download's failure.
    if (text.Empty())
        throw EHttpError(LogAnswerProblem({}));
    return text;
}

TViewResult TLogView::Read(TLogText&& text, const TViewHooks& hooks, TMessageList& list)
{
    if (std::string problem = LogAnswerProblem(text.Head()); !problem.empty()) {
        list.Clear();
        text.Clear();
        return { TViewOutcome::NotALog, std::move(problem), {}, {} };
    }
    ParseLog(std::move(text), list, [&](int32_t messages) {
        // A cancel while reading stops as one while receiving does.
        if (hooks.cancelled && hooks.cancelled())
            throw EHttpError(Sjis("受信を中止しました"));
        if (hooks.reading)
            hooks.reading(messages);
    });
    if (hooks.store)
        hooks.store(list);
    return { TViewOutcome::Pages, {}, {}, {} };
}

TViewResult TLogView::WritePages(const TViewPlace& place)
{
    if (place.folders.installed)
        PreparePageFolder(place.folders, place.pages);
    ::WritePages(list_, place.pages, parser_, surfaces_);
    return { TViewOutcome::Pages, {}, PagePath(place.pages, 1), {} };
}

void PreparePageFolder(const TAppFolders& folders, const TPageSettings& pages)
{
    if (pages.htmlFolder.empty())
        CreateFolders(folders.pageFolder);
    if (pages.cssFile.empty() || pages.cssFile.find('/') != std::string::npos)
        return;
    const std::string source = folders.DataFile(pages.cssFile);
    const std::string target = JoinPath(pages.htmlFolder, folders.pageFolder, pages.cssFile);
    if (!FileExists(source))
        return;
    const std::string sheet = ReadFileBytes(source);
    if (!FileExists(target) || ReadFileBytes(target) != sheet)
        WriteFileAtomic(target, sheet);
}
