#include "app/ArchiveCommands.h"

#include "log/BottleServer.h"
#include "platform/Encoding.h"

int RunImport(
    const std::vector<std::string>&, const TAppFolders&, const TConfiguration&, std::ostream& err)
{
    err << SjisToUtf8Lossy(Sjis("velmo import はまだ使えません")) << "\n";
    return 1;
}

int RunSync(const TAppFolders&, const TConfiguration&, std::ostream& err)
{
    err << SjisToUtf8Lossy(Sjis("velmo sync はまだ使えません")) << "\n";
    return 1;
}

std::string ArchiveServerName(const TConfiguration& config)
{
    return config.BottleServer.empty() ? std::string(TBottleServer::kDefault) : config.BottleServer;
}
