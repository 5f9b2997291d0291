#include "log/LogRequest.h"

#include <algorithm>

int32_t ClampCount(int64_t count)
{
    return static_cast<int32_t>(std::clamp<int64_t>(count, kMinCount, kMaxCount));
}

std::string FetchQuery(const TLogRequest& request, TDateTime now)
{
    switch (request.choice) {
    case TLogChoice::Recent: {
        const int64_t n = request.count;
        const int64_t minutes = request.unit == TTimeUnit::Hours ? n * 60
            : request.unit == TTimeUnit::Days                    ? n * 1440
                                                                 : n;
        return "?recent=" + std::to_string(minutes);
    }
    case TLogChoice::From: {
        const TDateTime start = DateOf(request.startDate) + TimeOf(request.startTime);
        const TDateTime elapsed = now - start;
        if (elapsed <= 0)
            return "?recent=0";
        const TTimeFields t = DecodeTime(elapsed);
        // DecodeTime may round up into the next day; count that day as elapsed too.
        const auto days = static_cast<int64_t>(DateOf(elapsed));
        return "?recent=" + std::to_string(days * 1440 + t.hour * 60 + t.minute);
    }
    case TLogChoice::Range:
        break;
    }
    const TDateFields lo = DecodeDate(request.firstDate);
    const TDateFields hi = DecodeDate(request.lastDate);
    return "?year_lo=" + std::to_string(lo.year) + "&month_lo=" + std::to_string(lo.month)
        + "&day_lo=" + std::to_string(lo.day) + "&year_hi=" + std::to_string(hi.year)
        + "&month_hi=" + std::to_string(hi.month) + "&day_hi=" + std::to_string(hi.day);
}

TLogSpan RequestSpan(const TLogRequest& request, TDateTime now)
{
    // A moment just past now, so that a message stamped this very second is inside.
    const TDateTime end = now + 1.0 / 86400;
    switch (request.choice) {
    case TLogChoice::Recent: {
        const double minutes = request.unit == TTimeUnit::Hours ? request.count * 60.0
            : request.unit == TTimeUnit::Days                   ? request.count * 1440.0
                                                                : request.count;
        return { now - minutes / 1440, end };
    }
    case TLogChoice::From:
        return { DateOf(request.startDate) + TimeOf(request.startTime), end };
    case TLogChoice::Range:
        break;
    }
    return { DateOf(request.firstDate), DateOf(request.lastDate) + 1 };
}
