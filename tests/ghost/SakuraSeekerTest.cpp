#include "ghost/SakuraSeeker.h"

#include "GhostSupport.h"
#include "platform/FileDescriptor.h"
#include "platform/SharedMemory.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <deque>
#include <functional>
#include <future>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>

namespace {

const std::string kFourLines = "a.hwnd\x01"
                               "100\r\na.name\x01S\r\na.keroname\x01K\r\nb.hwnd\x01"
                               "300\r\n";

TEST_F(SstpTest, FourLinesMakeTwoEntries)
{
    Publish("Sakura", kFourLines, 200);
    TSakuraSeeker seeker;
    seeker.Detect();
    ASSERT_EQ(seeker.Count(), 2);
    EXPECT_EQ(seeker.Processes(0).ID, "a");
    EXPECT_EQ(seeker.Processes(0).HWnd(), 100u);
    EXPECT_EQ(seeker.Processes(0).NamePair(), "S,K");
    EXPECT_EQ(seeker.Processes(0).FMOName, "Sakura");
    EXPECT_EQ(seeker.Processes(1).HWnd(), 300u);
    EXPECT_EQ(seeker.Processes(1).NamePair(), ",");
    EXPECT_EQ(seeker.ProcessByName("S"), &seeker.Processes(0));
    EXPECT_EQ(seeker.ProcessByID("b"), &seeker.Processes(1));
    EXPECT_EQ(seeker.ProcessByName("s"), nullptr);
    EXPECT_EQ(seeker.DetectResult(), kFourLines);
    EXPECT_EQ(seeker.MutexCache().size(), 1u);
    EXPECT_TRUE(seeker.MutexCache()[0].starts_with("SakuraFMO="));
}

TEST_F(SstpTest, TextLongerThanItsLengthIsAnError)
{
    Publish("Sakura", kFourLines, 10);
    TSakuraSeeker seeker;
    try {
        seeker.Detect();
        FAIL();
    } catch (const ESakuraSeekerError& e) {
        EXPECT_EQ(e.what(), J("FMOを取得できませんでした"));
    }
    // The lock was released before the error left: the next reader gets it at once.
    auto lock = TNamedLock::Open("SakuraFMO");
    EXPECT_TRUE(lock->Wait(0));
}

TEST_F(SstpTest, NoMappingIsNoEntriesAndNoError)
{
    TSakuraSeeker seeker;
    seeker.Detect();
    EXPECT_EQ(seeker.Count(), 0);
    EXPECT_EQ(seeker.DetectResult(), "");
}

// Whatever a stranger leaves at the directory's place reads as no ghost, without blocking: a
// FIFO, a link, a folder; and a huge directory is read only up to its first 64 KiB.
TEST_F(SstpTest, OddObjectsAtTheDirectoryReadAsNoGhost)
{
    const std::string path = SstpObjectPath("shm", "Sakura");
    const std::function<void()> makers[] = {
        [&] { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); },
        [&] { ASSERT_EQ(::symlink("/etc/hostname", path.c_str()), 0); },
        [&] { ASSERT_EQ(::mkdir(path.c_str(), 0700), 0); },
    };
    for (const auto& make : makers) {
        make();
        TSakuraSeeker seeker;
        seeker.Detect();
        EXPECT_EQ(seeker.Count(), 0);
        ::unlink(path.c_str());
        ::rmdir(path.c_str());
    }
    std::string many;
    for (int i = 0; i < 40000; ++i)
        many += std::to_string(i)
            + ".hwnd\x01"
              "1\r\n";
    Publish("Sakura", many);
    TSakuraSeeker seeker;
    seeker.Detect();
    EXPECT_GT(seeker.Count(), 5000);
    EXPECT_LT(seeker.Count(), 40000);
    EXPECT_EQ(seeker.ProcessByID("100")->HWnd(), 1u);
}

TEST_F(SstpTest, MappingsShareIdsAndKeysFollowTheirRules)
{
    Publish("One",
        "a.hwnd\x01"
        "1\r\na.name\x01"
        "first\r\n");
    Publish("Two",
        "a.keroname\x01K\r\na.NAME\x01second\r\na.hwnd\x01\r\nc.hwnd\x01x12\r\nno dot line\r\n");
    TSakuraSeeker seeker;
    seeker.FileMappingTarget = { "One", "Two" };
    seeker.Detect();
    ASSERT_EQ(seeker.Count(), 3);
    const TSakuraProcess& a = seeker.Processes(0);
    EXPECT_EQ(a.FMOName, "One");
    EXPECT_EQ(a.Name(), "second"); // keys match without case; a repeat replaces
    EXPECT_EQ(a.KeroName(), "K");
    EXPECT_EQ(a.HWnd(), 0u); // an empty value removed the key
    EXPECT_EQ(seeker.Processes(1).HWnd(), 0u); // not a number
    EXPECT_EQ(seeker.Processes(2).ID, "");
    EXPECT_EQ(seeker.Processes(2).Value(""), "no dot line");
}

TEST_F(SstpTest, MutexNamesAndEvents)
{
    Publish("Sakura", kFourLines);
    TSakuraSeeker seeker;
    std::vector<std::string> asked;
    seeker.OnGetMutexName = [&](TSakuraSeeker&, std::string& name) {
        asked.push_back(name);
        name = "X";
    };
    int changed = 0;
    int after = 0;
    seeker.OnDetectResultChanged = [&](TSakuraSeeker&) { ++changed; };
    seeker.OnAfterDetection = [&](TSakuraSeeker&) { ++after; };
    seeker.Detect();
    seeker.Detect();
    EXPECT_EQ(asked, (std::vector<std::string> { "Sakura", "Sakura" }));
    EXPECT_TRUE(seeker.MutexCache().at(0).starts_with("X="));
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(after, 2);
}

// A lock held by another process: the reader gives up after its time limit (3 s unless told
// otherwise); once the holder dies the lock is free.
TEST_F(SstpTest, LockHeldElsewhereTimesOutAndADeadHolderFreesIt)
{
    Publish("Sakura", kFourLines);
    const pid_t holder = HoldLockInChild("SakuraFMO");
    ASSERT_GT(holder, 0);
    TSakuraSeeker seeker;
    EXPECT_EQ(seeker.LockTimeoutMs, 3000);
    seeker.LockTimeoutMs = 300;
    const auto start = std::chrono::steady_clock::now();
    try {
        seeker.Detect();
        ADD_FAILURE();
    } catch (const ESakuraSeekerError& e) {
        EXPECT_EQ(e.what(), J("Mutex同期タイムアウト"));
    }
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(300));
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    seeker.Detect();
    EXPECT_EQ(seeker.Count(), 2);
}

TEST_F(SstpTest, NamesThatNameNoObject)
{
    for (const char* name : { "", ".", "..", "a/b" })
        EXPECT_EQ(SstpObjectPath("shm", name), "") << name;
    EXPECT_FALSE(TSharedMemory::Read("a/b"));
    TSakuraSeeker seeker;
    seeker.FileMappingTarget = { "../escape" };
    try {
        seeker.Detect();
        FAIL();
    } catch (const ESakuraSeekerError& e) {
        EXPECT_EQ(e.what(), J("Mutexハンドルを取得できませんでした"));
    }
}

TEST_F(SstpTest, FolderOpenToOthersIsRefused)
{
    SstpFolder();
    ::chmod((runtime.Native() / "sstp").c_str(), 0755);
    try {
        SstpFolder();
        FAIL();
    } catch (const EVelmoError& e) {
        EXPECT_NE(std::string(e.what()).find("is open to other users"), std::string::npos);
    }
}

TEST_F(SstpTest, WindowsAnswerAndMissingOnesDoNot)
{
    auto window = TWindow::Create([](const TWindowMessage& m) -> int64_t {
        return m.message == WM_COPYDATA && m.dwData == 9801
            ? static_cast<int64_t>(m.data.size()) + (int64_t(1) << 40)
            : -1;
    });
    // Serves the window until `sends` messages have been answered.
    std::atomic<int> answered { 0 };
    const auto serve = [&](int sends) {
        return std::thread([&, sends] {
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (answered.load() < sends && std::chrono::steady_clock::now() < until) {
                pollfd p { window->Fd(), POLLIN, 0 };
                if (::poll(&p, 1, 50) <= 0)
                    continue;
                const auto before = std::chrono::steady_clock::now();
                window->Process();
                // Processing never waits for a peer.
                EXPECT_LT(
                    std::chrono::steady_clock::now() - before, std::chrono::milliseconds(500));
            }
        });
    };
    const auto path
        = (runtime.Native() / "sstp" / "windows" / std::to_string(window->Handle())).string();
    const auto connectSilently = [&] {
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        TFileDescriptor fd(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK, 0));
        ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
        return fd;
    };
    // Small data goes in the packet, large data (a 1 MiB script) as a passed memory file; a peer
    // that connected first and stays silent holds nobody up.
    const TFileDescriptor silent = connectSilently();
    for (const size_t size :
        { size_t(5), size_t(64 * 1024), size_t(300 * 1024), size_t(1 << 20) }) {
        answered = 0;
        std::thread server = serve(1);
        EXPECT_EQ(SendMessageTimeout(
                      window->Handle(), WM_COPYDATA, 7, 9801, std::string(size, 'd'), 5000),
            static_cast<int64_t>(size) + (int64_t(1) << 40));
        answered = 1;
        server.join();
    }
    // A window that never accepts: once its queue of connections is full, a send answers at once
    // instead of waiting out its time limit (the guard below only catches a hang).
    std::deque<TFileDescriptor> waiting;
    for (int i = 0; i < 64; ++i)
        waiting.push_back(connectSilently());
    auto hung = std::async(std::launch::async,
        [&] { return SendMessageTimeout(window->Handle(), WM_COPYDATA, 7, 9801, "x", 600000); });
    ASSERT_EQ(hung.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_EQ(hung.get(), std::nullopt);
    waiting.clear();
    window->Process();
    // Nobody processes it now: the time limit ends the wait.
    EXPECT_EQ(SendMessageTimeout(window->Handle(), WM_COPYDATA, 7, 9801, "x", 200), std::nullopt);
    const uint32_t gone = window->Handle();
    window.reset();
    EXPECT_EQ(SendMessageTimeout(gone, WM_COPYDATA, 7, 9801, "x", 200), std::nullopt);
    EXPECT_FALSE(
        std::filesystem::exists(runtime.Native() / "sstp" / "windows" / std::to_string(gone)));
}

} // namespace
