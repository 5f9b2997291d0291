#include "render/MessageHtml.h"

#include "log/BottleMessage.h"
#include "render/PluginHostSupport.h"
#include "render/SsParser.h"
#include "render/Surfaces.h"

namespace {

// A message rendered with a small tag list and a real surface cache (no plug-ins, so no file is
// ever drawn: the paths are what matter here).
class MessageHtmlTest : public testing::Test
{
protected:
    TempDir dir;
    TRecordingBox box;
    TRecordingProgress progress;
    TSppList list { true, box, progress };
    TSurfaces surfaces { "/opt/velmo/general-1.bmp", list };
    TSsParser parser;
    TBottleMessage m;

    void SetUp() override
    {
        parser.SetTagPattern({ "\\]", "\\h", "\\u", "\\0", "\\1", "\\p[%c]", "\\p%d", "\\s%d",
            "\\s[%D]", "\\s[-%D]", "\\n[half]", "\\n[%c]", "\\n", "\\_s", "\\c", "\\e", "\\w%d",
            "\\URL[%c][%c][%c]", "\\URL[%c][%c]", "\\URL[%c]" });
        surfaces.CacheDir = Cache();
        m.Ghost = "G";
        m.Channel = "C";
        m.LogTime = *TryEncodeDateTime({ 2004, 5, 6 }, { 12, 34, 56, 0 });
        m.Connections = 25;
        m.Votes = 3;
        m.Agrees = 1;
        m.Index = 4;
    }
    std::string Cache() const { return dir.Sjis() + "cache/"; }
    std::string Html(int32_t number, int32_t total)
    {
        return MessageHtml(m, number, total, parser, surfaces);
    }

    std::string Header() const
    {
        return "<div class=\"header\">\r\n[5/10]\r\n2004/05/06 12:34:56\r\nGhost:" + m.Ghost
            + "\r\nCh:" + m.Channel + "\r\n<br>\r\n" + J("接続:")
            + "25\r\n<a href=\"http://velmovote.4\">" + J("投票") + "</a>\r\n:3\r\n"
            + "<a href=\"http://velmoagree.4\">" + J("同意")
            + "</a>\r\n:1\r\n<a href=\"http://velmoplay.4\">" + J("再生") + "</a>\r\n</div>\r\n";
    }
    std::string Img(int n) const
    {
        return "<img src=\"file://" + Cache() + "G" + std::to_string(n) + ".bmp\" alt=\"G"
            + std::to_string(n) + "\">\r\n";
    }
    std::string Block(const char* kind, const std::string& images, const std::string& talk) const
    {
        return std::string("<div class=\"") + kind + "\">\r\n<div class=\"surface\">\r\n" + images
            + "</div>\r\n<div class=\"talk\">\r\n" + talk + "\r\n</div>\r\n</div>\r\n\r\n";
    }
    // The speech blocks of a script: the fragment without its frame and headers.
    std::string Body(const std::string& script)
    {
        m.Script = script;
        const std::string html = Html(5, 10);
        const std::string head = "<div class=\"message\" id=\"G\">\r\n" + Header() + "\r\n";
        const std::string tail = Header() + "\r\n</div>\r\n";
        EXPECT_TRUE(html.starts_with(head) && html.ends_with(tail)) << html;
        return html.substr(head.size(), html.size() - head.size() - tail.size());
    }
};

TEST_F(MessageHtmlTest, WorkedExampleByteForByte)
{
    parser.SetTagPattern({ "\\h", "\\u", "\\s%D", "\\e" });
    m.Script = "\\h\\s5Hello\\u\\s10Hi\\e";
    const std::string expected = "<div class=\"message\" id=\"G\">\r\n" + Header() + "\r\n" + "\r\n"
        + "\r\n" + Block("Yen0", Img(5), "Hello") + "\r\n" + Block("Yen1", Img(10), "Hi") + Header()
        + "\r\n" + "</div>\r\n";
    EXPECT_EQ(Html(5, 10), expected);
}

TEST_F(MessageHtmlTest, SpeechBlocks)
{
    const struct
    {
        const char* name;
        std::string script;
        std::string body;
    } cases[] = {
        { "Empty", "", "\r\n" },
        { "NoScopeTag", "Hello", Block("Yen0", Img(0), "Hello") },
        { "SecondCharacterStartsAtTen", "\\uHi", "\r\n" + Block("Yen1", Img(10), "Hi") },
        { "OnlyLineBreaks", "\\h\\n\\n", "\r\n\r\n" },
        { "LeadingBreaksDropped", "\\n\\nHello\\n", Block("Yen0", Img(0), "Hello<br>") },
        { "SyncTwice", "\\_sA\\_sB",
            "\r\n" + Block("Sync", Img(0) + Img(10), "A") + Block("Yen0", Img(0), "B") },
        { "AngleBrackets", "<b>x</b>", Block("Yen0", Img(0), "&lt;b&gt;x&lt;/b&gt;") },
        { "UnknownTagShown", "a\\zb", Block("Yen0", Img(0), "a\\zb") },
        { "MetaShownAsWritten", "%selfname", Block("Yen0", Img(0), "%selfname") },
        { "DroppedTags", "a\\w5\\eb", Block("Yen0", Img(0), "ab") },
        { "ClearFlushes", "a\\cb", Block("Yen0", Img(0), "a") + Block("Yen0", Img(0), "b") },
        { "BracketSurface", "\\u\\s[11]x", "\r\n\r\n" + Block("Yen1", Img(11), "x") },
        { "Escapes", "a\\\\b\\%c\\\\%", Block("Yen0", Img(0), "a\\b%c%") },
        // 0x5C is the second byte of ソ: it must not pair with the escape after it.
        { "EscapeAfterTrailByte", J("ソ") + "\\%", Block("Yen0", Img(0), J("ソ") + "%") },
        // The other scope tags and line-break forms real scripts use.
        { "ScopeDigits", "\\1a\\0b",
            "\r\n" + Block("Yen1", Img(10), "a") + Block("Yen0", Img(0), "b") },
        { "ScopeP", "\\p[1]a\\p0b",
            "\r\n" + Block("Yen1", Img(10), "a") + Block("Yen0", Img(0), "b") },
        { "LineBreakForms", "a\\n[half]b\\n[150]c", Block("Yen0", Img(0), "a<br>b<br>c") },
        { "EscapedBracket", "a\\]b", Block("Yen0", Img(0), "a]b") },
        // Past 32 bits: a surface with no picture, named as written, never drawn.
        { "HugeSurface", "\\s[99999999999]x",
            "\r\n"
                + Block("Yen0",
                    "<img src=\"file://" + Cache() + "G99999999999.bmp\" alt=\"G99999999999\">\r\n",
                    "x") },
        { "HugeNegativeSurface", "\\s[-99999999999]x",
            "\r\n"
                + Block("Yen0",
                    "<img src=\"file://" + Cache()
                        + "G-99999999999.bmp\" alt=\"G-99999999999\">\r\n",
                    "x") },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Body(c.script), c.body);
    }
}

TEST_F(MessageHtmlTest, NegativeSurfaceGoesToTheCacheUnchanged)
{
    EXPECT_EQ(Body("\\s[-1]x"),
        "\r\n"
            + Block("Yen0", "<img src=\"file:///opt/velmo/general-1.bmp\" alt=\"G-1\">\r\n", "x"));
}

// A failure inside one message shows in its place; the caller still gets the whole fragment.
TEST_F(MessageHtmlTest, FailureShowsAsOneEscapedLine)
{
    parser.SetTagPattern({ "\\h", "bad<line>" });
    EXPECT_EQ(Body("\\zx"),
        "<div class=\"error\">TagPattern" + J("表記ミス ") + "2" + J(" 行目") + "</div>\r\n");
    // The view may be of NUL-holding name: no file lookup sees it cut short.
    m.Ghost = std::string("G\0/x", 4);
    parser.SetTagPattern({ "\\h" });
    m.Script = "a";
    EXPECT_NE(Html(1, 1).find("alt=\"G"), std::string::npos);
}

TEST_F(MessageHtmlTest, HostileNamesAndTextsCannotFormMarkup)
{
    m.Ghost = "\"><script>x</script>";
    m.Channel = "<i>&";
    m.Script = "<img onerror=x>";
    const std::string html = Html(1, 1);
    EXPECT_EQ(html.find("<script"), std::string::npos);
    EXPECT_EQ(html.find("<i>"), std::string::npos);
    EXPECT_EQ(html.find("<img onerror"), std::string::npos);
    EXPECT_NE(html.find("id=\"&quot;&gt;&lt;script&gt;x&lt;/script&gt;\""), std::string::npos);
    EXPECT_NE(html.find("Ch:&lt;i&gt;&amp;\r\n"), std::string::npos);
    EXPECT_NE(html.find("alt=\"&quot;&gt;&lt;script&gt;x&lt;/script&gt;0\""), std::string::npos);
    // A lead byte takes the byte after it, whatever it is: in the picture's address too, a "<"
    // there is an entity.
    m.Ghost = "\x8F<script>";
    const std::string paired = Html(1, 1);
    EXPECT_EQ(paired.find("<script"), std::string::npos);
    EXPECT_NE(paired.find("\x8F&lt;script_larger_0.bmp\""), std::string::npos) << paired;
}

TEST_F(MessageHtmlTest, ImagePathsBecomeFileUrlsThatResolve)
{
    m.Ghost = J("さくら") + " a%b#c&d";
    m.Script = "x";
    const std::string html = Html(1, 1);
    EXPECT_NE(html.find("<img src=\"file://" + Cache() + J("さくら") + "%20a%25b%23c&amp;d0.bmp\""),
        std::string::npos)
        << html;
}

TEST(MessageHtmlUrl, TagHtml)
{
    const struct
    {
        std::string tag;
        std::string html;
    } cases[] = {
        { "\\URL[http://a.b.c/][title]", "<a href=\"http://a.b.c/\">a.b.c</a><br>[title]<br>" },
        { "\\URL[http://h1.h2.h3/folder/page.html]",
            "<a href=\"http://h1.h2.h3/folder/page.html\">page.html[h2.h3]</a><br>" },
        { "\\URL[https://example.org/docs/]",
            "<a href=\"https://example.org/docs/\">docs[example.org]</a><br>" },
        { "\\URL[cancel][http://x.y/][X]",
            "[cancel]<br><a href=\"http://x.y/\">x.y</a><br>[X]<br>" },
        // Only addresses that start with http:// or https:// become links.
        { "\\URL[javascript:alert(1)//http://x/]", "[javascript:alert(1)//http://x/]<br>" },
        { "\\URL[http://x/\"><script>]",
            "<a href=\"http://x/&quot;&gt;&lt;script&gt;\">&quot;&gt;&lt;script&gt;[x]</a><br>" },
        { "\\URL[<b>t</b>]", "[&lt;b&gt;t&lt;/b&gt;]<br>" },
        // Nothing after http:// : the address is its own caption.
        { "\\URL[http://]", "<a href=\"http://\">http://</a><br>" },
        // A stranger's script cannot write a command link, in any form the view would take as one.
        { "\\URL[http://velmovote.0][x]", "[http://velmovote.0]<br>[x]<br>" },
        { "\\URL[http://velmostart.demo][x]", "[http://velmostart.demo]<br>[x]<br>" },
        { "\\URL[HTTP://VelmoPlay.0/]", "[HTTP://VelmoPlay.0/]<br>" },
        { "\\URL[https://velmoagree.0.]", "[https://velmoagree.0.]<br>" },
        { "\\URL[http://x/?u=http://velmovote.1]", "[http://x/?u=http://velmovote.1]<br>" },
        // The second byte of ゾ is 0x5D: not a closing bracket.
        { "\\URL[http://z/][" + J("ゾ") + "]",
            "<a href=\"http://z/\">z</a><br>[" + J("ゾ") + "]<br>" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(UrlTagHtml(c.tag), c.html) << c.tag;
}

TEST(MessageHtmlUrl, Caption)
{
    const struct
    {
        std::string url;
        std::string caption;
    } cases[] = {
        { "http://h1.h2.h3/", "h1.h2.h3" },
        { "http://host", "host" },
        { "http://h1.h2.h3/folder/page.html", "page.html[h2.h3]" },
        { "http://a.b.c.d.e/folder/", "folder[c.d.e]" },
        { "http://a.b/x/y", "y[a.b]" },
        { "http://a.b.c.d/x", "x[b.c.d]" },
        { "http://h/%E3%81%82", "\xE3\x81\x82[h]" },
        { "http://h/a%zzb%00c%41", "abcA[h]" },
        // Decoding runs over the whole caption: a "%" at the end takes the "[h" after it.
        { "http://h/100%", "100]" },
        { "http:", "http:" },
        { "", "" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(UrlCaption(c.url), c.caption) << c.url;
}

} // namespace
