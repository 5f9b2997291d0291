#include "render/SsParser.h"

#include "platform/Encoding.h"
#include "platform/FileIO.h"
#include "platform/StrUtils.h"

#include <cstring>

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsLead(std::string_view s, size_t i)
{
    return IsLeadByte(static_cast<unsigned char>(s[i]));
}

// Bytes of the character at i: two for a lead byte with a byte after it, else one.
size_t CharLength(std::string_view s, size_t i)
{
    return IsLead(s, i) && i + 1 < s.size() ? 2 : 1;
}

// Where a scan of a bracketed argument's contents goes from i, which is not a "]": a backslash
// takes the character after it unseen, double-byte characters are taken whole.
size_t BracketStep(std::string_view s, size_t i)
{
    if (s[i] != '\\')
        return i + CharLength(s, i);
    ++i;
    return i < s.size() ? i + CharLength(s, i) : i;
}

constexpr uint32_t kUnknown = UINT32_MAX;

std::string_view UpToNul(std::string_view s)
{
    const size_t nul = s.find('\0');
    return nul == std::string_view::npos ? s : s.substr(0, nul);
}

} // namespace

TSsParser::BracketIndex::BracketIndex(std::string_view script)
    : s_(script)
{ }

void TSsParser::BracketIndex::Reset(std::string_view script)
{
    s_ = script;
    memo_.clear(); // the room stays for the next script
}

size_t TSsParser::BracketIndex::ClosingFrom(size_t i)
{
    const size_t n = s_.size();
    if (n >= kUnknown) {
        // Too long to index: scan directly.
        while (i < n && s_[i] != ']')
            i = BracketStep(s_, i);
        return std::min(i, n);
    }
    if (memo_.empty())
        memo_.assign(n + 1, kUnknown);
    // First find the answer, stopping at any position an earlier scan passed; then walk the same
    // path again and leave the answer on every position of it.
    size_t j = i;
    while (j < n && memo_[j] == kUnknown && s_[j] != ']')
        j = BracketStep(s_, j);
    const size_t end = j >= n ? n : memo_[j] != kUnknown ? memo_[j] : j;
    for (size_t k = i; k < n && k != j; k = BracketStep(s_, k))
        memo_[k] = static_cast<uint32_t>(end);
    if (j < n)
        memo_[j] = static_cast<uint32_t>(end);
    return end;
}

void TSsParser::RefuseWhileParsing() const
{
    if (parsing_)
        throw ESsParserError(Sjis("解析中は ParseScript もパターンの設定もできません"));
}

void TSsParser::SetTagPattern(std::vector<std::string> lines)
{
    RefuseWhileParsing();
    tagPattern_ = std::move(lines);
    tagIndex_ = BuildIndex(tagPattern_, 1, true);
}

void TSsParser::SetMetaPattern(std::vector<std::string> lines)
{
    RefuseWhileParsing();
    metaPattern_ = std::move(lines);
    metaIndex_ = BuildIndex(metaPattern_, 0, false);
}

TSsParser::PatternIndex TSsParser::BuildIndex(
    const std::vector<std::string>& lines, size_t keyOffset, bool tag)
{
    PatternIndex index;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line.empty())
            continue;
        const bool malformed = tag && line[0] != '\\' && line[0] != '!';
        const bool anyByte = malformed || line.size() <= keyOffset || line[keyOffset] == '%';
        if (anyByte) {
            for (auto& candidates : index)
                candidates.push_back(static_cast<int>(i));
        } else {
            index[static_cast<unsigned char>(line[keyOffset])].push_back(static_cast<int>(i));
        }
    }
    return index;
}

int TSsParser::MatchPattern(size_t position, std::string_view pattern) const
{
    BracketIndex brackets(script_);
    return Match(script_, position, pattern, brackets);
}

int TSsParser::MatchPatternIn(std::string_view script, size_t position, std::string_view pattern)
{
    const std::string_view s = UpToNul(script);
    BracketIndex brackets(s);
    return Match(s, position, pattern, brackets);
}

int TSsParser::Match(
    std::string_view s, size_t position, std::string_view pattern, BracketIndex& brackets)
{
    size_t pos = position;
    size_t p = 0;
    while (p < pattern.size()) {
        if (pos >= s.size())
            return 0; // every character and directive needs a script byte
        const char c = s[pos];
        if (pattern[p] != '%') {
            if (c != pattern[p])
                return 0;
            ++pos;
            ++p;
            continue;
        }
        // "%" ending the pattern behaves as "%%".
        const char directive = p + 1 < pattern.size() ? pattern[p + 1] : '%';
        p += 2;
        switch (directive) {
        case '.':
            pos += CharLength(s, pos);
            break;
        case 'd':
            if (!IsDigit(c))
                return 0;
            ++pos;
            break;
        case 'D':
            if (!IsDigit(c))
                return 0;
            while (pos < s.size() && IsDigit(s[pos]))
                ++pos;
            break;
        case 'm':
            if (IsLead(s, pos))
                return 0;
            ++pos;
            break;
        case 'M':
            if (!IsLead(s, pos))
                return 0;
            pos += CharLength(s, pos);
            break;
        case 'b': {
            if (c != '[')
                return 0;
            const size_t close = brackets.ClosingFrom(pos + 1);
            if (close >= s.size())
                return 0;
            pos = close + 1;
            break;
        }
        case 'c':
            if (c == ']')
                return 0;
            pos = brackets.ClosingFrom(pos);
            break;
        default:
            // "%%", or "%" before any other character: the script byte must be "%", and the
            // character after the "%" is then matched as itself.
            if (c != '%')
                return 0;
            ++pos;
            if (directive != '%')
                --p;
            break;
        }
    }
    return static_cast<int>(pos - position);
}

int TSsParser::MatchTag(size_t pos, TSsMarkUpType& kind) const
{
    const unsigned char key
        = pos + 1 < script_.size() ? static_cast<unsigned char>(script_[pos + 1]) : 0;
    for (const int i : tagIndex_[key]) {
        const std::string& line = tagPattern_[static_cast<size_t>(i)];
        if (line[0] != '\\' && line[0] != '!')
            throw ESsParserError(
                Sjis("TagPattern表記ミス ") + std::to_string(i + 1) + Sjis(" 行目"));
        // A "!" stands for the backslash; the "\" itself is checked here.
        const int n = Match(script_, pos + 1, std::string_view(line).substr(1), brackets_);
        if (n > 0 || line.size() == 1) {
            kind = line[0] == '!' ? TSsMarkUpType::smErrorTag : TSsMarkUpType::smTag;
            return n + 1;
        }
    }
    return 0;
}

int TSsParser::MatchMeta(size_t pos) const
{
    const unsigned char key
        = pos + 1 < script_.size() ? static_cast<unsigned char>(script_[pos + 1]) : 0;
    for (const int i : metaIndex_[key]) {
        const int n = Match(script_, pos + 1, metaPattern_[static_cast<size_t>(i)], brackets_);
        if (n > 0)
            return n;
    }
    return 0;
}

bool TSsParser::Claim(size_t pos, bool atTag, int& len, TSsMarkUpType& kind, std::string& extra)
{
    if (!OnParse)
        return false;
    len = 0;
    kind = TSsMarkUpType::smText;
    extra.clear();
    OnParse(*this, std::string_view(script_).substr(pos), len, kind, extra);
    if (len <= 0) {
        extra.clear(); // no claim, so nothing of the handler's stays on the token
        return false;
    }
    const bool allowed = atTag ? (kind == TSsMarkUpType::smTag || kind == TSsMarkUpType::smErrorTag)
                               : kind == TSsMarkUpType::smMeta;
    if (!allowed)
        throw ESsParserError(Sjis("正しいエレメントタイプを返してください"));
    // A claim past the end of the script takes what is there.
    len = static_cast<int>(std::min<size_t>(static_cast<size_t>(len), script_.size() - pos));
    return true;
}

void TSsParser::EmitText(std::string& buffer)
{
    if (buffer.empty())
        return;
    tokens_.push_back({ TSsMarkUpType::smText, std::move(buffer), {} });
    buffer.clear();
}

void TSsParser::ParseScript(std::string_view script)
{
    // A handler parsing again would replace the script under the view it was given.
    RefuseWhileParsing();
    parsing_ = true;
    struct Reset
    {
        bool& flag;
        ~Reset() { flag = false; }
    } reset { parsing_ };
    script_.assign(UpToNul(script)); // the room of the last script is used again
    brackets_.Reset(script_);
    tokens_.clear();
    const std::string_view s = script_;
    std::string buffer;
    size_t pos = 0;
    while (pos < s.size()) {
        // Plain bytes go into the text in one piece; a lead byte always takes its trail byte.
        const size_t start = pos;
        while (pos < s.size() && s[pos] != '\\' && s[pos] != '%')
            pos += CharLength(s, pos);
        pos = std::min(pos, s.size());
        buffer.append(s.substr(start, pos - start));
        if (pos >= s.size())
            break;

        if (s[pos] == '\\' && pos + 1 < s.size() && (s[pos + 1] == '\\' || s[pos + 1] == '%')) {
            if (LeaveEscape)
                buffer.append(s.substr(pos, 2));
            else
                buffer += s[pos + 1];
            pos += 2;
            continue;
        }

        int len = 0;
        TSsMarkUpType kind = TSsMarkUpType::smTag;
        std::string extra;
        if (s[pos] == '\\') {
            if (!Claim(pos, true, len, kind, extra))
                len = MatchTag(pos, kind);
            EmitText(buffer);
            if (len <= 0) {
                // Unknown: the backslash and the character after it, if any.
                kind = TSsMarkUpType::smErrorTag;
                len = 1 + (pos + 1 < s.size() ? static_cast<int>(CharLength(s, pos + 1)) : 0);
            }
            tokens_.push_back(
                { kind, std::string(s.substr(pos, static_cast<size_t>(len))), std::move(extra) });
            pos += static_cast<size_t>(len);
            continue;
        }

        // A "%": a meta word when something recognises it, else part of the text.
        if (!Claim(pos, false, len, kind, extra)) {
            const int n = MatchMeta(pos);
            len = n > 0 ? n + 1 : 0;
        }
        if (len > 0) {
            EmitText(buffer);
            tokens_.push_back({ TSsMarkUpType::smMeta,
                std::string(s.substr(pos, static_cast<size_t>(len))), std::move(extra) });
            pos += static_cast<size_t>(len);
        } else {
            buffer += EscapeInvalidMeta ? "\\%" : "%";
            ++pos;
        }
    }
    EmitText(buffer);
}

TSsMarkUpType TSsParser::MarkTypeAt(int index) const
{
    if (index < 0 || index >= TokenCount())
        throw ESsParserError(Sjis("インデックスが範囲をこえています"));
    return tokens_[static_cast<size_t>(index)].MarkType;
}

std::string TSsParser::TextAt(int index) const
{
    if (index < 0 || index >= TokenCount())
        return {};
    return tokens_[static_cast<size_t>(index)].Text;
}

std::vector<std::string> TSsParser::LoadPatternFile(const std::string& path)
{
    return SplitLines(ReadFileBytes(path));
}

std::string GetErrorTags(const std::string& script, TSsParser& parser)
{
    parser.ParseScript(script);
    std::string tags;
    for (const TSsMarkUp& token : parser.Tokens()) {
        if (token.MarkType != TSsMarkUpType::smErrorTag)
            continue;
        if (!tags.empty())
            tags += ',';
        tags += token.Text;
    }
    return tags;
}
