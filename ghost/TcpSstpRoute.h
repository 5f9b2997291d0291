#pragma once

#include "ghost/PlayRoute.h"

#include <cstdint>
#include <vector>

// A ghost host on loopback TCP (SSP, also under Wine, and others): GetFMO by EXECUTE lists its
// ghosts, then a SEND names the chosen one (ReceiverGhostName). One request per connection; the
// ports are tried in order.
class TTcpSstpRoute : public IPlayRoute
{
public:
    static constexpr int kDiscoveryTimeoutMs = 1000;
    static constexpr int kSendTimeoutMs = 50000;

    TTcpSstpRoute(int cancelFd, std::vector<uint16_t> ports = { 9801, 9821 },
        int sendTimeoutMs = kSendTimeoutMs);

    TPlayResult Play(const TPlayRequest& request, const std::string& senderName) override;

private:
    int cancelFd_;
    std::vector<uint16_t> ports_;
    int sendTimeoutMs_;
};
