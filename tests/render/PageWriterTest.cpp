#include "render/PageWriter.h"

#include "PluginHostSupport.h"
#include "log/MessageList.h"
#include "platform/Errors.h"
#include "render/MessageHtml.h"
#include "render/SsParser.h"
#include "render/Surfaces.h"

namespace {

class PageWriterTest : public PluginHostTest
{
protected:
    TSsParser parser;
    TSurfaces surfaces { "/opt/velmo/general-1.bmp", list };
    TMessageList messages;
    TPageSettings settings;

    void SetUp() override
    {
        PluginHostTest::SetUp();
        parser.SetTagPattern({ "\\h", "\\u" });
        surfaces.CacheDir = dir.Sjis() + "cache/";
        surfaces.SppDir = Folder();
        settings.defaultFolder = dir.Sjis();
        settings.cssFile = "style sheet.css";
    }
    void Fill(int count)
    {
        messages.Clear();
        for (int i = 0; i < count; ++i) {
            auto m = std::make_unique<TBottleMessage>();
            m->Script = "\\hmessage " + std::to_string(i);
            messages.Add(std::move(m));
        }
    }
    std::string Page(int n) const
    {
        return ReadFileBytes(dir.Sjis() + "long" + std::to_string(n) + ".html");
    }
    bool PageExists(int n) const
    {
        return FileExists(dir.Sjis() + "long" + std::to_string(n) + ".html");
    }
};

TEST(PageWriter, HeadAndNavigationBlocks)
{
    EXPECT_EQ(MakeHTMLHead("a b.css"),
        "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\r\n<HTML "
        "lang=\"ja-JP\">\r\n<head>\r\n"
        "<meta http-equiv=\"content-type\" content=\"text/html; charset=Shift_JIS\">\r\n"
        "<link type=\"text/css\" rel=\"stylesheet\" href=\"a "
        "b.css\">\r\n<title>VELMO2</title>\r\n</head><body>\r\n");
    EXPECT_EQ(MakeNavigation(1, 3),
        "<div class=\"header\">\r\n1\r\n<a href=\"long2.html\">2</a>\r\n<a "
        "href=\"long3.html\">3</a>\r\n"
        "<a href=\"long2.html\">&rsaquo;&rsaquo;</a>\r\n</div>\r\n");
    EXPECT_EQ(MakeNavigation(3, 3),
        "<div class=\"header\">\r\n<a href=\"long2.html\">&lsaquo;&lsaquo;</a>\r\n<a "
        "href=\"long1.html\">1</a>\r\n"
        "<a href=\"long2.html\">2</a>\r\n3\r\n</div>\r\n");
    EXPECT_EQ(MakeNavigation(1, 1), "<div class=\"header\">\r\n1\r\n</div>\r\n");
}

// The page keys find the neighbouring page from the shown file's name.
TEST(PageWriter, PageNumberOfReadsOnlyPageNames)
{
    const struct
    {
        std::string name;
        std::optional<int32_t> page;
    } cases[] = { { "long1.html", 1 }, { "long599.html", 599 },
        { "long2147483647.html", 2147483647 }, { "long2147483648.html", std::nullopt },
        { "long0.html", std::nullopt }, { "long01.html", std::nullopt },
        { "long.html", std::nullopt }, { "long1.htm", std::nullopt },
        { "long-1.html", std::nullopt }, { "long1x.html", std::nullopt },
        { "xlong1.html", std::nullopt }, { "styleIE.css", std::nullopt } };
    for (const auto& c : cases)
        EXPECT_EQ(PageNumberOf(c.name), c.page) << c.name;
    EXPECT_EQ(PageNumberOf(PageFileName(42)), 42);
}

TEST_F(PageWriterTest, CutsIntoPagesWithRunningNumbers)
{
    Fill(250);
    settings.messagesPerPage = 100;
    WritePages(messages, settings, parser, surfaces);
    ASSERT_TRUE(PageExists(3));
    EXPECT_FALSE(PageExists(4));
    const std::string first = Page(1);
    EXPECT_TRUE(first.starts_with(
        MakeHTMLHead("style sheet.css") + "\r\n" + MakeNavigation(1, 3) + "\r\n"));
    EXPECT_TRUE(first.ends_with("\r\n" + MakeNavigation(1, 3) + "\r\n</body></html>\r\n\r\n"));
    EXPECT_NE(first.find("[1/250]"), std::string::npos);
    EXPECT_NE(first.find("[100/250]"), std::string::npos);
    EXPECT_EQ(first.find("[101/250]"), std::string::npos);
    EXPECT_NE(Page(2).find("[101/250]"), std::string::npos);
    EXPECT_NE(Page(3).find("[250/250]"), std::string::npos);
    EXPECT_NE(Page(3).find(MakeNavigation(3, 3)), std::string::npos);
    // The message block holds each fragment followed by CR LF.
    MessageHtml(messages.Items(0), 1, 250, parser, surfaces);
    EXPECT_NE(first.find(MessageHtml(messages.Items(0), 1, 250, parser, surfaces) + "\r\n"
                  + MessageHtml(messages.Items(1), 2, 250, parser, surfaces) + "\r\n"),
        std::string::npos);
}

// The page keys stay within the pages written: nothing before the first or after the last.
TEST_F(PageWriterTest, NeighbourPageStaysWithinThePagesWritten)
{
    Fill(250);
    settings.messagesPerPage = 100;
    WritePages(messages, settings, parser, surfaces);
    const std::string folder = dir.Sjis();
    const struct
    {
        std::string shown;
        int32_t step;
        std::optional<std::string> page;
    } cases[] = {
        { "long1.html", 1, "long2.html" },
        { "long2.html", 1, "long3.html" },
        { "long3.html", 1, std::nullopt },
        { "long2.html", -1, "long1.html" },
        { "long1.html", -1, std::nullopt },
        { "long3.html", -2, "long1.html" },
        { "style sheet.css", 1, std::nullopt },
        { "long2147483647.html", 1, std::nullopt },
    };
    for (const auto& c : cases)
        EXPECT_EQ(NeighbourPage(folder + c.shown, c.step),
            c.page ? std::optional(folder + *c.page) : std::nullopt)
            << c.shown << " " << c.step;
}

TEST_F(PageWriterTest, ExactMultipleMakesNoEmptyPage)
{
    Fill(200);
    settings.messagesPerPage = 100;
    WritePages(messages, settings, parser, surfaces);
    EXPECT_TRUE(PageExists(2));
    EXPECT_FALSE(PageExists(3));
}

// A later view with fewer pages removes the earlier view's pages beyond its own, and nothing else.
TEST_F(PageWriterTest, FewerPagesRemoveTheStalePagesOnly)
{
    Fill(5);
    settings.messagesPerPage = 1;
    WritePages(messages, settings, parser, surfaces);
    const std::string kept[] = { "long01.html", "long5.htm", "long3.html.bak", "long.html",
        "Long4.html", "long4x.html", "notes.txt" };
    for (const std::string& name : kept)
        WriteFileAtomic(dir.Sjis() + name, "mine");
    std::filesystem::create_directory(NativePath(dir.Sjis() + "long9.html"));
    std::filesystem::create_symlink(
        NativePath(dir.Sjis() + "notes.txt"), NativePath(dir.Sjis() + "long8.html"));
    Fill(2);
    WritePages(messages, settings, parser, surfaces);
    EXPECT_TRUE(PageExists(2));
    EXPECT_EQ(Page(1).find("long3.html"), std::string::npos);
    for (int n : { 3, 4, 5 })
        EXPECT_FALSE(PageExists(n)) << n;
    for (const std::string& name : kept)
        EXPECT_EQ(ReadFileBytes(dir.Sjis() + name), "mine") << name;
    EXPECT_TRUE(PageExists(9)); // a folder
    EXPECT_TRUE(PageExists(8)); // a link
    // No page written (an empty view shows the pages there were): nothing is removed.
    Fill(0);
    WritePages(messages, settings, parser, surfaces);
    EXPECT_TRUE(PageExists(2));
}

// A page asked for before its turn is written at once, and the rest follow, each once, the same
// bytes as written in order.
TEST_F(PageWriterTest, PagesWrittenOutOfOrderAreTheSame)
{
    Fill(5);
    settings.messagesPerPage = 1;
    WritePages(messages, settings, parser, surfaces);
    std::vector<std::string> inOrder;
    for (int n = 1; n <= 5; ++n)
        inOrder.push_back(Page(n));
    for (int n = 1; n <= 5; ++n)
        std::filesystem::remove(NativePath(dir.Sjis() + "long" + std::to_string(n) + ".html"));
    TPageWriter writer(messages, settings, parser, surfaces);
    EXPECT_EQ(writer.PageTotal(), 5);
    writer.Write(4);
    writer.Flush();
    EXPECT_TRUE(PageExists(4));
    EXPECT_FALSE(PageExists(1));
    int steps = 0;
    while (writer.WriteNext())
        ++steps;
    writer.Write(2); // written already: nothing to do
    writer.Finish();
    EXPECT_EQ(steps, 4);
    EXPECT_TRUE(writer.Done());
    for (int n = 1; n <= 5; ++n)
        EXPECT_EQ(Page(n), inOrder[static_cast<size_t>(n - 1)]) << n;
}

TEST_F(PageWriterTest, EmptyListWritesNothingButReloadsPlugins)
{
    Install("red", "a.so");
    Fill(0);
    WritePages(messages, settings, parser, surfaces);
    EXPECT_FALSE(PageExists(1));
    EXPECT_EQ(CallCount("red Load"), 1u);
}

TEST_F(PageWriterTest, PageCountBelowOneIsHeldAtOne)
{
    Fill(3);
    for (int perPage : { 0, -5 }) {
        settings.messagesPerPage = perPage;
        WritePages(messages, settings, parser, surfaces);
        EXPECT_TRUE(PageExists(3));
        EXPECT_FALSE(PageExists(4));
    }
}

TEST_F(PageWriterTest, HtmlFolderSettingAndWriteFailures)
{
    Fill(1);
    std::filesystem::create_directory(NativePath(dir.Sjis() + "out"));
    settings.htmlFolder = dir.Sjis() + "out/";
    WritePages(messages, settings, parser, surfaces);
    EXPECT_EQ(PagePath(settings, 1), dir.Sjis() + "out//long1.html");
    EXPECT_TRUE(FileExists(dir.Sjis() + "out/long1.html"));

    settings.htmlFolder = dir.Sjis() + "missing";
    try {
        WritePages(messages, settings, parser, surfaces);
        FAIL();
    } catch (const EFileError& e) {
        EXPECT_EQ(std::string(e.what()),
            "Cannot write file \"" + dir.Sjis()
                + "missing/long1.html\". No such file or directory");
    }
}

} // namespace
