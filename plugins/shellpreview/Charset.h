#pragma once

#include <string>
#include <string_view>

// Character sets of ghost files. Descript and surface files name their charset in the spellings
// people write ("UTF-8", "utf8", "Shift_JIS", "sjis", "cp932", "EUC-JP", ...).

// Blanks, TABs and CRs dropped at both ends.
std::string_view TrimBlanks(std::string_view text);

// ASCII letters lowered, other bytes as they are (a Shift_JIS or UTF-8 byte is never a letter).
std::string LowerAscii(std::string_view text);

// The iconv name for a charset as written, or empty when it is none we know.
std::string IconvCharset(std::string_view written);

// iconv between two character sets, opened once for many texts.
class Converter
{
public:
    Converter(const char* to, const char* from);
    ~Converter();
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // False (and out empty) when the text does not convert or the charsets are unknown.
    bool operator()(std::string_view text, std::string& out);

private:
    void* cd_;
};

// One text converted; false when it does not convert.
bool Convert(const char* to, const char* from, std::string_view text, std::string& out);
