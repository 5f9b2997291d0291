#include "app/DroppedFile.h"

#include "TestSupport.h"
#include "platform/FileIO.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

// Each drop is shown by the reader its content calls for, or refused with a reason and nothing
// shown; a FIFO is refused without waiting for a writer.
TEST(ExamineDrop, ShowsALogOrASentLogAndRefusesEverythingElse)
{
    TempDir dir;
    const std::string folder = dir.Sjis();
    WriteFileAtomic(folder + "fetched.txt", "Result: OK\r\nh\r\nh\r\n");
    WriteFileAtomic(folder + "renamed.log", "ch,ghost,2026/12/08 09:00:00,\\h\\s0x\\e\r\n");
    WriteFileAtomic(folder + "notes.txt", "dear diary\r\n");
    ASSERT_EQ(::mkfifo(NativePath(folder + "fifo").c_str(), 0600), 0);
    const struct
    {
        std::vector<std::string> paths;
        TViewSource source;
        std::string refusal; // the start of it; empty: shown
    } cases[] = {
        { { folder + "fetched.txt" }, TViewSource::LocalLog, "" },
        { { folder + "renamed.log" }, TViewSource::SentLog, "" },
        { { folder + "notes.txt" }, {}, J("取得したログでも Sent.log でもない") },
        { { folder }, {}, J("フォルダは表示できません") },
        { { folder + "fetched.txt", folder + "renamed.log" }, {}, J("ドロップできるのは1つ") },
        { { "" }, {}, J("ドロップされたものはファイルではありません") },
        { {}, {}, J("ドロップされたものはファイルではありません") },
        { { folder + "missing.txt" }, {}, J("ドロップされたファイルを読めません") },
        { { folder + "fifo" }, {}, J("ドロップされたファイルを読めません") },
    };
    for (const auto& c : cases) {
        const TDroppedLog dropped = ExamineDrop(c.paths);
        const std::string what = c.paths.empty() ? "(none)" : c.paths.front();
        EXPECT_TRUE(dropped.refusal.starts_with(c.refusal)) << what << ": " << dropped.refusal;
        EXPECT_EQ(dropped.refusal.empty(), c.refusal.empty()) << what;
        if (c.refusal.empty()) {
            EXPECT_EQ(dropped.source, c.source) << what;
            EXPECT_EQ(dropped.path, c.paths.front());
        }
    }
}

} // namespace
