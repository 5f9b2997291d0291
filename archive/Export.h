#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

class TBottleMessage;
class TSsParser;

// The formats messages are exported in.
enum class TExportFormat {
    // One JSON object a line (UTF-8, LF): time ("2004-05-06T12:34:56", local), mid, channel,
    // ghost, connections, votes, agrees, script and talk (as read, "\n" where a tag stood).
    Jsonl,
    // RFC 4180: UTF-8 with a byte order mark, CR LF, a header row naming the fields of Jsonl
    // (time as "2004-05-06 12:34:56", which spreadsheets read as a date), a field quoted when it
    // holds a comma, a quote, CR or LF, its quotes doubled.
    Csv,
    // For people (UTF-8, LF): time, ghost, channel and the talk as read, TAB-separated, one line a
    // message; the talk's pieces (text on either side of a tag) are joined by a blank, and a TAB
    // or line break in a name is written as a blank.
    Txt,
    // The fetched-log format (Shift_JIS, CR LF): "Result: OK", two header lines, then one data line
    // a message, which velmo import and other log readers read back. A TAB, CR or LF in a field
    // would split it, so each is written as a blank and the message counted in `blanked`.
    Log,
};

// The format of that name ("jsonl", "csv", "txt", "log"); nullopt for any other.
std::optional<TExportFormat> ExportFormatNamed(std::string_view name);

// "jsonl csv txt log", for messages.
extern const char* const kExportFormatNames;

// Calls visit for each message in order until it returns false.
using TMessageVisitor = std::function<bool(const TBottleMessage&)>;
using TMessageSource = std::function<void(const TMessageVisitor&)>;

struct TExportCounts
{
    int64_t written = 0; // messages written
    int64_t blanked = 0; // Log: messages written with a TAB or line break made a blank
};

// Writes the source's messages to out one at a time, so that any number of them needs little
// memory. Texts are converted from Shift_JIS for the UTF-8 formats; a byte that does not convert
// becomes "?". The parser tokenizes the talk (it should hold the program's tag and meta patterns);
// Log does not use it. Stops at the first message out cannot take (out's state tells), and passes
// on what the source throws.
TExportCounts ExportMessages(
    const TMessageSource& source, TExportFormat format, std::ostream& out, TSsParser& parser);
