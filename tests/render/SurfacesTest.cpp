#include "render/Surfaces.h"

#include "PluginHostSupport.h"
#include "platform/Errors.h"

namespace {

// Reads back what a .bmp file says: size, bits, and the colour of a pixel (x, y from the top).
struct BmpInfo
{
    int32_t width = 0;
    int32_t height = 0;
    int bits = 0;
    std::string bytes;
    uint32_t Pixel(int x, int y) const
    {
        const uint32_t row = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
        const size_t at
            = 54 + row * static_cast<uint32_t>(height - 1 - y) + static_cast<size_t>(x) * 3;
        return uint8_t(bytes[at]) | (uint32_t(uint8_t(bytes[at + 1])) << 8)
            | (uint32_t(uint8_t(bytes[at + 2])) << 16);
    }
};

BmpInfo ReadBmp(const std::string& path)
{
    BmpInfo info;
    info.bytes = ReadFileBytes(path);
    const auto le = [&](size_t at, int n) {
        uint32_t v = 0;
        for (int i = n - 1; i >= 0; --i)
            v = (v << 8) | uint8_t(info.bytes[at + static_cast<size_t>(i)]);
        return v;
    };
    EXPECT_EQ(info.bytes.substr(0, 2), "BM");
    EXPECT_EQ(le(2, 4), info.bytes.size());
    info.width = static_cast<int32_t>(le(18, 4));
    info.height = static_cast<int32_t>(le(22, 4));
    info.bits = static_cast<int>(le(28, 2));
    return info;
}

class SurfacesTest : public PluginHostTest
{
protected:
    TSurfaces surfaces { "/opt/velmo/general-1.bmp", list };
    void SetUp() override
    {
        PluginHostTest::SetUp();
        surfaces.CacheDir = dir.Sjis() + "cache/";
        surfaces.SppDir = Folder();
    }
};

TEST(SurfacesEscape, ReplacesTheNineCharactersButNeverASecondByte)
{
    const struct
    {
        std::string name;
        std::string escaped;
    } cases[] = {
        { "a\\b/c:d*e?f\"g<h>i|j",
            "a_yen_b_slash_c_colon_d_asterisk_e_question_f_double-c_g_litler_h_larger_i_bar_j" },
        { J("ソ表能"), J("ソ表能") },
        { J("さくら") + "\\", J("さくら") + "_yen_" },
        { "a b.c\t", "a b.c\t" },
        { "", "" },
        { "end\x81", "end\x81" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(TSurfaces::EscapeFileName(c.name), c.escaped) << c.name;
}

TEST_F(SurfacesTest, NegativeSurfaceIsThePlaceholderAndAsksNothing)
{
    EXPECT_EQ(surfaces.GetSurfacePath("", -1), "/opt/velmo/general-1.bmp");
    EXPECT_EQ(surfaces.GetSurfacePath("g", -5), "/opt/velmo/general-1.bmp");
    EXPECT_TRUE(list.Images.empty());
}

TEST_F(SurfacesTest, DrawsSavesAndThenReusesTheFile)
{
    Install("red", "a.so");
    surfaces.ReloadPlugins();
    const std::string path = surfaces.GetSurfacePath(J("さくら"), 10);
    EXPECT_EQ(path, dir.Sjis() + "cache/" + J("さくら") + "10.bmp");
    // The desktop sees the name in UTF-8.
    EXPECT_TRUE(std::filesystem::exists(dir.Native() / "cache" / "さくら10.bmp"));
    const BmpInfo bmp = ReadBmp(path);
    EXPECT_EQ(bmp.width, 18);
    EXPECT_EQ(bmp.height, 14);
    EXPECT_EQ(bmp.bits, 24);
    EXPECT_EQ(bmp.Pixel(0, 0), 0x112233u);
    EXPECT_EQ(bmp.Pixel(17, 13), 0xFF0000u);

    // Next time (and in a later run, with no plug-in at all) the file answers.
    surfaces.SppDir = "";
    surfaces.ReloadPlugins();
    const size_t calls = Calls().size();
    EXPECT_EQ(surfaces.GetSurfacePath(J("さくら"), 10), path);
    EXPECT_EQ(Calls().size(), calls);
    EXPECT_TRUE(list.Images.empty());

    // The cache folder is listed once a build: a picture removed between builds is drawn again.
    surfaces.SppDir = Folder();
    std::filesystem::remove(dir.Native() / "cache" / "さくら10.bmp");
    surfaces.ReloadPlugins();
    EXPECT_EQ(surfaces.GetSurfacePath(J("さくら"), 10), path);
    EXPECT_TRUE(std::filesystem::exists(dir.Native() / "cache" / "さくら10.bmp"));
}

TEST_F(SurfacesTest, NamesThatShareAFileShareIt)
{
    Install("red", "a.so");
    surfaces.ReloadPlugins();
    const std::string first = surfaces.GetSurfacePath("A1", 0);
    EXPECT_EQ(surfaces.GetSurfacePath("A", 10), first);
    EXPECT_EQ(ReadBmp(first).width, 8); // A1's surface 0, drawn first
    EXPECT_EQ(CallCount("red GetImage A,10"), 0u);
    EXPECT_EQ(surfaces.GetSurfacePath("", 3), dir.Sjis() + "cache/3.bmp");
}

TEST_F(SurfacesTest, NothingDrawnWritesNothing)
{
    Install("zero", "a.so");
    Install("red", "b.so");
    surfaces.ReloadPlugins();
    const std::string zero = surfaces.GetSurfacePath("g", 1);
    EXPECT_FALSE(FileExists(zero));
    const std::string none = surfaces.GetSurfacePath("none", 1);
    EXPECT_EQ(none, dir.Sjis() + "cache/none1.bmp");
    EXPECT_FALSE(FileExists(none));
    EXPECT_FALSE(FileExists(dir.Sjis() + "cache")); // no folder made for nothing
}

TEST_F(SurfacesTest, CacheFolderIsCompletedAndCreated)
{
    Install("red", "a.so");
    surfaces.ReloadPlugins();
    surfaces.CacheDir = dir.Sjis() + "deep/er/cache";
    EXPECT_EQ(surfaces.GetSurfacePath("g", 1), dir.Sjis() + "deep/er/cache/g1.bmp");
    EXPECT_TRUE(FileExists(dir.Sjis() + "deep/er/cache/g1.bmp"));

    WriteFileAtomic(dir.Sjis() + "afile", "x");
    surfaces.CacheDir = dir.Sjis() + "afile/cache/";
    try {
        surfaces.GetSurfacePath("g", 2);
        FAIL();
    } catch (const EFileError& e) {
        EXPECT_EQ(std::string(e.what()),
            "Cannot create folder \"" + dir.Sjis() + "afile/cache/\". Not a directory");
    }
}

TEST_F(SurfacesTest, NameThatIsNotShiftJisIsAMissingPicture)
{
    Install("red", "a.so");
    surfaces.ReloadPlugins();
    const std::string path = surfaces.GetSurfacePath("bad\xFF", 1);
    EXPECT_EQ(path,
        dir.Sjis()
            + "cache/bad\xFF"
              "1.bmp");
    EXPECT_EQ(CallCount("red GetImage"), 0u);
}

TEST(Bitmap, RowsArePaddedAndStoredBottomUp)
{
    TBitmap b(3, 2);
    b.SetPixel(0, 0, 0x010203);
    b.SetPixel(2, 1, 0xA0B0C0);
    const std::string bytes = b.ToBmpBytes();
    ASSERT_EQ(bytes.size(), 54u + 2 * 12);
    // Bottom row (y = 1) first: pixel 2 at bytes 6..8, as B, G, R.
    EXPECT_EQ(bytes.substr(54 + 6, 3), "\xC0\xB0\xA0");
    EXPECT_EQ(bytes.substr(54 + 9, 3), std::string(3, '\0'));
    EXPECT_EQ(bytes.substr(54 + 12, 3), "\x03\x02\x01");
    EXPECT_THROW(TBitmap(-1, 1), EVelmoError);
    EXPECT_THROW(TBitmap(100000, 100000), EVelmoError);
    EXPECT_TRUE(TBitmap(0, 5).Empty());
}

} // namespace
