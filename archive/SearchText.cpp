#include "archive/SearchText.h"

#include "platform/Encoding.h"
#include "render/MessageHtml.h"
#include "render/SsParser.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <new>
#include <utf8proc.h>
#include <vector>

// FTS5's ascii tokenizer keeps every non-ASCII character in its token; tokenchars makes every
// printable ASCII character a token character too, so only blanks and control characters split.
// The default unicode61 tokenizer would cut "!?" or "a." apart and lose them from the index.
// Hits are listed by time, never ranked, so the per-row sizes that ranking needs are not kept
// (a twentieth of the index). Nor are token positions (detail = none, a third of the size of
// keeping them): a word of two characters is one token and found exactly without them, and a
// longer one is looked up by all of its tokens and then checked in the normalised text.
const char* const kBigramTableOptions
    = R"(tokenize = "ascii tokenchars '!""#$%&''()*+,-./:;<=>?@[\]^_`{|}~'", columnsize = 0, )"
      R"(detail = none)";

namespace {

constexpr char kSeparator = '\n';
// U+3000 IDEOGRAPHIC SPACE: NFKC turns it into U+0020, so normalised text never holds it and a
// token with it can only stand for a blank.
constexpr std::string_view kBlankInToken = "\xE3\x80\x80";

// Gives the page's escape settings to a parser for one tokenizing and takes them back after.
class PageEscapes
{
public:
    explicit PageEscapes(TSsParser& parser)
        : parser_(parser)
        , leaveEscape_(parser.LeaveEscape)
        , escapeInvalidMeta_(parser.EscapeInvalidMeta)
    {
        parser.LeaveEscape = true;
        parser.EscapeInvalidMeta = false;
    }
    ~PageEscapes()
    {
        parser_.LeaveEscape = leaveEscape_;
        parser_.EscapeInvalidMeta = escapeInvalidMeta_;
    }
    PageEscapes(const PageEscapes&) = delete;
    PageEscapes& operator=(const PageEscapes&) = delete;

private:
    TSsParser& parser_;
    const bool leaveEscape_;
    const bool escapeInvalidMeta_;
};

// Appends a text run: its escapes as the page shows them, control characters (which can never
// be the second byte of a double-byte character) as blanks so that "\n" stays the separator.
void AppendRun(std::string& out, const std::string& run)
{
    if (run.empty())
        return;
    if (!out.empty())
        out += kSeparator;
    const size_t start = out.size();
    out += run.find('\\') == std::string::npos ? run : UnescapeTalk(run);
    for (size_t i = start; i < out.size(); ++i) {
        const auto c = static_cast<unsigned char>(out[i]);
        if (c < 0x20 || c == 0x7F)
            out[i] = ' ';
    }
}

bool IsBlank(utf8proc_int32_t c)
{
    if (c == ' ')
        return true;
    if (c < 0x80)
        return c < 0x20 || c == 0x7F;
    switch (utf8proc_category(c)) {
    case UTF8PROC_CATEGORY_CC:
    case UTF8PROC_CATEGORY_ZS:
    case UTF8PROC_CATEGORY_ZL:
    case UTF8PROC_CATEGORY_ZP:
        return true;
    default:
        return false;
    }
}

// Calls take(c, bytes) for each character of UTF-8 text: its code point and its bytes. A byte that
// starts no character comes alone, with the code point -1.
template <typename Take> void ForEachChar(std::string_view utf8, Take take)
{
    const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(utf8.data());
    const auto length = static_cast<utf8proc_ssize_t>(utf8.size());
    for (utf8proc_ssize_t i = 0; i < length;) {
        utf8proc_int32_t c = bytes[i];
        utf8proc_ssize_t n = 1;
        if (c >= 0x80) {
            n = utf8proc_iterate(bytes + i, length - i, &c);
            if (n < 0) {
                c = -1;
                n = 1;
            }
        }
        take(c, utf8.substr(static_cast<size_t>(i), static_cast<size_t>(n)));
        i += n;
    }
}

struct FreeDeleter
{
    void operator()(utf8proc_uint8_t* p) const { std::free(p); }
};

} // namespace

std::string TalkText(const std::string& script, TSsParser& parser)
{
    {
        PageEscapes escapes(parser);
        parser.ParseScript(script);
    }
    // The page shows text, meta words and unknown tags as written; every tag it understands is
    // markup, except "\]", which shows as the bracket.
    std::string out;
    std::string run;
    for (const TSsMarkUp& token : parser.Tokens()) {
        if (token.MarkType != TSsMarkUpType::smTag) {
            run += token.Text;
        } else if (token.Text == "\\]") {
            run += ']';
        } else {
            AppendRun(out, run);
            run.clear();
        }
    }
    AppendRun(out, run);
    return out;
}

std::string NormaliseForSearch(std::string_view sjis)
{
    const std::string utf8 = SjisToUtf8Lossy(sjis);
    utf8proc_uint8_t* mapped = nullptr;
    const utf8proc_ssize_t length
        = utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(utf8.data()),
            static_cast<utf8proc_ssize_t>(utf8.size()), &mapped,
            static_cast<utf8proc_option_t>(
                UTF8PROC_STABLE | UTF8PROC_COMPOSE | UTF8PROC_COMPAT | UTF8PROC_CASEFOLD));
    const std::unique_ptr<utf8proc_uint8_t, FreeDeleter> owner(mapped);
    // The lossy conversion gives valid UTF-8, so only memory can run out here.
    if (length < 0)
        throw std::bad_alloc();

    // Blanks collapse to one and go where a separator is; neither starts or ends the text.
    enum class Gap { None, Blank, Separator };
    Gap gap = Gap::None;
    std::string out;
    out.reserve(static_cast<size_t>(length));
    ForEachChar({ reinterpret_cast<const char*>(mapped), static_cast<size_t>(length) },
        [&](utf8proc_int32_t c, std::string_view bytes) {
            if (c == kSeparator) {
                gap = out.empty() ? Gap::None : Gap::Separator;
            } else if (IsBlank(c)) {
                if (gap == Gap::None && !out.empty())
                    gap = Gap::Blank;
            } else {
                if (gap != Gap::None)
                    out += gap == Gap::Blank ? ' ' : kSeparator;
                gap = Gap::None;
                out += bytes;
            }
        });
    return out;
}

void Bigrams(std::string_view normalisedUtf8, std::string& out)
{
    out.clear();
    std::string_view previous; // the character before, as it goes into a token
    ForEachChar(normalisedUtf8, [&](utf8proc_int32_t c, std::string_view bytes) {
        // A byte that is no character breaks the piece like a separator.
        if (c < 0 || c == kSeparator) {
            previous = {};
            return;
        }
        const std::string_view current = c == ' ' ? kBlankInToken : bytes;
        if (!previous.empty()) {
            if (!out.empty())
                out += ' ';
            out += previous;
            out += current;
        }
        previous = current;
    });
}

std::string Bigrams(std::string_view normalisedUtf8)
{
    std::string out;
    out.reserve(normalisedUtf8.size() * 3);
    Bigrams(normalisedUtf8, out);
    return out;
}

TBigramQuery QueryBigrams(std::string_view normalisedWord)
{
    const std::string tokens = Bigrams(normalisedWord);
    TBigramQuery query;
    if (tokens.empty())
        return query;
    // Each distinct token once, quoted; a repeated one adds nothing to what must all be there.
    std::vector<std::string_view> seen;
    size_t start = 0;
    while (start <= tokens.size()) {
        size_t end = tokens.find(' ', start);
        if (end == std::string::npos)
            end = tokens.size();
        const std::string_view token(tokens.data() + start, end - start);
        start = end + 1;
        if (std::find(seen.begin(), seen.end(), token) != seen.end())
            continue;
        if (!seen.empty())
            query.match += " AND ";
        seen.push_back(token);
        query.match += '"';
        for (const char c : token) {
            query.match += c;
            if (c == '"')
                query.match += '"';
        }
        query.match += '"';
    }
    query.exact = tokens.find(' ') == std::string::npos;
    return query;
}
