#include "platform/Encoding.h"

#include "platform/Errors.h"

#include <cerrno>
#include <iconv.h>

namespace {

// A conversion descriptor. iconv_t is not safe to share between threads and costly to open, so
// each thread keeps one per direction (ConverterFor).
class Converter
{
public:
    Converter(const char* to, const char* from)
        : cd_(iconv_open(to, from))
    {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw EEncodingError(std::string("No converter from ") + from + " to " + to);
    }
    ~Converter() { iconv_close(cd_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts the whole input. On an invalid or incomplete sequence, calls onBad with the
    // output so far and returns false when onBad declines to skip; skipping drops one byte.
    template <typename OnBad> bool Run(std::string_view in, std::string& out, OnBad onBad)
    {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char* src = const_cast<char*>(in.data());
        size_t srcLeft = in.size();
        char buffer[1024];
        while (srcLeft > 0) {
            char* dst = buffer;
            size_t dstLeft = sizeof buffer;
            const size_t rc = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
            out.append(buffer, static_cast<size_t>(dst - buffer));
            if (rc != static_cast<size_t>(-1))
                continue;
            if (errno == E2BIG)
                continue;
            if (!onBad(out))
                return false;
            ++src;
            --srcLeft;
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        }
        return true;
    }

private:
    iconv_t cd_;
};

constexpr const char* kSjis = "CP932";
constexpr const char* kUtf8 = "UTF-8";

// The only two directions are Shift_JIS to UTF-8 and back.
Converter& ConverterFor(const char* to, [[maybe_unused]] const char* from)
{
    thread_local Converter toUtf8(kUtf8, kSjis);
    thread_local Converter toSjis(kSjis, kUtf8);
    return to == kUtf8 ? toUtf8 : toSjis;
}

// ASCII is the same in both character sets: no conversion needed.
bool IsAscii(std::string_view text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

bool Convert(const char* to, const char* from, std::string_view in, std::string& out)
{
    if (IsAscii(in)) {
        out.assign(in);
        return true;
    }
    return ConverterFor(to, from).Run(in, out, [](std::string&) { return false; });
}

std::string ConvertLossy(const char* to, const char* from, std::string_view in)
{
    std::string out;
    if (IsAscii(in))
        return std::string(in);
    ConverterFor(to, from).Run(in, out, [](std::string& soFar) {
        soFar += '?';
        return true;
    });
    return out;
}

// Error messages are program text (Shift_JIS) and must stay readable, so the offending text is
// quoted with its unconvertible bytes shown as "?".
std::string QuoteUtf8(std::string_view utf8)
{
    return "\"" + ConvertLossy(kSjis, kUtf8, utf8) + "\"";
}
std::string QuoteSjis(std::string_view sjis)
{
    return QuoteUtf8(ConvertLossy(kUtf8, kSjis, sjis));
}

} // namespace

std::string Utf8ToSjis(std::string_view utf8)
{
    std::string out;
    if (!Convert(kSjis, kUtf8, utf8, out))
        throw EEncodingError(
            "The text " + QuoteUtf8(utf8) + " has characters with no Shift_JIS form");
    return out;
}

std::string SjisToUtf8(std::string_view sjis)
{
    std::string out;
    if (!Convert(kUtf8, kSjis, sjis, out))
        throw EEncodingError("The text " + QuoteSjis(sjis) + " is not valid Shift_JIS");
    return out;
}

std::string SjisToUtf8Lossy(std::string_view sjis)
{
    return ConvertLossy(kUtf8, kSjis, sjis);
}

std::string Utf8ToSjisLossy(std::string_view utf8)
{
    return ConvertLossy(kSjis, kUtf8, utf8);
}

std::string Sjis(std::string_view utf8Literal)
{
    return Utf8ToSjis(utf8Literal);
}

std::string NativePath(std::string_view sjisPath)
{
    // The system would see the name cut at its NUL, which is another file.
    if (sjisPath.find('\0') != std::string_view::npos)
        throw EEncodingError("The path " + QuoteSjis(sjisPath) + " holds a NUL byte");
    std::string out;
    if (!Convert(kUtf8, kSjis, sjisPath, out))
        throw EEncodingError(
            "The path " + QuoteSjis(sjisPath) + " is not valid Shift_JIS and cannot be used");
    return out;
}

std::string FromNativePath(std::string_view nativePath)
{
    std::string out;
    if (!Convert(kSjis, kUtf8, nativePath, out))
        throw EEncodingError("The path " + QuoteUtf8(nativePath)
            + " has characters with no Shift_JIS form and cannot be used");
    return out;
}
