#include "archive/SearchText.h"

#include "TestSupport.h"
#include "render/SsParser.h"
#include "tests/ShippedParser.h"

#include <SQLiteCpp/SQLiteCpp.h>
#include <algorithm>
#include <set>
#include <vector>

namespace {

const std::string kBlank = "\xE3\x80\x80"; // U+3000, a blank inside a token

struct TextCase
{
    const char* in;
    std::string out;
};

TEST(SearchText, TalkTextIsWhatThePageShowsWithTagsAsSeparators)
{
    const TextCase cases[] = {
        { R"(\h\s[0]こんにちは\e)", "こんにちは" },
        { R"(\h\s[0]あり\w9がとう\n次の行\e)", "あり\nがとう\n次の行" },
        { R"(\h\s[0]\u\s[10]\_s\e)", "" },
        // The escapes as the page shows them; the page reduces "\\" first, so "\\%" shows "%".
        { R"(a\\b\%c\]d)", R"(a\b%c]d)" },
        { R"(\\%)", "%" },
        // What a tag holds is not talk, but the page shows meta words and unknown tags as text.
        { R"(見て\URL[http://a.example/][流れ星][x]ね\![open,inputbox,x])", "見て\nね" },
        { R"(%usernameさん\o)", R"(%usernameさん\o)" },
        // A second byte 0x5C is no backslash; a line break or tab in the text is a blank.
        { "表示\\n\t\r\nx", "表示\n   x" },
    };
    for (const TextCase& c : cases)
        EXPECT_EQ(TalkText(J(c.in), ShippedParser()), J(c.out)) << c.in;
}

TEST(SearchText, TalkTextGivesTheParserItsSettingsBack)
{
    TSsParser& parser = ShippedParser();
    parser.LeaveEscape = false;
    parser.EscapeInvalidMeta = true;
    EXPECT_EQ(TalkText(R"(\\%)", parser), "%");
    EXPECT_FALSE(parser.LeaveEscape);
    EXPECT_TRUE(parser.EscapeInvalidMeta);
    parser.LeaveEscape = true;
    parser.EscapeInvalidMeta = false;
}

TEST(SearchText, NormaliseFoldsWidthsAndCaseAndTidiesBlanks)
{
    const TextCase cases[] = {
        { "ｱﾘｶﾞﾄｳ", "アリガトウ" },
        { "ＡＢＣ abc ABC", "abc abc abc" },
        { "ぁあァア", "ぁあァア" }, // small kana stay apart from the full-size ones
        { "！？♪。", "!?♪。" },
        { "ﾊﾟﾊﾞ", "パバ" },
        { "ΑΒΓ", "αβγ" },
        { "a　 \t b", "a b" },
        { " \n a \n\n b \n ", "a\nb" },
        { "", "" },
    };
    for (const TextCase& c : cases)
        EXPECT_EQ(NormaliseForSearch(J(c.in)), c.out) << c.in;
    // A byte that is not Shift_JIS costs only itself.
    EXPECT_EQ(NormaliseForSearch("\xFF" + J("ＡＢ")), "?ab");
}

TEST(SearchText, BigramsNeverCrossASeparator)
{
    const TextCase cases[] = {
        { "ありがとう", "あり りが がと とう" },
        { "あ", "" },
        { "", "" },
        { "!?♪", "!? ?♪" },
        { "a b", "a" + kBlank + " " + kBlank + "b" },
        // No token spans two pieces: "b\nb" gives no "bb".
        { "ab\nbc", "ab bc" },
        { "ab\nc\nbd", "ab bd" },
        { "a\nbc\nd", "bc" },
        { "ab\xFF"
          "cd",
            "ab cd" },
    };
    for (const TextCase& c : cases)
        EXPECT_EQ(Bigrams(c.in), c.out) << c.in;
}

TEST(SearchText, QueryBigramsNeedsEveryDistinctToken)
{
    const struct
    {
        std::string in;
        std::string match;
        bool exact;
    } cases[] = {
        { "あ", "", false },
        { "あり", "\"あり\"", true },
        { "ありが", "\"あり\" AND \"りが\"", false },
        { "ははは", "\"はは\"", false },
        { "a\"b", "\"a\"\"\" AND \"\"\"b\"", false },
    };
    for (const auto& c : cases) {
        const TBigramQuery query = QueryBigrams(c.in);
        EXPECT_EQ(query.match, c.match) << c.in;
        EXPECT_EQ(query.exact, c.exact) << c.in;
    }
}

// The index must find every text a substring scan of the normalised text finds (exactly those for
// a word of two characters), and the scan must find what a reader of the page would: nothing
// across a tag or inside one.
TEST(SearchText, IndexFindsWhatAScanFinds)
{
    const char* const scripts[] = {
        R"(\h\s[0]流れ星を見たよ。\w9きれいだった！\e)",
        R"(\h\s[0]ｱﾘｶﾞﾄｳ、ＡＢＣ!?\u\s[10]♪ありがとう\e)",
        R"(\h\s[0]流れ\w5星\e)",
        R"(\h\s[0]\![open,inputbox,流れ星]待って\URL[http://a.example/][x][Good]\e)",
        R"(\h\s[0]abc Def\n[half]ぁあ\e)",
        R"(\h\s[0]ab\w1bc\e)",
        R"(\h\s[0]Good  Morning!\e)",
        R"(\h\s[0]good\nmorning "x"\e)",
    };
    SQLite::Database db(":memory:", SQLite::OPEN_READWRITE);
    db.exec(std::string("CREATE VIRTUAL TABLE t USING fts5(x, content='', ") + kBigramTableOptions
        + ")");
    std::vector<std::string> texts;
    for (const char* script : scripts) {
        texts.push_back(NormaliseForSearch(TalkText(J(script), ShippedParser())));
        SQLite::Statement insert(db, "INSERT INTO t(rowid, x) VALUES (?, ?)");
        insert.bind(1, static_cast<int64_t>(texts.size()));
        insert.bind(2, Bigrams(texts.back()));
        insert.exec();
    }

    const struct
    {
        const char* word;
        std::set<int64_t> hits;
    } cases[] = {
        { "星", { 1, 3 } },
        { "流れ", { 1, 3 } },
        { "流れ星", { 1 } },
        { "見たよ。", { 1 } },
        { "。き", {} },
        { "ありがとう", { 2 } },
        { "アリガトウ", { 2 } },
        { "ｱﾘｶﾞﾄｳ", { 2 } },
        { "ＡＢＣ", { 2, 5 } },
        { "abc", { 2, 5 } },
        { "！？", { 2 } },
        { "?♪", {} },
        { "♪あり", { 2 } },
        { "ぁあ", { 5 } },
        { "ああ", {} },
        { "ぁ", { 5 } },
        { "DEF", { 5 } },
        { "open", {} },
        { "待って", { 4 } },
        { "good", { 7, 8 } },
        { "GOOD MORNING", { 7 } },
        { "ng!", { 7 } },
        { "\"x\"", { 8 } },
    };
    for (const auto& c : cases) {
        const std::string word = NormaliseForSearch(J(c.word));
        std::set<int64_t> scanned;
        for (size_t i = 0; i < texts.size(); ++i)
            if (texts[i].find(word) != std::string::npos)
                scanned.insert(static_cast<int64_t>(i + 1));
        EXPECT_EQ(scanned, c.hits) << c.word;

        const TBigramQuery match = QueryBigrams(word);
        if (match.match.empty())
            continue; // one character: the scan is the answer
        std::set<int64_t> indexed;
        SQLite::Statement query(db, "SELECT rowid FROM t WHERE t MATCH ?");
        query.bind(1, match.match);
        while (query.executeStep())
            indexed.insert(query.getColumn(0).getInt64());
        if (match.exact) {
            EXPECT_EQ(indexed, c.hits) << c.word;
        } else {
            EXPECT_TRUE(std::includes(indexed.begin(), indexed.end(), c.hits.begin(), c.hits.end()))
                << c.word;
        }
    }
}

} // namespace
