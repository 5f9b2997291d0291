#pragma once

#include <string>
#include <string_view>

// The one bottle server endpoint that log fetches and vote/agree commands go to: plain http on
// a host and port. It comes from the optional BottleServer setting ("host" or "host:port", port 80
// when none is given); without the setting it is the bundled server on loopback.
class TBottleServer
{
public:
    static constexpr const char* kDefault = "127.0.0.1:18470";

    // Throws EVelmoError naming the value when it is not "host" or "host:port" (port 1-65535;
    // an IPv6 host in brackets).
    static TBottleServer Parse(std::string_view value);
    // Parse of the setting, or the default when the setting is empty.
    static TBottleServer FromSetting(std::string_view setting);

    const std::string& Host() const { return host_; }
    int Port() const { return port_; }

    // "http://host[:port]" followed by the path and query, e.g. "/fetchlog.cgi?recent=60".
    std::string Url(std::string_view pathAndQuery) const;

private:
    std::string host_;
    int port_ = 80;
};
