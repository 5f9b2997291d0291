#pragma once

#include "archive/Query.h"
#include "log/LogRequest.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What the program is asked to do from its arguments.
enum class TVerb {
    View, // "past N", "term FIRST-LAST" or "start MOMENT", the page size, "noview" or anything
    Search, // "search QUERY", the page size, "noview" or anything: the archive's hits as pages
    Import, // "import PATH..." : log files and folders into the archive
    Sync, // "sync": the archive brought up to date from the bottle server
    Export, // "export QUERY FORMAT FILE": the messages the query finds, written to FILE ("-": out)
    Help, // "--help" (or "-h")
    Version, // "--version"
};

// A view's modes and "noview" are case-sensitive; dates are "yyyy/mm/dd" with an optional "hh:nn"
// or "hh:nn:ss".
struct TCommandLine
{
    TVerb verb = TVerb::View;
    TLogRequest request;
    int32_t messagesPerPage = 100;
    bool noView = false;
    std::vector<std::string> paths; // Import
    std::string query; // Search, Export: the query as typed (program text), read by ParseQuery
    std::string format; // Export, as typed: RunExport tells a name it does not know
    std::string outputFile; // Export
};

// nullopt for anything that is none of the forms above (the program then says
// "パラメータが不正です" and makes no request). "past" counts outside 1..5000 are brought into it.
std::optional<TCommandLine> ParseCommandLine(const std::vector<std::string>& arguments);

// A query as a person typed it (UTF-8: the search field, an argument), read by ParseQuery. A
// character with no Shift_JIS form is refused with its place, like any other unreadable query.
TQuery ParseTypedQuery(std::string_view utf8);

// The usage of every mode, in Japanese, for --help (program text).
std::string UsageText();
