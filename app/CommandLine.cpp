#include "app/CommandLine.h"

#include "platform/StrUtils.h"

std::optional<TCommandLine> ParseCommandLine(const std::vector<std::string>& arguments)
{
    if (arguments.size() != 4)
        return std::nullopt;
    TCommandLine line;
    const std::string& mode = arguments[0];
    const std::string& value = arguments[1];
    if (mode == "past") {
        const auto count = TryStrToInt(value);
        if (!count)
            return std::nullopt;
        line.request.choice = TLogChoice::Recent;
        line.request.count = ClampCount(*count);
        line.request.unit = TTimeUnit::Minutes;
    } else if (mode == "term") {
        const size_t dash = value.find('-');
        if (dash == std::string::npos)
            return std::nullopt;
        const auto first = TryStrToDateTime(value.substr(0, dash));
        const auto last = TryStrToDateTime(value.substr(dash + 1));
        if (!first || !last)
            return std::nullopt;
        line.request.choice = TLogChoice::Range;
        line.request.firstDate = DateOf(*first);
        line.request.lastDate = DateOf(*last);
    } else if (mode == "start") {
        const auto moment = TryStrToDateTime(value);
        if (!moment)
            return std::nullopt;
        line.request.choice = TLogChoice::From;
        line.request.startDate = DateOf(*moment);
        line.request.startTime = TimeOf(*moment);
    } else {
        return std::nullopt;
    }
    const auto pageSize = TryStrToInt(arguments[2]);
    if (!pageSize)
        return std::nullopt;
    line.messagesPerPage = *pageSize;
    line.noView = arguments[3] == "noview";
    return line;
}
