#include "ghost/FmoRoute.h"

#include "ghost/SstpWire.h"
#include "platform/Window.h"

TFmoRoute::TFmoRoute(uint32_t replyWindow, int cancelFd, int lockTimeoutMs)
    : replyWindow_(replyWindow)
    , cancelFd_(cancelFd)
    , lockTimeoutMs_(lockTimeoutMs)
{
    seeker_.CancelFd = cancelFd;
}

std::string TFmoRoute::RequestText(const TPlayRequest& request, const std::string& senderName,
    const std::string& namePair, uint32_t replyWindow)
{
    return "SEND SSTP/1.4\r\nCharset: Shift_JIS\r\n" + SenderLine(request, senderName) + "IfGhost: "
        + namePair + "\r\nScript: " + request.Script + "\r\nHWnd: " + std::to_string(replyWindow)
        + "\r\nX-Bottle-IfGhost: " + request.Ghost + "\r\n\r\n";
}

TPlayResult TFmoRoute::Play(const TPlayRequest& request, const std::string& senderName)
{
    seeker_.LockTimeoutMs = request.TimeLeftMs(lockTimeoutMs_);
    seeker_.Detect();
    const TSakuraProcess* ghost = seeker_.ChooseGhost(request.Ghost);
    TPlayResult result;
    if (!ghost || ghost->HWnd() == 0)
        return result;
    result.Ghost = ghost->Name();
    result.Route = kRouteName;
    if (OnSend)
        OnSend(result);
    // The result of the call says nothing about the script: the answer comes to the reply window.
    SendMessageTimeout(ghost->HWnd(), WM_COPYDATA, replyWindow_, kDirectSstpId,
        RequestText(request, senderName, ghost->NamePair(), replyWindow_),
        request.TimeLeftMs(kSendTimeoutMs), cancelFd_);
    result.Outcome = TPlayOutcome::Sent;
    return result;
}
