#pragma once

#include "platform/DateTime.h"

#include <string>

class TBottleMessage;

// The fetched-log format written back: what ReadLogLine reads. Program text (Shift_JIS).

// The time stamp of a data line: YYYYMMDDhhmmss (milliseconds dropped).
std::string LogStamp(TDateTime moment);

// One data line, without its line end: stamp, MID, channel, ghost, connections, votes, agrees and
// script, TAB-separated. The texts are written as they are: one holding a TAB or a line break
// makes a line that reads back otherwise, so a caller that cannot rule them out clears them first.
std::string LogLine(const TBottleMessage& message);
