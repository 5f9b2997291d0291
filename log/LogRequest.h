#pragma once

#include "platform/DateTime.h"

#include <cstdint>
#include <string>

// What the log request dialog asks the bottle server for: the last N hours, days or minutes, a
// range of whole days, or everything since a moment.
enum class TLogChoice {
    Recent,
    Range,
    From,
};

// The unit box: its three entries, or anything else (nothing chosen, typed text), read as minutes.
enum class TTimeUnit {
    Hours,
    Days,
    Minutes,
    Other,
};

struct TLogRequest
{
    TLogChoice choice = TLogChoice::Recent;
    int32_t count = 1; // 1..5000
    TTimeUnit unit = TTimeUnit::Hours;
    TDateTime firstDate = 0; // range: only the dates count
    TDateTime lastDate = 0;
    TDateTime startDate = 0; // from: this day ...
    TDateTime startTime = 0; // ... at this time of day
};

constexpr int32_t kMinCount = 1;
constexpr int32_t kMaxCount = 5000;

// The count box's range rule: a value outside 1..5000 is brought into it.
int32_t ClampCount(int64_t count);

// The query of /fetchlog.cgi: "?recent=<minutes>" or "?year_lo=..&month_lo=..&day_lo=..&year_hi=
// ..&month_hi=..&day_hi=..", numbers without leading zeros. For a start moment the minutes are the
// whole days elapsed until now x 1440 + the hours x 60 + the minutes (seconds dropped); a moment
// later than now asks for recent=0.
std::string FetchQuery(const TLogRequest& request, TDateTime now);

// The stretch of time a request asks for, [from, to): the last minutes up to now, whole days from
// the first date's start to the end of the last, or from a moment up to now. For an answer kept
// on this machine when the server cannot give one.
struct TLogSpan
{
    TDateTime from = 0;
    TDateTime to = 0;
};
TLogSpan RequestSpan(const TLogRequest& request, TDateTime now);
