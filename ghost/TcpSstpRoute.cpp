#include "ghost/TcpSstpRoute.h"

#include "ghost/SakuraSeeker.h"
#include "ghost/SstpWire.h"
#include "platform/Encoding.h"
#include "platform/StreamSocket.h"

TTcpSstpRoute::TTcpSstpRoute(int cancelFd, std::vector<uint16_t> ports, int sendTimeoutMs)
    : cancelFd_(cancelFd)
    , ports_(std::move(ports))
    , sendTimeoutMs_(sendTimeoutMs)
{ }

TPlayResult TTcpSstpRoute::Play(const TPlayRequest& request, const std::string& senderName)
{
    for (const uint16_t port : ports_) {
        const TExchangeResult listing = ExchangeLoopback(port, GetFmoText(senderName),
            { request.TimeLeftMs(kDiscoveryTimeoutMs), 1 << 20, cancelFd_, SstpExecuteComplete });
        if (listing.status == TExchangeStatus::Cancelled)
            return {};
        const auto text = listing.status == TExchangeStatus::Answered
            ? TcpDirectoryText(listing.answer)
            : std::nullopt;
        if (!text)
            continue;
        TSakuraSeeker directory;
        directory.ParseDirectory(*text, "tcp");
        const TSakuraProcess* ghost = directory.ChooseGhost(SjisToUtf8Lossy(request.Ghost));
        if (!ghost || ghost->Name().empty())
            continue;
        const TExchangeResult sent
            = ExchangeLoopback(port, TcpSendText(request, senderName, *ghost),
                { request.TimeLeftMs(sendTimeoutMs_), 64 * 1024, cancelFd_, SstpHeadersComplete });
        if (sent.status != TExchangeStatus::NoPeer) {
            TPlayResult result = AnswerResult(sent, THostKind::Tcp, Utf8ToSjisLossy(ghost->Name()));
            result.Route = "SSTP 127.0.0.1:" + std::to_string(port);
            return result;
        }
    }
    return {};
}
