#include "archive/Import.h"

#include "TestSupport.h"
#include "archive/Archive.h"
#include "archive/Query.h"
#include "log/BottleMessage.h"
#include "platform/FileIO.h"
#include "tests/ShippedParser.h"

#include <filesystem>
#include <map>
#include <sys/stat.h>

namespace {

const std::string kHead = "Result: OK\r\nhead 2\r\nhead 3\r\n";

std::string Fetched(const std::string& mid, int votes = 0, const std::string& day = "06")
{
    return "200405" + day + "123456\t" + mid + "\t" + J("一般") + "\tGhostA\t25\t"
        + std::to_string(votes) + "\t1\t\\h\\s0" + mid + "\\e";
}

std::string Sent(const std::string& text)
{
    return J("一般") + ",GhostB,2004/05/06 12:00:00,\\h\\s0" + text + "\\e";
}

struct Fixture
{
    TempDir dir;
    std::string root = dir.Sjis() + "logs/";
    TArchive archive { dir.Sjis() + "archive.sqlite3", &ShippedParser() };

    void Write(const std::string& name, const std::string& text)
    {
        const std::string path = root + name;
        CreateFolders(path.substr(0, path.rfind('/') + 1));
        WriteFileAtomic(path, text);
    }
    std::filesystem::path Native(const std::string& name) const
    {
        return dir.Native() / "logs" / name;
    }
    TImportSummary Import(const TImportOptions& options = {})
    {
        return ImportLogs({ root }, archive, "bottle.example", options);
    }
    std::map<std::string, int> VotesByMid()
    {
        std::map<std::string, int> votes;
        archive.ForEach(0, 1e9, [&](const TBottleMessage& m) {
            votes[m.MID.empty() ? m.Script : m.MID] = m.Votes;
            return true;
        });
        return votes;
    }
};

std::vector<std::string> Listed(const TImportNotes& notes)
{
    std::vector<std::string> listed;
    for (const TImportNote& note : notes.Kept())
        listed.push_back(note.path + ":" + std::to_string(note.line));
    return listed;
}

// A folder of everything a collection of old logs holds: each kind of log, bad lines, a file that
// cannot be opened, a file that is no log, a hidden file and a link back up the tree.
TEST(ImportLogs, MixedFolderGivesExactCountsAndNamesEveryRefusedLine)
{
    Fixture f;
    f.Write("a-head.txt", kHead + Fetched("m1") + "\r\n" + Fetched("m2") + "\r\n");
    f.Write("b-bare.log", Fetched("m3") + "\n" + Fetched("m1", 7) + "\n"); // m1 again, counts new
    f.Write("sub/Sent.log", Sent("s1") + "\r\n" + Sent("s2"));
    f.Write("sub/bad.txt",
        kHead + Fetched("m4") + "\r\n" + "20040506123456\tm5\tch\tg\tmany\t0\t0\tx\r\n"
            + Fetched("m6") + "\r\n\r\n" + "20041306123456\tm7\tch\tg\t1\t0\t0\tx\r\n"
            + Fetched("m8") + "\r\n");
    f.Write("sub/readme.md", "# My logs\nkept since 2004\n");
    f.Write(".hidden.txt", Fetched("hidden"));
    std::filesystem::create_directory_symlink("..", f.Native("sub/loop"));
    std::filesystem::create_symlink("gone.txt", f.Native("dangling.txt"));

    const TImportSummary s = f.Import();
    EXPECT_EQ(s.filesRead, 4);
    EXPECT_EQ(s.added, 8); // m1 m2 m3 m4 m6 m8 s1 s2
    EXPECT_EQ(s.known, 1);
    EXPECT_EQ(Listed(s.refused),
        (std::vector<std::string> { f.root + "sub/bad.txt:5", f.root + "sub/bad.txt:8" }));
    EXPECT_EQ(Listed(s.failed), std::vector<std::string> { f.root + "dangling.txt:0" });
    EXPECT_EQ(Listed(s.skipped), std::vector<std::string> { f.root + "sub/readme.md:0" });
    EXPECT_FALSE(s.Complete());
    EXPECT_EQ(f.archive.Count(), 8);
    EXPECT_EQ(f.VotesByMid()["m1"], 7);
    EXPECT_EQ(f.VotesByMid().count("hidden"), 0U);

    // A second import finds every message kept and adds no row.
    std::filesystem::remove(f.Native("dangling.txt"));
    const TImportSummary again = f.Import();
    EXPECT_EQ(again.added, 0);
    EXPECT_EQ(again.known, 9);
    EXPECT_TRUE(again.Complete());
    EXPECT_EQ(f.archive.Count(), 8);
    const std::string text = ImportSummaryText(s);
    EXPECT_NE(text.find(f.root + "sub/bad.txt:5: "), std::string::npos) << text;
}

// Each file is told by its content, whatever its name.
TEST(ImportLogs, TellsEachFileByItsContent)
{
    struct Case
    {
        const char* name;
        std::string text;
        int64_t read, added, refused, skipped;
    };
    const std::string noBreaks(9 << 20, 'x');
    const Case cases[] = {
        { "head only", kHead, 1, 0, 0, 0 },
        { "empty", "", 1, 0, 0, 0 },
        { "blank lines", "\r\n\r\n", 1, 0, 0, 0 },
        { "an answer that is no log", "Result: NG\r\n", 0, 0, 0, 1 },
        { "sent.log with CR line ends", Sent("a") + "\r" + Sent("b") + "\r", 1, 2, 0, 0 },
        { "answers joined", kHead + Fetched("j1") + "\n" + kHead + Fetched("j2"), 1, 2, 0, 0 },
        { "first line bad, later ones good", "garbage\n" + Fetched("g1") + "\n", 1, 1, 1, 0 },
        { "a line too long", Fetched("t1") + "\n" + Fetched(std::string(300, 'y')) + "\n", 1, 1, 1,
            0 },
        { "binary without line breaks", noBreaks, 0, 0, 0, 1 },
        { "text of another kind", "a,b,c\nd\te\n", 0, 0, 0, 1 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        f.Write("log.dat", c.text);
        TImportOptions options;
        options.maxLineBytes = 256;
        const TImportSummary s = f.Import(options);
        EXPECT_EQ(s.filesRead, c.read);
        EXPECT_EQ(s.added, c.added);
        EXPECT_EQ(s.refused.Count(), c.refused);
        EXPECT_EQ(s.skipped.Count(), c.skipped);
        EXPECT_EQ(s.failed.Count(), 0);
    }
}

// Stopped between two steps, an import keeps what it has read and reads nothing further; the
// steps it commits are the batches asked for.
TEST(ImportLogs, CancelledImportKeepsWhatItReadAndStops)
{
    Fixture f;
    std::string log;
    for (int i = 0; i < 25; ++i)
        log += Fetched("c" + std::to_string(i)) + "\n";
    f.Write("1.txt", log);
    f.Write("2.txt", Fetched("later"));
    TImportOptions options;
    options.commitEvery = 10;
    int calls = 0;
    options.cancelled = [&] { return ++calls > 1; };
    const TImportSummary s = f.Import(options);
    EXPECT_TRUE(s.cancelled);
    EXPECT_FALSE(s.Complete());
    EXPECT_EQ(s.filesRead, 0);
    EXPECT_EQ(s.added, 25);
    EXPECT_EQ(f.archive.Count(), 25);
    EXPECT_EQ(f.VotesByMid().count("later"), 0U);
}

// A long log is read ahead and kept in runs: every message counted once, the repeats of one run
// and of an earlier step as known with their later counts, whatever the step.
TEST(ImportLogs, LongLogCountsEveryMessageOnceAcrossRunsAndSteps)
{
    for (const int64_t commitEvery : { int64_t(3000), int64_t(10000) }) {
        SCOPED_TRACE(commitEvery);
        Fixture f;
        std::string log = kHead;
        for (int i = 0; i < 9000; ++i)
            log += Fetched("m" + std::to_string(i % 6000), i / 6000) + "\n";
        f.Write("long.txt", log);
        TImportOptions options;
        options.commitEvery = commitEvery;
        const TImportSummary s = f.Import(options);
        EXPECT_TRUE(s.Complete());
        EXPECT_EQ(s.added, 6000);
        EXPECT_EQ(s.known, 3000);
        EXPECT_EQ(f.archive.Count(), 6000);
        const std::map<std::string, int> votes = f.VotesByMid();
        EXPECT_EQ(votes.at("m0"), 1);
        EXPECT_EQ(votes.at("m5999"), 0);
        EXPECT_EQ(f.archive.CountMatches(ParseQuery("m5999")), 1);
    }
}

// A path the user names that is no regular file, or that does not exist, fails the run; a path
// that does not convert is named, not mangled.
TEST(ImportLogs, NamedPathsThatCannotBeReadFailTheRun)
{
    Fixture f;
    f.Write("ok.txt", Fetched("ok"));
    ASSERT_EQ(::mkfifo((f.dir.Native() / "fifo").c_str(), 0600), 0);
    const std::vector<std::string> paths
        = { f.dir.Sjis() + "fifo", f.dir.Sjis() + "missing.txt", f.root + "ok.txt" };
    const TImportSummary s = ImportLogs(paths, f.archive, "bottle.example");
    EXPECT_EQ(s.filesRead, 1);
    EXPECT_EQ(s.added, 1);
    EXPECT_EQ(Listed(s.failed),
        (std::vector<std::string> { f.dir.Sjis() + "fifo:0", f.dir.Sjis() + "missing.txt:0" }));
}

} // namespace
