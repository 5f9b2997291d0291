#include "SurfacesText.h"

#include "Charset.h"

#include <charconv>
#include <optional>

namespace {

bool StartsWithNoCase(std::string_view s, std::string_view prefix)
{
    return s.size() >= prefix.size() && LowerAscii(s.substr(0, prefix.size())) == prefix;
}

std::optional<int> Number(std::string_view s)
{
    s = TrimBlanks(s);
    int value = 0;
    const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (s.empty() || error != std::errc() || end != s.data() + s.size())
        return std::nullopt;
    return value;
}

// The text before the first separator, taken off the front of `rest` with its separator.
std::string_view TakeItem(std::string_view& rest, char separator)
{
    const size_t at = rest.find(separator);
    const std::string_view item = rest.substr(0, at);
    rest.remove_prefix(at == std::string_view::npos ? rest.size() : at + 1);
    return item;
}

// "1,3,7", "10-19", "!12": the ranges of a header; a malformed item is passed over, and so is
// every item past the first kMaxRanges.
std::vector<SurfaceRange> Ranges(std::string_view list)
{
    std::vector<SurfaceRange> ranges;
    for (size_t items = 0; items < SurfaceBlock::kMaxRanges && !list.empty(); ++items) {
        std::string_view item = TrimBlanks(TakeItem(list, ','));
        SurfaceRange range;
        if (item.starts_with('!')) {
            range.exclude = true;
            item = TrimBlanks(item.substr(1));
        }
        if (StartsWithNoCase(item, "surface")) // "surface1,surface3" is seen too
            item.remove_prefix(7);
        const size_t dash = item.find('-', 1);
        const auto low = Number(item.substr(0, dash));
        const auto high = dash == std::string_view::npos ? low : Number(item.substr(dash + 1));
        if (!low || !high || *low < 0 || *high < *low)
            continue;
        range.low = *low;
        range.high = *high;
        ranges.push_back(range);
    }
    return ranges;
}

// "elementN,method,file,x,y"
std::optional<SurfaceElement> Element(std::string_view line)
{
    // The file name may itself hold commas: x and y are the last two fields.
    const size_t yComma = line.rfind(',');
    const size_t xComma = yComma == 0 || yComma == std::string_view::npos
        ? std::string_view::npos
        : line.rfind(',', yComma - 1);
    if (xComma == std::string_view::npos)
        return std::nullopt;
    std::string_view head = line.substr(0, xComma);
    const auto number = Number(TakeItem(head, ',').substr(7));
    const std::string_view method = TakeItem(head, ',');
    const auto x = Number(line.substr(xComma + 1, yComma - xComma - 1));
    const auto y = Number(line.substr(yComma + 1));
    // head is now the file: empty when the line has fewer than five fields.
    if (!number || *number < 0 || *number > SurfaceDefinitions::kMaxElement || !x || !y)
        return std::nullopt;
    SurfaceElement element;
    element.number = *number;
    element.method = LowerAscii(TrimBlanks(method));
    element.file = std::string(TrimBlanks(head));
    for (char& c : element.file)
        if (c == '\\')
            c = '/';
    if (element.file.empty())
        return std::nullopt;
    element.x = *x;
    element.y = *y;
    return element;
}

// "key,[id1,id2,...]": the first id.
std::optional<std::pair<int, int>> Alias(std::string_view line)
{
    const size_t comma = line.find(',');
    const size_t open = line.find('[');
    if (comma == std::string_view::npos || open == std::string_view::npos || open < comma)
        return std::nullopt;
    const auto key = Number(line.substr(0, comma));
    const size_t close = line.find(']', open);
    const std::string_view ids
        = line.substr(open + 1, close == std::string_view::npos ? close : close - open - 1);
    std::string_view rest = ids;
    const auto first = Number(TakeItem(rest, ','));
    if (!key || !first)
        return std::nullopt;
    return std::make_pair(*key, *first);
}

// The text in UTF-8. The whole text is converted at once; when that fails, line by line, and a
// line that does not convert is left out.
std::string Utf8Text(std::string_view bytes)
{
    std::string charset = "CP932";
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        charset = "UTF-8";
        bytes.remove_prefix(3);
    }
    const std::string_view first = TrimBlanks(bytes.substr(0, bytes.find('\n')));
    if (StartsWithNoCase(first, "charset,"))
        if (const std::string named = IconvCharset(first.substr(8)); !named.empty())
            charset = named;
    if (charset == "UTF-8")
        return std::string(bytes);
    std::string text;
    Converter convert("UTF-8", charset.c_str());
    if (convert(bytes, text)) {
        text.shrink_to_fit();
        return text;
    }
    std::string converted;
    while (!bytes.empty())
        if (convert(TakeItem(bytes, '\n'), converted))
            text.append(converted).push_back('\n');
    return text;
}

} // namespace

void SurfaceBlock::Add(SurfaceElement element)
{
    for (SurfaceElement& kept : elements)
        if (kept.number == element.number) {
            kept = std::move(element);
            return;
        }
    elements.push_back(std::move(element));
}

bool SurfaceBlock::Names(int surface) const
{
    bool named = false;
    for (const SurfaceRange& range : ranges)
        if (surface >= range.low && surface <= range.high) {
            if (range.exclude)
                return false;
            named = true;
        }
    return named;
}

void SurfaceDefinitions::Parse(std::string_view bytes)
{
    enum class Kind { None, Surface, Alias, Other };
    Kind kind = Kind::None; // of the block open now, or of the header waiting for its "{"
    bool open = false;
    std::string pending; // a header waiting for its "{"
    std::string scope;

    const auto startBlock = [&](std::string_view header) {
        header = TrimBlanks(header);
        kind = Kind::Other;
        if (StartsWithNoCase(header, "surface.append")) {
            blocks.push_back({ Ranges(header.substr(14)), true, {} });
            kind = Kind::Surface;
        } else if (StartsWithNoCase(header, "surface")) {
            blocks.push_back({ Ranges(header.substr(7)), false, {} });
            kind = Kind::Surface;
        } else if (const std::string lower = LowerAscii(header);
                   lower.ends_with(".surface.alias")) {
            scope = lower.substr(0, lower.size() - 14);
            kind = Kind::Alias;
        }
        open = true;
    };

    const std::string text = Utf8Text(bytes);
    for (std::string_view rest = text; !rest.empty();) {
        std::string_view line = TrimBlanks(TakeItem(rest, '\n'));
        if (line.empty() || line.starts_with("//"))
            continue;
        if (!open) {
            if (line == "{") {
                if (!pending.empty())
                    startBlock(pending);
                else
                    open = true, kind = Kind::Other;
                pending.clear();
            } else if (line.ends_with('{')) {
                startBlock(line.substr(0, line.size() - 1));
                pending.clear();
            } else if (line != "}") {
                pending = std::string(line);
            }
            continue;
        }
        const bool closes = line.ends_with('}');
        if (closes)
            line = TrimBlanks(line.substr(0, line.size() - 1));
        if (kind == Kind::Surface && StartsWithNoCase(line, "element")) {
            if (auto element = Element(line))
                blocks.back().Add(std::move(*element));
        } else if (kind == Kind::Alias) {
            if (const auto alias = Alias(line))
                aliases[scope].emplace(alias->first, alias->second);
        }
        if (closes) {
            open = false;
            kind = Kind::None;
        }
    }
}
