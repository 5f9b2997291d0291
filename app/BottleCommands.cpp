#include "app/BottleCommands.h"

#include "ghost/HeadValue.h"
#include "platform/Encoding.h"
#include "platform/StrUtils.h"

namespace {

constexpr const char* kVotePrefix = "http://velmovote.";
constexpr const char* kAgreePrefix = "http://velmoagree.";
constexpr const char* kPlayPrefix = "http://velmoplay.";

bool NeedsEscape(unsigned char c)
{
    switch (c) {
    case '#':
    case '%':
    case '*':
    case '+':
    case '<':
    case '>':
    case '[':
    case ']':
        return true;
    default:
        return c <= 32 || c >= 129;
    }
}

const char* Prefix(TLinkCommand command)
{
    return command == TLinkCommand::Vote ? kVotePrefix
        : command == TLinkCommand::Agree ? kAgreePrefix
                                         : kPlayPrefix;
}

} // namespace

std::string EncodeRequestText(const std::string& text)
{
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() * 3);
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (NeedsEscape(c)) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

std::string VoteRequestText(
    const std::string& voteType, const std::string& luid, const std::string& mid)
{
    return "Command: voteMessage\r\nVoteType: " + voteType + "\r\nLUID: " + luid + "\r\nMID: " + mid
        + "\r\n";
}

std::vector<TNotice> VoteAnswerNotices(const std::string& responseText)
{
    const THeadValue answer(responseText);
    if (answer.Count() == 0)
        return { { 1, Sjis("SSTP Bottleサーバが解析できないエラーを返しました。") } };
    std::vector<TNotice> notices;
    if (answer.ValueOf("Result") == "Err") {
        const std::string extra = answer.ValueOf("ExtraMessage");
        notices.push_back(extra.empty()
                ? TNotice { 1, Sjis("SSTP Bottleサーバが何らかのエラーを返しました。") }
                : TNotice { 1, Sjis("SSTP Bottleサーバが次のエラーを返しました:\r\n") + extra });
    }
    const std::string tip = answer.ValueOf("ExtraTip");
    if (!tip.empty())
        notices.push_back({ 0, tip });
    return notices;
}

std::vector<TNotice> VoteFailureNotices(const std::string& errorMessage)
{
    const std::string failed = Sjis("SSTP Bottleサーバとの接続に失敗しました");
    return { { 2, failed }, { 0, failed + "\r\n" + errorMessage } };
}

TLinkCommand ClassifyLink(const std::string& url)
{
    if (url.find(kVotePrefix) != std::string::npos)
        return TLinkCommand::Vote;
    if (url.find(kAgreePrefix) != std::string::npos)
        return TLinkCommand::Agree;
    if (url.find(kPlayPrefix) != std::string::npos)
        return TLinkCommand::Play;
    if (url.find("http://") != std::string::npos)
        return TLinkCommand::WebAddress;
    return TLinkCommand::None;
}

namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && SameText(text.substr(0, prefix.size()), prefix);
}

// Any address that names one of the command hosts, however the engine spelled it.
bool IsCommandAddress(std::string_view url)
{
    for (size_t at = 0; at < url.size(); ++at)
        for (const std::string_view host : { "//velmovote", "//velmoagree", "//velmoplay" })
            if (StartsWithNoCase(url.substr(at), host))
                return true;
    return false;
}

} // namespace

bool IsWebAddress(std::string_view url)
{
    return StartsWithNoCase(url, "http://") || StartsWithNoCase(url, "https://");
}

TLinkAction LinkActionFor(const std::string& url, TNavigationOrigin origin)
{
    const TLinkCommand command = ClassifyLink(url);
    const bool commandLink = command == TLinkCommand::Vote || command == TLinkCommand::Agree
        || command == TLinkCommand::Play;
    if (commandLink && origin == TNavigationOrigin::OwnPageClick)
        return TLinkAction::RunCommand;
    if (commandLink || IsCommandAddress(url))
        return TLinkAction::Refuse;
    const bool click
        = origin == TNavigationOrigin::OwnPageClick || origin == TNavigationOrigin::LinkClick;
    if (command == TLinkCommand::WebAddress) {
        if (click && IsWebAddress(url))
            return TLinkAction::OpenOutside;
        if (origin == TNavigationOrigin::ProgramLoad && StartsWithNoCase(url, "http://"))
            return TLinkAction::Show;
        return TLinkAction::Refuse;
    }
    // What the view shows itself; any other scheme would be handed on to the desktop.
    for (const std::string_view scheme : { "file:", "https:", "about:", "data:" })
        if (StartsWithNoCase(url, scheme))
            return TLinkAction::Show;
    return TLinkAction::Refuse;
}

int32_t LinkIndex(const std::string& url, TLinkCommand command)
{
    std::string rest = url;
    const std::string prefix = Prefix(command);
    if (const size_t at = rest.find(prefix); at != std::string::npos)
        rest.erase(at, prefix.size());
    if (const size_t slash = rest.find('/'); slash != std::string::npos)
        rest.erase(slash, 1);
    return StrToInt(rest);
}
