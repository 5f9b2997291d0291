#include "ghost/SstpWire.h"

#include "ghost/SakuraSeeker.h"
#include "platform/Encoding.h"
#include "platform/StrUtils.h"
#include "platform/StreamSocket.h"
#include "render/SsParser.h"

#include <climits>
#include <cstddef>
#include <cstring>
#include <semaphore.h>
#include <utility>

namespace {

// The answer's lines, the status line first, each without its line end; the text after the last
// line end is left out (a line that has not come whole yet).
std::vector<std::string_view> WholeLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    for (size_t start = 0;;) {
        const size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            return lines;
        std::string_view line = text.substr(start, end - start);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        lines.push_back(line);
        start = end + 1;
    }
}

// The index of the first empty line at or after `from`, or the count of lines.
size_t EmptyLineFrom(const std::vector<std::string_view>& lines, size_t from)
{
    while (from < lines.size() && !lines[from].empty())
        ++from;
    return from;
}

uint32_t NativeUint32(std::string_view bytes)
{
    uint32_t value = 0;
    std::memcpy(&value, bytes.data(), sizeof value);
    return value;
}

std::string Utf8(std::string_view sjis)
{
    return SjisToUtf8Lossy(sjis);
}

} // namespace

std::optional<TSstpStatus> ParseSstpStatus(std::string_view answer)
{
    const std::string_view line = answer.substr(0, answer.find_first_of("\r\n"));
    if (!line.starts_with("SSTP/"))
        return std::nullopt;
    const size_t space = line.find(' ');
    if (space == std::string_view::npos || line.size() < space + 4)
        return std::nullopt;
    TSstpStatus status;
    for (size_t i = space + 1; i < space + 4; ++i) {
        if (line[i] < '0' || line[i] > '9')
            return std::nullopt;
        status.Code = status.Code * 10 + (line[i] - '0');
    }
    if (line.size() > space + 4 && line[space + 4] != ' ')
        return std::nullopt;
    for (const char c : TrimBlanks(line.substr(std::min(line.size(), space + 5))))
        if (c >= 0x20 && c < 0x7F)
            status.Reason += c;
    return status;
}

bool SstpHeadersComplete(std::string_view answer)
{
    const auto lines = WholeLines(answer);
    return EmptyLineFrom(lines, 0) < lines.size();
}

bool SstpExecuteComplete(std::string_view answer)
{
    const auto status = ParseSstpStatus(answer);
    const auto lines = WholeLines(answer);
    if (!status || status->Code != 200)
        return EmptyLineFrom(lines, 0) < lines.size();
    // The data may follow the status line at once or after headers and an empty line: it is whole
    // at an empty line after a directory line, or at a second empty line.
    bool data = false;
    int empty = 0;
    for (size_t i = 1; i < lines.size(); ++i) {
        if (lines[i].find('\x01') != std::string_view::npos)
            data = true;
        else if (lines[i].empty() && (data || ++empty == 2))
            return true;
    }
    return false;
}

bool FitsHeaderLine(std::string_view value)
{
    return value.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

std::string SenderLine(const TPlayRequest& request, const std::string& senderName)
{
    return "Sender:  " + request.Ghost + "/" + request.Channel + "/" + senderName + "\r\n";
}

std::string RemoveRefusedTags(std::string_view script)
{
    // A tokenizer that knows only the refused tags: each one it finds is a tag, and everything
    // else (text, escapes, tags it does not know) keeps its bytes.
    TSsParser parser;
    parser.SetTagPattern({ "\\_+", "\\_v[%c]", "\\_v", "\\j[%c]", "\\j", "\\![%c]", "\\!",
        "\\8[%c]", "\\8", "\\-", "\\+", "\\C" });
    parser.ParseScript(script);
    // Taking a tag out joins what stood around it. The one join that makes a refused tag is an
    // unknown "\_" before text that starts with "v" or "+" ("\_\j[x]v[a.wav]" would become
    // "\_v[a.wav]"): such "\_" go too.
    std::vector<const TSsMarkUp*> kept;
    bool removed = false;
    for (const TSsMarkUp& token : parser.Tokens()) {
        if (token.MarkType == TSsMarkUpType::smTag) {
            removed = true;
            continue;
        }
        if (removed && token.MarkType == TSsMarkUpType::smText
            && (token.Text.starts_with('v') || token.Text.starts_with('+')))
            while (!kept.empty() && kept.back()->MarkType == TSsMarkUpType::smErrorTag
                && kept.back()->Text == "\\_")
                kept.pop_back();
        removed = false;
        kept.push_back(&token);
    }
    std::string out;
    out.reserve(script.size());
    for (const TSsMarkUp* token : kept)
        out += token->Text;
    return out;
}

std::optional<std::string> NinixDirectoryText(std::string_view answer)
{
    if (answer.size() < 4)
        return std::nullopt;
    const uint32_t length = NativeUint32(answer);
    if (answer.size() - 4 < length)
        return std::nullopt;
    const std::string_view text = answer.substr(4, length);
    return std::string(text.substr(0, text.find('\0')));
}

std::optional<std::string> NinixShmSocketFolder(std::string_view block)
{
    struct Layout
    {
        uint32_t size;
        sem_t semaphore;
        char path[PATH_MAX];
    };
    constexpr size_t at = offsetof(Layout, path);
    if (block.size() < at)
        return std::nullopt;
    const uint32_t size = NativeUint32(block);
    if (size > PATH_MAX || block.size() - at < size)
        return std::nullopt;
    std::string_view path = block.substr(at, size);
    path = path.substr(0, path.find('\0'));
    while (path.size() > 1 && path.ends_with('/'))
        path.remove_suffix(1);
    if (!path.starts_with('/'))
        return std::nullopt;
    return std::string(path);
}

std::string NinixSendText(const TPlayRequest& request, const std::string& senderName)
{
    return "SEND SSTP/1.4\r\nCharset: UTF-8\r\n" + Utf8(SenderLine(request, senderName))
        + "Script: " + Utf8(RemoveRefusedTags(request.Script)) + "\r\n\r\n";
}

std::string GetFmoText(const std::string& senderName)
{
    return "EXECUTE SSTP/1.1\r\nCharset: UTF-8\r\nSender: " + Utf8(senderName)
        + "\r\nCommand: GetFMO\r\n\r\n";
}

std::optional<std::string> TcpDirectoryText(std::string_view answer)
{
    answer = answer.substr(0, answer.find('\0')); // as in shared memory, the text ends at a NUL
    const auto status = ParseSstpStatus(answer);
    if (!status || status->Code != 200)
        return std::nullopt;
    // Headers (a Charset among them) may stand between the status line and the directory lines;
    // the directory ends at the first empty line after one of its lines.
    bool shiftJis = false;
    bool inDirectory = false;
    std::string text;
    const auto lines = WholeLines(answer);
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        if (line.find('\x01') != std::string_view::npos) {
            text.append(line).append("\r\n");
            inDirectory = true;
        } else if (line.empty() && inDirectory) {
            break;
        } else if (!inDirectory && line.size() > 8 && SameText(line.substr(0, 8), "Charset:")) {
            const std::string_view name = TrimBlanks(line.substr(8));
            shiftJis = SameText(name, "Shift_JIS") || SameText(name, "CP932")
                || SameText(name, "windows-31j");
        }
    }
    return shiftJis ? SjisToUtf8Lossy(text) : text;
}

std::string TcpSendText(
    const TPlayRequest& request, const std::string& senderName, const TSakuraProcess& ghost)
{
    return "SEND SSTP/1.4\r\nCharset: UTF-8\r\n" + Utf8(SenderLine(request, senderName))
        + "ReceiverGhostName: " + ghost.Name() + "\r\nSecurityLevel: external\r\nIfGhost: "
        + ghost.NamePair() + "\r\nScript: " + Utf8(request.Script) + "\r\n\r\n";
}

TPlayResult AnswerResult(const TExchangeResult& exchange, THostKind host, std::string ghost)
{
    if (exchange.status == TExchangeStatus::NoPeer || exchange.status == TExchangeStatus::Cancelled)
        return {};
    // A host that took the request but has not answered may still be playing an earlier script.
    if (!ParseSstpStatus(exchange.answer) && exchange.status == TExchangeStatus::NoAnswer) {
        TPlayResult result;
        result.Ghost = std::move(ghost);
        result.Outcome = TPlayOutcome::Busy;
        result.Reason = Sjis("応答がありません");
        return result;
    }
    return AnswerResult(exchange.answer, host, std::move(ghost));
}

TPlayResult AnswerResult(std::string_view answer, THostKind host, std::string ghost)
{
    TPlayResult result;
    result.Ghost = std::move(ghost);
    const auto status = ParseSstpStatus(answer);
    if (!status) {
        result.Outcome = TPlayOutcome::Refused;
        result.Reason = Sjis("応答を解釈できません");
        return result;
    }
    const std::string code = " (" + std::to_string(status->Code)
        + (status->Reason.empty() ? "" : " " + status->Reason) + ")";
    switch (status->Code) {
    case 200:
    case 210:
        result.Outcome = TPlayOutcome::Delivered;
        return result;
    case 204:
        if (host != THostKind::Ninix) {
            result.Outcome = TPlayOutcome::Delivered;
            return result;
        }
        result.Outcome = TPlayOutcome::Refused;
        result.Reason = Sjis("ninix-kagari の SSTP の設定で、IfGhost のないスクリプトの再生 "
                             "(allowembryo) を許可してください")
            + code;
        return result;
    case 408:
    case 409:
    case 503:
        result.Outcome = TPlayOutcome::Busy;
        result.Reason = Sjis("今は再生できません") + code;
        return result;
    default:
        break;
    }
    static constexpr std::pair<int, const char*> kRefusals[] = {
        { 400, "不正な要求として断られました" },
        { 404, "ゴーストが見つかりません" },
        { 420, "ゴーストの設定で断られました" },
        { 501, "この要求には対応していません" },
        { 512, "ゴーストが隠れていて話せません" },
    };
    result.Outcome = TPlayOutcome::Refused;
    result.Reason = Sjis("断られました");
    for (const auto& [number, text] : kRefusals)
        if (number == status->Code)
            result.Reason = Sjis(text);
    result.Reason += code;
    return result;
}
