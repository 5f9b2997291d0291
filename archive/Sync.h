#pragma once

#include "archive/Archive.h"
#include "log/LogRequest.h"
#include "log/LogText.h"
#include "platform/DateTime.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Bringing the archive up to date from a bottle server: from the newest message kept from that
// server up to now, one request a step and one transaction a step, so that a run that is stopped
// (killed, cut off, cancelled) has lost nothing it committed and the next run starts again from
// the newest message kept.
//
// The steps: every whole day from the newest kept message's day up to yesterday, each asked for
// as a range of that one day; then today's tail as the recent minutes since the later of that
// message and midnight, with a few minutes to spare for the two clocks. An archive with nothing
// from the server yet starts with yesterday. So a run with nothing new asks one short question.

// What one step asks for.
struct TSyncStep
{
    TLogRequest request; // a range of one day, or the recent minutes
    TDateTime day = 0; // the day the step covers
    bool tail = false; // today's latest minutes rather than a whole day
};

// The step in words for the user: its date, or today's recent minutes.
std::string SyncStepName(const TSyncStep& step);

// The steps from the newest message kept (none: nothing kept yet) up to now. A newest message
// later than now (the server's clock ahead of ours) counts as now.
std::vector<TSyncStep> SyncSteps(std::optional<TDateTime> newest, TDateTime now);

struct TSyncHooks
{
    // Downloads the log for a request; throws EVelmoError when it cannot. Required.
    std::function<TLogText(const TLogRequest& request)> fetch;
    // After each step is committed, with what keeping it did.
    std::function<void(const TSyncStep& step, const TArchiveCounts& counts)> progress;
    // Asked before each step: true stops the run there. Empty: the program was told to end.
    std::function<bool()> cancelled;
};

struct TSyncResult
{
    int32_t steps = 0; // steps committed
    TArchiveCounts counts; // over all of them
    bool complete = false; // every step done: the archive is up to date
    std::string problem; // why the run stopped short, in words for the user
};

// Runs the steps for the messages the archive keeps from `server` (as TArchive keys them). A
// step whose download fails, whose answer is no log, or that cannot be kept ends the run with
// its reason; a log that breaks off at a malformed line keeps what it read before the line and
// ends the run too. Whatever earlier steps committed stays.
TSyncResult SyncArchive(
    TArchive& archive, const std::string& server, TDateTime now, const TSyncHooks& hooks);
