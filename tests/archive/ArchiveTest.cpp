#include "archive/Archive.h"

#include "TestSupport.h"
#include "log/MessageList.h"
#include "platform/FileIO.h"
#include "tests/ShippedParser.h"

#include <SQLiteCpp/SQLiteCpp.h>

namespace {

TBottleMessage Message(const std::string& mid, const std::string& script, int votes = 0)
{
    TBottleMessage m;
    m.MID = mid;
    m.LogTime = 38000.5 + script.size() / 1000.0;
    m.Channel = J("雑談");
    m.Ghost = J("さくら");
    m.Connections = 7;
    m.Votes = votes;
    m.Agrees = 1;
    m.Script = script;
    return m;
}

std::vector<TBottleMessage> All(const TArchive& archive)
{
    std::vector<TBottleMessage> all;
    archive.ForEach(0, 1e6, [&](const TBottleMessage& m) {
        all.push_back(m);
        return true;
    });
    return all;
}

TEST(Archive, KeysMessagesByServerAndMidOrByTheirTexts)
{
    TempDir dir;
    TArchive archive(dir.Sjis() + "archive.sqlite3", &ShippedParser());
    TMessageList first;
    first.Add(Message("m1", "\\h\\s0" + J("ゾ表") + "\t\\e", 1));
    first.Add(Message("", "sent")); // no MID: keyed by its texts
    EXPECT_EQ(archive.Store(first, "a:1").added, 2);

    TMessageList again;
    again.Add(Message("m1", "\\h\\s0" + J("ゾ表") + "\t\\e", 5)); // counts changed
    again.Add(Message("", "sent"));
    const TArchiveCounts counts = archive.Store(again, "a:1");
    EXPECT_EQ(counts.added, 0);
    EXPECT_EQ(counts.known, 2);
    TMessageList other;
    other.Add(Message("m1", "other server's m1")); // another server's m1 is another message
    EXPECT_EQ(archive.Store(other, "b:2").added, 1);

    const auto all = All(archive);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(archive.Count(), 3);
    // Byte for byte as read, the counts the latest, a message without a MID without one.
    EXPECT_EQ(all[0].Script, "sent");
    EXPECT_EQ(all[0].MID, "");
    EXPECT_EQ(all[1].Script, "\\h\\s0" + J("ゾ表") + "\t\\e");
    EXPECT_EQ(all[1].Votes, 5);
    EXPECT_EQ(all[1].Ghost, J("さくら"));
    EXPECT_EQ(all[1].Channel, J("雑談"));
    EXPECT_EQ(all[1].LogTime, Message("", all[1].Script).LogTime);
    EXPECT_EQ(archive.Newest("a:1"), all[1].LogTime);
    EXPECT_EQ(all[2].MID, "m1");
    EXPECT_EQ(archive.Newest("nobody"), std::nullopt);
}

// A batch that is not committed keeps nothing, and the file stays whole.
TEST(Archive, UncommittedBatchKeepsNothing)
{
    TempDir dir;
    TArchive archive(dir.Sjis() + "archive.sqlite3", &ShippedParser());
    {
        TArchive::TBatch batch(archive);
        EXPECT_TRUE(batch.Add(Message("x", "lost"), "s"));
    }
    EXPECT_EQ(archive.Count(), 0);
    TArchive::TBatch batch(archive);
    EXPECT_TRUE(batch.Add(Message("x", "kept"), "s"));
    EXPECT_FALSE(batch.Add(Message("x", "kept"), "s"));
    batch.Commit();
    EXPECT_EQ(archive.Count(), 1);
}

// No file that is not an archive of ours is ever written to or replaced.
TEST(Archive, RefusesFilesThatAreNoArchiveOfOurs)
{
    TempDir dir;
    const std::string path = dir.Sjis() + "archive.sqlite3";
    const auto sqlite = [&](const std::string& sql) {
        std::filesystem::remove(NativePath(path));
        SQLite::Database db(NativePath(path), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
        db.exec(sql);
    };
    const std::string notOurs = path + J(" はVelmoのアーカイブではありません");
    const struct
    {
        const char* name;
        std::function<void()> make;
        std::string message;
    } cases[] = {
        { "text", [&] { WriteFileAtomic(path, "Result: OK\r\n"); }, notOurs },
        { "empty", [&] { WriteFileAtomic(path, ""); }, notOurs },
        { "other database", [&] { sqlite("CREATE TABLE t (x)"); }, notOurs },
        { "newer", [&] { sqlite("PRAGMA application_id = 0x566C6D6F; PRAGMA user_version = 9"); },
            path + J(" は新しい版のVelmoで作られたので開けません (版 9)") },
        { "folder",
            [&] {
                std::filesystem::remove(NativePath(path));
                std::filesystem::create_directory(NativePath(path));
            },
            notOurs },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.make();
        const bool folder = std::filesystem::is_directory(NativePath(path));
        const std::string before = folder ? "" : ReadFileBytes(path);
        try {
            TArchive archive(path);
            ADD_FAILURE();
        } catch (const EArchiveError& e) {
            EXPECT_EQ(e.what(), c.message);
        }
        EXPECT_EQ(folder ? "" : ReadFileBytes(path), before);
    }
    // A damaged archive: its pages overwritten after the header.
    std::filesystem::remove_all(NativePath(path));
    {
        TArchive archive(path, &ShippedParser());
        TMessageList list;
        for (int i = 0; i < 200; ++i)
            list.Add(Message("m" + std::to_string(i), std::string(500, 'x')));
        archive.Store(list, "s");
    }
    std::string bytes = ReadFileBytes(path);
    ASSERT_GT(bytes.size(), 8192u);
    std::fill(bytes.begin() + 4096, bytes.end(), '\xA5');
    WriteFileAtomic(path, bytes);
    try {
        TArchive archive(path);
        archive.Count();
        All(archive);
        ADD_FAILURE();
    } catch (const EArchiveError& e) {
        EXPECT_TRUE(std::string(e.what()).starts_with(path + J(" は"))) << e.what();
    }
}

} // namespace
