#include "archive/Sync.h"

#include "TestSupport.h"
#include "app/LogView.h"
#include "log/LogReader.h"
#include "log/MessageList.h"
#include "platform/FileIO.h"
#include "tests/ShippedParser.h"
#include "tools/bottleserver/BottleHttpServer.h"

#include <set>
#include <thread>

namespace {

TDateTime At(int y, int mo, int d, int h = 0, int mi = 0)
{
    return *TryEncodeDateTime({ y, mo, d }, { h, mi, 0, 0 });
}

// What each step asks for: a date for a range, "+N" for today's recent N minutes.
std::vector<std::string> Asked(const std::vector<TSyncStep>& steps)
{
    std::vector<std::string> asked;
    for (const TSyncStep& step : steps) {
        EXPECT_EQ(step.request.firstDate, step.request.lastDate);
        asked.push_back(step.tail ? "+" + std::to_string(step.request.count)
                                  : FormatShortDate(step.request.firstDate));
    }
    return asked;
}

TEST(Sync, StepsAreWholeDaysThenTodaysTail)
{
    const struct
    {
        const char* name;
        std::optional<TDateTime> newest;
        TDateTime now;
        std::vector<std::string> asked;
    } cases[] = {
        { "nothing new", At(2026, 3, 4, 10, 0), At(2026, 3, 4, 10, 3), { "+8" } },
        { "two days behind", At(2026, 3, 2, 23, 0), At(2026, 3, 4, 0, 30),
            { "2026/03/02", "2026/03/03", "+35" } },
        { "nothing kept", std::nullopt, At(2026, 3, 4, 12, 0), { "2026/03/03", "+725" } },
        { "newest after now", At(2026, 3, 4, 13, 0), At(2026, 3, 4, 12, 0), { "+5" } },
    };
    for (const auto& c : cases)
        EXPECT_EQ(Asked(SyncSteps(c.newest, c.now)), c.asked) << c.name;
}

// The bundled server on loopback over a log of the last four days, every request recorded.
class SyncTest : public testing::Test
{
protected:
    void SetUp() override
    {
        const TDateTime today = DateOf(now_);
        std::string log;
        for (int daysAgo = 3; daysAgo >= 1; --daysAgo)
            for (const int hour : { 0, 12, 23 })
                Add(log, today - daysAgo + hour / 24.0);
        // The newest lies today and within the last minutes.
        Add(log, std::max(today, now_ - 2.0 / 1440));
        core_.SetLog(log);
        port_ = server_.Bind(0);
        ASSERT_GT(port_, 0);
        thread_ = std::thread([this] { server_.Run(); });
        // Kept already: the oldest, so that a sync starts three days back.
        TMessageList first;
        ParseLog("Result: OK\r\nh\r\nh\r\n" + log.substr(0, log.find('\n') + 1), first);
        archive_.Store(first, kServer);
    }
    void TearDown() override
    {
        server_.Stop();
        thread_.join();
    }

    void Add(std::string& log, TDateTime time)
    {
        const std::string mid = "m" + std::to_string(mids_.size());
        mids_.insert(mid);
        log += TBottleServerCore::Stamp(time) + "\t" + mid + "\tch\tghost\t1\t0\t0\t\\0hi\r\n";
    }

    TSyncResult Sync(std::function<bool()> cancelled = [] { return false; })
    {
        TSyncHooks hooks;
        hooks.fetch = [this](const TLogRequest& request) {
            return TLogView::Fetch(
                TBottleServer::Parse("127.0.0.1:" + std::to_string(port_)), request, {});
        };
        hooks.progress = [this](const TSyncStep&, const TArchiveCounts&) { ++steps_; };
        hooks.cancelled = std::move(cancelled);
        return SyncArchive(archive_, kServer, Now(), hooks);
    }

    size_t Requests() const
    {
        const std::string record = ReadFileBytes(record_);
        size_t n = 0;
        for (size_t at = 0; (at = record.find("GET /fetchlog.cgi", at)) != std::string::npos; ++at)
            ++n;
        return n;
    }

    // The MIDs kept, each once.
    std::multiset<std::string> Kept() const
    {
        TMessageList list;
        archive_.Recall(0, Now() + 1, list);
        std::multiset<std::string> mids;
        for (int32_t i = 0; i < list.Count(); ++i)
            mids.insert(list.Items(i).MID);
        return mids;
    }

    static constexpr const char* kServer = "127.0.0.1:18470";
    const TDateTime now_ = Now();
    TempDir dir_;
    const std::string record_ = dir_.Sjis() + "record.txt";
    TArchive archive_ { dir_.Sjis() + "archive.sqlite3", &ShippedParser() };
    std::set<std::string> mids_;
    TBottleServerCore core_;
    TBottleHttpServer server_ { core_, NativePath(record_) };
    int port_ = -1;
    std::thread thread_;
    int steps_ = 0;
};

// A run stopped after its first step keeps that step; the next resumes from the newest message
// kept and ends with every message exactly once; one more run finds nothing new in one request.
TEST_F(SyncTest, InterruptedSyncResumesAndEndsWithEveryMessageOnce)
{
    const TSyncResult stopped = Sync([this] { return steps_ >= 1; });
    EXPECT_FALSE(stopped.complete);
    EXPECT_EQ(stopped.steps, 1);
    EXPECT_EQ(stopped.counts.added, 2); // the rest of the first day
    EXPECT_FALSE(stopped.problem.empty());

    const TSyncResult resumed = Sync();
    EXPECT_TRUE(resumed.complete) << resumed.problem;
    EXPECT_EQ(resumed.steps, 4); // the first day again, two more and today's tail
    EXPECT_EQ(resumed.counts.added, static_cast<int64_t>(mids_.size()) - 3);
    EXPECT_EQ(Kept(), std::multiset<std::string>(mids_.begin(), mids_.end()));

    const size_t before = Requests();
    const TSyncResult nothingNew = Sync();
    EXPECT_TRUE(nothingNew.complete) << nothingNew.problem;
    EXPECT_EQ(nothingNew.counts.added, 0);
    EXPECT_EQ(Requests(), before + 1);
    EXPECT_EQ(archive_.Count(), static_cast<int64_t>(mids_.size()));
}

// A step that fails ends the run with its reason; what it read before a malformed line is kept.
TEST_F(SyncTest, FailedStepEndsTheRunWithItsReason)
{
    const auto answer = [](std::string text) {
        return [text](const TLogRequest&) {
            TLogText log;
            log.Append(text);
            return log;
        };
    };
    const struct
    {
        const char* name;
        std::function<TLogText(const TLogRequest&)> fetch;
        int64_t kept;
    } cases[] = {
        { "refused",
            [](const TLogRequest& request) {
                return TLogView::Fetch(TBottleServer::Parse("127.0.0.1:1"), request, {});
            },
            1 },
        { "not a log", answer("Result: Err\r\n"), 1 },
        { "malformed line",
            answer("Result: OK\r\nh\r\nh\r\n20260101000000\tx\tc\tg\t1\t0\t0\t"
                   "s\r\nnot a line\r\n"),
            2 },
    };
    for (const auto& c : cases) {
        TSyncHooks hooks;
        hooks.fetch = c.fetch;
        const TSyncResult result = SyncArchive(archive_, kServer, Now(), hooks);
        EXPECT_FALSE(result.complete) << c.name;
        EXPECT_EQ(result.steps, 0) << c.name;
        EXPECT_NE(result.problem.find(FormatShortDate(DateOf(now_) - 3)), std::string::npos)
            << c.name << ": " << SjisToUtf8Lossy(result.problem);
        EXPECT_EQ(archive_.Count(), c.kept) << c.name;
    }
}

} // namespace
