#include "log/LogRequest.h"

#include "app/CommandLine.h"
#include "platform/Encoding.h"

#include <gtest/gtest.h>

namespace {

TDateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return *TryEncodeDateTime({ y, mo, d }, { h, mi, s, 0 });
}

TEST(FetchQuery, RecentByUnit)
{
    const struct
    {
        int count;
        TTimeUnit unit;
        const char* query;
    } cases[] = { { 1, TTimeUnit::Hours, "?recent=60" }, { 3, TTimeUnit::Days, "?recent=4320" },
        { 90, TTimeUnit::Minutes, "?recent=90" }, { 5000, TTimeUnit::Days, "?recent=7200000" },
        { 7, TTimeUnit::Other, "?recent=7" }, { 3, TTimeUnit::Hours, "?recent=180" } };
    for (const auto& c : cases) {
        TLogRequest r;
        r.count = c.count;
        r.unit = c.unit;
        EXPECT_EQ(FetchQuery(r, At(2026, 1, 1)), c.query);
    }
}

TEST(FetchQuery, DateRangeUsesOnlyTheDates)
{
    TLogRequest r;
    r.choice = TLogChoice::Range;
    r.firstDate = At(2004, 6, 1, 23, 59);
    r.lastDate = At(2004, 6, 15, 1, 2);
    EXPECT_EQ(FetchQuery(r, At(2026, 1, 1)),
        "?year_lo=2004&month_lo=6&day_lo=1&year_hi=2004&month_hi=6&day_hi=15");
}

TEST(FetchQuery, FromAMomentCountsWholeMinutes)
{
    const struct
    {
        TDateTime date;
        TDateTime time;
        TDateTime now;
        const char* query;
    } cases[] = {
        { At(2026, 12, 8), At(1899, 12, 30, 9, 0), At(2026, 12, 8, 10, 30, 59), "?recent=90" },
        { At(2026, 12, 7), At(1899, 12, 30, 10, 0), At(2026, 12, 8, 12, 5), "?recent=1565" },
        { At(2026, 12, 8), At(1899, 12, 30, 12, 34, 56), At(2026, 12, 8, 13, 0, 10), "?recent=25" },
        { At(2026, 12, 8), At(1899, 12, 30, 10, 0), At(2026, 12, 8, 10, 0, 59), "?recent=0" },
        // A start later than now asks for nothing rather than a negative count.
        { At(2026, 12, 9), At(1899, 12, 30, 10, 0), At(2026, 12, 8, 10, 0), "?recent=0" },
    };
    for (const auto& c : cases) {
        TLogRequest r;
        r.choice = TLogChoice::From;
        r.startDate = c.date;
        r.startTime = c.time;
        EXPECT_EQ(FetchQuery(r, c.now), c.query);
    }
}

TEST(CommandLine, ReadsTheFourArguments)
{
    const auto past = ParseCommandLine({ "past", "30", "20", "noview" });
    ASSERT_TRUE(past);
    EXPECT_EQ(FetchQuery(past->request, At(2026, 1, 1)), "?recent=30");
    EXPECT_EQ(past->messagesPerPage, 20);
    EXPECT_TRUE(past->noView);

    const auto raised = ParseCommandLine({ "past", "0", "100", "x" });
    ASSERT_TRUE(raised);
    EXPECT_EQ(FetchQuery(raised->request, At(2026, 1, 1)), "?recent=1");
    EXPECT_FALSE(raised->noView);
    EXPECT_EQ(
        FetchQuery(ParseCommandLine({ "past", "99999", "1", "x" })->request, 0), "?recent=5000");

    const auto term = ParseCommandLine({ "term", "2004/06/01-2004/06/15 09:00", "10", "noview" });
    ASSERT_TRUE(term);
    EXPECT_EQ(FetchQuery(term->request, At(2026, 1, 1)),
        "?year_lo=2004&month_lo=6&day_lo=1&year_hi=2004&month_hi=6&day_hi=15");

    const auto start = ParseCommandLine({ "start", "2026/12/08 09:00", "10", "NOVIEW" });
    ASSERT_TRUE(start);
    EXPECT_FALSE(start->noView); // case-sensitive
    EXPECT_EQ(FetchQuery(start->request, At(2026, 12, 8, 10, 30, 59)), "?recent=90");

    // export takes four words like a view, but never as one; its format is judged when it runs.
    const auto exported = ParseCommandLine({ "export", "", "pdf", "-" });
    ASSERT_TRUE(exported);
    EXPECT_EQ(exported->verb, TVerb::Export);
    EXPECT_EQ(exported->query + "|" + exported->format + "|" + exported->outputFile, "|pdf|-");
}

TEST(CommandLine, SearchTakesItsQueryAsItStands)
{
    // The query is taken as it stands: reading it is the search's (a bad one is said there).
    const auto search = ParseCommandLine({ "search", "(a", "30", "noview" });
    ASSERT_TRUE(search);
    EXPECT_EQ(search->verb, TVerb::Search);
    EXPECT_EQ(search->query, "(a");
    EXPECT_EQ(search->messagesPerPage, 30);
    EXPECT_TRUE(search->noView);
}

// A typed query with a character Shift_JIS lacks is refused where that character stands, as the
// parser refuses its own faults; everything else is the parser's.
TEST(CommandLine, TypedQueriesAreReadExactly)
{
    const struct
    {
        const char* typed;
        const char* read; // the query as described, or the refusal
    } cases[] = {
        { "流れ星 ghost:さくら", "流れ星 ghost:さくら" },
        { "", "" },
        { "流れ星 😀", "5文字目: Shift_JISで表せない文字があります" },
        { "été", "1文字目: Shift_JISで表せない文字があります" },
        { "(流れ星", "1文字目: 閉じ括弧がありません" },
    };
    for (const auto& c : cases) {
        std::string read;
        try {
            read = DescribeQuery(ParseTypedQuery(c.typed));
        } catch (const EQueryError& e) {
            read = e.what();
        }
        EXPECT_EQ(read, Sjis(c.read)) << c.typed;
    }
}

TEST(CommandLine, RejectsEveryWrongArgument)
{
    const std::vector<std::vector<std::string>> bad = {
        {},
        { "search", "a", "many", "noview" },
        { "search", "a", "20" },
        { "past", "30", "20" },
        { "past", "30", "20", "noview", "extra" },
        { "PAST", "30", "20", "noview" },
        { "recent", "30", "20", "noview" },
        { "past", "abc", "20", "noview" },
        { "past", "30", "abc", "noview" },
        { "past", "30", "", "noview" },
        { "term", "2004/06/01", "20", "noview" },
        { "term", "2004/06/01-2004/13/01", "20", "noview" },
        { "start", "yesterday", "20", "noview" },
        { "export", "q", "jsonl" },
        { "export", "q", "jsonl", "f", "g" },
    };
    for (const auto& args : bad)
        EXPECT_FALSE(ParseCommandLine(args)) << testing::PrintToString(args);
}

} // namespace
