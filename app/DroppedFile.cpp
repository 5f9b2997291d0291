#include "app/DroppedFile.h"

#include "log/LogReader.h"
#include "platform/Encoding.h"
#include "platform/Errors.h"
#include "platform/FileIO.h"

#include <sys/stat.h>

namespace {

// Enough for the lines the kinds are told apart by.
constexpr size_t kHeadBytes = 64 * 1024;

TDroppedLog Refused(std::string why)
{
    TDroppedLog refused;
    refused.refusal = std::move(why);
    return refused;
}

} // namespace

TDroppedLog ExamineDrop(const std::vector<std::string>& paths)
{
    if (paths.size() > 1)
        return Refused(Sjis("ドロップできるのは1つのファイルだけです"));
    if (paths.empty() || paths.front().empty())
        return Refused(Sjis("ドロップされたものはファイルではありません"));
    const std::string& path = paths.front();
    struct stat st
    { };
    if (::stat(NativePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return Refused(Sjis("フォルダは表示できません: ") + path);
    std::string head;
    try {
        head = ReadRegularFileHead(path, kHeadBytes);
    } catch (const EVelmoError& e) {
        return Refused(Sjis("ドロップされたファイルを読めません: ") + e.what());
    }
    TDroppedLog dropped;
    dropped.path = path;
    switch (DetectLogFileKind(head, head.size() < kHeadBytes)) {
    case TLogFileKind::FetchedLog:
        dropped.source = TViewSource::LocalLog;
        return dropped;
    case TLogFileKind::SentLog:
        dropped.source = TViewSource::SentLog;
        return dropped;
    case TLogFileKind::Neither:
        break;
    }
    return Refused(Sjis("取得したログでも Sent.log でもないので表示できません: ") + path);
}
