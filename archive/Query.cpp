#include "archive/Query.h"

#include "platform/Encoding.h"
#include "platform/StrUtils.h"

#include <optional>
#include <string_view>
#include <utility>

EQueryError::EQueryError(int position, const std::string& message)
    : EVelmoError(position > 0 ? std::to_string(position) + Sjis("文字目: ") + message : message)
    , position_(position)
{ }

TQueryNot::TQueryNot(TQueryNode node)
    : item(std::make_unique<TQueryNode>(std::move(node)))
{ }
TQueryNot::TQueryNot(const TQueryNot& other)
    : item(std::make_unique<TQueryNode>(*other.item))
{ }
TQueryNot::TQueryNot(TQueryNot&&) noexcept = default;
TQueryNot& TQueryNot::operator=(const TQueryNot& other)
{
    if (this != &other)
        item = std::make_unique<TQueryNode>(*other.item);
    return *this;
}
TQueryNot& TQueryNot::operator=(TQueryNot&&) noexcept = default;
TQueryNot::~TQueryNot() = default;

const char* CompareSign(TQueryCompare compare)
{
    switch (compare) {
    case TQueryCompare::Less:
        return "<";
    case TQueryCompare::LessOrEqual:
        return "<=";
    case TQueryCompare::Equal:
        return "=";
    case TQueryCompare::GreaterOrEqual:
        return ">=";
    case TQueryCompare::Greater:
        return ">";
    }
    return "=";
}

bool TQuery::MatchesEverything() const
{
    const auto* all = std::get_if<TQueryAnd>(&root.value);
    return all && all->items.empty();
}

namespace {

// Codes for the two-character comparisons typed as one character (≧ ≦).
constexpr char kGreaterOrEqualSign = '\x01';
constexpr char kLessOrEqualSign = '\x02';

// One character of the query: where its bytes are, and the ASCII character it stands for in the
// syntax (a full-width form folded to its ASCII one, every blank to ' '), or 0 for plain text.
struct TChar
{
    size_t offset = 0;
    size_t length = 0;
    char ascii = 0;
};

// The full-width forms an input method types for the syntax, as Shift_JIS code points.
char FoldWide(unsigned code)
{
    if (code >= 0x824F && code <= 0x8258)
        return static_cast<char>('0' + (code - 0x824F));
    switch (code) {
    case 0x8140:
        return ' ';
    case 0x8169:
        return '(';
    case 0x816A:
        return ')';
    case 0x8162:
        return '|';
    case 0x817C:
        return '-';
    case 0x8146:
        return ':';
    case 0x815E:
        return '/';
    case 0x8183:
        return '<';
    case 0x8181:
        return '=';
    case 0x8184:
        return '>';
    case 0x8186:
        return kGreaterOrEqualSign;
    case 0x8185:
        return kLessOrEqualSign;
    default:
        return 0;
    }
}

bool IsTrailByte(unsigned char c)
{
    return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC);
}

struct TLexed
{
    std::vector<TChar> chars;
    std::optional<size_t> badChar; // index of the first character that is not Shift_JIS
    bool tooLong = false;
};

// Splits text into characters, a lead byte and its trail being one. Stops after one character
// more than the longest query, so a huge paste costs no more than that.
TLexed Lex(std::string_view text)
{
    TLexed out;
    size_t at = 0;
    while (at < text.size()) {
        if (out.chars.size() == static_cast<size_t>(kMaxQueryChars)) {
            out.tooLong = true;
            return out;
        }
        const auto c = static_cast<unsigned char>(text[at]);
        TChar ch { at, 1, 0 };
        if (IsLeadByte(c)) {
            if (at + 1 < text.size() && IsTrailByte(static_cast<unsigned char>(text[at + 1]))) {
                ch.length = 2;
                ch.ascii = FoldWide(c << 8 | static_cast<unsigned char>(text[at + 1]));
            } else if (!out.badChar) {
                out.badChar = out.chars.size();
            }
        } else if (c <= 0x20 || c == 0x7F) {
            ch.ascii = ' ';
        } else if (c < 0x80) {
            ch.ascii = static_cast<char>(c);
        }
        out.chars.push_back(ch);
        at += ch.length;
    }
    // Pairs of valid shape may still name no character; find the first such one only when the
    // text as a whole does not convert.
    if (!out.badChar) {
        try {
            SjisToUtf8(text);
        } catch (const EEncodingError&) {
            for (size_t i = 0; i < out.chars.size() && !out.badChar; ++i) {
                try {
                    SjisToUtf8(text.substr(out.chars[i].offset, out.chars[i].length));
                } catch (const EEncodingError&) {
                    out.badChar = i;
                }
            }
        }
    }
    return out;
}

// Characters that end a word or an unquoted value.
bool EndsWord(char ascii)
{
    return ascii == ' ' || ascii == '(' || ascii == ')' || ascii == '|' || ascii == '"';
}

struct TFilterName
{
    std::string_view name;
    enum { Ghost, Channel, After, Before, Votes, Agrees } kind;
};
constexpr TFilterName kFilters[] = {
    { "ghost", TFilterName::Ghost },
    { "ch", TFilterName::Channel },
    { "after", TFilterName::After },
    { "before", TFilterName::Before },
    { "votes", TFilterName::Votes },
    { "agrees", TFilterName::Agrees },
};

// A filter's name at chars[at] in any case of ASCII letters (full-width letters are text).
bool NameAt(const std::vector<TChar>& chars, size_t at, std::string_view name)
{
    if (chars.size() - at < name.size())
        return false;
    for (size_t i = 0; i < name.size(); ++i) {
        const TChar& ch = chars[at + i];
        if (ch.length != 1 || (ch.ascii | 0x20) != name[i])
            return false;
    }
    return true;
}

struct TCompareSign
{
    TQueryCompare compare;
    size_t length; // in characters
};

std::optional<TCompareSign> CompareAt(const std::vector<TChar>& chars, size_t at)
{
    if (at >= chars.size())
        return std::nullopt;
    const char first = chars[at].ascii;
    const bool thenEquals = at + 1 < chars.size() && chars[at + 1].ascii == '=';
    switch (first) {
    case kGreaterOrEqualSign:
        return TCompareSign { TQueryCompare::GreaterOrEqual, 1 };
    case kLessOrEqualSign:
        return TCompareSign { TQueryCompare::LessOrEqual, 1 };
    case '=':
        return TCompareSign { TQueryCompare::Equal, 1 };
    case '>':
        return thenEquals ? TCompareSign { TQueryCompare::GreaterOrEqual, 2 }
                          : TCompareSign { TQueryCompare::Greater, 1 };
    case '<':
        return thenEquals ? TCompareSign { TQueryCompare::LessOrEqual, 2 }
                          : TCompareSign { TQueryCompare::Less, 1 };
    default:
        return std::nullopt;
    }
}

// The filter that begins at chars[at], if one does: its name and where its value begins.
struct TFilterStart
{
    TFilterName filter;
    size_t valueAt;
    TQueryCompare compare = TQueryCompare::Equal;
};

std::optional<TFilterStart> FilterAt(const std::vector<TChar>& chars, size_t at)
{
    for (const TFilterName& filter : kFilters) {
        if (!NameAt(chars, at, filter.name))
            continue;
        const size_t next = at + filter.name.size();
        if (filter.kind == TFilterName::Votes || filter.kind == TFilterName::Agrees) {
            if (const auto sign = CompareAt(chars, next))
                return TFilterStart { filter, next + sign->length, sign->compare };
        } else if (next < chars.size() && chars[next].ascii == ':') {
            return TFilterStart { filter, next + 1 };
        }
    }
    return std::nullopt;
}

// The word OR standing alone at chars[at]: the other way to write |.
bool OrWordAt(const std::vector<TChar>& chars, size_t at)
{
    return chars.size() - at >= 2 && chars[at].length == 1 && chars[at].ascii == 'O'
        && chars[at + 1].length == 1 && chars[at + 1].ascii == 'R'
        && (at + 2 == chars.size() || EndsWord(chars[at + 2].ascii));
}

// A value read from the query: its text as typed (a doubled quote made one), the same with the
// full-width forms of the syntax in ASCII (for reading numbers and dates), and the index of the
// character it began at.
struct TValue
{
    std::string text;
    std::string folded;
    size_t at = 0;
};

TQueryNode Negated(TQueryNode node)
{
    if (auto* inner = std::get_if<TQueryNot>(&node.value))
        return std::move(*inner->item);
    return TQueryNode { TQueryNot(std::move(node)) };
}

// Items as one node: one item is itself, a nested group of the same kind is spliced in.
template <typename TGroup> TQueryNode Joined(std::vector<TQueryNode> items)
{
    if (items.size() == 1)
        return std::move(items.front());
    TGroup group;
    for (TQueryNode& item : items) {
        if (auto* same = std::get_if<TGroup>(&item.value)) {
            for (TQueryNode& inner : same->items)
                group.items.push_back(std::move(inner));
        } else {
            group.items.push_back(std::move(item));
        }
    }
    return TQueryNode { std::move(group) };
}

class TParser
{
public:
    TParser(std::string_view text, std::vector<TChar> chars)
        : text_(text)
        , chars_(std::move(chars))
    { }

    TQueryNode Parse() { return ParseGroup(0, std::nullopt); }

private:
    [[noreturn]] static void Fail(size_t at, const std::string& message)
    {
        throw EQueryError(static_cast<int>(at) + 1, message);
    }
    [[noreturn]] static void Fail(size_t at, const char* utf8Message)
    {
        Fail(at, Sjis(utf8Message));
    }

    bool AtEnd() const { return at_ >= chars_.size(); }
    char Ascii() const { return AtEnd() ? 0 : chars_[at_].ascii; }

    void SkipBlanks()
    {
        while (Ascii() == ' ')
            ++at_;
    }

    // The items up to the end of the text, or up to the ) that closes the ( at open.
    TQueryNode ParseGroup(int depth, std::optional<size_t> open)
    {
        std::vector<TQueryNode> alternatives;
        std::vector<TQueryNode> items;
        std::optional<size_t> orAt; // the last | still waiting for its right side
        for (;;) {
            SkipBlanks();
            if (AtEnd()) {
                if (open)
                    Fail(*open, "閉じ括弧がありません");
                break;
            }
            if (Ascii() == ')') {
                if (!open)
                    Fail(at_, "対応する開き括弧がありません");
                ++at_;
                break;
            }
            const bool orWord = OrWordAt(chars_, at_);
            if (Ascii() == '|' || orWord) {
                if (items.empty()) {
                    if (orAt)
                        Fail(*orAt, "演算子のあとに検索語がありません");
                    Fail(at_, "演算子の前に検索語がありません");
                }
                alternatives.push_back(Joined<TQueryAnd>(std::move(items)));
                items.clear();
                orAt = at_;
                at_ += orWord ? 2 : 1;
                continue;
            }
            items.push_back(ParseItem(depth));
        }
        if (items.empty()) {
            if (orAt)
                Fail(*orAt, "演算子のあとに検索語がありません");
            if (open)
                Fail(*open, "括弧の中に検索語がありません");
            return TQueryNode { TQueryAnd {} };
        }
        alternatives.push_back(Joined<TQueryAnd>(std::move(items)));
        return Joined<TQueryOr>(std::move(alternatives));
    }

    // An item with the - signs before it.
    TQueryNode ParseItem(int depth)
    {
        bool negate = false;
        size_t lastMinus = at_;
        while (Ascii() == '-') {
            negate = !negate;
            lastMinus = at_++;
        }
        if (lastMinus != at_ && (AtEnd() || Ascii() == ' ' || Ascii() == ')' || Ascii() == '|'))
            Fail(lastMinus, "演算子のあとに検索語がありません");
        TQueryNode item = ParsePrimary(depth);
        return negate ? Negated(std::move(item)) : item;
    }

    TQueryNode ParsePrimary(int depth)
    {
        if (Ascii() == '(') {
            if (depth == kMaxQueryDepth)
                Fail(at_,
                    Sjis("括弧の入れ子が深すぎます（") + std::to_string(kMaxQueryDepth)
                        + Sjis("段まで）"));
            const size_t open = at_++;
            return ParseGroup(depth + 1, open);
        }
        if (Ascii() == '"') {
            const TValue phrase = ReadQuoted();
            if (phrase.text.empty())
                Fail(phrase.at, "引用符の中に検索語がありません");
            return TQueryNode { TQueryText { phrase.text, true } };
        }
        if (const auto filter = FilterAt(chars_, at_)) {
            at_ = filter->valueAt;
            return ParseFilter(*filter);
        }
        return TQueryNode { TQueryText { ReadValue().text, false } };
    }

    TQueryNode ParseFilter(const TFilterStart& filter)
    {
        const TValue value = ReadValue();
        switch (filter.filter.kind) {
        case TFilterName::Ghost:
            if (value.text.empty())
                Fail(value.at, "ghost: の名前がありません");
            return TQueryNode { TQueryGhost { value.text } };
        case TFilterName::Channel:
            if (value.text.empty())
                Fail(value.at, "ch: の名前がありません");
            return TQueryNode { TQueryChannel { value.text } };
        case TFilterName::After:
            return TQueryNode { TQueryAfter { Moment(value, "after: の日付がありません") } };
        case TFilterName::Before:
            return TQueryNode { TQueryBefore { Moment(value, "before: の日付がありません") } };
        case TFilterName::Votes:
        case TFilterName::Agrees:
            break;
        }
        if (value.text.empty())
            Fail(value.at, "数がありません");
        const std::string digits = value.folded;
        const auto number = digits.find_first_not_of("0123456789") == std::string::npos
            ? TryStrToInt(digits)
            : std::nullopt;
        if (!number)
            Fail(value.at, Sjis("数が読めません: ") + value.text);
        return TQueryNode { TQueryCount {
            filter.filter.kind == TFilterName::Votes ? TQueryField::Votes : TQueryField::Agrees,
            filter.compare, *number } };
    }

    TDateTime Moment(const TValue& value, const char* missing)
    {
        if (value.text.empty())
            Fail(value.at, missing);
        const auto moment = TryStrToDateTime(value.folded);
        if (!moment)
            Fail(value.at, Sjis("日付が読めません: ") + value.text);
        return *moment;
    }

    // A quoted value when one begins here, else the run of word characters (maybe none).
    TValue ReadValue()
    {
        if (Ascii() == '"')
            return ReadQuoted();
        TValue value { {}, {}, at_ };
        while (!AtEnd() && !EndsWord(Ascii()))
            Take(value);
        return value;
    }

    // "...", where "" stands for one quote character.
    TValue ReadQuoted()
    {
        TValue value { {}, {}, at_ };
        ++at_;
        for (;;) {
            if (AtEnd())
                Fail(value.at, "引用符が閉じていません");
            if (chars_[at_].ascii == '"') {
                ++at_;
                if (Ascii() != '"')
                    return value;
            }
            Take(value);
        }
    }

    void Take(TValue& value)
    {
        const std::string_view bytes = text_.substr(chars_[at_].offset, chars_[at_].length);
        value.text += bytes;
        if (chars_[at_].ascii)
            value.folded += chars_[at_].ascii;
        else
            value.folded += bytes;
        ++at_;
    }

    std::string_view text_;
    std::vector<TChar> chars_;
    size_t at_ = 0;
};

// Whether value reads back as the same single word or value without quotes.
bool ReadsBare(const std::string& value, bool word)
{
    const TLexed lexed = Lex(value);
    if (value.empty() || lexed.badChar || lexed.tooLong)
        return false;
    for (const TChar& ch : lexed.chars) {
        if (EndsWord(ch.ascii))
            return false;
    }
    return !word
        || (lexed.chars.front().ascii != '-' && !OrWordAt(lexed.chars, 0)
            && !FilterAt(lexed.chars, 0));
}

// word: the value stands alone as an item, so it must not read as an operator or a filter.
std::string Quoted(const std::string& value, bool word, bool always = false)
{
    if (!always && ReadsBare(value, word))
        return value;
    std::string out = "\"";
    for (const char c : value) {
        out += c;
        if (c == '"')
            out += '"';
    }
    return out + '"';
}

std::string DescribeMoment(TDateTime moment)
{
    const TTimeFields time = DecodeTime(moment);
    if (time.hour == 0 && time.minute == 0 && time.second == 0)
        return FormatShortDate(moment);
    return '"' + FormatShortDate(moment) + ' ' + FormatLongTime(moment) + '"';
}

// inside: the kind of group the node stands in, which decides whether it needs parentheses.
enum class TContext { Top, And, Or, Not };

std::string Describe(const TQueryNode& node, TContext inside)
{
    struct TVisitor
    {
        TContext inside;
        std::string Join(
            const std::vector<TQueryNode>& items, const char* separator, TContext context) const
        {
            std::string out;
            for (const TQueryNode& item : items)
                out += (out.empty() ? "" : separator) + Describe(item, context);
            return out;
        }
        std::string operator()(const TQueryAnd& all) const
        {
            const std::string items = Join(all.items, " ", TContext::And);
            return inside == TContext::Not ? "(" + items + ")" : items;
        }
        std::string operator()(const TQueryOr& any) const
        {
            const std::string items = Join(any.items, " | ", TContext::Or);
            return inside == TContext::Top || inside == TContext::Or ? items : "(" + items + ")";
        }
        std::string operator()(const TQueryNot& negation) const
        {
            return "-" + Describe(*negation.item, TContext::Not);
        }
        std::string operator()(const TQueryText& text) const
        {
            return Quoted(text.value, !text.phrase, text.phrase);
        }
        std::string operator()(const TQueryGhost& ghost) const
        {
            return "ghost:" + Quoted(ghost.name, false);
        }
        std::string operator()(const TQueryChannel& channel) const
        {
            return "ch:" + Quoted(channel.name, false);
        }
        std::string operator()(const TQueryAfter& after) const
        {
            return "after:" + DescribeMoment(after.moment);
        }
        std::string operator()(const TQueryBefore& before) const
        {
            return "before:" + DescribeMoment(before.moment);
        }
        std::string operator()(const TQueryCount& count) const
        {
            return (count.field == TQueryField::Votes ? "votes" : "agrees")
                + std::string(CompareSign(count.compare)) + std::to_string(count.value);
        }
    };
    return std::visit(TVisitor { inside }, node.value);
}

} // namespace

TQuery ParseQuery(const std::string& text)
{
    TLexed lexed = Lex(text);
    if (lexed.tooLong)
        throw EQueryError(
            0, Sjis("検索式が長すぎます（") + std::to_string(kMaxQueryChars) + Sjis("文字まで）"));
    if (lexed.badChar)
        throw EQueryError(static_cast<int>(*lexed.badChar) + 1, Sjis("読めない文字があります"));
    return TQuery { TParser(text, std::move(lexed.chars)).Parse() };
}

std::string DescribeQuery(const TQuery& query)
{
    return Describe(query.root, TContext::Top);
}
