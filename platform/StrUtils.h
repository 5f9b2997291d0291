#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Text helpers over Shift_JIS byte strings, shared by every reader and writer of the program.

// True for a byte that starts a two-byte Shift_JIS character (0x81-0x9F, 0xE0-0xFC).
constexpr bool IsLeadByte(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Splits at CR LF, LF or CR. A break at the very end makes no empty last line; empty lines
// elsewhere are kept. An empty text has no lines.
std::vector<std::string> SplitLines(std::string_view text);

// Splits text that arrives in pieces of any size into lines as SplitLines does; a line may span
// pieces. A line longer than maxBytes is handed over as its first maxBytes bytes with tooLong set,
// and the rest of it is dropped as it comes, so that a file without line breaks is never held
// whole.
class TLineSplitter
{
public:
    // Receives each line; returns false to stop: the rest of the piece is not read.
    using THandler = std::function<bool(std::string_view line, bool tooLong)>;

    explicit TLineSplitter(size_t maxBytes = std::numeric_limits<size_t>::max())
        : maxBytes_(maxBytes)
    { }
    // False when the handler stopped.
    bool Feed(std::string_view bytes, const THandler& handler);
    // Hands over a last line that had no line break, if any.
    void Finish(const THandler& handler);

private:
    size_t maxBytes_;
    std::string partial_; // a line whose end has not come yet
    bool tooLong_ = false; // partial_ was cut: the line goes on beyond it
    bool afterCr_ = false; // a CR ended the last line: an LF right after it belongs to it
};

// Every line followed by CR LF.
std::string JoinLines(const std::vector<std::string>& lines);

// Splits at every occurrence of separator; empty fields count, so a line always has at least
// one field. Safe on Shift_JIS for TAB and comma: neither can be the second byte of a character.
std::vector<std::string> SplitFields(std::string_view line, char separator);

// A whole decimal number with an optional sign that fits 32 bits; nothing else (no blanks).
std::optional<int32_t> TryStrToInt(std::string_view text);
// As TryStrToInt; throws EConvertError "'%s' is not a valid integer value".
int32_t StrToInt(std::string_view text);

// A stranger's text as a message box may show it: at most maxChars characters (a double-byte
// character counts once) and maxLines lines, followed, when anything was cut, by a line saying
// how many bytes were left out.
std::string TextForBox(std::string_view text, size_t maxChars = 2000, size_t maxLines = 30);

// A stranger's one-line text as a message may quote it: cut to maxBytes of whole characters
// (followed by "..." when cut), with control characters shown as "?", so that no escape sequence
// reaches a terminal.
std::string ShownText(std::string_view text, size_t maxBytes);

// Removes blanks and TABs at both ends.
std::string_view TrimBlanks(std::string_view text);

// Case-insensitive equality for ASCII letters; the two bytes of a double-byte character are
// compared as they are, so that kanji whose second byte is a letter code never fold together.
bool SameText(std::string_view a, std::string_view b);
// Whether text begins with prefix, compared as SameText does.
bool StartsText(std::string_view text, std::string_view prefix);
