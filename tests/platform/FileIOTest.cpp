#include "platform/FileIO.h"

#include "TestSupport.h"
#include "platform/Errors.h"

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

int FilesIn(const std::filesystem::path& dir)
{
    int n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir))
        ++n;
    return n;
}

TEST(FileIO, AtomicWriteReplacesAndKeepsPermissions)
{
    TempDir dir;
    const std::string path = dir.Sjis() + "a.ini";
    WriteFileAtomic(path, "old");
    ::chmod(NativePath(path).c_str(), 0600);
    WriteFileAtomic(path, std::string("new\0bytes\xFF", 10));
    EXPECT_EQ(ReadFileBytes(path), std::string("new\0bytes\xFF", 10));
    struct stat st
    { };
    ::stat(NativePath(path).c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(FilesIn(dir.Native()), 1);
}

// New files follow the umask (so a private umask keeps the LUID private); a link stays a link.
TEST(FileIO, AtomicWriteFollowsUmaskAndLinks)
{
    TempDir dir;
    for (const mode_t mask : { 077u, 022u }) {
        const mode_t old = ::umask(mask);
        const std::string path = dir.Sjis() + "new" + std::to_string(mask);
        WriteFileAtomic(path, "x");
        ::umask(old);
        struct stat st
        { };
        ::stat(NativePath(path).c_str(), &st);
        EXPECT_EQ(st.st_mode & 0777, 0666u & ~mask);
    }
    const std::string target = dir.Sjis() + "real.ini";
    WriteFileAtomic(target, "old");
    ASSERT_EQ(::symlink("real.ini", NativePath(dir.Sjis() + "link.ini").c_str()), 0);
    WriteFileAtomic(dir.Sjis() + "link.ini", "new");
    struct stat st
    { };
    ASSERT_EQ(::lstat(NativePath(dir.Sjis() + "link.ini").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(ReadFileBytes(target), "new");
}

// A process killed at any point of a write leaves the file whole: old or new, never a mix.
TEST(FileIO, KilledWriteLeavesOldOrNew)
{
    TempDir dir;
    const std::string path = dir.Sjis() + "velmo.ini";
    const std::string oldText(20000, 'o');
    const std::string newText(30000, 'n');
    unsigned seed = 12345;
    for (int i = 0; i < 100; ++i) {
        WriteFileAtomic(path, oldText);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (;;)
                WriteFileAtomic(path, newText);
        }
        seed = seed * 1103515245 + 12345;
        ::usleep((seed >> 16) % 3000);
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        const std::string now = ReadFileBytes(path);
        ASSERT_TRUE(now == oldText || now == newText) << "run " << i << ": " << now.size();
    }
}

// A write that fails half-way (here: the file size limit) must leave the old file whole and no
// temporary file behind. This works for root too, unlike a read-only folder.
TEST(FileIO, FailedWriteLeavesTheOldFileIntact)
{
    TempDir dir;
    const std::string path = dir.Sjis() + "velmo.ini";
    WriteFileAtomic(path, "[General]\r\nLUID=keep\r\n");

    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old {};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 8;
    ::setrlimit(RLIMIT_FSIZE, &small);
    std::string error;
    try {
        WriteFileAtomic(path, std::string(4096, 'x'));
    } catch (const EFileError& e) {
        error = e.what();
    }
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(error, "Cannot write file \"" + path + "\". File too large");
    EXPECT_EQ(ReadFileBytes(path), "[General]\r\nLUID=keep\r\n");
    EXPECT_EQ(FilesIn(dir.Native()), 1);
}

TEST(FileIO, WriteIntoAMissingFolderFails)
{
    TempDir dir;
    EXPECT_THROW(WriteFileAtomic(dir.Sjis() + "no/such/file", "x"), EFileError);
}

TEST(FileIO, ReadErrorsNameTheFile)
{
    TempDir dir;
    const struct
    {
        std::string path;
        std::string reason;
    } cases[] = { { dir.Sjis() + "missing", "No such file or directory" },
        { dir.Sjis(), "Is a directory" } };
    for (const auto& c : cases) {
        try {
            ReadFileBytes(c.path);
            ADD_FAILURE() << c.path;
        } catch (const EFileError& e) {
            EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + c.path + "\". " + c.reason);
        }
    }
}

} // namespace
