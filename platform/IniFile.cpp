#include "platform/IniFile.h"

#include "platform/FileIO.h"
#include "platform/StrUtils.h"

namespace {

// "[name]" after optional blanks; the name runs to "]" or to the end of the line.
std::optional<std::string_view> SectionName(std::string_view line)
{
    line = TrimBlanks(line);
    if (line.empty() || line.front() != '[')
        return std::nullopt;
    line.remove_prefix(1);
    return TrimBlanks(line.substr(0, line.find(']')));
}

struct KeyLine
{
    std::string_view key;
    std::string_view value;
};

std::optional<KeyLine> ParseKeyLine(std::string_view line)
{
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos)
        return std::nullopt;
    return KeyLine { TrimBlanks(line.substr(0, eq)), TrimBlanks(line.substr(eq + 1)) };
}

bool HasLineBreakOrNul(std::string_view text)
{
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

std::optional<int32_t> ParseHex(std::string_view digits)
{
    if (digits.empty() || digits.size() > 8)
        return std::nullopt;
    uint32_t value = 0;
    for (const char c : digits) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return std::nullopt;
        value = value * 16 + static_cast<uint32_t>(d);
    }
    return static_cast<int32_t>(value);
}

} // namespace

TIniFile::TIniFile(std::string_view bytes)
    : lines_(SplitLines(bytes))
{ }

TIniFile TIniFile::LoadFromFile(const std::string& path)
{
    if (!FileExists(path))
        return {};
    return TIniFile(ReadRegularFile(path, kMaxFileSize));
}

std::optional<TIniFile::SectionRange> TIniFile::FindSection(std::string_view section) const
{
    for (size_t i = 0; i < lines_.size(); ++i) {
        const auto name = SectionName(lines_[i]);
        if (!name || !SameText(*name, section))
            continue;
        size_t end = i + 1;
        while (end < lines_.size() && !SectionName(lines_[end]))
            ++end;
        return SectionRange { i, end };
    }
    return std::nullopt;
}

std::optional<size_t> TIniFile::FindKey(const SectionRange& range, std::string_view key) const
{
    for (size_t i = range.header + 1; i < range.end; ++i) {
        const auto parsed = ParseKeyLine(lines_[i]);
        if (parsed && SameText(parsed->key, key))
            return i;
    }
    return std::nullopt;
}

std::optional<std::string> TIniFile::ReadValue(std::string_view section, std::string_view key) const
{
    const auto range = FindSection(section);
    if (!range)
        return std::nullopt;
    const auto line = FindKey(*range, key);
    if (!line)
        return std::nullopt;
    return std::string(ParseKeyLine(lines_[*line])->value);
}

std::string TIniFile::ReadString(
    std::string_view section, std::string_view key, std::string_view defaultValue) const
{
    auto value = ReadValue(section, key);
    if (!value)
        return std::string(defaultValue.substr(0, kMaxValueLength));
    if (value->size() > kMaxValueLength)
        value->resize(kMaxValueLength);
    return *value;
}

int32_t TIniFile::ReadInteger(
    std::string_view section, std::string_view key, int32_t defaultValue) const
{
    const auto value = ReadValue(section, key);
    if (!value)
        return defaultValue;
    const std::string_view text = *value;
    std::optional<int32_t> number;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        number = ParseHex(text.substr(2));
    else
        number = TryStrToInt(text);
    return number.value_or(defaultValue);
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value)
{
    if (HasLineBreakOrNul(section) || section.find(']') != std::string_view::npos)
        throw EIniFileError("Invalid section name \"" + std::string(section) + "\"");
    if (HasLineBreakOrNul(key) || key.find('=') != std::string_view::npos)
        throw EIniFileError("Invalid key name \"" + std::string(key) + "\"");
    if (HasLineBreakOrNul(value))
        throw EIniFileError("The value of key \"" + std::string(key) + "\" holds a line break");

    std::string line = std::string(key) + "=" + std::string(value);
    const auto range = FindSection(section);
    if (!range) {
        lines_.push_back("[" + std::string(section) + "]");
        lines_.push_back(std::move(line));
        return;
    }
    if (const auto existing = FindKey(*range, key)) {
        const std::string_view stored = ParseKeyLine(lines_[*existing])->value;
        if (stored.size() > kMaxValueLength && stored.substr(0, kMaxValueLength) == value)
            return;
        lines_[*existing] = std::move(line);
        return;
    }
    size_t insertAt = range->end;
    while (insertAt > range->header + 1 && TrimBlanks(lines_[insertAt - 1]).empty())
        --insertAt;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), std::move(line));
}

void TIniFile::WriteInteger(std::string_view section, std::string_view key, int32_t value)
{
    WriteString(section, key, std::to_string(value));
}

std::string TIniFile::ToBytes() const
{
    return JoinLines(lines_);
}

void TIniFile::SaveToFile(const std::string& path) const
{
    WriteFileAtomic(path, ToBytes());
}
