#include "render/SsParser.h"

#include "TestSupport.h"
#include "platform/FileIO.h"
#include "platform/StrUtils.h"

#include <fstream>

namespace {

using T = TSsMarkUpType;
struct Tok
{
    T type;
    std::string text;
    bool operator==(const Tok&) const = default;
};

void PrintTo(const Tok& t, std::ostream* os)
{
    *os << "{" << static_cast<int>(t.type) << "," << t.text << "}";
}

std::vector<Tok> Tokens(const TSsParser& parser)
{
    std::vector<Tok> out;
    for (const auto& t : parser.Tokens())
        out.push_back({ t.MarkType, t.Text });
    return out;
}

TSsParser WithPatterns(std::vector<std::string> tags, std::vector<std::string> metas = {})
{
    TSsParser parser;
    parser.SetTagPattern(std::move(tags));
    parser.SetMetaPattern(std::move(metas));
    return parser;
}

TSsParser DefaultParser()
{
    TSsParser parser;
    parser.SetTagPattern(TSsParser::LoadPatternFile(VELMO_SOURCE_DIR "/data/tagpat.txt"));
    parser.SetMetaPattern(TSsParser::LoadPatternFile(VELMO_SOURCE_DIR "/data/metapat.txt"));
    return parser;
}

std::string Joined(const TSsParser& parser)
{
    std::string s;
    for (const auto& t : parser.Tokens())
        s += t.Text;
    return s;
}

TEST(SsParser, TokenizesByThePatternLists)
{
    const std::vector<std::string> tags = { "\\h", "\\u", "\\s%D", "\\n[half]", "\\n", "!e",
        "\\URL[%c][%c][%c]", "\\URL[%c]", "\\w%d" };
    const std::vector<std::string> metas = { "selfname2", "selfname", "m?", "property[%c]" };
    const struct
    {
        std::string script;
        std::vector<Tok> tokens;
    } cases[] = {
        { "", {} },
        { "\\hHello\\s10 world",
            { { T::smTag, "\\h" }, { T::smText, "Hello" }, { T::smTag, "\\s10" },
                { T::smText, " world" } } },
        { "abc\\", { { T::smText, "abc" }, { T::smErrorTag, "\\" } } },
        { "\\z\\q", { { T::smErrorTag, "\\z" }, { T::smErrorTag, "\\q" } } },
        { "\\" + J("表") + "x", { { T::smErrorTag, "\\" + J("表") }, { T::smText, "x" } } },
        { J("ソ") + "n", { { T::smText, J("ソ") + "n" } } },
        { "\\\\n", { { T::smText, "\\\\n" } } },
        { "a\\%b", { { T::smText, "a\\%b" } } },
        { "100%rand!", { { T::smText, "100%rand!" } } },
        { "x%selfname2y", { { T::smText, "x" }, { T::smMeta, "%selfname2" }, { T::smText, "y" } } },
        { "%selfnamez", { { T::smMeta, "%selfname" }, { T::smText, "z" } } },
        { "%m?%", { { T::smMeta, "%m?" }, { T::smText, "%" } } },
        { "%property[a\\]b]c", { { T::smMeta, "%property[a\\]b]" }, { T::smText, "c" } } },
        { "\\e", { { T::smErrorTag, "\\e" } } },
        { "\\n[half]\\n[150]",
            { { T::smTag, "\\n[half]" }, { T::smTag, "\\n" }, { T::smText, "[150]" } } },
        { "\\w10", { { T::smTag, "\\w1" }, { T::smText, "0" } } },
        { "\\URL[a][b][c]\\URL[d]", { { T::smTag, "\\URL[a][b][c]" }, { T::smTag, "\\URL[d]" } } },
        // The second byte of 表 is 0x5C: it must not escape the "]" after it.
        { "\\URL[" + J("表") + "]x",
            { { T::smTag, "\\URL[" + J("表") + "]" }, { T::smText, "x" } } },
        { "\\u" + std::string("A\0\\z", 4), { { T::smTag, "\\u" }, { T::smText, "A" } } },
        { "\\" + std::string(1, '\x81'), { { T::smErrorTag, "\\\x81" } } },
        { "ab\x81", { { T::smText, "ab\x81" } } },
    };
    TSsParser parser = WithPatterns(tags, metas);
    for (const auto& c : cases) {
        parser.ParseScript(c.script);
        EXPECT_EQ(Tokens(parser), c.tokens) << testing::PrintToString(c.script);
    }
}

// Every directive, at the start of a script, in the middle, and at its very end.
TEST(SsParser, MatchPatternDirectives)
{
    const struct
    {
        std::string pattern;
        std::string script;
        int length;
    } cases[] = {
        { "\\s%D", "\\s10abc", 4 },
        { "\\s[%D]", "\\s[10]", 6 },
        { "\\s[%D]", "\\s[a]", 0 },
        { "\\s[%D]", "\\s[10", 0 },
        { "\\s%d", "\\s", 0 },
        { "\\s%d", "\\s12", 3 },
        { "a%%", "a%", 2 },
        { "a%%", "a", 0 },
        { "a%xb", "a%xb", 4 },
        { "a%", "a%", 2 },
        { "a%", "ab", 0 },
        { "%.", J("表"), 2 },
        { "%.", "\x81", 1 },
        { "%.", "", 0 },
        { "%m%m", "ab", 2 },
        { "%m", J("表"), 0 },
        { "%M", J("表"), 2 },
        { "%M", "a", 0 },
        { "%M", "", 0 },
        { "%b", "[a\\]b]c", 6 },
        { "%b", "[" + J("表") + "]", 4 },
        { "%b", "[a\\\\]b", 5 },
        { "%b", "[abc", 0 },
        { "%b", "a", 0 },
        { "%c", "abc]", 3 },
        { "%c", "abc", 3 },
        { "%c", "]", 0 },
        { "%c", "", 0 },
        { "%c", "a\\", 2 },
        { "%c]x", J("ソ]") + "x", 4 },
        { "%D", "", 0 },
        { "%d%d", "1", 0 },
    };
    for (const auto& c : cases)
        EXPECT_EQ(TSsParser::MatchPatternIn(c.script, 0, c.pattern), c.length)
            << c.pattern << " on " << c.script;
}

TEST(SsParser, EscapesFollowTheSettings)
{
    TSsParser parser = WithPatterns({ "\\n" }, { "name" });
    const struct
    {
        bool leaveEscape;
        bool escapeInvalidMeta;
        std::string text;
    } cases[] = {
        { true, false, "a\\\\b\\%c%d" },
        { false, false, "a\\b%c%d" },
        { true, true, "a\\\\b\\%c\\%d" },
        { false, true, "a\\b%c\\%d" },
    };
    for (const auto& c : cases) {
        parser.LeaveEscape = c.leaveEscape;
        parser.EscapeInvalidMeta = c.escapeInvalidMeta;
        parser.ParseScript("a\\\\b\\%c%d");
        EXPECT_EQ(Tokens(parser), (std::vector<Tok> { { T::smText, c.text } }));
    }
}

TEST(SsParser, OnParseClaimsBeforeThePatterns)
{
    TSsParser parser = WithPatterns({ "\\h" }, { "name" });
    std::vector<std::string> seen;
    parser.OnParse = [&](TSsParser&, std::string_view script, int& len, TSsMarkUpType& kind,
                         std::string& extra) {
        seen.emplace_back(script);
        if (script.starts_with("\\h")) {
            len = 3; // claims one byte more than the pattern would
            kind = T::smErrorTag;
            extra = "mine";
        }
        if (script.starts_with("%x")) {
            len = 100; // more than is left: takes the rest
            kind = T::smMeta;
        }
    };
    parser.ParseScript("\\hab%name%x!");
    EXPECT_EQ(Tokens(parser),
        (std::vector<Tok> { { T::smErrorTag, "\\ha" }, { T::smText, "b" }, { T::smMeta, "%name" },
            { T::smMeta, "%x!" } }));
    EXPECT_EQ(parser.Tokens()[0].Extra, "mine");
    EXPECT_EQ(parser.Tokens()[2].Extra, "");
    EXPECT_EQ(seen, (std::vector<std::string> { "\\hab%name%x!", "%name%x!", "%x!" }));
}

// Only a claim keeps what the handler wrote; a handler parsing again gets an error, not a
// dangling script.
TEST(SsParser, OnParseLeavesNoExtraWithoutAClaimAndCannotReenter)
{
    TSsParser parser = WithPatterns({ "\\h" });
    parser.OnParse = [](TSsParser&, std::string_view, int&, TSsMarkUpType&, std::string& extra) {
        extra = "x";
    };
    parser.ParseScript("\\ha%b");
    for (const auto& token : parser.Tokens())
        EXPECT_EQ(token.Extra, "") << token.Text;

    for (const bool setPatterns : { false, true }) {
        parser.OnParse
            = [&](TSsParser& sender, std::string_view, int&, TSsMarkUpType&, std::string&) {
                  if (setPatterns)
                      sender.SetMetaPattern({});
                  else
                      sender.ParseScript("other");
              };
        try {
            parser.ParseScript("\\h");
            ADD_FAILURE();
        } catch (const ESsParserError& e) {
            EXPECT_EQ(e.what(), J("解析中は ParseScript もパターンの設定もできません"));
        }
    }
    parser.OnParse = nullptr;
    parser.ParseScript("\\hok");
    EXPECT_EQ(Tokens(parser), (std::vector<Tok> { { T::smTag, "\\h" }, { T::smText, "ok" } }));
}

TEST(SsParser, OnParseWrongKindIsAnErrorAndKeepsTheTokensSoFar)
{
    const struct
    {
        std::string script;
        T kind;
    } cases[] = { { "ab\\h", T::smMeta }, { "ab\\h", T::smText }, { "ab%x", T::smTag },
        { "ab%x", T::smErrorTag } };
    for (const auto& c : cases) {
        TSsParser parser;
        parser.OnParse
            = [&](TSsParser&, std::string_view, int& len, TSsMarkUpType& kind, std::string&) {
                  len = 2;
                  kind = c.kind;
              };
        try {
            parser.ParseScript(c.script);
            ADD_FAILURE() << c.script;
        } catch (const ESsParserError& e) {
            EXPECT_EQ(e.what(), J("正しいエレメントタイプを返してください"));
        }
        EXPECT_EQ(parser.TokenCount(), 0); // the text before is still in the buffer
        parser.OnParse = nullptr;
        parser.ParseScript("ok");
        EXPECT_EQ(parser.TextAt(0), "ok");
    }
}

// A malformed line fails only when a parse reaches it, and names its line (empty lines counted).
TEST(SsParser, MalformedTagPatternFailsWhenReached)
{
    TSsParser parser = WithPatterns({ "\\h", "", "x\\u", "\\u" });
    parser.ParseScript("plain text %");
    parser.ParseScript("\\h\\h");
    EXPECT_EQ(parser.TokenCount(), 2);
    try {
        parser.ParseScript("a\\hb\\u");
        FAIL();
    } catch (const ESsParserError& e) {
        EXPECT_EQ(e.what(), J("TagPattern表記ミス 3 行目"));
    }
    EXPECT_EQ(Tokens(parser), (std::vector<Tok> { { T::smText, "a" }, { T::smTag, "\\h" } }));
}

TEST(SsParser, EmptyListsMakeEveryTagAnErrorTag)
{
    TSsParser parser;
    parser.ParseScript("\\h%name\\s[0]");
    EXPECT_EQ(Tokens(parser),
        (std::vector<Tok> { { T::smErrorTag, "\\h" }, { T::smText, "%name" },
            { T::smErrorTag, "\\s" }, { T::smText, "[0]" } }));
}

TEST(SsParser, IndexedAccess)
{
    TSsParser parser = WithPatterns({ "\\h" });
    parser.ParseScript("\\hx");
    EXPECT_EQ(parser.TokenCount(), 2);
    EXPECT_EQ(parser.MarkTypeAt(1), T::smText);
    EXPECT_EQ(parser.TextAt(0), "\\h");
    for (const int bad : { -1, 2 }) {
        EXPECT_EQ(parser.TextAt(bad), "");
        try {
            parser.MarkTypeAt(bad);
            ADD_FAILURE() << bad;
        } catch (const ESsParserError& e) {
            EXPECT_EQ(e.what(), J("インデックスが範囲をこえています"));
        }
    }
}

// The index over the patterns must give the result of trying every line in order.
TEST(SsParser, FirstMatchInListOrderWins)
{
    TSsParser parser = WithPatterns({ "\\%m%m", "\\ab", "!a", "\\a%d" });
    parser.ParseScript("\\ab\\a1\\a");
    EXPECT_EQ(Tokens(parser),
        (std::vector<Tok> {
            { T::smTag, "\\ab" }, { T::smTag, "\\a1" }, { T::smErrorTag, "\\a" } }));
    parser.SetTagPattern({ "!a", "\\ab" });
    parser.ParseScript("\\ab");
    EXPECT_EQ(Tokens(parser), (std::vector<Tok> { { T::smErrorTag, "\\a" }, { T::smText, "b" } }));
}

TEST(SsParser, DefaultPatternFiles)
{
    TSsParser parser = DefaultParser();
    const struct
    {
        std::string script;
        std::vector<Tok> tokens;
    } cases[] = {
        { "\\s[smile]", { { T::smErrorTag, "\\s" }, { T::smText, "[smile]" } } },
        { "\\s[-1]\\s[10]\\s5",
            { { T::smTag, "\\s[-1]" }, { T::smTag, "\\s[10]" }, { T::smTag, "\\s5" } } },
        { "\\n[half]\\n[150]\\n",
            { { T::smTag, "\\n[half]" }, { T::smTag, "\\n[150]" }, { T::smTag, "\\n" } } },
        { "\\URL[http://a/][A][http://b/][B]",
            { { T::smTag, "\\URL[http://a/][A][http://b/]" }, { T::smText, "[B]" } } },
        { "\\_s\\_w[100]\\__w[1]",
            { { T::smTag, "\\_s" }, { T::smTag, "\\_w[100]" }, { T::smTag, "\\__w[1]" } } },
        { "\\q0[#a][b]\\p[2]\\p1",
            { { T::smTag, "\\q0[#a][b]" }, { T::smTag, "\\p[2]" }, { T::smTag, "\\p1" } } },
        { "%selfname2%ms%reference0",
            { { T::smMeta, "%selfname2" }, { T::smMeta, "%ms" }, { T::smText, "%reference0" } } },
        { "\\![raise,OnTest,\"100,2\"]", { { T::smTag, "\\![raise,OnTest,\"100,2\"]" } } },
        // The escaped bracket is a tag the renderer shows as "]", never an error tag.
        { "a\\]b", { { T::smText, "a" }, { T::smTag, "\\]" }, { T::smText, "b" } } },
        { "\\q[\"a]b\",c]", { { T::smTag, "\\q[\"a]" }, { T::smText, "b\",c]" } } },
    };
    for (const auto& c : cases) {
        parser.ParseScript(c.script);
        EXPECT_EQ(Tokens(parser), c.tokens) << c.script;
    }
    // Every line of the shipped files is a pattern: none may be malformed or empty.
    for (const auto& line : parser.TagPattern())
        EXPECT_TRUE(!line.empty() && (line[0] == '\\' || line[0] == '!')) << line;
    for (const auto& line : parser.MetaPattern())
        EXPECT_FALSE(line.empty());
}

TEST(SsParser, LoadPatternFileNamesAMissingFile)
{
    TempDir dir;
    try {
        TSsParser::LoadPatternFile(dir.Sjis() + "tagpat.txt");
        FAIL();
    } catch (const EFileError& e) {
        EXPECT_EQ(std::string(e.what()),
            "Cannot open file \"" + dir.Sjis() + "tagpat.txt\". No such file or directory");
    }
}

TEST(GetErrorTags, JoinsTheErrorTagsInOrder)
{
    TSsParser parser = WithPatterns({ "\\h", "!e" });
    EXPECT_EQ(GetErrorTags("\\h\\zabc\\q", parser), "\\z,\\q");
    EXPECT_EQ(GetErrorTags("\\hplain", parser), "");
    EXPECT_EQ(GetErrorTags("\\e", parser), "\\e");
    EXPECT_EQ(GetErrorTags("", parser), "");
}

// Reads the Shift_JIS corpus, one script a line; empty when it is not beside the project.
std::vector<std::string> CorpusScripts()
{
    std::ifstream in(VELMO_SOURCE_DIR "/../shared/corpus/scripts.sjis.txt", std::ios::binary);
    std::vector<std::string> scripts;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        scripts.push_back(line);
    }
    return scripts;
}

// On real scripts with the shipped patterns: no error, the tokens give back the script byte for
// byte, and no tag starts on the second byte of a double-byte character.
TEST(SsParserCorpus, EveryScriptTokenizesAndJoinsBack)
{
    const auto scripts = CorpusScripts();
    if (scripts.empty())
        GTEST_SKIP() << "corpus not found";
    TSsParser parser = DefaultParser();
    size_t trailBackslashScripts = 0;
    for (const std::string& script : scripts) {
        ASSERT_NO_THROW(parser.ParseScript(script)) << script;
        ASSERT_EQ(Joined(parser), script);
        // Character starts, by the lead-byte rule from the beginning.
        std::vector<bool> starts(script.size() + 1, false);
        bool hasTrailBackslash = false;
        for (size_t i = 0; i < script.size();) {
            starts[i] = true;
            const bool lead
                = IsLeadByte(static_cast<unsigned char>(script[i])) && i + 1 < script.size();
            hasTrailBackslash |= lead && script[i + 1] == '\\';
            i += lead ? 2 : 1;
        }
        trailBackslashScripts += hasTrailBackslash;
        size_t offset = 0;
        for (const auto& token : parser.Tokens()) {
            if (token.MarkType != T::smText) {
                ASSERT_TRUE(starts[offset]) << "tag inside a character in " << script;
            }
            offset += token.Text.size();
        }
    }
    EXPECT_GT(trailBackslashScripts, 100u);
}

} // namespace
