#include "tools/bottleserver/BottleServerCore.h"

#include "TestSupport.h"
#include "archive/Archive.h"
#include "log/LogReader.h"
#include "platform/StrUtils.h"
#include "tests/ShippedParser.h"

namespace {

TDateTime At(int y, int mo, int d, int h = 0, int mi = 0)
{
    return *TryEncodeDateTime({ y, mo, d }, { h, mi, 0, 0 });
}

std::string Line(const std::string& stamp, const std::string& mid)
{
    return stamp + "\t" + mid + "\tch\tghost\t1\t2\t3\t\\h\\s0hello";
}

std::vector<std::string> Mids(const std::string& answer)
{
    std::vector<std::string> mids;
    const auto lines = SplitLines(answer);
    EXPECT_EQ(lines.at(0), "Result: OK");
    for (size_t i = 3; i < lines.size(); ++i)
        mids.push_back(SplitFields(lines[i], '\t').at(1));
    return mids;
}

TEST(BottleServerCore, SelectsByTimeStamp)
{
    TBottleServerCore core;
    core.SetLog("Result: OK\r\nh\r\nh\r\n" + Line("20040601090000", "a") + "\r\n"
        + Line("20040615235959", "b") + "\r\n" + Line("20040616000000", "c") + "\r\n"
        + Line("20261208100000", "d") + "\r\n" + Line("20261208102959", "e")
        + "\r\nnot a line\r\n");
    const TDateTime now = At(2026, 12, 8, 10, 30);
    using Q = std::map<std::string, std::string>;
    EXPECT_EQ(Mids(core.FetchLog(Q { { "recent", "30" } }, now)),
        (std::vector<std::string> { "d", "e" }));
    EXPECT_EQ(
        Mids(core.FetchLog(Q { { "recent", "1" } }, now)), (std::vector<std::string> { "e" }));
    EXPECT_EQ(
        Mids(core.FetchLog(Q { { "year_lo", "2004" }, { "month_lo", "6" }, { "day_lo", "1" },
                               { "year_hi", "2004" }, { "month_hi", "6" }, { "day_hi", "15" } },
            now)),
        (std::vector<std::string> { "a", "b" }));
    EXPECT_TRUE(core.FetchLog(Q { { "year_lo", "x" } }, now).starts_with("Result: Err\r\n"));
}

TEST(BottleServerCore, DemoMessagesLieInTheLastHourAndKeepComing)
{
    TBottleServerCore core;
    const TDateTime start = At(2026, 12, 8, 10, 0);
    core.SetDemo("Result: OK\r\nh\r\nh\r\n" + Line("20000101000000", "x") + "\r\n"
            + Line("20000101000000", "y") + "\r\n",
        start);
    using Q = std::map<std::string, std::string>;
    EXPECT_EQ(Mids(core.FetchLog(Q { { "recent", "60" } }, start)),
        (std::vector<std::string> { "x", "y" }));
    EXPECT_EQ(Mids(core.FetchLog(Q { { "recent", "3" } }, start + 5.0 / 1440)),
        (std::vector<std::string> { "live1", "live2" }));
}

TEST(BottleServerCore, VotesAndAgreesAreCountedAndCheckedPerMid)
{
    TBottleServerCore core;
    core.SetLog(Line("20261208100000", "m1"));
    const TDateTime now = At(2026, 12, 8, 10, 30);
    const std::string vote
        = "Command:%20voteMessage%0D%0AVoteType:%20Vote%0D%0ALUID:%20me%0D%0AMID:%20m1%0D%0A";
    EXPECT_EQ(core.Command(vote, now), "Result: OK\r\nVotes: 1\r\nAgrees: 0\r\n");
    EXPECT_EQ(
        core.Command(
            "Command:%20voteMessage%0D%0AVoteType:%20Agree%0D%0ALUID:%20me%0D%0AMID:%20m1%0D%0A",
            now),
        "Result: OK\r\nVotes: 1\r\nAgrees: 1\r\n");
    EXPECT_EQ(
        core.Command(
            "Command:%20voteMessage%0D%0AVoteType:%20Vote%0D%0ALUID:%20%0D%0AMID:%20m1%0D%0A", now),
        "Result: Err\r\nExtraMessage: " + J("LUIDがありません") + "\r\n");
    EXPECT_EQ(
        core.Command(
            "Command:%20voteMessage%0D%0AVoteType:%20Vote%0D%0ALUID:%20me%0D%0AMID:%20zz%0D%0A",
            now),
        "Result: Err\r\nExtraMessage: " + J("そのメッセージはありません: ") + "zz\r\n");
    EXPECT_EQ(core.Votes("m1"), 1);
    EXPECT_EQ(core.Agrees("m1"), 1);
    // A later fetch shows the line's own counts plus those counted here.
    const auto lines = SplitLines(core.FetchLog({ { "recent", "60" } }, now));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[3], "20261208100000\tm1\tch\tghost\t1\t3\t4\t\\h\\s0hello");
}

// Serving an archive: a range answers the kept lines byte for byte (never the messages kept
// without a MID), and votes and agreements go into the archive's counts.
TEST(BottleServerCore, ServesAnArchiveAndCountsVotesIntoIt)
{
    const TempDir dir;
    TArchive archive(dir.Sjis() + "archive.sqlite3", &ShippedParser());
    TMessageList list;
    ParseLog("Result: OK\r\nh\r\nh\r\n" + Line("20040601090000", "a") + "\r\n"
            + Line("20040615235959", "b") + "\r\n" + Line("20040616000000", "c") + "\r\n",
        list);
    archive.Store(list, "bottle.example:80");
    ParseSentLog("ch,ghost,2004/06/15 12:00:00,\\h\\s0sent", list);
    archive.Store(list, "");
    TBottleServerCore core;
    core.SetArchive(archive);
    const TDateTime now = At(2026, 12, 8, 10, 30);
    const std::map<std::string, std::string> day15 { { "year_lo", "2004" }, { "month_lo", "6" },
        { "day_lo", "15" }, { "year_hi", "2004" }, { "month_hi", "6" }, { "day_hi", "15" } };
    const auto command = [&](const char* type, const char* mid) {
        return core.Command(std::string("Command:%20voteMessage%0D%0AVoteType:%20") + type
                + "%0D%0ALUID:%20me%0D%0AMID:%20" + mid + "%0D%0A",
            now);
    };
    EXPECT_EQ(SplitLines(core.FetchLog(day15, now)).at(3), Line("20040615235959", "b"));
    EXPECT_EQ(Mids(core.FetchLog(day15, now)), (std::vector<std::string> { "b" }));
    EXPECT_EQ(Mids(core.FetchLog({ { "recent", "5000" } }, At(2004, 6, 16, 1))),
        (std::vector<std::string> { "b", "c" }));
    EXPECT_EQ(command("Vote", "b"), "Result: OK\r\nVotes: 3\r\nAgrees: 3\r\n");
    EXPECT_EQ(command("Agree", "b"), "Result: OK\r\nVotes: 3\r\nAgrees: 4\r\n");
    EXPECT_EQ(command("Vote", "zz"),
        "Result: Err\r\nExtraMessage: " + J("そのメッセージはありません: ") + "zz\r\n");
    list.Clear();
    archive.Recall(At(2004, 6, 15, 23), At(2004, 6, 16), list);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Items(0).Votes, 3);
    EXPECT_EQ(list.Items(0).Agrees, 4);
    EXPECT_EQ(archive.Count(), 4);
}

} // namespace
