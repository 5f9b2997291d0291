#include "ghost/NinixRoute.h"

#include "ghost/SakuraSeeker.h"
#include "ghost/SstpWire.h"
#include "platform/AppFolders.h"
#include "platform/DebugOutput.h"
#include "platform/Encoding.h"
#include "platform/SharedMemory.h"
#include "platform/StreamSocket.h"

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A socket of ours: a stranger's socket at that path would receive our scripts.
bool IsOwnSocket(const std::string& path)
{
    struct stat st
    { };
    return ::lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) && st.st_uid == ::geteuid();
}

// A ghost's id names its socket in the folder: nothing that could lead out of it.
bool IsSocketName(std::string_view id)
{
    if (id.empty() || id.size() > 100 || id == "." || id == "..")
        return false;
    for (const char c : id)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-'
                || c == '_' || c == '.'))
            return false;
    return true;
}

} // namespace

TNinixRoute::TNinixRoute(int cancelFd, int sendTimeoutMs)
    : cancelFd_(cancelFd)
    , sendTimeoutMs_(sendTimeoutMs)
{ }

std::optional<std::string> TNinixRoute::SocketFolder()
{
    const char* ninixHome = std::getenv("NINIX_HOME");
    const std::string home = ninixHome && *ninixHome ? ninixHome : HomeFolder();
    if (!home.empty() && IsOwnSocket(home + "/.ninix/sock/ninix"))
        return home + "/.ninix/sock";
    if (const auto block = TSharedMemory::ReadPath("/dev/shm/ninix", 8192))
        if (const auto folder = NinixShmSocketFolder(*block);
            folder && IsOwnSocket(*folder + "/ninix"))
            return folder;
    return std::nullopt;
}

TPlayResult TNinixRoute::Play(const TPlayRequest& request, const std::string& senderName)
{
    const auto folder = SocketFolder();
    if (!folder)
        return {};
    // Releases before 3.0 write the directory on accepting and close without reading: the
    // exchange reads it even when the host has closed before GetFMO went out.
    const TExchangeResult listing = ExchangeUnix(*folder + "/ninix", kNinixGetFmo,
        { request.TimeLeftMs(kDiscoveryTimeoutMs), 1 << 20, cancelFd_, {} });
    const auto text = listing.status == TExchangeStatus::Answered
        ? NinixDirectoryText(listing.answer)
        : std::nullopt;
    if (!text) {
        OutputDebugString("ninix-kagari: no directory from " + *folder);
        return {};
    }
    TSakuraSeeker directory;
    directory.ParseDirectory(*text, "ninix");
    const TSakuraProcess* ghost = directory.ChooseGhost(SjisToUtf8Lossy(request.Ghost));
    if (!ghost || !IsSocketName(ghost->ID))
        return {};
    const TExchangeResult sent
        = ExchangeUnix(*folder + "/" + ghost->ID, NinixSendText(request, senderName),
            { request.TimeLeftMs(sendTimeoutMs_), 64 * 1024, cancelFd_, {} });
    TPlayResult result = AnswerResult(sent, THostKind::Ninix, Utf8ToSjisLossy(ghost->Name()));
    result.Route = "ninix-kagari";
    return result;
}
