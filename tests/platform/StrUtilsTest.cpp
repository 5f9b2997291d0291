#include "platform/StrUtils.h"

#include "TestSupport.h"
#include "platform/Errors.h"

namespace {

using Lines = std::vector<std::string>;

TEST(StrUtils, SplitLinesAcceptsEveryBreak)
{
    const struct
    {
        std::string text;
        Lines lines;
    } cases[] = {
        { "", {} },
        { "a", { "a" } },
        { "a\r\n", { "a" } },
        { "a\n\nb", { "a", "", "b" } },
        { "a\r\rb\r", { "a", "", "b" } },
        { "a\r\n\r\nb\n\r", { "a", "", "b", "" } },
        { "\r\n", { "" } },
        { "\n\n", { "", "" } },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SplitLines(c.text), c.lines) << testing::PrintToString(c.text);
        // Fed in pieces of every size, a CR LF may fall across two pieces.
        for (size_t step = 1; step <= c.text.size(); ++step) {
            Lines fed;
            TLineSplitter splitter;
            const auto take = [&](std::string_view line, bool) {
                fed.emplace_back(line);
                return true;
            };
            for (size_t at = 0; at < c.text.size(); at += step)
                splitter.Feed(std::string_view(c.text).substr(at, step), take);
            splitter.Finish(take);
            EXPECT_EQ(fed, c.lines) << testing::PrintToString(c.text) << " step " << step;
        }
    }
    EXPECT_EQ(JoinLines({ "a", "", "b" }), "a\r\n\r\nb\r\n");
}

// A line beyond the bound is handed over cut, marked, and the rest of it dropped as it comes.
TEST(StrUtils, LineSplitterCutsLongLines)
{
    std::vector<std::pair<std::string, bool>> fed;
    TLineSplitter splitter(4);
    const auto take = [&](std::string_view line, bool tooLong) {
        fed.emplace_back(line, tooLong);
        return line != "stop";
    };
    for (const std::string_view piece : { "abcd\nabc", "defgh", "ij\r\nxy\nstop\nnot read" })
        splitter.Feed(piece, take);
    splitter.Finish(take);
    EXPECT_EQ(fed,
        (std::vector<std::pair<std::string, bool>> {
            { "abcd", false }, { "abcd", true }, { "xy", false }, { "stop", false } }));
}

TEST(StrUtils, SplitFieldsKeepsEmptyFields)
{
    EXPECT_EQ(SplitFields("", '\t'), Lines { "" });
    EXPECT_EQ(SplitFields("a\t\tb\t", '\t'), (Lines { "a", "", "b", "" }));
    EXPECT_EQ(SplitFields(J("ソ,表"), ','), (Lines { J("ソ"), J("表") }));
}

TEST(StrUtils, StrToIntTakesWholeDecimal32BitNumbersOnly)
{
    const struct
    {
        const char* text;
        std::optional<int32_t> value;
    } cases[] = { { "0", 0 }, { "-0", 0 }, { "+12", 12 }, { "2147483647", INT32_MAX },
        { "-2147483648", INT32_MIN }, { "2147483648", std::nullopt },
        { "-2147483649", std::nullopt }, { "99999999999999999999", std::nullopt },
        { "", std::nullopt }, { "-", std::nullopt }, { " 1", std::nullopt }, { "1 ", std::nullopt },
        { "1.5", std::nullopt }, { "0x10", std::nullopt }, { "abc", std::nullopt } };
    for (const auto& c : cases)
        EXPECT_EQ(TryStrToInt(c.text), c.value) << c.text;
    try {
        StrToInt("abc");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'abc' is not a valid integer value");
    }
}

TEST(StrUtils, SameTextFoldsAsciiLettersOnly)
{
    EXPECT_TRUE(SameText("General", "gENERAL"));
    EXPECT_FALSE(SameText("General", "Genera"));
    EXPECT_TRUE(SameText(J("設定A"), J("設定a")));
    EXPECT_FALSE(SameText(J("ア"), J("ヂ"))); // 0x83 0x41 against 0x83 0x61
    EXPECT_FALSE(SameText("[", "{"));
}

// A stranger's text in a box: never more than the bound, never half a character, and the cut said.
TEST(StrUtils, TextForBoxBoundsCharactersAndLines)
{
    const std::string omitted = J(" バイトを省略しました)");
    const struct
    {
        std::string text;
        std::string shown;
    } cases[] = {
        { "short", "short" },
        { std::string(10, 'a'), std::string(10, 'a') },
        { std::string(12, 'a'), std::string(10, 'a') + "\r\n" + J("(以下 2") + omitted },
        { J("ああああああ"), J("ああああああ") }, // six characters, twelve bytes
        { J("あいうえおかきくけこさ"),
            J("あいうえおかきくけこ") + "\r\n" + J("(以下 2") + omitted },
        { "a\nb\nc\nd", "a\nb\nc" + std::string("\r\n") + J("(以下 2") + omitted },
    };
    for (const auto& c : cases)
        EXPECT_EQ(TextForBox(c.text, 10, 3), c.shown) << c.text;
    EXPECT_LT(TextForBox(std::string(2 << 20, 'x')).size(), size_t(2100));
}

} // namespace
