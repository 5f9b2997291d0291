#include "PluginHostSupport.h"
#include "render/Plugins.h"

namespace {

TEST_F(PluginHostTest, LoadsInNameOrderAndReportsEachFailureOnce)
{
    Install("red", "a-red.so");
    Install("noconfigure", "b-noconfigure.so");
    Install("version2", "c-version2.so");
    Install("noversion", "d-noversion.so");
    WriteFileAtomic(Folder() + "/e-x.so", "this is not a shared object");
    Install("green", "f-green.so");
    Install("green", ".hidden.so");
    Install("green", "g-green.so.txt");
    std::filesystem::create_directory(NativePath(Folder() + "/h-folder.so"));

    list.LoadFromFolder(Folder());

    ASSERT_EQ(list.Plugins.size(), 2u);
    EXPECT_EQ(list.Plugins[0]->FileName, Folder() + "/a-red.so");
    EXPECT_EQ(list.Plugins[0]->Description, "test plug-in red");
    EXPECT_TRUE(list.Plugins[0]->VersionFlag);
    EXPECT_EQ(list.Plugins[1]->FileName, Folder() + "/f-green.so");
    const std::string failed = J("SPPプラグインロード失敗:\r\n");
    ASSERT_EQ(box.texts.size(), 4u);
    EXPECT_TRUE(box.texts[0].starts_with(failed + "Error Getting Procedure Address ("))
        << box.texts[0];
    EXPECT_NE(box.texts[0].find("Configure"), std::string::npos);
    EXPECT_EQ(box.texts[1],
        failed + "Module " + Folder() + "/c-version2.so returned unsupported version number(2)");
    EXPECT_EQ(box.texts[2], failed + Folder() + "/d-noversion.so is not a valid SPP module");
    EXPECT_TRUE(box.texts[3].starts_with(failed + "Error loading " + Folder() + "/e-x.so ("))
        << box.texts[3];
    EXPECT_EQ(progress.lines,
        (std::vector<std::string> { J("プラグインa-red.soを読み込み中..."),
            J("プラグインb-noconfigure.soを読み込み中..."),
            J("プラグインc-version2.soを読み込み中..."),
            J("プラグインd-noversion.soを読み込み中..."), J("プラグインe-x.soを読み込み中..."),
            J("プラグインf-green.soを読み込み中...") }));
    EXPECT_EQ(progress.open, 0);
    // A rejected plug-in is asked its version but never loaded or unloaded.
    EXPECT_EQ(CallCount("noconfigure GetVersion"), 1u);
    EXPECT_EQ(CallCount("noconfigure Load"), 0u);
    EXPECT_EQ(CallCount("noconfigure Unload"), 0u);
    EXPECT_EQ(CallCount("version2 Load"), 0u);
    EXPECT_EQ(CallCount("red Load " + Folder() + "/"), 1u);
}

TEST_F(PluginHostTest, ReloadUnloadsEveryPluginFirst)
{
    Install("red", "a.so");
    list.LoadFromFolder(Folder());
    TBitmap b;
    list.GetSurface("g", 1, b);
    list.LoadFromFolder(Folder());
    EXPECT_TRUE(list.Images.empty());
    EXPECT_EQ(CallCount("red Unload"), 1u);
    EXPECT_EQ(CallCount("red Load"), 2u);
    list.LoadFromFolder("");
    EXPECT_TRUE(list.Plugins.empty());
    EXPECT_EQ(CallCount("red Unload"), 2u);
    EXPECT_EQ(progress.shown, 2); // an empty folder name searches nothing
}

TEST_F(PluginHostTest, FirstPluginThatCanDrawAnswers)
{
    Install("nothing", "a-nothing.so");
    Install("red", "b-red.so");
    Install("green", "c-green.so");
    list.LoadFromFolder(Folder());
    TBitmap bitmap;
    ASSERT_TRUE(list.GetSurface(J("さくら"), 2, bitmap));
    EXPECT_EQ(bitmap.Width(), 10);
    EXPECT_EQ(bitmap.Height(), 6);
    EXPECT_EQ(bitmap.Pixel(3, 5), 0xFF0000u);
    EXPECT_EQ(bitmap.Pixel(3, 0), 0x112233u);
    EXPECT_EQ(CallCount("nothing GetImageSize"), 1u);
    EXPECT_EQ(CallCount("green GetImageSize"), 0u);
    ASSERT_EQ(list.Images.size(), 1u);
    EXPECT_EQ(list.Images[0]->SurfaceKey, "2,*");
    EXPECT_EQ(list.Images[0]->GhostName, J("さくら"));
}

TEST_F(PluginHostTest, CacheKeepsTheHundredMostRecentlyUsed)
{
    Install("red", "a.so");
    list.LoadFromFolder(Folder());
    TBitmap b;
    for (int n = 0; n <= 100; ++n)
        ASSERT_TRUE(list.GetSurface("g", n, b));
    EXPECT_EQ(list.Images.size(), 100u);
    EXPECT_EQ(list.Images[0]->SurfaceKey, "100,*");
    EXPECT_EQ(list.Images[99]->SurfaceKey, "1,*"); // surface 0 was pushed out

    // A hit moves its entry to the front, asks no plug-in, and says so in the debug output.
    const size_t calls = CallCount("red GetImage ");
    ::setenv("VELMO_DEBUG", "1", 1);
    testing::internal::CaptureStderr();
    ASSERT_TRUE(list.GetSurface("g", 1, b));
    const std::string debug = testing::internal::GetCapturedStderr();
    ::unsetenv("VELMO_DEBUG");
    EXPECT_EQ(debug, "Cache Used: g1\n");
    EXPECT_EQ(list.Images[0]->SurfaceKey, "1,*");
    EXPECT_EQ(b.Width(), 9);
    EXPECT_EQ(CallCount("red GetImage "), calls);

    // The evicted surface is drawn again.
    ASSERT_TRUE(list.GetSurface("g", 0, b));
    EXPECT_EQ(CallCount("red GetImage g,0"), 2u);
    EXPECT_EQ(list.Images.size(), 100u);
}

// Surface n is (8 + n) x (4 + n) pixels of 4 bytes: two of 2900 pass the 64 MiB bound, and 4092
// alone does.
TEST_F(PluginHostTest, CacheIsBoundedByBytes)
{
    Install("red", "a.so");
    list.LoadFromFolder(Folder());
    TBitmap b;
    ASSERT_TRUE(list.GetSurface("g", 2900, b));
    ASSERT_TRUE(list.GetSurface("g", 2901, b));
    ASSERT_EQ(list.Images.size(), 1u);
    EXPECT_EQ(list.Images[0]->SurfaceKey, "2901,*");
    ASSERT_TRUE(list.GetSurface("g", 4092, b));
    EXPECT_EQ(b.Width(), 4100); // drawn and handed out, but not kept
    ASSERT_EQ(list.Images.size(), 1u);
    EXPECT_EQ(list.Images[0]->SurfaceKey, "2901,*");
}

TEST_F(PluginHostTest, NoImageEntriesAnswerWithoutAskingAgain)
{
    Install("red", "a.so");
    list.LoadFromFolder(Folder());
    TBitmap b(3, 3);
    EXPECT_FALSE(list.GetSurface("none", 5, b));
    EXPECT_EQ(list.Images[0]->SurfaceKey, "5,*");
    EXPECT_TRUE(list.Images[0]->Bitmap.Empty());
    TBitmap again;
    EXPECT_TRUE(list.GetSurface("none", 5, again));
    EXPECT_TRUE(again.Empty());
    EXPECT_EQ(CallCount("red GetImageSize none,5"), 1u);
    // Names are compared byte for byte.
    EXPECT_TRUE(list.GetSurface("None", 5, again));
    EXPECT_EQ(CallCount("red GetImageSize None,5"), 1u);
}

TEST_F(PluginHostTest, NegativeSurfacesNeverReachAPlugin)
{
    Install("red", "a.so");
    list.LoadFromFolder(Folder());
    TBitmap b;
    EXPECT_FALSE(list.GetSurface("g", -1, b));
    EXPECT_EQ(CallCount("red GetImage"), 0u);
}

TEST_F(PluginHostTest, ZeroSizedAnswerIsAnEmptyTrueAnswer)
{
    Install("zero", "a.so");
    list.LoadFromFolder(Folder());
    TBitmap b;
    EXPECT_TRUE(list.GetSurface("g", 3, b));
    EXPECT_TRUE(b.Empty());
    EXPECT_EQ(CallCount("zero GetImage g,3"), 1u);
}

TEST_F(PluginHostTest, EmptyOrMissingFolderLoadsNothing)
{
    list.LoadFromFolder(dir.Sjis() + "no-such-folder");
    EXPECT_TRUE(list.Plugins.empty());
    TBitmap b;
    EXPECT_FALSE(list.GetSurface("g", 1, b));
    EXPECT_EQ(list.Images.size(), 1u);
    EXPECT_TRUE(box.texts.empty());
}

TEST_F(PluginHostTest, ListMustOwnItsPlugins)
{
    try {
        TSppList notOwning(false, box, progress);
        FAIL();
    } catch (const EVelmoError& e) {
        EXPECT_STREQ(e.what(), "TSppList.OwnsObject must be set to true");
    }
}

// Destroying the list unloads every plug-in (the program's end).
TEST_F(PluginHostTest, DestroyingTheListUnloadsEveryPlugin)
{
    Install("red", "a.so");
    Install("green", "b.so");
    {
        TSppList other(true, box, progress);
        other.LoadFromFolder(Folder());
    }
    EXPECT_EQ(CallCount("red Unload"), 1u);
    EXPECT_EQ(CallCount("green Unload"), 1u);
}

TEST(SppImage, MatchKey)
{
    const struct
    {
        const char* key;
        std::vector<int> matching;
        std::vector<int> notMatching;
    } cases[] = {
        { "5,*", { 5 }, { 4, 6, 0 } },
        { "*,*", { 0, 1, 999, -3 }, {} },
        { "1-3&7,*", { 1, 2, 3, 7 }, { 0, 4, 6, 8 } },
        { "5,1", {}, { 5, 1 } },
        { "5,0", { 5 }, { 4 } },
        { "+5,*", { 5 }, {} },
    };
    for (const auto& c : cases) {
        TSppImage image;
        image.SurfaceKey = c.key;
        for (int n : c.matching)
            EXPECT_TRUE(image.MatchKey(n, 0)) << c.key << " " << n;
        for (int n : c.notMatching)
            EXPECT_FALSE(image.MatchKey(n, 0)) << c.key << " " << n;
    }
    for (const char* bad : { "5", "x,*", "1-x,*", "1&,*", "", "5 ,*", "-2--1,*" }) {
        TSppImage image;
        image.SurfaceKey = bad;
        try {
            image.MatchKey(5, 0);
            ADD_FAILURE() << bad;
        } catch (const ESppException& e) {
            EXPECT_EQ(std::string(e.what()),
                std::string("Syntax error found in SurfaceKey \"") + bad + "\"");
        }
    }
    TSppImage sub;
    sub.SurfaceKey = "5,1";
    EXPECT_TRUE(sub.MatchKey(5, 1));
}

} // namespace
