#include "log/LogReader.h"

#include "TestSupport.h"
#include "platform/Errors.h"
#include "platform/FileIO.h"

#include <fnmatch.h>

namespace {

const std::string kHeader = "Result: OK\r\nheader 2\r\nheader 3\r\n";

std::string Line(std::initializer_list<std::string> fields, char sep = '\t')
{
    std::string line;
    for (const auto& f : fields) {
        if (!line.empty() || &f != fields.begin())
            line += sep;
        line += f;
    }
    return line;
}

// The data line of the worked example: 2004-05-06 12:34:56, abc123, 一般, GhostA, 25, 3, 1.
std::string ExampleLine()
{
    return Line(
        { "20040506123456", "abc123", J("一般"), "GhostA", "25", "3", "1", "\\h\\s0Hello.\\e" });
}

TDateTime At(int y, int mo, int d, int h, int mi, int s)
{
    return *TryEncodeDateTime({ y, mo, d }, { h, mi, s, 0 });
}

struct Reader
{
    TMessageList list;
};

TEST(ParseLog, ReadsTheWorkedExample)
{
    Reader r;
    ParseLog(kHeader + ExampleLine() + "\r\n", r.list);
    ASSERT_EQ(r.list.Count(), 1);
    const TBottleMessage& m = r.list.Items(0);
    EXPECT_EQ(m.LogTime, At(2004, 5, 6, 12, 34, 56));
    EXPECT_EQ(m.MID, "abc123");
    EXPECT_EQ(m.Channel, J("一般"));
    EXPECT_EQ(m.Ghost, "GhostA");
    EXPECT_EQ(m.Connections, 25);
    EXPECT_EQ(m.Votes, 3);
    EXPECT_EQ(m.Agrees, 1);
    EXPECT_EQ(m.Script, "\\h\\s0Hello.\\e");
    EXPECT_EQ(m.Index, 0);
}

// Texts that read without error; the expected message count.
struct GoodCase
{
    const char* name;
    std::string text;
    int count;
};

TEST(ParseLog, HeadersAndLineBreaksWithoutError)
{
    const GoodCase cases[] = { GoodCase { "OnlyHeaders", "Result: OK\r\na\r\nb\r\n", 0 },
        GoodCase { "OnlyHeadersNoFinalBreak", "Result: OK\na\nb", 0 },
        GoodCase { "ShorterThanHeaders", "Result: OK\r\n", 0 },
        GoodCase { "TrailingSpaceOnResult", "Result: OK \r\n\r\n\r\n" + ExampleLine(), 0 },
        GoodCase { "LowerCaseResult", "result: ok\r\n\r\n\r\n" + ExampleLine(), 0 },
        GoodCase { "ErrorAnswer", "Result: Err\r\nExtraMessage: no\r\n", 0 },
        GoodCase {
            "LfLines", "Result: OK\nx\ny\n" + ExampleLine() + "\n" + ExampleLine() + "\n", 2 },
        GoodCase { "CrLines", "Result: OK\rx\ry\r" + ExampleLine() + "\r" + ExampleLine(), 2 },
        GoodCase { "MixedBreaks",
            "Result: OK\r\nx\ny\r" + ExampleLine() + "\r\n" + ExampleLine() + "\n", 2 },
        GoodCase { "EmptyHeaderLines", "Result: OK\r\n\r\n\r\n" + ExampleLine(), 1 } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Reader r;
        ParseLog(c.text, r.list);
        EXPECT_EQ(r.list.Count(), c.count);
        for (int i = 0; i < r.list.Count(); ++i)
            EXPECT_EQ(r.list.Items(i).Index, i);
    }
}

TEST(ParseLog, NinthFieldIsIgnored)
{
    Reader a, b;
    ParseLog(kHeader + ExampleLine() + "\tninth\tand more", a.list);
    ParseLog(kHeader + ExampleLine(), b.list);
    ASSERT_EQ(a.list.Count(), 1);
    EXPECT_EQ(a.list.Items(0).Script, b.list.Items(0).Script);
    EXPECT_EQ(a.list.Items(0).LogTime, b.list.Items(0).LogTime);
}

TEST(ParseLog, EmptyScriptAndLongStampAreAccepted)
{
    Reader r;
    ParseLog(kHeader + Line({ "20041231235959999", "m", "c", "g", "0", "-1", "+2", "" }), r.list);
    ASSERT_EQ(r.list.Count(), 1);
    EXPECT_EQ(r.list.Items(0).LogTime, At(2004, 12, 31, 23, 59, 59));
    EXPECT_EQ(r.list.Items(0).Script, "");
    EXPECT_EQ(r.list.Items(0).Votes, -1);
    EXPECT_EQ(r.list.Items(0).Agrees, 2);
}

// A malformed data line after two good ones: the exact error, and the two messages before it kept.
struct BadCase
{
    const char* name;
    std::string line;
    std::string error;
};

TEST(ParseLog, MalformedLineStopsTheReaderAndKeepsTheMessagesBefore)
{
    const BadCase cases[] = { BadCase { "BlankLine", "", "'// ::' is not a valid date and time" },
        BadCase { "MonthThirteen", Line({ "20041301000000", "m", "c", "g", "1", "2", "3", "s" }),
            "'2004/13/01 00:00:00' is not a valid date and time" },
        BadCase { "DayThirtyTwo", Line({ "20040132000000", "m", "c", "g", "1", "2", "3", "s" }),
            "'2004/01/32 00:00:00' is not a valid date and time" },
        BadCase { "HourTwentyFour", Line({ "20040101240000", "m", "c", "g", "1", "2", "3", "s" }),
            "'2004/01/01 24:00:00' is not a valid date and time" },
        BadCase { "ShortStamp", Line({ "2004050612345", "m", "c", "g", "1", "2", "3", "s" }),
            "'2004/05/06 12:34:5' is not a valid date and time" },
        BadCase { "StampWithBlank", Line({ "2004 506123456", "m", "c", "g", "1", "2", "3", "s" }),
            "'2004/ 5/06 12:34:56' is not a valid date and time" },
        BadCase { "LettersInCount",
            Line({ "20040506123456", "m", "c", "g", "25", "abc", "1", "s" }),
            "'abc' is not a valid integer value" },
        BadCase { "EmptyCount", Line({ "20040506123456", "m", "c", "g", "", "1", "1", "s" }),
            "'' is not a valid integer value" },
        BadCase { "CountOutOfRange",
            Line({ "20040506123456", "m", "c", "g", "2147483648", "1", "1", "s" }),
            "'2147483648' is not a valid integer value" },
        BadCase { "SevenFields", Line({ "20040506123456", "m", "c", "g", "1", "2", "3" }),
            J("リストのインデックスが範囲を超えています (7)") },
        BadCase { "OneField", "20040506123456", J("リストのインデックスが範囲を超えています (1)") },
        // A conversion comes before a missing later field, as the fields are taken in order.
        BadCase { "BadCountBeforeMissingScript",
            Line({ "20040506123456", "m", "c", "g", "x", "2", "3" }),
            "'x' is not a valid integer value" } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Reader r;
        const std::string text = kHeader + ExampleLine() + "\r\n" + ExampleLine() + "\r\n" + c.line
            + "\r\n" + ExampleLine() + "\r\n";
        try {
            ParseLog(text, r.list);
            ADD_FAILURE() << "no error";
        } catch (const EVelmoError& e) {
            EXPECT_EQ(e.what(), c.error);
        }
        ASSERT_EQ(r.list.Count(), 2);
        EXPECT_EQ(r.list.Items(1).Index, 1);
    }
}

TEST(ParseLog, EmptyTextIsAnErrorWithAnEmptyList)
{
    Reader r;
    ParseLog(kHeader + ExampleLine(), r.list);
    EXPECT_THROW(ParseLog("", r.list), EListError);
    EXPECT_TRUE(r.list.Empty());
}

// A batch run names what the server sent instead of a log; garbage cannot reach the terminal raw.
TEST(LogAnswerProblem, NamesTheFirstLineOfAnAnswerThatIsNoLog)
{
    const std::string head = J("サーバーの応答がログではありません (1行目: ");
    const struct
    {
        std::string answer;
        std::string problem;
    } cases[] = {
        { "Result: OK\r\nh\r\nh\r\n", "" },
        { "Result: OK", "" },
        { "Result: NG\r\nResult: OK\r\n", head + "Result: NG)" },
        { "result: ok\n", head + "result: ok)" },
        { "\x1b[2J\x07"
          "bell\x81",
            head + "?[2J?bell\x81)" },
        { std::string(100, 'x'), head + std::string(80, 'x') + "...)" },
        { std::string(79, 'x') + J("あ"), head + std::string(79, 'x') + "...)" },
        { "", J("ログを受け取れませんでした: サーバーの応答が空です") },
    };
    for (const auto& c : cases)
        EXPECT_EQ(LogAnswerProblem(c.answer), c.problem) << c.answer;
}

TEST(ParseLog, SecondLogReplacesTheFirst)
{
    Reader r;
    ParseLog(kHeader + ExampleLine() + "\n" + ExampleLine() + "\n" + ExampleLine(), r.list);
    ASSERT_EQ(r.list.Count(), 3);
    ParseLog(kHeader + Line({ "20050101000000", "new", "c", "g", "1", "2", "3", "s" }), r.list);
    ASSERT_EQ(r.list.Count(), 1);
    EXPECT_EQ(r.list.Items(0).MID, "new");
    EXPECT_EQ(r.list.Items(0).Index, 0);
}

// A Shift_JIS script whose characters end in 0x5C or 0x09-like bytes stays whole: TAB never
// occurs inside a double-byte character.
TEST(ParseLog, KeepsShiftJisBytesUnchanged)
{
    Reader r;
    const std::string script = J("\\h\\s0ソ表能予\\e");
    ParseLog(kHeader
            + Line({ "20040506123456", "m", J("ゴースト"), J("さくら"), "1", "2", "3", script }),
        r.list);
    ASSERT_EQ(r.list.Count(), 1);
    EXPECT_EQ(r.list.Items(0).Script, script);
    EXPECT_EQ(r.list.Items(0).Ghost, J("さくら"));
}

TEST(ParseSentLog, ReadsTheExampleLine)
{
    for (const std::string& line : { J("一般,GhostA,2004/05/06 12:34:56,\\h\\s0Hello"),
             J("一般,GhostA,2004/05/06 12:34:56,\\h\\s0Hello,\\e"),
             J("一般,GhostA,2004/05/06 12:34:56,\\h\\s0Hello\r\n") }) {
        SCOPED_TRACE(line);
        Reader r;
        ParseSentLog(line, r.list);
        ASSERT_EQ(r.list.Count(), 1);
        const TBottleMessage& m = r.list.Items(0);
        EXPECT_EQ(m.Channel, J("一般"));
        EXPECT_EQ(m.Ghost, "GhostA");
        EXPECT_EQ(m.MID, "");
        EXPECT_EQ(m.LogTime, At(2004, 5, 6, 12, 34, 56));
        EXPECT_EQ(m.Script, "\\h\\s0Hello");
        EXPECT_EQ(m.Connections + m.Votes + m.Agrees, 0);
    }
}

TEST(ParseSentLog, MalformedLinesStopTheReader)
{
    const std::string good = "c,g,2004/05/06 12:34:56,s";
    const struct
    {
        std::string line;
        std::string error;
    } cases[] = {
        { "", J("リストのインデックスが範囲を超えています (2)") },
        { "c,g,2004/05/06 12:34:56", J("リストのインデックスが範囲を超えています (3)") },
        { "c,g,20040506123456,s", "'20040506123456' is not a valid date and time" },
        { "c,g,2004/02/30 00:00:00,s", "'2004/02/30 00:00:00' is not a valid date and time" },
    };
    for (const auto& c : cases) {
        Reader r;
        try {
            ParseSentLog(good + "\n" + c.line + "\n" + good, r.list);
            ADD_FAILURE() << "no error for " << c.line;
        } catch (const EVelmoError& e) {
            EXPECT_EQ(e.what(), c.error);
        }
        EXPECT_EQ(r.list.Count(), 1) << c.line;
    }
}

class FakeOpenDialog : public IOpenDialog
{
public:
    std::optional<std::string> answer;
    TFileFilter seen;
    std::optional<std::string> Execute(const TFileFilter& filter) override
    {
        seen = filter;
        return answer;
    }
};

TEST(LoadSentLog, ReadsTheChosenFileAndCancelEmptiesTheList)
{
    TempDir dir;
    const std::string path = dir.Sjis() + J("送信") + "Sent.log";
    WriteFileAtomic(path, "a,b,2004/05/06 12:34:56,x\r\nc,d,2004/05/07 00:00:00,y\r\n");
    Reader r;
    FakeOpenDialog dialog;
    dialog.answer = path;
    LoadSentLog(r.list, dialog);
    ASSERT_EQ(r.list.Count(), 2);
    EXPECT_EQ(r.list.Items(1).Script, "y");

    dialog.answer.reset();
    LoadSentLog(r.list, dialog);
    EXPECT_TRUE(r.list.Empty());
}

TEST(LoadSentLog, UnreadableFileIsAnErrorWithAnEmptyList)
{
    TempDir dir;
    Reader r;
    ParseLog(kHeader + ExampleLine(), r.list);
    FakeOpenDialog dialog;
    dialog.answer = dir.Sjis() + "missing.log";
    try {
        LoadSentLog(r.list, dialog);
        FAIL() << "no error";
    } catch (const EFileError& e) {
        EXPECT_EQ(std::string(e.what()),
            "Cannot open file \"" + *dialog.answer + "\". No such file or directory");
    }
    EXPECT_TRUE(r.list.Empty());
}

// The dialog's mask must let every spelling of Sent.log through and nothing else.
TEST(LoadSentLog, FilterMatchesSentLogInAnyCase)
{
    const std::string& mask = SentLogFilter().mask;
    for (const char* name : { "Sent.log", "sent.log", "SENT.LOG", "sEnT.LoG" })
        EXPECT_EQ(fnmatch(mask.c_str(), name, 0), 0) << name;
    for (const char* name : { "seng.log", "Sent.log.bak", "xSent.log", "Sent_log" })
        EXPECT_NE(fnmatch(mask.c_str(), name, 0), 0) << name;
    EXPECT_EQ(SentLogFilter().description, "sent.log");
}

} // namespace

// A dropped file is shown by the reader its first lines call for, and by none when they fit
// neither.
TEST(DetectLogFileKind, TellsTheTwoFormatsApartByTheirFirstLines)
{
    using K = TLogFileKind;
    const std::string sent = "ch,ghost,2026/12/08 09:00:00,\\h\\s0hi\\e\r\n";
    const struct
    {
        std::string head;
        K kind;
    } cases[] = {
        { "Result: OK\r\nx\r\ny\r\n", K::FetchedLog },
        { "Result: OK", K::FetchedLog }, // a log of no messages
        { "Result: NG\r\n", K::Neither },
        { sent, K::SentLog },
        { sent + sent + sent + "garbage past the lines judged\r\n", K::SentLog },
        { sent + "ch,ghost,2026/12/08 09:00:00,\\h\\s0a cut li", K::SentLog }, // head ends mid-line
        { sent + "two,fields\r\n", K::Neither },
        { "ch,ghost,yesterday,\\e\r\n", K::Neither },
        { "ch,ghost,2026/12/08 09:00:00,\\e", K::Neither }, // no whole line in the head
        { "", K::Neither },
        { "\r\n\r\n", K::Neither },
        { "\x89PNG\r\n\x1a\n", K::Neither },
    };
    for (const auto& c : cases)
        EXPECT_EQ(DetectLogFileKind(c.head, false), c.kind) << c.head;
    // The whole file's last line is judged without its end.
    EXPECT_EQ(DetectLogFileKind("ch,ghost,2026/12/08 09:00:00,\\e", true), K::SentLog);
}
