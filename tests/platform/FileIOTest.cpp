#include "platform/FileIO.h"

#include "TestSupport.h"
#include "platform/Errors.h"
#include "platform/FileDescriptor.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <future>
#include <sys/file.h>
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
    for (int i = 0; i < 40; ++i) {
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
namespace {

// The EFileError text of work run with files limited to `bytes` (empty when it throws none).
std::string ErrorUnderSizeLimit(rlim_t bytes, const std::function<void()>& work)
{
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old {};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &small);
    std::string error;
    try {
        work();
    } catch (const EFileError& e) {
        error = e.what();
    }
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    return error;
}

} // namespace

TEST(FileIO, FailedWriteLeavesTheOldFileIntact)
{
    TempDir dir;
    const std::string path = dir.Sjis() + "velmo.ini";
    WriteFileAtomic(path, "[General]\r\nLUID=keep\r\n");

    const std::string error
        = ErrorUnderSizeLimit(8, [&] { WriteFileAtomic(path, std::string(4096, 'x')); });
    EXPECT_EQ(error, "Cannot write file \"" + path + "\". File too large");
    EXPECT_EQ(ReadFileBytes(path), "[General]\r\nLUID=keep\r\n");
    EXPECT_EQ(FilesIn(dir.Native()), 1);
}

// A file written piece by piece: a write that fails on the way shows on the stream at once and
// fails the commit; a writer given up before its commit leaves nothing behind.
TEST(FileIO, ReplacingFileFailsOnTheWayOrLeavesNothing)
{
    TempDir dir;
    const std::string path = dir.Sjis() + "export.txt";
    WriteFileAtomic(path, "old");
    {
        TReplacingFile abandoned(path);
        abandoned.Stream() << std::string(200000, 'x');
        EXPECT_TRUE(abandoned.Stream().good());
    }
    EXPECT_EQ(FilesIn(dir.Native()), 1);

    const std::string error = ErrorUnderSizeLimit(100000, [&] {
        TReplacingFile file(path);
        for (int i = 0; i < 10 && file.Stream(); ++i)
            file.Stream() << std::string(65536, 'x');
        EXPECT_TRUE(file.Stream().bad());
        file.Commit();
    });

    EXPECT_EQ(error, "Cannot write file \"" + path + "\". File too large");
    EXPECT_EQ(ReadFileBytes(path), "old");
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

// The configuration is read with ReadRegularFile: nothing at the path may hang the start or fill
// the memory. A read that blocks is freed by opening the FIFO's other end, and fails.
TEST(FileIO, BoundedReadRefusesAllButSmallRegularFiles)
{
    TempDir dir;
    const std::string d = dir.Sjis();
    ASSERT_EQ(::mkfifo(NativePath(d + "fifo.ini").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("/dev/zero", NativePath(d + "zero.ini").c_str()), 0);
    // Sized 0 by fstat, longer when read.
    ASSERT_EQ(::symlink("/proc/self/maps", NativePath(d + "maps.ini").c_str()), 0);
    WriteFileAtomic(d + "big.ini", std::string(101, 'x'));
    WriteFileAtomic(d + "full.ini", std::string(100, 'x'));
    ASSERT_EQ(::symlink("full.ini", NativePath(d + "link.ini").c_str()), 0);
    const auto refused = [&](const std::string& name, const std::string& why) {
        return "\"" + d + name + "\"" + J(why);
    };
    const struct
    {
        std::string name;
        std::string expected; // the bytes, or the error's text
    } cases[] = {
        { "fifo.ini",
            refused("fifo.ini", " は通常のファイルではない (名前付きパイプ) ので読み込みません") },
        { "zero.ini",
            refused("zero.ini", " は通常のファイルではない (デバイス) ので読み込みません") },
        { "big.ini", refused("big.ini", " は大きすぎるので読み込みません (上限 100 バイト)") },
        { "maps.ini", refused("maps.ini", " は大きすぎるので読み込みません (上限 100 バイト)") },
        { "link.ini", std::string(100, 'x') },
    };
    for (const auto& c : cases) {
        auto read = std::async(std::launch::async, [&] {
            try {
                return ReadRegularFile(d + c.name, 100);
            } catch (const EFileError& e) {
                return std::string(e.what());
            }
        });
        if (read.wait_for(std::chrono::seconds(10)) == std::future_status::timeout) {
            ::close(::open(NativePath(d + "fifo.ini").c_str(), O_WRONLY | O_NONBLOCK));
            ADD_FAILURE() << c.name << " blocked the read";
        }
        EXPECT_EQ(read.get(), c.expected) << c.name;
    }
}

// Only what an interrupted write of our own left is removed: exact names, plain files, not held.
TEST(FileIO, StaleTemporariesOfOursAreRemoved)
{
    TempDir dir;
    const std::string path = dir.Sjis() + "velmo.ini";
    WriteFileAtomic(path, "[General]\r\n");
    const auto native = [&](const std::string& name) { return NativePath(dir.Sjis() + name); };
    enum Kind { File, Link, Folder, Fifo, Held };
    const struct
    {
        std::string name;
        Kind kind;
        bool removed;
    } cases[] = {
        { "velmo.ini.0123456789ab", File, true }, { "velmo.ini.fedcba987654", File, true },
        { "velmo.ini.0123456789AB", File, false }, { "velmo.ini.0123456789a", File, false },
        { "velmo.ini.0123456789abc", File, false }, { "velmo.ini.0123456789ab.bak", File, false },
        { "velmo.ini.bak", File, false }, { "other.ini.0123456789ab", File, false },
        { "velmo.ini.111111111111", Link, false }, { "velmo.ini.222222222222", Folder, false },
        { "velmo.ini.333333333333", Fifo, false },
        { "velmo.ini.444444444444", Held, false }, // a write still at work
    };
    TFileDescriptor held;
    for (const auto& c : cases) {
        const std::string name = native(c.name);
        int made = 0;
        if (c.kind == File || c.kind == Held)
            WriteFileAtomic(dir.Sjis() + c.name, "x");
        else if (c.kind == Link)
            made = ::symlink("velmo.ini", name.c_str());
        else if (c.kind == Folder)
            made = ::mkdir(name.c_str(), 0700);
        else
            made = ::mkfifo(name.c_str(), 0600);
        ASSERT_EQ(made, 0) << c.name;
        if (c.kind == Held) {
            held = TFileDescriptor(::open(name.c_str(), O_RDONLY));
            ASSERT_EQ(::flock(held.get(), LOCK_EX), 0);
        }
    }
    EXPECT_EQ(RemoveStaleTemporaries(path), 2);
    for (const auto& c : cases) {
        struct stat st
        { };
        EXPECT_EQ(::lstat(native(c.name).c_str(), &st) != 0, c.removed) << c.name;
    }
    EXPECT_EQ(ReadFileBytes(path), "[General]\r\n");
}

// A clean-up at one program's start never takes the temporary file of another one's write.
TEST(FileIO, CleanUpSparesAWriteAtWork)
{
    TempDir dir;
    const std::string path = dir.Sjis() + "velmo.ini";
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        try {
            for (int i = 0; i < 40; ++i)
                WriteFileAtomic(path, std::string(4096, 'w'));
        } catch (const EFileError&) {
            ::_exit(1);
        }
        ::_exit(0);
    }
    // A temporary file caught between its creation and its lock may go: its writer sees that
    // and starts again, so every write still lands whole.
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0)
        RemoveStaleTemporaries(path);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(ReadFileBytes(path), std::string(4096, 'w'));
}

TEST(FileIO, JoinPath)
{
    EXPECT_EQ(JoinPath("", "/opt/velmo/", "long1.html"), "/opt/velmo/long1.html");
    EXPECT_EQ(JoinPath("/out", "/opt/velmo/", "long1.html"), "/out/long1.html");
    EXPECT_EQ(JoinPath("/out/", "/opt/velmo/", "long1.html"), "/out//long1.html");
}

} // namespace
