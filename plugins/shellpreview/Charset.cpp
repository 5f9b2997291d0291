#include "Charset.h"

#include <iconv.h>

std::string_view TrimBlanks(std::string_view s)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

std::string LowerAscii(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + ('a' - 'A'));
    return out;
}

std::string IconvCharset(std::string_view written)
{
    // Compared without case, blanks, "-" and "_", so "Shift_JIS", "shift-jis" and "SJIS" meet.
    std::string key;
    for (const char c : written)
        if (c != '-' && c != '_' && c != ' ' && c != '\t' && c != '\r')
            key += static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    if (key == "utf8")
        return "UTF-8";
    if (key == "shiftjis" || key == "sjis" || key == "cp932" || key == "windows31j"
        || key == "mscp932" || key == "ms932" || key == "xsjis" || key == "mskanji")
        return "CP932";
    if (key == "eucjp" || key == "xeucjp")
        return "EUC-JP";
    if (key == "iso2022jp")
        return "ISO-2022-JP";
    return {};
}

Converter::Converter(const char* to, const char* from)
    : cd_(::iconv_open(to, from))
{ }

Converter::~Converter()
{
    if (cd_ != reinterpret_cast<void*>(-1))
        ::iconv_close(static_cast<iconv_t>(cd_));
}

bool Converter::operator()(std::string_view text, std::string& out)
{
    out.clear();
    if (cd_ == reinterpret_cast<void*>(-1))
        return false;
    const auto cd = static_cast<iconv_t>(cd_);
    ::iconv(cd, nullptr, nullptr, nullptr, nullptr); // a fresh start for each text
    out.assign(text.size() * 4 + 4, '\0');
    char* src = const_cast<char*>(text.data());
    size_t srcLeft = text.size();
    char* dst = out.data();
    size_t dstLeft = out.size();
    if (::iconv(cd, &src, &srcLeft, &dst, &dstLeft) == static_cast<size_t>(-1)
        || ::iconv(cd, nullptr, nullptr, &dst, &dstLeft) == static_cast<size_t>(-1)) {
        out.clear();
        return false;
    }
    out.resize(out.size() - dstLeft);
    return true;
}

bool Convert(const char* to, const char* from, std::string_view text, std::string& out)
{
    return Converter(to, from)(text, out);
}
