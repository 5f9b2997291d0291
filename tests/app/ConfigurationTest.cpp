#include "app/Configuration.h"

#include "TestSupport.h"
#include "platform/FileIO.h"

#include <map>
#include <optional>

namespace {

using Names = std::vector<std::string>;

TEST(Configuration, MissingFileGivesEveryDefault)
{
    const TConfiguration c
        = ReadConfiguration(TIniFile(), TAppFolders::Portable("/opt/velmo/", "velmo"));
    EXPECT_EQ(c.SppDir, "");
    EXPECT_EQ(c.SurfaceCacheDir, "/opt/velmo/cache/");
    EXPECT_EQ(c.CSSFile, "styleIE.css");
    EXPECT_EQ(c.BrowserCommand, "");
    EXPECT_EQ(c.HTMLFolder, "");
    EXPECT_EQ(c.Top, 145);
    EXPECT_EQ(c.Left, 209);
    EXPECT_EQ(c.Width, 440);
    EXPECT_EQ(c.Height, 351);
    EXPECT_EQ(c.LUID, "");
    EXPECT_EQ(c.MessagesPerPage, 100);
    EXPECT_EQ(c.FMONames, Names { "Sakura" });
    EXPECT_EQ(c.BottleServer, "");
    EXPECT_FALSE(c.SavedGeometry);
}

TEST(Configuration, OddValues)
{
    const TIniFile ini(
        "[General]\r\nLUID=\r\n1PageCount=abc\r\nCSS=\r\nBottleServer=example:8080\r\n"
        "[Form]\r\nTop=0x10\r\nLeft=-20\r\nWidth=\r\n[Play]\r\nFMO=\r\n");
    const TConfiguration c = ReadConfiguration(ini, TAppFolders::Portable("/p/", "velmo"));
    EXPECT_EQ(c.LUID, "");
    EXPECT_EQ(c.MessagesPerPage, 100);
    EXPECT_EQ(c.CSSFile, "");
    EXPECT_EQ(c.Top, 16);
    EXPECT_EQ(c.Left, -20);
    EXPECT_EQ(c.Width, 440);
    EXPECT_TRUE(c.FMONames.empty());
    EXPECT_EQ(c.BottleServer, "example:8080");
}

TEST(Configuration, NameListReading)
{
    const struct
    {
        std::string text;
        Names names;
    } cases[] = {
        { "Sakura", { "Sakura" } },
        { "Sakura,\"a b\"", { "Sakura", "a b" } },
        { "a b", { "a", "b" } },
        { "  a ,  b  ", { "a", "b" } },
        { "a,,b", { "a", "", "b" } },
        { "a,", { "a", "" } },
        { "\"\"", { "" } },
        { "\"say \"\"hi\"\"\",x", { "say \"hi\"", "x" } },
        { "\"unclosed, still", { "unclosed, still" } },
        { "", {} },
        { J("さくら,\"ソ 表\""), { J("さくら"), J("ソ 表") } },
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseNameList(c.text), c.names) << c.text;
}

TEST(Configuration, NameListRoundTrips)
{
    const Names lists[]
        = { {}, { "" }, { "Sakura" }, { "a b", "c,d", "e\"f", "", "g" }, { J("さくら"), "\tx" } };
    for (const auto& names : lists)
        EXPECT_EQ(ParseNameList(FormatNameList(names)), names) << FormatNameList(names);
    EXPECT_EQ(FormatNameList({ "Sakura", "a b" }), "Sakura,\"a b\"");
    EXPECT_EQ(FormatNameList({}), "");
}

TEST(Configuration, FileWrittenFromScratchHasTheTwelveKeysInOrder)
{
    TConfiguration c = ReadConfiguration(TIniFile(), TAppFolders::Portable("/opt/velmo/", "velmo"));
    TIniFile ini;
    WriteConfiguration(ini, c);
    EXPECT_EQ(ini.ToBytes(),
        "[General]\r\nLUID=\r\nSurfaceCacheDir=/opt/velmo/cache/"
        "\r\nSppDir=\r\n1PageCount=100\r\nCSS=styleIE.css\r\n"
        "Browser=\r\nHTMLFolder=\r\n[Form]\r\nTop=145\r\nLeft=209\r\nWidth=440\r\nHeight=351\r\n["
        "Play]\r\nFMO=Sakura\r\n");
    EXPECT_TRUE(ReadConfiguration(ini, TAppFolders::Portable("/p/", "velmo")).SavedGeometry);
    // A server set in the settings goes to its key, and clearing it later empties the key.
    c.BottleServer = "bottle.example.org:8080";
    WriteConfiguration(ini, c);
    EXPECT_EQ(ini.ReadValue("General", "BottleServer"), "bottle.example.org:8080");
    c.BottleServer.clear();
    WriteConfiguration(ini, c);
    EXPECT_EQ(ini.ReadValue("General", "BottleServer"), "");
}

// The zoom key is our own: read within the ladder, written back only once it means something, so a
// file of a program that never zoomed stays byte for byte.
TEST(Configuration, ZoomKeyIsReadHeldAndWrittenWhenItMatters)
{
    const struct
    {
        std::string stored; // the General section's Zoom line, or none
        int32_t zoom; // what the program reads
        int32_t set; // what the program has at the end
        std::optional<std::string> written;
    } cases[] = {
        { "", 100, 100, std::nullopt },
        { "", 100, 125, "125" },
        { "Zoom=150\r\n", 150, 150, "150" },
        { "Zoom=150\r\n", 150, 100, "100" },
        { "Zoom=abc\r\n", 100, 100, "100" },
        { "Zoom=9000\r\n", 500, 500, "500" },
        { "Zoom=-3\r\n", 100, 90, "90" },
    };
    for (const auto& c : cases) {
        TIniFile ini("[General]\r\nLUID=x\r\n" + c.stored);
        TConfiguration config = ReadConfiguration(ini, TAppFolders::Portable("/p/", "velmo"));
        EXPECT_EQ(config.Zoom, c.zoom) << c.stored;
        config.Zoom = c.set;
        WriteConfiguration(ini, config);
        EXPECT_EQ(ini.ReadValue("General", "Zoom"), c.written) << c.stored << " " << c.set;
    }
}

// Keys a user added (BottleServer among them) and comments survive the end-of-program write.
TEST(Configuration, WriteKeepsWhatTheUserAdded)
{
    TIniFile ini("; mine\r\n[General]\r\nBottleServer=host:81\r\nLUID=old\r\n[Other]\r\nx=1\r\n");
    TConfiguration c = ReadConfiguration(ini, TAppFolders::Portable("/p/", "velmo"));
    c.LUID = "new";
    WriteConfiguration(ini, c);
    EXPECT_EQ(ini.ReadValue("General", "BottleServer"), "host:81");
    EXPECT_EQ(ini.ReadValue("General", "LUID"), "new");
    EXPECT_EQ(ini.ReadValue("Other", "x"), "1");
    EXPECT_EQ(ini.ToBytes().substr(0, 8), "; mine\r\n");
}

// Text values are read cut to 2047 bytes; the end-of-program write must not cut them in the file.
TEST(Configuration, LongValuesSurviveTheWriteBack)
{
    const std::string browser = "browser " + std::string(5000, 'b');
    std::string fmo = "first";
    for (int i = 0; fmo.size() < 5000; ++i)
        fmo += (i % 2 ? ", " : " ") + std::to_string(i);
    TIniFile ini("[General]\r\nBrowser=" + browser + "\r\n[Play]\r\nFMO=" + fmo + "\r\n");
    TConfiguration c = ReadConfiguration(ini, TAppFolders::Portable("/p/", "velmo"));
    EXPECT_EQ(c.BrowserCommand, browser.substr(0, 2047));
    WriteConfiguration(ini, c);
    EXPECT_EQ(ini.ReadValue("General", "Browser"), browser);
    EXPECT_EQ(ini.ReadValue("Play", "FMO"), fmo);
    c.BrowserCommand = "changed";
    c.FMONames.pop_back();
    WriteConfiguration(ini, c);
    EXPECT_EQ(ini.ReadValue("General", "Browser"), "changed");
    EXPECT_EQ(ini.ReadValue("Play", "FMO"), FormatNameList(c.FMONames));
}

// Portable: everything in the program folder. Installed (bin/ beside share/velmo/): the XDG
// folders (their defaults under home when unset or relative) and the shipped plug-ins.
TEST(Configuration, FoldersOfEachLayout)
{
    TempDir prefix;
    std::filesystem::create_directories(prefix.Native() / "share/velmo");
    std::filesystem::create_directories(prefix.Native() / "bin");
    const std::string p = prefix.Sjis();
    const auto env = [](std::map<std::string, std::string> values) {
        return [values](const char* name) -> const char* {
            const auto it = values.find(name);
            return it == values.end() ? nullptr : it->second.c_str();
        };
    };
    const TAppFolders portable = TAppFolders::For(p, "velmo", env({ { "HOME", "/h" } }));
    EXPECT_FALSE(portable.installed);
    EXPECT_EQ(portable.configFile, p + "velmo.ini");
    EXPECT_EQ(portable.cacheFolder, p + "cache/");
    EXPECT_EQ(portable.DataFile("tagpat.txt"), p + "tagpat.txt");
    EXPECT_EQ(ReadConfiguration(TIniFile(), portable).SppDir, "");

    const TAppFolders xdg = TAppFolders::For(p + "bin/", "velmo",
        env({ { "HOME", "/h" }, { "XDG_CONFIG_HOME", "/c/" }, { "XDG_CACHE_HOME", "/k" },
            { "XDG_DATA_HOME", "relative" } }));
    EXPECT_TRUE(xdg.installed);
    EXPECT_EQ(xdg.configFile, "/c/velmo/velmo.ini");
    EXPECT_EQ(xdg.cacheFolder, "/k/velmo/cache/");
    EXPECT_EQ(xdg.pageFolder, "/h/.local/share/velmo/pages/");
    EXPECT_EQ(ReadConfiguration(TIniFile(), xdg).SppDir, p + "lib/velmo/plugins");
    EXPECT_EQ(ReadConfiguration(TIniFile(), xdg).SurfaceCacheDir, "/k/velmo/cache/");

    // The user's copy of a data file wins over the shipped one.
    const TAppFolders home
        = TAppFolders::For(p + "bin/", "velmo", env({ { "HOME", prefix.Native().string() } }));
    EXPECT_EQ(home.configFile, p + ".config/velmo/velmo.ini");
    EXPECT_EQ(home.DataFile("tagpat.txt"), p + "share/velmo/tagpat.txt");
    std::filesystem::create_directories(prefix.Native() / ".config/velmo");
    WriteFileAtomic(home.userDataFolder + "tagpat.txt", "mine");
    EXPECT_EQ(home.DataFile("tagpat.txt"), p + ".config/velmo/tagpat.txt");
}

} // namespace
