#pragma once

#include "ghost/PlayRoute.h"

#include <optional>
#include <string>

// ninix-kagari: its directory service at <socket folder>/ninix answers GetFMO, and each ghost
// takes SSTP on a stream socket of its own, <socket folder>/<id>, one request per connection.
// Requests there count as its user's own, so the script goes without the tags it refuses from
// outside senders.
class TNinixRoute : public IPlayRoute
{
public:
    static constexpr int kDiscoveryTimeoutMs = 1000;
    static constexpr int kSendTimeoutMs = 50000;

    TNinixRoute(int cancelFd, int sendTimeoutMs = kSendTimeoutMs);

    TPlayResult Play(const TPlayRequest& request, const std::string& senderName) override;

    // The socket folder of a running ninix-kagari: $NINIX_HOME/.ninix/sock (else
    // ~/.ninix/sock), else the folder its shared memory /dev/shm/ninix names; only one whose
    // directory socket exists and belongs to us. Native encoding.
    static std::optional<std::string> SocketFolder();

private:
    int cancelFd_;
    int sendTimeoutMs_;
};
