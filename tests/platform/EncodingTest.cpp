#include "platform/Encoding.h"

#include "TestSupport.h"
#include "platform/Errors.h"
#include "platform/FileIO.h"

#include <fstream>

namespace {

TEST(Encoding, ShiftJisRoundTrips)
{
    // "ソ" is 0x83 0x5C: its second byte is a backslash in ASCII.
    const std::string utf8 = "ソ表能\\~ABCｱｲｳ①";
    const std::string sjis = Utf8ToSjis(utf8);
    EXPECT_EQ(sjis.substr(0, 2), "\x83\x5C");
    EXPECT_EQ(SjisToUtf8(sjis), utf8);
}

TEST(Encoding, UnconvertibleTextIsAClearError)
{
    try {
        Utf8ToSjis("snow \xE2\x98\x83");
        FAIL();
    } catch (const EEncodingError& e) {
        EXPECT_EQ(
            std::string(e.what()), "The text \"snow ???\" has characters with no Shift_JIS form");
    }
    EXPECT_THROW(SjisToUtf8("\x81"), EEncodingError);
    EXPECT_THROW(SjisToUtf8("ab\xFF"), EEncodingError);
}

TEST(Encoding, LossyConversionKeepsTheRest)
{
    EXPECT_EQ(SjisToUtf8Lossy("a\xFF" + Sjis("表")), "a?表");
    EXPECT_EQ(SjisToUtf8Lossy("end\x81"), "end?");
}

TEST(Encoding, JapanesePathsOpenTheRightFile)
{
    TempDir dir;
    const std::string name = Sjis("表示ソフト・ログ.txt");
    WriteFileAtomic(dir.Sjis() + name, "bytes");
    // The file exists under its UTF-8 name on disk.
    std::ifstream in(dir.Native() / "表示ソフト・ログ.txt");
    std::string content;
    in >> content;
    EXPECT_EQ(content, "bytes");
    EXPECT_EQ(ReadFileBytes(dir.Sjis() + name), "bytes");
    EXPECT_EQ(FromNativePath(NativePath(dir.Sjis() + name)), dir.Sjis() + name);
}

TEST(Encoding, PathsThatCannotBeConvertedAreRefused)
{
    try {
        NativePath("/tmp/bad\xFF");
        FAIL();
    } catch (const EEncodingError& e) {
        EXPECT_EQ(std::string(e.what()),
            "The path \"/tmp/bad?\" is not valid Shift_JIS and cannot be used");
    }
    EXPECT_THROW(FromNativePath("/tmp/\xE2\x98\x83"), EEncodingError);
    EXPECT_THROW(ReadFileBytes("/tmp/bad\xFF"), EEncodingError);
}

} // namespace
