#include "log/LogReader.h"
#include "render/PageWriter.h"
#include "render/PluginHostSupport.h"
#include "render/SsParser.h"
#include "render/Surfaces.h"

#include <cstring>
#include <fstream>
#include <png.h>

namespace {

// Writes a PNG of BGRA pixels (alpha dropped when hasAlpha is false).
void WritePng(const std::filesystem::path& path, int width, int height,
    const std::vector<uint32_t>& argb, bool hasAlpha)
{
    std::filesystem::create_directories(path.parent_path());
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = hasAlpha ? PNG_FORMAT_BGRA : PNG_FORMAT_BGR;
    std::vector<uint8_t> bytes;
    for (const uint32_t p : argb) {
        bytes.push_back(p & 0xFF);
        bytes.push_back((p >> 8) & 0xFF);
        bytes.push_back((p >> 16) & 0xFF);
        if (hasAlpha)
            bytes.push_back(p >> 24);
    }
    ASSERT_TRUE(png_image_write_to_file(&image, path.c_str(), 0, bytes.data(), 0, nullptr));
}

void WriteText(const std::filesystem::path& path, const std::string& bytes)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

uint32_t OverWhite(uint32_t argb)
{
    const unsigned a = argb >> 24;
    uint32_t out = 0;
    for (int shift : { 0, 8, 16 }) {
        const unsigned c = (argb >> shift) & 0xFF;
        out |= ((c * a + 255 * (255 - a) + 127) / 255) << shift;
    }
    return out;
}

// The shipped plug-in, loaded by the real host from a plug-in folder of its own, with a ghost root
// made by the test.
class ShellPreviewTest : public PluginHostTest
{
protected:
    std::filesystem::path root;
    const std::vector<uint32_t> rgba { 0xFFFF0000, 0x80FF0000, 0x00123456, 0xFF00FF00, 0x40000000,
        0xFFFFFFFF, 0xFF0000FF, 0x80808080, 0xFF010203, 0x00000000, 0xFFABCDEF, 0x7F7F7F7F };
    const std::vector<uint32_t> keyed { 0xFF00FF00, 0xFF112233, 0xFF00FF00, 0xFF445566, 0xFF778899,
        0xFF00FF00, 0xFF000000, 0xFF00FF00, 0xFF00FF00, 0xFFFFFFFF };

    void SetUp() override
    {
        PluginHostTest::SetUp();
        ::setenv("HOME", dir.Native().c_str(), 1); // no real ~/.ninix
        ::unsetenv("NINIX_HOME");
        root = dir.Native() / "ghosts";
        const auto sakura = root / "sakura-ghost";
        WriteText(sakura / "ghost/master/descript.txt",
            "\xEF\xBB\xBF"
            "charset,UTF-8\r\nname,Sakura Ghost\r\nsakura.name,さくら\r\nkero.name,ケロ\r\n");
        WritePng(sakura / "shell/master/surface0.png", 4, 3, rgba, true);
        WritePng(sakura / "shell/master/surface0010.png", 5, 2, keyed, false);
        WriteText(
            sakura / "shell/master/surface5.png", "\x89PNG\r\n\x1a\n but not really a picture");
        const auto doku = root / "doku";
        WriteText(doku / "ghost/master/descript.txt", Sjis("charset,Shift_JIS\r\nname,毒子\r\n"));
        WritePng(doku / "shell/master/surface0000.png", 2, 2,
            { 0xFF000000, 0xFF000000, 0xFF000000, 0xFF000000 }, true);
        WriteText(root / "not-a-ghost/readme.txt", "x");

        std::filesystem::create_directories(NativePath(Folder()));
        std::filesystem::copy_file(VELMO_BIN_DIR "/plugins/velmo-shell-preview.so",
            NativePath(Folder() + "/velmo-shell-preview.so"));
        WriteText(NativePath(Folder() + "/velmo-shell-preview.txt"),
            "# ghost roots\n" + root.string() + "\n\n/no/such/root\n");
        list.LoadFromFolder(Folder());
    }
};

TEST_F(ShellPreviewTest, DrawsPngSurfacesOverWhite)
{
    ASSERT_EQ(list.Plugins.size(), 1u);
    EXPECT_TRUE(box.texts.empty());
    TBitmap b;
    ASSERT_TRUE(list.GetSurface(J("さくら"), 0, b));
    ASSERT_EQ(b.Width(), 4);
    ASSERT_EQ(b.Height(), 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(b.Pixel(x, y), OverWhite(rgba[static_cast<size_t>(y * 4 + x)]))
                << x << "," << y;
}

// A shell without alpha: the top-left pixel's colour is transparent.
TEST_F(ShellPreviewTest, ZeroPaddedSurfaceWithoutAlphaKeysTheTopLeftColour)
{
    TBitmap b;
    ASSERT_TRUE(list.GetSurface(J("さくら"), 10, b));
    ASSERT_EQ(b.Width(), 5);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 5; ++x) {
            const uint32_t src = keyed[static_cast<size_t>(y * 5 + x)] & 0xFFFFFF;
            EXPECT_EQ(b.Pixel(x, y), src == 0x00FF00 ? 0xFFFFFFu : src) << x << "," << y;
        }
}

TEST_F(ShellPreviewTest, ShiftJisDescriptAndWhatCannotBeDrawn)
{
    TBitmap b;
    ASSERT_TRUE(list.GetSurface(J("毒子"), 0, b));
    EXPECT_EQ(b.Width(), 2);
    EXPECT_EQ(b.Pixel(1, 1), 0u);
    EXPECT_FALSE(list.GetSurface("Sakura Ghost", 0, b)); // sakura.name comes first
    EXPECT_FALSE(list.GetSurface(J("知らない"), 0, b));
    EXPECT_FALSE(list.GetSurface(J("さくら"), 3, b)); // no such surface
    EXPECT_FALSE(list.GetSurface(J("さくら"), 5, b)); // a damaged PNG
    // A picture beyond 4096 pixels a side is not drawn.
    WritePng(root / "sakura-ghost/shell/master/surface7.png", 5000, 1,
        std::vector<uint32_t>(5000, 0xFF000000), true);
    EXPECT_FALSE(list.GetSurface(J("さくら"), 7, b));
}

// The real shell of the corpus, when it is beside the project.
TEST_F(ShellPreviewTest, RealShellSurfaceZero)
{
    const std::filesystem::path shell = VELMO_SOURCE_DIR "/../shared/corpus/shell/surface0000.png";
    if (!std::filesystem::exists(shell))
        GTEST_SKIP() << "corpus not found";
    const auto ghost = root / "master";
    WriteText(ghost / "ghost/master/descript.txt", "charset,UTF-8\r\nsakura.name,Master\r\n");
    std::filesystem::create_directories(ghost / "shell/master");
    std::filesystem::copy_file(shell, ghost / "shell/master/surface0000.png");
    list.LoadFromFolder(Folder());
    TBitmap b;
    ASSERT_TRUE(list.GetSurface("Master", 0, b));
    EXPECT_EQ(b.Width(), 260);
    EXPECT_EQ(b.Height(), 390);
}

// The sample log's pages, with a ghost of its name installed: the pictures the pages show exist.
TEST_F(ShellPreviewTest, SampleLogPagesGetTheirPictures)
{
    TSsParser parser;
    parser.SetTagPattern(TSsParser::LoadPatternFile(VELMO_SOURCE_DIR "/data/tagpat.txt"));
    TSurfaces surfaces(dir.Sjis(), list);
    surfaces.SppDir = Folder();
    surfaces.CacheDir = dir.Sjis() + "cache/";
    TMessageList messages;
    ParseLog(ReadFileBytes(VELMO_SOURCE_DIR "/data/log.txt"), messages, { &parser, &surfaces });
    WritePages(messages, { 100, "", dir.Sjis(), "styleIE.css" }, surfaces);
    const std::string page = ReadFileBytes(dir.Sjis() + "long1.html");
    for (const char* name : { "さくら0.bmp", "さくら10.bmp", "毒子0.bmp" }) {
        EXPECT_TRUE(std::filesystem::exists(dir.Native() / "cache" / name)) << name;
        EXPECT_NE(page.find(Sjis(name)), std::string::npos) << name;
    }
}

} // namespace
