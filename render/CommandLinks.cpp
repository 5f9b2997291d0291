#include "render/CommandLinks.h"

#include "platform/StrUtils.h"

namespace {

// The host words, in TLinkCommand order.
constexpr std::string_view kHosts[] = { "velmovote", "velmoagree", "velmoplay", "velmostart" };
constexpr const char* kPrefixes[]
    = { "http://velmovote.", "http://velmoagree.", "http://velmoplay.", "http://velmostart." };

} // namespace

const char* CommandLinkPrefix(TLinkCommand command)
{
    switch (command) {
    case TLinkCommand::Vote:
        return kPrefixes[0];
    case TLinkCommand::Agree:
        return kPrefixes[1];
    case TLinkCommand::Start:
        return kPrefixes[3];
    default:
        return kPrefixes[2];
    }
}

TLinkCommand ClassifyLink(const std::string& url)
{
    for (const TLinkCommand command :
        { TLinkCommand::Vote, TLinkCommand::Agree, TLinkCommand::Play, TLinkCommand::Start })
        if (url.find(CommandLinkPrefix(command)) != std::string::npos)
            return command;
    if (url.find("http://") != std::string::npos)
        return TLinkCommand::WebAddress;
    return TLinkCommand::None;
}

bool IsCommandAddress(std::string_view url)
{
    for (size_t at = 0; at + 2 < url.size(); ++at) {
        if (url[at] != '/' || url[at + 1] != '/')
            continue;
        for (const std::string_view host : kHosts)
            if (StartsText(url.substr(at + 2), host))
                return true;
    }
    return false;
}

std::string StartCommandWord(const std::string& url)
{
    const std::string prefix = CommandLinkPrefix(TLinkCommand::Start);
    if (!url.starts_with(prefix))
        return {};
    std::string word = url.substr(prefix.size());
    if (word.ends_with('/'))
        word.pop_back();
    return word;
}

int32_t LinkIndex(const std::string& url, TLinkCommand command)
{
    std::string rest = url;
    const std::string prefix = CommandLinkPrefix(command);
    if (const size_t at = rest.find(prefix); at != std::string::npos)
        rest.erase(at, prefix.size());
    if (const size_t slash = rest.find('/'); slash != std::string::npos)
        rest.erase(slash, 1);
    return StrToInt(rest);
}

std::string CommandLinkPattern()
{
    std::string hosts;
    for (const std::string_view host : kHosts)
        hosts += std::string(hosts.empty() ? "" : "|") + std::string(host);
    return "^\\s*https?:\\/\\/(" + hosts + ")";
}
