#include "app/ArchiveCommands.h"

#include "app/LogView.h"
#include "archive/Archive.h"
#include "archive/Export.h"
#include "archive/Import.h"
#include "archive/Query.h"
#include "archive/Sync.h"
#include "log/BottleServer.h"
#include "platform/Encoding.h"
#include "platform/Errors.h"
#include "platform/FileIO.h"
#include "platform/Termination.h"
#include "render/SsParser.h"

#include <chrono>
#include <memory>
#include <sys/stat.h>
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

namespace {

// True when both paths name one existing file (through links or other spellings).
bool SameFile(const std::string& a, const std::string& b)
{
    struct stat sa
    { };
    struct stat sb
    { };
    return ::stat(NativePath(a).c_str(), &sa) == 0 && ::stat(NativePath(b).c_str(), &sb) == 0
        && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

} // namespace

int RunExport(const std::string& query, const std::string& format, const std::string& file,
    const TAppFolders& folders, std::ostream& out, std::ostream& err)
{
    const auto say = [&](const std::string& line) { err << SjisToUtf8Lossy(line) << std::endl; };
    const auto exportFormat = ExportFormatNamed(format);
    if (!exportFormat) {
        say(Sjis("書き出しの形式が不正です: ") + format + Sjis(" (") + kExportFormatNames
            + Sjis(" のいずれかです)"));
        return 2;
    }
    TQuery parsed;
    try {
        parsed = ParseQuery(query);
    } catch (const EQueryError& e) {
        say(Sjis("検索条件を読めません: ") + e.what());
        return 2;
    }
    const bool toOut = file == "-";
    try {
        if (!FileExists(folders.archiveFile)) {
            say(Sjis("アーカイブがありません: ") + folders.archiveFile);
            return 1;
        }
        if (!toOut && SameFile(file, folders.archiveFile)) {
            say(Sjis("アーカイブそのものには書き出せません: ") + file);
            return 1;
        }
        // Opened with the program's patterns, so that an older archive gets its index first.
        const std::unique_ptr<TArchive> opened = OpenArchive(folders, err);
        const TArchive& archive = *opened;
        // The talk is read with the patterns the pages use, so that it is the text they show.
        TSsParser parser;
        if (*exportFormat != TExportFormat::Log)
            LoadPatternFiles(parser, folders);
        bool interrupted = false;
        const TMessageSource source = [&](const TMessageVisitor& visit) {
            archive.Search(parsed, [&](const TBottleMessage& message) {
                interrupted = TerminationRequested();
                return !interrupted && visit(message);
            });
        };
        std::unique_ptr<TReplacingFile> replacing;
        if (!toOut)
            replacing = std::make_unique<TReplacingFile>(file);
        std::ostream& stream = toOut ? out : replacing->Stream();
        const TExportCounts counts = ExportMessages(source, *exportFormat, stream, parser);
        if (interrupted) {
            say(toOut ? Sjis("中断しました: ") + std::to_string(counts.written)
                        + Sjis(" 件を書き出したところです")
                      : Sjis("中断したので書き出しませんでした: ") + file);
            return 1;
        }
        if (toOut && !stream) {
            say(Sjis("標準出力に書き出せませんでした: ") + std::to_string(counts.written)
                + Sjis(" 件を書き出したところです"));
            return 1;
        }
        if (replacing)
            replacing->Commit(); // a write that failed on the way fails here, with its reason
        say(std::to_string(counts.written) + Sjis(" 件を書き出しました: ")
            + (toOut ? Sjis("標準出力") : file));
        if (counts.blanked > 0)
            say(Sjis("うち ") + std::to_string(counts.blanked)
                + Sjis(" 件はタブや改行を含むので、それを空白にして書きました (log "
                       "形式では書けません)"));
        return 0;
    } catch (const EFileError& e) {
        say(Sjis("書き出せませんでした: ") + e.what());
    } catch (const EVelmoError& e) {
        say(e.what());
    }
    return 1;
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
