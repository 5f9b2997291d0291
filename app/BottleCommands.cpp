#include "app/BottleCommands.h"

#include "ghost/HeadValue.h"
#include "platform/Encoding.h"
#include "platform/StrUtils.h"

namespace {

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
                : TNotice { 1,
                    Sjis("SSTP Bottleサーバが次のエラーを返しました:\r\n") + TextForBox(extra) });
    }
    const std::string tip = answer.ValueOf("ExtraTip");
    if (!tip.empty())
        notices.push_back({ 0, TextForBox(tip) });
    return notices;
}

std::vector<TNotice> VoteFailureNotices(const std::string& errorMessage)
{
    const std::string failed = Sjis("SSTP Bottleサーバとの接続に失敗しました");
    return { { 2, failed }, { 0, failed + "\r\n" + TextForBox(errorMessage) } };
}

bool IsWebAddress(std::string_view url)
{
    return StartsText(url, "http://") || StartsText(url, "https://");
}

TLinkAction LinkActionFor(const std::string& url, TNavigationOrigin origin)
{
    const TLinkCommand command = ClassifyLink(url);
    const bool commandLink = command == TLinkCommand::Vote || command == TLinkCommand::Agree
        || command == TLinkCommand::Play || command == TLinkCommand::Start;
    if (commandLink && origin == TNavigationOrigin::OwnPageClick)
        return TLinkAction::RunCommand;
    if (commandLink || IsCommandAddress(url))
        return TLinkAction::Refuse;
    const bool click
        = origin == TNavigationOrigin::OwnPageClick || origin == TNavigationOrigin::LinkClick;
    if (command == TLinkCommand::WebAddress) {
        if (click && IsWebAddress(url))
            return TLinkAction::OpenOutside;
        if (origin == TNavigationOrigin::ProgramLoad && StartsText(url, "http://"))
            return TLinkAction::Show;
        return TLinkAction::Refuse;
    }
    // What the view shows itself; any other scheme would be handed on to the desktop.
    for (const std::string_view scheme : { "file:", "https:", "about:", "data:" })
        if (StartsText(url, scheme))
            return TLinkAction::Show;
    return TLinkAction::Refuse;
}
