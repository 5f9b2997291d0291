#pragma once

#include "log/LogText.h"
#include "log/MessageList.h"
#include "platform/FileDialog.h"
#include "platform/StrUtils.h"

#include <exception>
#include <functional>
#include <string>
#include <string_view>

// The two readers that fill a message list. Both clear the list first. A malformed line stops
// the reader with an error (EConvertError or EListError naming the offending text or field);
// the messages of the lines before it stay in the list. Any thread, one list per thread.

// Fetched-log text (a /fetchlog.cgi answer, or "log.txt"): first line exactly "Result: OK", two
// header lines, then one message per line in eight TAB-separated fields: time stamp
// (YYYYMMDDhhmmss), MID, channel, ghost, connections, votes, agrees, script. Any other first line
// leaves the list empty without an error; an empty text is an error (it has no first line).
void ParseLog(const std::string& text, TMessageList& list);
// The same for a downloaded text, freed piece by piece as it is read; progress (when given) is
// told the number of messages read after each piece.
void ParseLog(TLogText&& text, TMessageList& list,
    const std::function<void(int32_t messages)>& progress = {});

// Why a downloaded answer holds no log, in words for the user; empty when its first line is
// exactly "Result: OK". An empty answer is the download's failure. Any other first line is named,
// cut to 80 bytes of whole characters, with control characters shown as "?", so that a server's
// garbage cannot reach a terminal as escape sequences.
std::string LogAnswerProblem(std::string_view head);

// The fetched-log reader fed in pieces of any size (a line may span pieces), with the same
// outcome as ParseLog over the whole text: Finish reports the error that stopped it, if any.
class TLogParser
{
public:
    TLogParser(TMessageList& list); // clears the list
    void Feed(std::string_view bytes);
    // Reads a last line without an end, then throws what ParseLog would have thrown.
    void Finish();

private:
    void Line(std::string_view line);

    TMessageList& list_;
    TLineSplitter splitter_;
    size_t lines_ = 0;
    bool stopped_ = false;
    std::exception_ptr error_;
};

// One data line of fetched-log text as a message; throws what ParseLog throws for it.
TBottleMessage ReadLogLine(std::string_view line);
// One line of Sent.log text as a message; throws what ParseSentLog throws for it.
TBottleMessage ReadSentLogLine(std::string_view line);

// Sent.log text: every line a message of four comma-separated fields: channel, ghost,
// "YYYY/MM/DD hh:mm:ss", script (cut at its first comma).
void ParseSentLog(const std::string& text, TMessageList& list);

// Clears the list, asks for a Sent.log file and reads it. A cancelled dialog leaves the list
// empty; a file that cannot be read throws EFileError with the list empty.
void LoadSentLog(TMessageList& list, IOpenDialog& dialog);

// What a file on disk holds, told apart by its first lines: a fetched log starts with the line
// "Result: OK"; a Sent.log's first lines (up to three) each read as a Sent.log line. The head is
// the file's beginning; unless it is the whole file, a last line without its end is not judged.
enum class TLogFileKind { FetchedLog, SentLog, Neither };
TLogFileKind DetectLogFileKind(std::string_view head, bool wholeFile);

// The open dialog's filter for Sent.log: the file name in any letter case.
const TFileFilter& SentLogFilter();
