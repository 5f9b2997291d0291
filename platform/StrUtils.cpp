#include "platform/StrUtils.h"

#include "platform/Encoding.h"
#include "platform/Errors.h"

std::vector<std::string> SplitLines(std::string_view text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c != '\r' && c != '\n') {
            ++i;
            continue;
        }
        lines.emplace_back(text.substr(start, i - start));
        i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
        start = i;
    }
    if (start < text.size())
        lines.emplace_back(text.substr(start));
    return lines;
}

bool TLineSplitter::Feed(std::string_view bytes, const THandler& handler)
{
    while (!bytes.empty()) {
        if (afterCr_) {
            afterCr_ = false;
            if (bytes.front() == '\n') {
                bytes.remove_prefix(1);
                continue;
            }
        }
        const size_t end = bytes.find_first_of("\r\n");
        const std::string_view part = bytes.substr(0, end);
        if (!tooLong_) {
            const size_t room = maxBytes_ - partial_.size();
            if (part.size() > room) {
                partial_.append(part.substr(0, room));
                tooLong_ = true;
            } else if (end != std::string_view::npos && partial_.empty()) {
                // The usual case: a whole line within the piece is handed over without a copy.
                afterCr_ = bytes[end] == '\r';
                bytes.remove_prefix(end + 1);
                if (!handler(part, false))
                    return false;
                continue;
            } else {
                partial_.append(part);
            }
        }
        if (end == std::string_view::npos)
            return true;
        afterCr_ = bytes[end] == '\r';
        bytes.remove_prefix(end + 1);
        const std::string line = std::move(partial_);
        const bool cut = tooLong_;
        partial_.clear();
        tooLong_ = false;
        if (!handler(line, cut))
            return false;
    }
    return true;
}

void TLineSplitter::Finish(const THandler& handler)
{
    if (partial_.empty() && !tooLong_)
        return;
    const std::string line = std::move(partial_);
    const bool cut = tooLong_;
    partial_.clear();
    tooLong_ = false;
    handler(line, cut);
}

std::string JoinLines(const std::vector<std::string>& lines)
{
    std::string out;
    for (const auto& line : lines) {
        out += line;
        out += "\r\n";
    }
    return out;
}

std::vector<std::string> SplitFields(std::string_view line, char separator)
{
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t pos = line.find(separator, start);
        if (pos == std::string_view::npos) {
            fields.emplace_back(line.substr(start));
            return fields;
        }
        fields.emplace_back(line.substr(start, pos - start));
        start = pos + 1;
    }
}

std::optional<int32_t> TryStrToInt(std::string_view text)
{
    std::string_view digits = text;
    bool negative = false;
    if (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) {
        negative = digits[0] == '-';
        digits.remove_prefix(1);
    }
    if (digits.empty())
        return std::nullopt;
    int64_t value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > int64_t(INT32_MAX) + 1)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value < INT32_MIN || value > INT32_MAX)
        return std::nullopt;
    return static_cast<int32_t>(value);
}

int32_t StrToInt(std::string_view text)
{
    if (auto value = TryStrToInt(text))
        return *value;
    throw EConvertError::InvalidInteger(std::string(text));
}

std::string TextForBox(std::string_view text, size_t maxChars, size_t maxLines)
{
    size_t at = 0;
    size_t chars = 0;
    size_t lines = 1;
    while (at < text.size() && chars < maxChars) {
        if (text[at] == '\n' && ++lines > maxLines)
            break;
        at += IsLeadByte(static_cast<unsigned char>(text[at])) && at + 1 < text.size() ? 2 : 1;
        ++chars;
    }
    if (at >= text.size())
        return std::string(text);
    std::string shown(text.substr(0, at));
    while (!shown.empty() && (shown.back() == '\r' || shown.back() == '\n'))
        shown.pop_back();
    return shown + "\r\n" + Sjis("(以下 ") + std::to_string(text.size() - at)
        + Sjis(" バイトを省略しました)");
}

std::string ShownText(std::string_view text, size_t maxBytes)
{
    std::string shown;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const bool pair = IsLeadByte(c) && i + 1 < text.size()
            && static_cast<unsigned char>(text[i + 1]) >= 0x40 && text[i + 1] != 0x7F;
        const size_t width = pair ? 2 : 1;
        if (shown.size() + width > maxBytes) {
            shown += "...";
            break;
        }
        if (width == 2) {
            shown.append(text, i, 2);
            ++i;
        } else {
            shown += c < 0x20 || c == 0x7F ? '?' : static_cast<char>(c);
        }
    }
    return shown;
}

std::string_view TrimBlanks(std::string_view text)
{
    const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool SameText(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    const auto fold = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; };
    for (size_t i = 0; i < a.size(); ++i) {
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[i]);
        if (IsLeadByte(ca)) {
            // Both sides must hold the same two-byte character, compared exactly.
            if (ca != cb || i + 1 >= a.size())
                return ca == cb;
            ++i;
            if (a[i] != b[i])
                return false;
            continue;
        }
        if (fold(ca) != fold(cb))
            return false;
    }
    return true;
}

bool StartsText(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && SameText(text.substr(0, prefix.size()), prefix);
}
