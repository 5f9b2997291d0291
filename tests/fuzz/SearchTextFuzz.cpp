// The search text of arbitrary scripts with the shipped pattern files. It must never fail; the
// normalised text must be valid UTF-8 with single blanks and separators, none at either end;
// and any word cut from it must find its own tokens, in order, among the text's tokens.

#include "archive/SearchText.h"
#include "render/SsParser.h"
#include "tests/ShippedParser.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utf8proc.h>

namespace {

void Require(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::string text = NormaliseForSearch(TalkText(input, ShippedParser()));

    Require(text.empty() || (text.front() != ' ' && text.front() != '\n'));
    Require(text.empty() || (text.back() != ' ' && text.back() != '\n'));
    for (const char* pair : { "  ", " \n", "\n ", "\n\n" })
        Require(text.find(pair) == std::string::npos);
    const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(text.data());
    const auto length = static_cast<utf8proc_ssize_t>(text.size());
    for (utf8proc_ssize_t i = 0; i < length;) {
        utf8proc_int32_t c = 0;
        const utf8proc_ssize_t n = utf8proc_iterate(bytes + i, length - i, &c);
        Require(n > 0 && c != 0x3000);
        i += n;
    }

    // A word taken from the text at a place the input chooses, cut at character boundaries and
    // never across a separator.
    if (text.empty())
        return 0;
    size_t start = (size > 0 ? data[0] : 0) * text.size() / 256;
    while (start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80)
        --start;
    size_t end = text.find('\n', start);
    end = std::min(end == std::string::npos ? text.size() : end, start + 12);
    while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        ++end;
    const std::string word = text.substr(start, end - start);
    const std::string wordTokens = Bigrams(word);
    if (!wordTokens.empty())
        Require((" " + Bigrams(text) + " ").find(" " + wordTokens + " ") != std::string::npos);
    return 0;
}
