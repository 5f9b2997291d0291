#include "log/BottleServer.h"

#include "platform/Encoding.h"
#include "platform/Errors.h"
#include "platform/StrUtils.h"

namespace {

bool ValidHostChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.'
        || c == '-' || c == '_';
}

} // namespace

TBottleServer TBottleServer::Parse(std::string_view value)
{
    const auto invalid = [&] {
        return EVelmoError(Sjis("BottleServer の設定が正しくありません: ") + std::string(value));
    };
    TBottleServer server;
    std::string_view rest = value;
    if (!rest.empty() && rest.front() == '[') {
        const size_t close = rest.find(']');
        if (close == std::string_view::npos || close == 1)
            throw invalid();
        server.host_ = std::string(rest.substr(0, close + 1));
        rest.remove_prefix(close + 1);
        for (const char c : std::string_view(server.host_).substr(1, close - 1))
            if (!(ValidHostChar(c) || c == ':'))
                throw invalid();
    } else {
        const size_t colon = rest.find(':');
        server.host_ = std::string(rest.substr(0, colon));
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon);
        if (server.host_.empty())
            throw invalid();
        for (const char c : server.host_)
            if (!ValidHostChar(c))
                throw invalid();
    }
    if (!rest.empty()) {
        if (rest.front() != ':')
            throw invalid();
        const auto port = TryStrToInt(rest.substr(1));
        if (!port || *port < 1 || *port > 65535 || rest[1] == '+' || rest[1] == '-')
            throw invalid();
        server.port_ = *port;
    }
    return server;
}

TBottleServer TBottleServer::FromSetting(std::string_view setting)
{
    return Parse(setting.empty() ? std::string_view(kDefault) : setting);
}

std::string TBottleServer::Url(std::string_view pathAndQuery) const
{
    std::string url = "http://" + host_;
    if (port_ != 80)
        url += ":" + std::to_string(port_);
    url += pathAndQuery;
    return url;
}
