#include "archive/Sync.h"

#include "log/LogReader.h"
#include "log/MessageList.h"
#include "platform/Encoding.h"
#include "platform/Errors.h"
#include "platform/Termination.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr TDateTime kSecondsADay = 86400;
// Today's tail reaches this far before the newest kept message, so that a message stamped in the
// same minute but posted after the last run, or a server clock a little behind ours, loses
// nothing. What it fetches again only brings counts up to date.
constexpr int32_t kSpareMinutes = 5;

} // namespace

std::string SyncStepName(const TSyncStep& step)
{
    return step.tail ? Sjis("今日の最近 ") + std::to_string(step.request.count) + Sjis(" 分")
                     : FormatShortDate(step.day);
}

std::vector<TSyncStep> SyncSteps(std::optional<TDateTime> newest, TDateTime now)
{
    const TDateTime today = DateOf(now);
    const TDateTime from = std::min(newest.value_or(today - 1), now);
    std::vector<TSyncStep> steps;
    for (TDateTime day = DateOf(from); day < today; ++day) {
        TSyncStep step;
        step.request.choice = TLogChoice::Range;
        step.request.firstDate = day;
        step.request.lastDate = day;
        step.day = day;
        steps.push_back(step);
    }
    TSyncStep tail;
    tail.request.choice = TLogChoice::Recent;
    tail.request.unit = TTimeUnit::Minutes;
    // Whole seconds first: a day's fraction is seldom exact, and 30 minutes must not become 31.
    const auto seconds = std::llround((now - std::max(from, today)) * kSecondsADay);
    tail.request.count = static_cast<int32_t>((seconds + 59) / 60) + kSpareMinutes;
    tail.day = today;
    tail.tail = true;
    steps.push_back(tail);
    return steps;
}

TSyncResult SyncArchive(
    TArchive& archive, const std::string& server, TDateTime now, const TSyncHooks& hooks)
{
    TSyncResult result;
    const auto cancelled
        = [&] { return hooks.cancelled ? hooks.cancelled() : TerminationRequested(); };
    TMessageList list;
    // Messages stamped later than now are no point to resume from: a server's stray future stamp
    // would otherwise make every later run skip what was posted before it.
    for (const TSyncStep& step : SyncSteps(archive.Newest(server, now), now)) {
        if (cancelled()) {
            result.problem = Sjis("同期を中止しました");
            return result;
        }
        std::string problem;
        try {
            TLogText text = hooks.fetch(step.request);
            problem = LogAnswerProblem(text.Head());
            if (problem.empty()) {
                try {
                    ParseLog(std::move(text), list);
                } catch (const EVelmoError& e) {
                    // The lines before the malformed one are kept all the same.
                    problem = e.what();
                }
            }
            if (problem.empty() || list.Count() > 0) {
                const TArchiveCounts counts = archive.Store(list, server);
                result.counts.added += counts.added;
                result.counts.known += counts.known;
                if (problem.empty()) {
                    ++result.steps;
                    if (hooks.progress)
                        hooks.progress(step, counts);
                }
            }
        } catch (const EVelmoError& e) {
            problem = e.what();
        }
        list.Clear();
        if (!problem.empty()) {
            result.problem = SyncStepName(step) + Sjis(" のログを取り込めません: ") + problem;
            return result;
        }
    }
    result.complete = true;
    return result;
}
