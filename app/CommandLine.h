#pragma once

#include "log/LogRequest.h"

#include <optional>
#include <string>
#include <vector>

// A batch run: "past N", "term FIRST-LAST" or "start MOMENT", then the page size and "noview" or
// anything else. Modes and "noview" are case-sensitive; dates are "yyyy/mm/dd" with an optional
// "hh:nn" or "hh:nn:ss".
struct TCommandLine
{
    TLogRequest request;
    int32_t messagesPerPage = 100;
    bool noView = false;
};

// nullopt for anything that is not exactly such four arguments (the program then says
// "パラメータが不正です" and makes no request). "past" counts outside 1..5000 are brought into it.
std::optional<TCommandLine> ParseCommandLine(const std::vector<std::string>& arguments);
