// The tokenizer on arbitrary bytes. With the shipped pattern files and default settings it must
// never fail, and its tokens joined must give back the script up to its first NUL. With pattern
// lists taken from the input itself it may fail on a malformed line, but never crash.

#include "platform/StrUtils.h"
#include "render/SsParser.h"
#include "tests/ShippedParser.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);

    TSsParser& parser = ShippedParser();
    parser.ParseScript(input);
    std::string joined;
    for (const auto& token : parser.Tokens())
        joined += token.Text;
    const std::string script = input.substr(0, std::strlen(input.c_str()));
    if (joined != script)
        std::abort();
    // Every tag and meta word is what the first matching line of its list gives, each line
    // matched on its own: the parse's shared bracket index must change no answer.
    size_t pos = 0;
    for (const auto& token : parser.Tokens()) {
        const bool tag
            = token.MarkType == TSsMarkUpType::smTag || token.MarkType == TSsMarkUpType::smErrorTag;
        const auto& lines = tag ? parser.TagPattern() : parser.MetaPattern();
        if (tag || token.MarkType == TSsMarkUpType::smMeta) {
            for (const std::string& line : lines) {
                if (line.empty())
                    continue;
                const std::string_view rest = tag ? std::string_view(line).substr(1) : line;
                const int n = TSsParser::MatchPatternIn(script, pos + 1, rest);
                if (n > 0 || (tag && line.size() == 1)) {
                    if (token.Text.size() != static_cast<size_t>(n) + 1)
                        std::abort();
                    break;
                }
            }
        }
        pos += token.Text.size();
    }

    // "tag lines \x01 meta lines \x01 script": any patterns at all.
    const size_t a = input.find('\x01');
    const size_t b = a == std::string::npos ? std::string::npos : input.find('\x01', a + 1);
    if (b != std::string::npos) {
        TSsParser custom;
        custom.SetTagPattern(SplitLines(input.substr(0, a)));
        custom.SetMetaPattern(SplitLines(input.substr(a + 1, b - a - 1)));
        custom.LeaveEscape = (size & 1) != 0;
        custom.EscapeInvalidMeta = (size & 2) != 0;
        try {
            custom.ParseScript(input.substr(b + 1));
        } catch (const ESsParserError&) { }
    }
    return 0;
}
