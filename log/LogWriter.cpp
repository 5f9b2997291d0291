#include "log/LogWriter.h"

#include "log/BottleMessage.h"

#include <cstdio>

std::string LogStamp(TDateTime moment)
{
    const TDateFields d = DecodeDate(moment);
    const TTimeFields t = DecodeTime(moment);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d%02d%02d%02d%02d%02d", d.year, d.month, d.day, t.hour,
        t.minute, t.second);
    return buffer;
}

std::string LogLine(const TBottleMessage& m)
{
    std::string line = LogStamp(m.LogTime);
    for (const std::string* field : { &m.MID, &m.Channel, &m.Ghost })
        (line += '\t') += *field;
    for (const int32_t count : { m.Connections, m.Votes, m.Agrees })
        (line += '\t') += std::to_string(count);
    (line += '\t') += m.Script;
    return line;
}
