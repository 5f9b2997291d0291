#include "archive/Query.h"

#include "TestSupport.h"

namespace {

std::string Describe(const std::string& text)
{
    return DescribeQuery(ParseQuery(text));
}

std::string Repeat(const std::string& text, int count)
{
    std::string out;
    for (int i = 0; i < count; ++i)
        out += text;
    return out;
}

// Every query the language allows, in its canonical form; the canonical form reads back to
// itself, so the status bar and the command line may hand it on.
TEST(Query, ReadsEveryFormOfTheLanguage)
{
    const struct
    {
        std::string query;
        std::string canonical;
    } cases[] = {
        { "", "" },
        { J(" \t\r\n　"), "" },
        { J("流れ星"), J("流れ星") },
        { J("  流れ星　ghost:さくら  "), J("流れ星 ghost:さくら") },
        // | and OR; AND binds tighter than |, - tighter than AND.
        { "a b | c", "a b | c" },
        { "a OR b", "a | b" },
        { "a or b ORANGE", "a or b ORANGE" },
        { "a (b | c)", "a (b | c)" },
        { "a OR(b)", "a | b" },
        { "-a b", "-a b" },
        { "-(a b) | -(c | d)", "-(a b) | -(c | d)" },
        // Groups flatten, double negations cancel.
        { "((a))", "a" },
        { "(a b) c", "a b c" },
        { "(a | b) | c", "a | b | c" },
        { "--a", "a" },
        { "-(-a)", "a" },
        // - negates only at the start of an item.
        { "co-op a-", "co-op a-" },
        { "a(b)", "a b" },
        // Phrases: blanks kept, "" is one quote, a quote ends a word.
        { J("\"お茶 を\""), J("\"お茶 を\"") },
        { "\"say \"\"hi\"\"\"", "\"say \"\"hi\"\"\"" },
        { "\"OR\" \"-a\" \"(\"", "\"OR\" \"-a\" \"(\"" },
        { "ab\"cd\"", "ab \"cd\"" },
        { "-\"OR\"", "-\"OR\"" },
        // Filters: names in any case, values quoted when they need it.
        { J("GHOST:さくら Ch:雑談"), J("ghost:さくら ch:雑談") },
        { "ghost:\"a b\" ch:\"x\"", "ghost:\"a b\" ch:x" },
        { "ghost:-x ch:a:b", "ghost:-x ch:a:b" },
        { "ghosts:x http://x/ votes votes3", "ghosts:x http://x/ votes votes3" },
        { "after:2004/06/01 before:2004/6/2", "after:2004/06/01 before:2004/06/02" },
        { "before:\"2004/6/2 9:05\"", "before:\"2004/06/02 09:05:00\"" },
        { "after:2004/06/01 09:00", "after:2004/06/01 09:00" }, // a time unquoted is a word
        { "before:\"0001/1/1 23:59:59\"", "before:\"0001/01/01 23:59:59\"" },
        { "votes>=3 votes>3 votes<3 votes<=3 votes=3 agrees>=007",
            "votes>=3 votes>3 votes<3 votes<=3 votes=3 agrees>=7" },
        { "-votes>0", "-votes>0" },
        // Full-width forms of the syntax as an input method types them.
        { J("（a｜b）　－c"), "(a | b) -c" },
        { J("ghost：さくら"), J("ghost:さくら") },
        { J("after:２００４／０６／０１ before:\"２００４／０６／０２　０９：００\""),
            "after:2004/06/01 before:\"2004/06/02 09:00:00\"" },
        { J("votes＞＝３ agrees≧１ votes≦２"), "votes>=3 agrees>=1 votes<=2" },
        // Full-width letters and quotes are text; so are half-width kana.
        { J("ｇｈｏｓｔ：さくら ＯＲ ”あ ﾃｽﾄ"), J("ｇｈｏｓｔ：さくら ＯＲ ”あ ﾃｽﾄ") },
        // ポ and ソ have | and \ as their second byte: one character each, never an operator.
        { J("ポ|ソ"), J("ポ | ソ") },
        { Repeat("a", kMaxQueryChars), Repeat("a", kMaxQueryChars) },
        { Repeat("(", kMaxQueryDepth) + "a" + Repeat(")", kMaxQueryDepth), "a" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(SjisToUtf8Lossy(c.query));
        const std::string canonical = Describe(c.query);
        EXPECT_EQ(SjisToUtf8Lossy(canonical), SjisToUtf8Lossy(c.canonical));
        EXPECT_EQ(Describe(canonical), canonical);
    }
}

TEST(Query, BuildsPlainDataForTheSearch)
{
    const TQuery query = ParseQuery(J("流れ星 -ghost:\"さく ら\" | after:2004/06/01 agrees<2"));
    const auto& any = std::get<TQueryOr>(query.root.value);
    ASSERT_EQ(any.items.size(), 2u);
    const auto& first = std::get<TQueryAnd>(any.items[0].value);
    ASSERT_EQ(first.items.size(), 2u);
    const auto& word = std::get<TQueryText>(first.items[0].value);
    EXPECT_EQ(word.value, J("流れ星"));
    EXPECT_FALSE(word.phrase);
    const auto& notGhost = std::get<TQueryNot>(first.items[1].value);
    EXPECT_EQ(std::get<TQueryGhost>(notGhost.item->value).name, J("さく ら"));
    const auto& second = std::get<TQueryAnd>(any.items[1].value);
    EXPECT_EQ(std::get<TQueryAfter>(second.items[0].value).moment, *TryEncodeDate(2004, 6, 1));
    const auto& count = std::get<TQueryCount>(second.items[1].value);
    EXPECT_EQ(count.field, TQueryField::Agrees);
    EXPECT_EQ(count.compare, TQueryCompare::Less);
    EXPECT_EQ(count.value, 2);

    const TQuery copy = query; // plain data: copies are deep
    EXPECT_EQ(DescribeQuery(copy), DescribeQuery(query));
    EXPECT_FALSE(query.MatchesEverything());
    EXPECT_TRUE(ParseQuery(J("　")).MatchesEverything());
}

TEST(Query, RefusesWhatItCannotReadSayingWhere)
{
    const struct
    {
        std::string query;
        std::string message;
        int position;
    } cases[] = {
        { "(a", "1文字目: 閉じ括弧がありません", 1 },
        { "ab (cd (e)", "4文字目: 閉じ括弧がありません", 4 },
        { "a)", "2文字目: 対応する開き括弧がありません", 2 },
        { J("（a））"), "4文字目: 対応する開き括弧がありません", 4 },
        { "a ()", "3文字目: 括弧の中に検索語がありません", 3 },
        { "a|", "2文字目: 演算子のあとに検索語がありません", 2 },
        { "a | | b", "3文字目: 演算子のあとに検索語がありません", 3 },
        { "a OR", "3文字目: 演算子のあとに検索語がありません", 3 },
        { "(a |)", "4文字目: 演算子のあとに検索語がありません", 4 },
        { "a -", "3文字目: 演算子のあとに検索語がありません", 3 },
        { "- a", "1文字目: 演算子のあとに検索語がありません", 1 },
        { "(a --)", "5文字目: 演算子のあとに検索語がありません", 5 },
        { "| a", "1文字目: 演算子の前に検索語がありません", 1 },
        { "OR a", "1文字目: 演算子の前に検索語がありません", 1 },
        { "(| a)", "2文字目: 演算子の前に検索語がありません", 2 },
        { "\"ab", "1文字目: 引用符が閉じていません", 1 },
        { J("流れ星 \"お茶 \"\""), "5文字目: 引用符が閉じていません", 5 },
        { "a \"\"", "3文字目: 引用符の中に検索語がありません", 3 },
        { "ghost:", "7文字目: ghost: の名前がありません", 7 },
        { "ghost:\"\"", "7文字目: ghost: の名前がありません", 7 },
        { "ch: a", "4文字目: ch: の名前がありません", 4 },
        { "ghost:\"a", "7文字目: 引用符が閉じていません", 7 },
        { "after:", "7文字目: after: の日付がありません", 7 },
        { "(before:)", "9文字目: before: の日付がありません", 9 },
        { "after:2004/13/01", "7文字目: 日付が読めません: 2004/13/01", 7 },
        { J("さくら after:昨日"), "11文字目: 日付が読めません: 昨日", 11 },
        { "before:\"2004/06/01 24:00\"", "8文字目: 日付が読めません: 2004/06/01 24:00", 8 },
        { "votes>=", "8文字目: 数がありません", 8 },
        { "a votes< b", "9文字目: 数がありません", 9 },
        { "votes>=x", "8文字目: 数が読めません: x", 8 },
        { "votes=-1", "7文字目: 数が読めません: -1", 7 },
        { "agrees>3.5", "8文字目: 数が読めません: 3.5", 8 },
        { "votes>2147483648", "7文字目: 数が読めません: 2147483648", 7 },
        // Not Shift_JIS: a lead byte at the end, an unassigned pair, a byte that is no character.
        { "ab\x82", "3文字目: 読めない文字があります", 3 },
        { J("あ") + "\x85\x40", "2文字目: 読めない文字があります", 2 },
        { "a \xFF", "3文字目: 読めない文字があります", 3 },
        { Repeat("a", kMaxQueryChars + 1), "検索式が長すぎます（4096文字まで）", 0 },
        { Repeat(J("あ"), kMaxQueryChars + 1), "検索式が長すぎます（4096文字まで）", 0 },
        { Repeat("(", 100) + "a" + Repeat(")", 100),
            "65文字目: 括弧の入れ子が深すぎます（64段まで）", 65 },
        { Repeat("-(", kMaxQueryChars / 2), "130文字目: 括弧の入れ子が深すぎます（64段まで）",
            130 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(SjisToUtf8Lossy(c.query.substr(0, 40)));
        try {
            ParseQuery(c.query);
            ADD_FAILURE() << "no error";
        } catch (const EQueryError& error) {
            EXPECT_EQ(SjisToUtf8Lossy(error.what()), c.message);
            EXPECT_EQ(error.Position(), c.position);
        }
    }
}

} // namespace
