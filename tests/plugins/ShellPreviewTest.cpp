#include "log/LogReader.h"
#include "plugins/shellpreview/Shell.h"
#include "render/PageWriter.h"
#include "render/PluginHostSupport.h"
#include "render/SsParser.h"
#include "render/Surfaces.h"

#include <cstring>
#include <fstream>
#include <png.h>
#include <sys/stat.h>

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
        WriteText(sakura / "shell/master/descript.txt", "seriko.use_self_alpha, 1\r\n");
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
    // Its own alpha counts only when the shell says so: here the top-left colour is the key.
    EXPECT_EQ(b.Pixel(1, 1), 0xFFFFFFu);
    EXPECT_FALSE(list.GetSurface("Sakura Ghost", 0, b)); // sakura.name comes first
    EXPECT_FALSE(list.GetSurface(J("知らない"), 0, b));
    EXPECT_FALSE(list.GetSurface(J("さくら"), 3, b)); // no such surface
    EXPECT_FALSE(list.GetSurface(J("さくら"), 5, b)); // a damaged PNG
}

// The real shell of the corpus, when it is beside the project: its surfaces draw.
TEST_F(ShellPreviewTest, RealShellSurfaces)
{
    const std::filesystem::path shell = VELMO_SOURCE_DIR "/../shared/corpus/shell";
    if (!std::filesystem::exists(shell / "surfaces.txt"))
        GTEST_SKIP() << "corpus not found";
    const auto ghost = root / "master";
    WriteText(ghost / "ghost/master/descript.txt", "charset,UTF-8\r\nsakura.name,Master\r\n");
    std::filesystem::create_directories(ghost / "shell");
    std::filesystem::copy(shell, ghost / "shell/master");
    list.LoadFromFolder(Folder());
    for (const int surface : { 0, 1, 2, 3, 4, 5, 6, 7, 10, 11 }) {
        TBitmap b;
        ASSERT_TRUE(list.GetSurface("Master", surface, b)) << surface;
        EXPECT_GT(b.Width(), 0) << surface;
    }
    TBitmap b;
    ASSERT_TRUE(list.GetSurface("Master", 0, b));
    EXPECT_EQ(b.Width(), 260);
    EXPECT_EQ(b.Height(), 390);
}

// A shell that composes its faces from a base and parts, as real shells do.
class ComposedShellTest : public ShellPreviewTest
{
protected:
    static constexpr uint32_t K = 0xFFFF00FF; // the base's key colour
    static constexpr uint32_t B = 0xFF0000FF;
    static constexpr uint32_t E = 0xFFFF0000;
    static constexpr uint32_t G = 0xFF00FF00; // the eye's key colour
    static constexpr uint32_t M = 0xFF000000;

    void SetUp() override
    {
        ShellPreviewTest::SetUp();
        const auto ghost = root / "composer";
        WriteText(ghost / "ghost/master/descript.txt", "charset,utf8\r\nsakura.name,合成\r\n");
        // No shell/master: the first shell in name order is used.
        WriteText(ghost / "shell/zeta/surface0.png", "not this one");
        const auto shell = ghost / "shell/alpha";
        WritePng(shell / "Surface0.PNG", 4, 4, { K, B, B, B, B, B, B, B, B, B, B, B, B, B, B, K },
            false);
        WritePng(shell / "surface005.png", 2, 1, { K, B }, false);
        // Names in any case: the definitions say "parts\\eye.png" and "parts/mouth.png".
        WritePng(shell / "Parts/Eye.png", 2, 2, { G, E, E, E }, false);
        WritePng(shell / "Parts/mouth.png", 2, 2, { M, M, M, M }, false);
        // Grey levels are the mouth's alpha: black transparent, white opaque.
        WritePng(shell / "Parts/MOUTH.pna", 2, 2,
            { 0xFF000000, 0xFFFFFFFF, 0xFF808080, 0xFFFFFFFF }, false);
        WriteText(shell / "damaged.png", "\x89PNG\r\n\x1a\n broken");
        WritePng(shell / "顔.png", 2, 1, { K, E }, false);
        WriteText(shell / "surfaces.txt",
            J("charset,Shift_JIS\r\n// 顔の定義\r\n"
              "surface0,1\r\n{\r\nelement0,base,surface0.png,0,0\r\n"
              "element1,overlay,parts\\eye.png,1,1\r\nelement2,overlay,parts\\mouth.png,2,2\r\n}"
              "\r\n"
              "surface.append1\r\n{\r\nelement3,interpolate,parts/eye.png,-1,-1\r\n}\r\n"
              "surface2 {\r\nelement0,base,surface0.png,0,0\r\n"
              "element1,overlayfast,parts/eye.png,2,2\r\n}\r\n"
              "surface3\r\n{\r\nelement0,base,surface0.png,0,0\r\n"
              "element1,replace,parts/mouth.png,1,1\r\n}\r\n"
              "surface10-12,!11\r\n{\r\nelement0,base,surface0.png,0,0\r\n}\r\n"
              "surface20\r\n{\r\nelement0,base\r\nelement0,base,surface0.png,0,0\r\n}\r\n"
              "surface30\r\n{\r\nelement0,base,damaged.png,0,0\r\n}\r\n"
              "surface41\r\n{\r\nelement0,base,顔.png,0,0\r\n}\r\n"
              "surface61\r\n{\r\nelement0,base,../alpha/surface0.png,0,0\r\n}\r\n"
              "sakura.surface.alias\r\n{\r\n100,[2,3]\r\n}\r\n"));
        // A FIFO where a picture should be must not hold the host.
        ASSERT_EQ(::mkfifo((shell / "surface60.png").c_str(), 0600), 0);
        WriteText(shell / "surfaces2.txt",
            "\xEF\xBB\xBFsurface40\r\n{\r\nelement0,base,顔.png,0,0\r\n}\r\n");
        list.LoadFromFolder(Folder());
    }

    TBitmap Draw(int surface)
    {
        TBitmap b;
        EXPECT_TRUE(list.GetSurface(J("合成"), surface, b)) << surface;
        return b;
    }
};

TEST_F(ComposedShellTest, ElementsStackByTheirMethods)
{
    const struct
    {
        int surface;
        int x;
        int y;
        uint32_t rgb;
    } pixels[] = {
        { 0, 0, 0, 0xFFFFFF }, // the base's key colour
        { 0, 1, 1, 0x0000FF }, // the eye's key colour lets the base through
        { 0, 2, 1, 0xFF0000 }, // the eye
        { 0, 3, 2, 0x000000 }, // the mouth where its mask is white
        { 0, 2, 2, 0xFF0000 }, // ... black
        { 0, 2, 3, 0x00007F }, // ... grey: half over the base
        { 0, 3, 3, 0x000000 }, // an overlay covers the base's transparent corner
        { 1, 0, 0, 0xFF0000 }, // appended: the eye beneath, where the base is transparent
        { 1, 2, 1, 0xFF0000 },
        { 2, 3, 3, 0xFFFFFF }, // overlayfast: not where the base is transparent
        { 2, 3, 2, 0xFF0000 },
        { 3, 1, 1, 0xFFFFFF }, // replace: the mouth's transparency replaces the base
        { 3, 1, 2, 0x7F7F7F }, { 3, 2, 1, 0x000000 }, { 10, 1, 1, 0x0000FF }, // a range
        { 12, 0, 0, 0xFFFFFF }, { 100, 3, 2, 0xFF0000 }, // an alias of surface 2
        { 20, 1, 1, 0x0000FF }, // a damaged line is skipped
        { 5, 1, 0, 0x0000FF }, // surface005.png, no definition
        { 40, 1, 0, 0xFF0000 }, // a UTF-8 definition
        { 41, 1, 0, 0xFF0000 }, // a Shift_JIS one naming the same file
    };
    for (const auto& p : pixels) {
        const TBitmap b = Draw(p.surface);
        const bool small = p.surface == 5 || p.surface == 40 || p.surface == 41;
        ASSERT_EQ(b.Width(), small ? 2 : 4) << p.surface;
        EXPECT_EQ(b.Pixel(p.x, p.y), p.rgb) << p.surface << " at " << p.x << "," << p.y;
    }
    TBitmap b;
    // Excluded, a damaged image, unknown, a FIFO, a file outside the shell.
    for (const int missing : { 11, 30, 50, 60, 61 })
        EXPECT_FALSE(list.GetSurface(J("合成"), missing, b)) << missing;
}

// A stranger's shell: what it names outside the ghost's folder is not read, and it is bounded as a
// whole. Every picture is 2 x 1 or 2 x 2 with a keyed top-left pixel, drawn over a blue base.
class StrangerShellTest : public ShellPreviewTest
{
protected:
    static constexpr uint32_t K = 0xFF00FF00; // key colour
    static constexpr uint32_t B = 0xFF0000FF;
    static constexpr uint32_t R = 0xFFFF0000;
    std::filesystem::path shell;
    std::filesystem::path outside;

    void SetUp() override
    {
        ShellPreviewTest::SetUp();
        const auto ghost = root / "stranger";
        WriteText(ghost / "ghost/master/descript.txt", "charset,UTF-8\r\nsakura.name,他人\r\n");
        shell = ghost / "shell/master";
        WritePng(shell / "base.png", 2, 2, { K, B, B, B }, false);
        WritePng(shell / "wide.png", 2, 1, { K, B }, false);
        WritePng(shell / "parts/red.png", 2, 2, { K, R, R, R }, false);
        WritePng(shell / "masked.png", 2, 2, { K, R, R, R }, false);
        outside = dir.Native() / "outside";
        WritePng(outside / "red.png", 2, 2, { K, R, R, R }, false);
        WritePng(outside / "white.pna", 2, 2, std::vector<uint32_t>(4, 0xFFFFFFFF), false);
        WriteText(outside / "surfaces.txt", "surface8\r\n{\r\nelement0,base,base.png,0,0\r\n}\r\n");
        WritePng(root / "red.png", 2, 2, { K, R, R, R }, false); // beside the ghost, not in it
        const auto link = [&](const std::filesystem::path& to, const std::string& name) {
            std::filesystem::create_symlink(to, shell / name);
        };
        link(outside / "red.png", "outside.png");
        link("/", "slash");
        link("parts/red.png", "inside.png");
        link("parts", "linkedparts");
        link(shell / "parts/red.png", "absolute.png");
        link(outside / "red.png", "surface12.png");
        link(outside / "surfaces.txt", "surfaces9.txt");
        link(outside / "red.png", "outbase.png");
        link(outside / "white.pna", "masked.pna");
        const std::string overlays[] = { "outside.png", "slash" + outside.string() + "/red.png",
            "../../../red.png", "parts/../../../../red.png", "inside.png", "linkedparts/red.png",
            "absolute.png" };
        std::string definitions;
        for (size_t i = 0; i < std::size(overlays); ++i)
            definitions += "surface" + std::to_string(i + 1)
                + "\r\n{\r\nelement0,base,base.png,0,0\r\n" + "element1,overlay," + overlays[i]
                + ",0,0\r\n}\r\n";
        WriteText(shell / "surfaces.txt",
            definitions + "surface9\r\n{\r\nelement0,base,outbase.png,0,0\r\n}\r\n"
                + "surface10\r\n{\r\nelement0,base,base.png,0,0\r\n"
                + "element1,overlay,masked.png,0,0\r\n}\r\n");
        // A ghost folder that is itself a link works as the folder it leads to.
        const auto elsewhere = dir.Native() / "elsewhere/linked";
        WriteText(
            elsewhere / "ghost/master/descript.txt", "charset,UTF-8\r\nsakura.name,リンク\r\n");
        WritePng(elsewhere / "shell/master/surface0.png", 2, 2, { K, B, B, B }, false);
        std::filesystem::create_directory_symlink(elsewhere, root / "linked");
        list.LoadFromFolder(Folder());
    }

    std::optional<uint32_t> PixelOf(const char* ghost, int surface, int x, int y)
    {
        TBitmap b;
        if (!list.GetSurface(J(ghost), surface, b))
            return std::nullopt;
        return b.Pixel(x, y);
    }
};

TEST_F(StrangerShellTest, FilesOutsideTheGhostFolderAreNotRead)
{
    constexpr uint32_t blue = 0x0000FF;
    constexpr uint32_t red = 0xFF0000;
    const struct
    {
        int surface;
        int xy; // the pixel at xy, xy
        std::optional<uint32_t> rgb; // nothing when the surface is not drawn
    } cases[] = {
        { 1, 1, blue }, // a link to a picture outside: left out
        { 2, 1, blue }, // through a folder linked to "/"
        { 3, 1, blue }, // "../" to a picture beside the ghost
        { 4, 1, blue }, // ... down a folder first
        { 5, 1, red }, // a relative link inside
        { 6, 1, red }, // a folder link inside
        { 7, 1, red }, // an absolute link inside
        { 8, 1, std::nullopt }, // defined only by a surfaces*.txt linked outside
        { 9, 1, std::nullopt }, // a base linked outside
        { 10, 0, 0xFFFFFF }, // a .pna linked outside: the picture keeps its key colour
        { 12, 1, std::nullopt }, // a surfaceN.png linked outside
    };
    for (const auto& c : cases)
        EXPECT_EQ(PixelOf("他人", c.surface, c.xy, c.xy), c.rgb) << c.surface;
    EXPECT_EQ(PixelOf("リンク", 0, 1, 1), blue);
}

// What is past a bound of the shell is not drawn; what is within them still is.
TEST_F(StrangerShellTest, ShellIsBoundedAsAWhole)
{
    const int side = Image::kMaxSide;
    const auto picture = [&](const std::string& name, int width, int height) {
        std::vector<uint32_t> pixels(size_t(width) * size_t(height), B);
        pixels[0] = K;
        WritePng(shell / name, width, height, pixels, false);
    };
    picture("surface20.png", side, 1);
    picture("surface21.png", side + 1, 1);
    picture("surface22.png", 1, side + 1);
    picture("full.png", side, side);
    WritePng(shell / "red2.png", 2, 1, { K, R }, false);
    const auto stack
        = [](int surface, int count, const std::string& file, const std::string& last) {
              std::string text = "surface" + std::to_string(surface) + "\r\n{\r\n";
              for (int n = 0; n < count; ++n)
                  text += "element" + std::to_string(n) + (n ? ",overlay," : ",base,")
                      + (n + 1 == count ? last : file) + ",0,0\r\n";
              return text + "}\r\n";
          };
    const int elements = SurfaceDefinitions::kMaxElement + 1;
    WriteText(shell / "surfaces1.txt",
        stack(23, elements, "wide.png", "red2.png")
            + stack(24, elements + 1, "wide.png", "red2.png") + stack(25, 2, "full.png", "wide.png")
            + stack(26, elements, "full.png", "full.png"));
    // Definitions over the shell's total: a file that does not fit is left out, a later one that
    // does is read.
    const std::string padding
        = "//" + std::string(Shell::kMaxDefinitionBytes * 3 / 8, 'x') + "\r\n";
    WriteText(shell / "surfaces2.txt", padding + stack(30, 1, "", "wide.png"));
    WriteText(shell / "surfaces3.txt", padding + stack(31, 1, "", "wide.png"));
    WriteText(shell / "surfaces4.txt", padding + padding + stack(32, 1, "", "wide.png"));
    WriteText(shell / "surfaces5.txt", stack(33, 1, "", "wide.png"));
    list.LoadFromFolder(Folder());

    const struct
    {
        int surface;
        int width; // 0: not drawn
        uint32_t rgb = 0x0000FF; // at 1, 0
    } cases[] = {
        { 20, side },
        { 21, 0 }, // wider than the largest picture
        { 22, 0 }, // taller
        { 23, 2, 0xFF0000 }, // the last element there can be
        { 24, 2 }, // one more is not read
        { 25, side }, // the largest surface, with a part
        { 26, 0 }, // as many as there can be: too much work for one draw
        { 30, 2 },
        { 31, 2 },
        { 32, 0 }, // past the total of the definitions
        { 33, 2 },
    };
    for (const auto& c : cases) {
        TBitmap b;
        ASSERT_EQ(list.GetSurface(J("他人"), c.surface, b), c.width > 0) << c.surface;
        if (c.width == 0)
            continue;
        EXPECT_EQ(b.Width(), c.width) << c.surface;
        EXPECT_EQ(b.Pixel(1, 0), c.rgb) << c.surface;
    }
}

// The sample log's pages, with a ghost of its name installed: the pictures the pages show exist.
TEST_F(ShellPreviewTest, SampleLogPagesGetTheirPictures)
{
    TSsParser parser;
    parser.SetTagPattern(TSsParser::LoadPatternFile(VELMO_SOURCE_DIR "/data/tagpat.txt"));
    TSurfaces surfaces(dir.Sjis() + "general-1.bmp", list);
    surfaces.SppDir = Folder();
    surfaces.CacheDir = dir.Sjis() + "cache/";
    TMessageList messages;
    ParseLog(ReadFileBytes(VELMO_SOURCE_DIR "/data/log.txt"), messages);
    WritePages(messages, { 100, "", dir.Sjis(), "styleIE.css" }, parser, surfaces);
    const std::string page = ReadFileBytes(dir.Sjis() + "long1.html");
    for (const char* name : { "さくら0.bmp", "さくら10.bmp", "毒子0.bmp" }) {
        EXPECT_TRUE(std::filesystem::exists(dir.Native() / "cache" / name)) << name;
        EXPECT_NE(page.find(Sjis(name)), std::string::npos) << name;
    }
}

} // namespace
