#pragma once

#include "platform/DateTime.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

class TArchive;
class TBottleMessage;

// The logic of the bundled bottle server, apart from its sockets: which log lines a /fetchlog.cgi
// query selects, and what a /bottle2.cgi vote or agree command answers. Text is Shift_JIS bytes.
class TBottleServerCore
{
public:
    // Serves the archive's messages instead of a log: every message kept with a MID, from any
    // server, with the MID and counts as kept (messages kept without one, from Sent.log or local
    // files, are no message of a bottle server and are left out). Votes and agreements are added
    // to the archive's counts, and a command's answer gives the counts kept. The archive must
    // outlive the core.
    void SetArchive(TArchive& archive);

    // Data lines of the fetched-log format (a leading "Result: OK" and its two header lines are
    // skipped). Lines whose first field is not a 14-digit time stamp are ignored.
    void SetLog(const std::string& text);

    // Demo mode: the demo lines are re-stamped evenly over the hour before `start`, and every two
    // minutes after it one of them is posted again (with a new MID), so that there is always
    // something new to fetch.
    void SetDemo(const std::string& text, TDateTime start);

    // The answer to /fetchlog.cgi with these query parameters at the moment `now`: "Result: OK",
    // two header lines and the selected lines, or "Result: Err" for a query it cannot read.
    std::string FetchLog(const std::map<std::string, std::string>& query, TDateTime now) const;

    // The answer to a /bottle2.cgi body (percent-encoded "Name: value" lines).
    std::string Command(const std::string& body, TDateTime now);

    // The server's refusal in its usual answer form: "Result: Err" and the message.
    static std::string ErrorAnswer(const std::string& message);

    int Votes(const std::string& mid) const;
    int Agrees(const std::string& mid) const;

    static std::string PercentDecode(const std::string& text);
    static std::string Stamp(TDateTime moment); // YYYYMMDDhhmmss
    static std::optional<TDateTime> ParseStamp(const std::string& stamp);

private:
    struct Entry
    {
        TDateTime time;
        std::string mid;
        std::string line;
    };
    std::vector<Entry> Entries(TDateTime now) const;
    std::string WithCounts(const Entry& entry) const;
    std::string ArchiveLines(TDateTime from, TDateTime to) const;
    std::string ArchiveVote(const std::string& mid, bool agree);
    static std::string LogLine(const TBottleMessage& message);
    static std::string UnknownMessage(const std::string& mid);
    static std::optional<Entry> ParseLine(const std::string& line);

    std::vector<Entry> log_;
    std::vector<Entry> demo_;
    std::optional<TDateTime> demoStart_;
    TArchive* archive_ = nullptr;
    std::map<std::string, int> votes_;
    std::map<std::string, int> agrees_;
};
