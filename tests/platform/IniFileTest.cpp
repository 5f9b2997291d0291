#include "platform/IniFile.h"

#include "TestSupport.h"
#include "platform/FileIO.h"

namespace {

const std::string kSample = "; kept comment\r\n"
                            "orphan=before any section\r\n"
                            "[General]\r\n"
                            "LUID=abc\r\n"
                            "  Spaced Key  =  spaced value  \r\n"
                            "luid=second\r\n"
                            "Empty=\r\n"
                            "Hex=0x10\r\n"
                            "HexUpper=0XfF\r\n"
                            "Neg=-42\r\n"
                            "Bad=abc\r\n"
                            "Plus=+7\r\n"
                            "TooBig=99999999999\r\n"
                            "BadHex=0x\r\n"
                            "no equals sign\r\n"
                            "\r\n"
                            "[form]\r\n"
                            "Top=145\r\n"
                            "[General]\r\n"
                            "Later=ignored, second section\r\n";

TEST(IniFile, LookupsFollowTheProfileRules)
{
    const TIniFile ini(kSample);
    const struct
    {
        const char* section;
        const char* key;
        std::optional<std::string> value;
    } cases[] = {
        { "General", "LUID", "abc" },
        { "GENERAL", "luid", "abc" }, // case-insensitive, first match wins
        { "General", "spaced key", "spaced value" },
        { "General", "Empty", "" },
        { "General", "Missing", std::nullopt },
        { "Form", "top", "145" },
        { "General", "Later", std::nullopt }, // only the first section of a name counts
        { "General", "orphan", std::nullopt },
        { "Nowhere", "LUID", std::nullopt },
    };
    for (const auto& c : cases)
        EXPECT_EQ(ini.ReadValue(c.section, c.key), c.value) << c.section << "/" << c.key;
}

TEST(IniFile, ReadStringDefaultsOnlyWhenTheKeyIsMissing)
{
    const TIniFile ini(kSample);
    EXPECT_EQ(ini.ReadString("General", "Empty", "default"), "");
    EXPECT_EQ(ini.ReadString("General", "Missing", "default"), "default");
}

TEST(IniFile, ReadStringCutsAt2047Bytes)
{
    const TIniFile ini("[S]\r\nK=" + std::string(3000, 'v') + "\r\n");
    EXPECT_EQ(ini.ReadString("S", "K", ""), std::string(2047, 'v'));
}

// Writing back what was read leaves a value longer than the read limit whole; a change replaces it.
TEST(IniFile, LongValueSurvivesReadAndWriteBack)
{
    const std::string file = "[S]\r\nK = " + std::string(5000, 'v') + "\r\n";
    TIniFile ini(file);
    ini.WriteString("S", "K", ini.ReadString("S", "K", ""));
    EXPECT_EQ(ini.ToBytes(), file);
    ini.WriteString("S", "K", std::string(2047, 'v') + "w");
    EXPECT_EQ(ini.ToBytes(), "[S]\r\nK=" + std::string(2047, 'v') + "w\r\n");
}

TEST(IniFile, ReadIntegerRules)
{
    const TIniFile ini(kSample);
    const struct
    {
        const char* key;
        int32_t expected;
    } cases[] = { { "Hex", 16 }, { "HexUpper", 255 }, { "Neg", -42 }, { "Bad", 7 }, { "Plus", 7 },
        { "Empty", 7 }, { "TooBig", 7 }, { "BadHex", 7 }, { "Missing", 7 } };
    for (const auto& c : cases)
        EXPECT_EQ(ini.ReadInteger("General", c.key, 7), c.expected) << c.key;
    EXPECT_EQ(TIniFile("[S]\r\nK=0xFFFFFFFF").ReadInteger("S", "K", 0), -1);
}

TEST(IniFile, WritesReplaceAppendAndKeepOtherLines)
{
    TIniFile ini(kSample);
    ini.WriteString("general", "luid", "new");
    ini.WriteString("General", "Added", "1");
    ini.WriteString("FORM", "Left", "209");
    ini.WriteString("Play", "FMO", "Sakura");
    const std::string expected = "; kept comment\r\n"
                                 "orphan=before any section\r\n"
                                 "[General]\r\n"
                                 "luid=new\r\n"
                                 "  Spaced Key  =  spaced value  \r\n"
                                 "luid=second\r\n"
                                 "Empty=\r\n"
                                 "Hex=0x10\r\n"
                                 "HexUpper=0XfF\r\n"
                                 "Neg=-42\r\n"
                                 "Bad=abc\r\n"
                                 "Plus=+7\r\n"
                                 "TooBig=99999999999\r\n"
                                 "BadHex=0x\r\n"
                                 "no equals sign\r\n"
                                 "Added=1\r\n"
                                 "\r\n"
                                 "[form]\r\n"
                                 "Top=145\r\n"
                                 "Left=209\r\n"
                                 "[General]\r\n"
                                 "Later=ignored, second section\r\n"
                                 "[Play]\r\n"
                                 "FMO=Sakura\r\n";
    EXPECT_EQ(ini.ToBytes(), expected);
}

TEST(IniFile, FileWrittenFromScratchKeepsKeysInSectionOrder)
{
    TIniFile ini;
    ini.WriteString("General", "LUID", "");
    ini.WriteString("General", "SurfaceCacheDir", "/opt/velmo/cache/");
    ini.WriteInteger("Form", "Top", 145);
    ini.WriteInteger("General", "1PageCount", 100);
    ini.WriteString("Play", "FMO", "Sakura");
    ini.WriteString("General", "CSS", "styleIE.css");
    EXPECT_EQ(ini.ToBytes(),
        "[General]\r\nLUID=\r\nSurfaceCacheDir=/opt/velmo/cache/"
        "\r\n1PageCount=100\r\nCSS=styleIE.css\r\n"
        "[Form]\r\nTop=145\r\n[Play]\r\nFMO=Sakura\r\n");
}

TEST(IniFile, LfAndCrFilesAreWrittenBackWithCrLf)
{
    TIniFile ini("[A]\nx=1\r[B]\ny=2");
    EXPECT_EQ(ini.ReadValue("B", "y"), "2");
    EXPECT_EQ(ini.ToBytes(), "[A]\r\nx=1\r\n[B]\r\ny=2\r\n");
}

// Shift_JIS names and values pass through byte for byte, and a kanji whose second byte is an
// ASCII letter code does not fold with another.
TEST(IniFile, ShiftJisBytesAreUntouched)
{
    TIniFile ini;
    const std::string value = J("表示ソフト\\フォルダ");
    ini.WriteString(J("設定"), J("キー"), value);
    EXPECT_EQ(ini.ReadValue(J("設定"), J("キー")), value);
    EXPECT_EQ(ini.ToBytes(), "[" + J("設定") + "]\r\n" + J("キー") + "=" + value + "\r\n");
    // "ア" is 0x83 0x41 ("A"), "ヂ" is 0x83 0x61 ("a"): different characters, never equal.
    TIniFile kana("[S]\r\n" + J("ア") + "=1\r\n");
    EXPECT_FALSE(kana.ReadValue("S", J("ヂ")));
}

TEST(IniFile, RefusesWhatWouldBreakTheFile)
{
    TIniFile ini;
    EXPECT_THROW(ini.WriteString("S", "K", "a\r\nInjected=1"), EIniFileError);
    EXPECT_THROW(ini.WriteString("S", "K=", "v"), EIniFileError);
    EXPECT_THROW(ini.WriteString("S]", "K", "v"), EIniFileError);
    EXPECT_THROW(ini.WriteString("S", std::string("K\0", 2), "v"), EIniFileError);
    EXPECT_EQ(ini.ToBytes(), "");
}

TEST(IniFile, LoadAndSaveThroughTheFileSystem)
{
    TempDir dir;
    const std::string path = dir.Sjis() + J("設定") + ".ini";
    TIniFile missing = TIniFile::LoadFromFile(path);
    EXPECT_EQ(missing.ToBytes(), "");
    missing.WriteString("General", "LUID", "x");
    missing.SaveToFile(path);
    EXPECT_EQ(TIniFile::LoadFromFile(path).ReadValue("general", "luid"), "x");
    EXPECT_THROW(TIniFile::LoadFromFile(dir.Sjis()), EFileError);
    WriteFileAtomic(path, std::string(TIniFile::kMaxFileSize + 1, ';'));
    EXPECT_THROW(TIniFile::LoadFromFile(path), EFileError);
}

} // namespace
