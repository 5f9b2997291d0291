#include "app/ArchiveCommands.h"

#include "app/LogView.h"
#include "archive/Archive.h"
#include "archive/Import.h"
#include "archive/Sync.h"
#include "log/BottleServer.h"
#include "platform/Encoding.h"
#include "platform/Errors.h"
#include "render/SsParser.h"

#include <chrono>
#include <memory>
#include <unistd.h>

int RunImport(const std::vector<std::string>& paths, const TAppFolders& folders,
    const TConfiguration& config, std::ostream& err, bool progressLine)
{
    std::unique_ptr<TArchive> archive;
    try {
        archive = OpenArchive(folders, err);
    } catch (const EVelmoError& e) {
        err << "Velmo: " << SjisToUtf8Lossy(e.what()) << "\n";
        return 1;
    }
    TImportOptions options;
    using TClock = std::chrono::steady_clock;
    TClock::time_point shown;
    size_t width = 0; // of the progress line last written, to blank what a shorter one leaves
    if (progressLine)
        options.progress = [&](const TImportProgress& progress) {
            const TClock::time_point now = TClock::now();
            if (now - shown < std::chrono::milliseconds(200))
                return;
            shown = now;
            const std::string line = SjisToUtf8Lossy(ImportProgressText(progress));
            err << "\r" << line << std::string(width > line.size() ? width - line.size() : 0, ' ')
                << std::flush;
            width = line.size();
        };
    const TImportSummary summary = ImportLogs(paths, *archive, ArchiveServerName(config), options);
    if (width > 0)
        err << "\r" << std::string(width, ' ') << "\r";
    std::string text = ImportSummaryText(summary);
    for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at))
        text.erase(at, 1);
    err << SjisToUtf8Lossy(text) << std::flush;
    return summary.Complete() ? 0 : 1;
}

int RunSync(const TAppFolders& folders, const TConfiguration& config, std::ostream& err)
{
    const auto say = [&](const std::string& line) { err << SjisToUtf8Lossy(line) << std::endl; };
    const auto tally = [](const TArchiveCounts& counts) {
        return Sjis("追加 ") + std::to_string(counts.added) + Sjis(" 件、既にあった ")
            + std::to_string(counts.known) + Sjis(" 件");
    };
    TSyncResult result;
    try {
        const TBottleServer server = TBottleServer::FromSetting(config.BottleServer);
        const std::unique_ptr<TArchive> opened = OpenArchive(folders, err);
        TArchive& archive = *opened;
        TSyncHooks hooks;
        hooks.fetch
            = [&](const TLogRequest& request) { return TLogView::Fetch(server, request, {}); };
        // A long gap (an archive of old logs) is thousands of empty days: only the steps that
        // brought messages get a line, and a terminal sees the day being fetched.
        const bool terminal = ::isatty(STDERR_FILENO) == 1;
        hooks.progress = [&](const TSyncStep& step, const TArchiveCounts& counts) {
            if (counts.added + counts.known > 0)
                say((terminal ? "\r\x1b[K" : "") + SyncStepName(step) + ": " + tally(counts));
            else if (terminal)
                err << "\r\x1b[K" << SjisToUtf8Lossy(SyncStepName(step)) << std::flush;
        };
        result = SyncArchive(archive, ArchiveServerName(config), Now(), hooks);
    } catch (const EVelmoError& e) {
        result.problem = e.what();
    }
    if (::isatty(STDERR_FILENO) == 1)
        err << "\r\x1b[K";
    say((result.complete ? Sjis("同期しました: ") : Sjis("同期を終えられませんでした: "))
        + std::to_string(result.steps) + Sjis(" 日分を取得、") + tally(result.counts));
    if (!result.complete)
        say(result.problem);
    return result.complete ? 0 : 1;
}

std::string ArchiveServerName(const TConfiguration& config)
{
    return config.BottleServer.empty() ? std::string(TBottleServer::kDefault) : config.BottleServer;
}

void LoadPatternFiles(TSsParser& parser, const TAppFolders& folders,
    const std::function<void(const std::string&)>& failed)
{
    const auto load = [&](const char* name, void (TSsParser::*set)(std::vector<std::string>)) {
        std::vector<std::string> lines;
        try {
            lines = TSsParser::LoadPatternFile(folders.DataFile(name));
        } catch (const EVelmoError& e) {
            if (!failed)
                throw;
            failed(e.what());
        }
        (parser.*set)(std::move(lines));
    };
    load("tagpat.txt", &TSsParser::SetTagPattern);
    load("metapat.txt", &TSsParser::SetMetaPattern);
}

std::unique_ptr<TArchive> OpenArchive(const TAppFolders& folders, std::ostream& err)
{
    TSsParser parser;
    LoadPatternFiles(parser, folders);
    int64_t said = -1;
    const auto progress = [&](int64_t done, int64_t total) {
        // A line at the start and one for every tenth, so a log of the run stays short.
        if (done != total && done < said + total / 10)
            return;
        said = done;
        err << SjisToUtf8Lossy(Sjis("アーカイブの検索用索引を作っています: ")) << done << " / "
            << total << std::endl;
    };
    return std::make_unique<TArchive>(folders.archiveFile, &parser, progress);
}
