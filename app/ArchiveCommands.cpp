#include "app/ArchiveCommands.h"

#include "app/LogView.h"
#include "archive/Sync.h"
#include "log/BottleServer.h"
#include "platform/Encoding.h"

int RunImport(
    const std::vector<std::string>&, const TAppFolders&, const TConfiguration&, std::ostream& err)
{
    err << SjisToUtf8Lossy(Sjis("velmo import はまだ使えません")) << "\n";
    return 1;
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
        TArchive archive(folders.archiveFile);
        TSyncHooks hooks;
        hooks.fetch
            = [&](const TLogRequest& request) { return TLogView::Fetch(server, request, {}); };
        hooks.progress = [&](const TSyncStep& step, const TArchiveCounts& counts) {
            say(SyncStepName(step) + ": " + tally(counts));
        };
        result = SyncArchive(archive, ArchiveServerName(config), Now(), hooks);
    } catch (const EVelmoError& e) {
        result.problem = e.what();
    }
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
