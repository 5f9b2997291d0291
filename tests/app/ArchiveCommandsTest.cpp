#include "app/ArchiveCommands.h"

#include "ShippedParser.h"
#include "TestSupport.h"
#include "archive/Archive.h"
#include "archive/Query.h"
#include "log/BottleMessage.h"
#include "log/MessageList.h"
#include "platform/FileIO.h"

#include <algorithm>
#include <filesystem>
#include <sstream>

namespace {

struct Fixture
{
    TempDir dir;
    TAppFolders folders;
    std::string file = dir.Sjis() + "out.txt";

    Fixture()
    {
        folders.dataFolder = VELMO_SOURCE_DIR "/data/";
        folders.archiveFile = dir.Sjis() + "archive.sqlite3";
        WriteFileAtomic(file, "old");
    }
    void Keep(int count)
    {
        TArchive archive(folders.archiveFile, &ShippedParser());
        TMessageList list;
        for (int i = 0; i < count; ++i) {
            TBottleMessage m;
            m.MID = "m" + std::to_string(i);
            m.Ghost = J("さくら");
            m.Script = J("\\h\\s0流れ星\\e");
            m.LogTime = 38113.5 + i;
            list.Add(m);
        }
        archive.Store(list, "bottle.example");
    }
    // Runs the export; its messages on err, in UTF-8.
    int Run(const std::string& query, const std::string& format, const std::string& to,
        std::string& err, std::string* out = nullptr)
    {
        std::ostringstream outStream;
        std::ostringstream errStream;
        const int status = RunExport(query, format, to, folders, outStream, errStream);
        err = errStream.str();
        if (out)
            *out = outStream.str();
        return status;
    }
    // Everything in the folder but the archive, so that a temporary file left over shows.
    std::vector<std::string> Files() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.Native()))
            if (entry.path().filename().string().rfind("archive.sqlite3", 0) != 0)
                names.push_back(entry.path().filename().string());
        return names;
    }
};

} // namespace

// Each refusal says why, runs nothing, creates no archive and leaves the old file as it was.
TEST(RunExport, RefusalsLeaveEverythingAsItWas)
{
    struct Case
    {
        const char* name;
        bool archive;
        std::string query;
        std::string format;
        bool toArchive;
        int status;
        std::string said;
    };
    const Case cases[] = {
        { "UnknownFormat", true, "", "pdf", false, 2,
            "書き出しの形式が不正です: pdf (jsonl csv txt log のいずれかです)\n" },
        { "UnreadableQuery", true, J("(流れ星"), "jsonl", false, 2, "検索条件を読めません: " },
        { "NoArchive", false, "", "jsonl", false, 1, "アーカイブがありません: " },
        { "OntoTheArchive", true, "", "log", true, 1, "アーカイブそのものには書き出せません: " },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        if (c.archive)
            f.Keep(2);
        std::string err;
        EXPECT_EQ(
            f.Run(c.query, c.format, c.toArchive ? f.folders.archiveFile : f.file, err), c.status);
        EXPECT_EQ(err.substr(0, c.said.size()), c.said);
        EXPECT_EQ(ReadFileBytes(f.file), "old");
        EXPECT_EQ(f.Files(), std::vector<std::string> { "out.txt" });
        EXPECT_EQ(FileExists(f.folders.archiveFile), c.archive);
        if (c.archive) {
            EXPECT_EQ(TArchive(f.folders.archiveFile).Count(), 2);
        }
    }
}

TEST(RunExport, ReplacesTheFileOrWritesToStandardOutput)
{
    Fixture f;
    f.Keep(2);
    std::string err;
    ASSERT_EQ(f.Run(J("流れ星"), "txt", f.file, err), 0) << err;
    EXPECT_EQ(err, "2 件を書き出しました: " + f.file + "\n");
    const std::string text = ReadFileBytes(f.file);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
    EXPECT_EQ(f.Files(), std::vector<std::string> { "out.txt" });
    std::string out;
    ASSERT_EQ(f.Run("", "log", "-", err, &out), 0) << err;
    EXPECT_EQ(err, "2 件を書き出しました: 標準出力\n");
    EXPECT_EQ(out.substr(0, 12), "Result: OK\r\n");
}
