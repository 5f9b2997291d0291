#pragma once

#include "log/MessageList.h"
#include "platform/FileDialog.h"

#include <string>

class TSsParser;
class TSurfaces;

// The two readers that fill the current log. Both clear the list first. A malformed line stops
// the reader with an error (EConvertError or EListError naming the offending text or field);
// the messages of the lines before it stay in the list. GUI thread only.

// The links every message read gets to the main window's tokenizer and surface cache.
struct TMessageLinks
{
    TSsParser* parser = nullptr;
    TSurfaces* surfaces = nullptr;
};

// Fetched-log text (a /fetchlog.cgi answer, or "log.txt"): first line exactly "Result: OK", two
// header lines, then one message per line in eight TAB-separated fields: time stamp
// (YYYYMMDDhhmmss), MID, channel, ghost, connections, votes, agrees, script. Any other first line
// leaves the list empty without an error; an empty text is an error (it has no first line).
void ParseLog(const std::string& text, TMessageList& list, const TMessageLinks& links);

// Sent.log text: every line a message of four comma-separated fields: channel, ghost,
// "YYYY/MM/DD hh:mm:ss", script (cut at its first comma).
void ParseSentLog(const std::string& text, TMessageList& list, const TMessageLinks& links);

// Clears the list, asks for a Sent.log file and reads it. A cancelled dialog leaves the list
// empty; a file that cannot be read throws EFileError with the list empty.
void LoadSentLog(TMessageList& list, IOpenDialog& dialog, const TMessageLinks& links);

// The open dialog's filter for Sent.log: the file name in any letter case.
const TFileFilter& SentLogFilter();
