#include "ghost/DirectSstpSend.h"

#include "GhostSupport.h"
#include "ghost/NinixRoute.h"
#include "log/BottleMessage.h"
#include "platform/Errors.h"
#include "platform/QueueSynchronizer.h"

#include <chrono>
#include <csignal>
#include <sys/wait.h>

namespace {

class DirectSstpTest : public SstpTest
{
protected:
    std::shared_ptr<TQueueSynchronizer> sync;
    std::vector<std::string> fmoNames { "Sakura" };
    int fmoNamesAsked = 0; // GUI thread only
    std::unique_ptr<TDirectSSTP> sender;
    std::vector<std::string> statuses; // the status bar's texts

    // The limits of a program that waits on a ghost host, made short where a test waits them out.
    static TPlayLimits Quick()
    {
        TPlayLimits limits;
        limits.RetryEvery = std::chrono::milliseconds(50);
        limits.LockWait = std::chrono::milliseconds(200);
        return limits;
    }

    void SetUp() override
    {
        SstpTest::SetUp();
        Restart({});
    }
    // A new sender trying these loopback ports for an SSTP host (none by default: the tests
    // never reach a host of the machine).
    void Restart(std::vector<uint16_t> tcpPorts, TPlayLimits limits = Quick())
    {
        Stop();
        sync = std::make_shared<TQueueSynchronizer>();
        sender = std::make_unique<TDirectSSTP>(
            sync,
            [this] {
                ++fmoNamesAsked;
                return fmoNames;
            },
            tcpPorts, limits);
        sender->SetStatusHandler([this](const std::string& text) { statuses.push_back(text); });
    }
    // Ends the sender as the window does: its thread may be waiting for the GUI thread.
    void Stop()
    {
        if (sync)
            sync->Detach();
        sender.reset();
    }
    void TearDown() override
    {
        Stop();
        SstpTest::TearDown();
    }
    // The GUI thread's loop: synchronised calls and the reply window, until done().
    bool PumpUntil(const std::function<bool()>& done)
    {
        return ::PumpUntil(
            { sync->WakeFd(), sender->ReplyFd() },
            [this] {
                sync->ProcessPending();
                sender->ProcessReplies();
            },
            done);
    }
    static std::string Directory(
        const std::string& id, uint32_t hwnd, const std::string& name, const std::string& kero)
    {
        return id + ".hwnd\x01" + std::to_string(hwnd) + "\r\n" + id + ".name\x01" + name + "\r\n"
            + id + ".keroname\x01" + kero + "\r\n";
    }
};

TEST_F(DirectSstpTest, RequestTextAndTheChosenWindow)
{
    FakeGhost other;
    FakeGhost ghost;
    Publish("Sakura",
        Directory("x", other.Handle(), "Other", "O") + Directory("g", ghost.Handle(), "G", "K"));
    TPlayRequest request { "G", "C", "\\h\\s0S\\e" };
    sender->Enqueue(request);
    request.Script = "changed after the play command";
    ASSERT_TRUE(PumpUntil([&] { return sender->QueueLength() == 0; }));
    ASSERT_EQ(ghost.Requests().size(), 1u);
    EXPECT_TRUE(other.Requests().empty());
    const std::vector<TWindowMessage> requests = ghost.Requests();
    const TWindowMessage& sent = requests[0];
    const std::string text = "SEND SSTP/1.4\r\nCharset: Shift_JIS\r\nSender:  G/C/Velmo "
                             "2\r\nIfGhost: G,K\r\nScript: \\h\\s0S\\e\r\nHWnd: "
        + std::to_string(sender->ReplyWindow()) + "\r\nX-Bottle-IfGhost: G\r\n\r\n";
    EXPECT_EQ(sent.data, text);
    EXPECT_EQ(sent.message, WM_COPYDATA);
    EXPECT_EQ(sent.dwData, 9801u);
    EXPECT_EQ(sent.wParam, sender->ReplyWindow());
}

// A 1 MiB script is delivered whole. A larger one, or texts with a line break or a NUL (they
// would end their header line and pass for headers), are refused at once and never queued.
TEST_F(DirectSstpTest, ScriptsUpToOneMebibyteAreDelivered)
{
    FakeGhost ghost;
    Publish("Sakura", Directory("g", ghost.Handle(), "G", "K"));
    const TPlayRequest refused[] = {
        { "G", "C", std::string((1 << 20) + 1, 's') },
        { "G", "C", "\\h\\s0a\\e\r\nScript: injected" },
        { "G", "C", "a\\nb\n" },
        { "G\rX", "C", "s" },
        { "G", std::string("C\0", 2), "s" },
        { "G", "C", std::string("s\0t", 3) },
    };
    for (const TPlayRequest& request : refused)
        EXPECT_THROW(sender->Enqueue(request), EVelmoError) << request.Script.substr(0, 20);
    EXPECT_EQ(sender->QueueLength(), 0u);
    sender->Enqueue(TPlayRequest { "G", "C", std::string(1 << 20, 's') });
    ASSERT_TRUE(PumpUntil([&] { return sender->QueueLength() == 0; }));
    ASSERT_EQ(ghost.Requests().size(), 1u);
    EXPECT_NE(ghost.Requests()[0].data.find(std::string(1 << 20, 's') + "\r\n"), std::string::npos);
}

TEST_F(DirectSstpTest, AnAbsentGhostGoesToTheFirstOne)
{
    FakeGhost first;
    Publish("Sakura", Directory("f", first.Handle(), "First", "F"));
    sender->Enqueue(TPlayRequest { "Missing", "C", "S" });
    ASSERT_TRUE(PumpUntil([&] { return sender->QueueLength() == 0; }));
    ASSERT_EQ(first.Requests().size(), 1u);
    EXPECT_NE(first.Requests()[0].data.find("IfGhost: First,F\r\n"), std::string::npos);
    EXPECT_NE(first.Requests()[0].data.find("X-Bottle-IfGhost: Missing\r\n"), std::string::npos);
}

TEST_F(DirectSstpTest, NothingIsSentUntilAHostPublishesAGhost)
{
    sender->Enqueue(TPlayRequest { "G", "C", "waiting" });
    ASSERT_TRUE(PumpUntil([&] { return !statuses.empty(); })); // a try has found nothing
    EXPECT_EQ(sender->QueueLength(), 1u);
    EXPECT_EQ(
        statuses, std::vector<std::string> { J("再生待ち: 起動中のゴーストが見つかりません") });
    FakeGhost ghost;
    Publish("Sakura", Directory("g", ghost.Handle(), "G", "K"));
    ASSERT_TRUE(PumpUntil([&] { return sender->QueueLength() == 0; }));
    EXPECT_EQ(ghost.Requests().size(), 1u);
}

TEST_F(DirectSstpTest, NewMappingNamesAreUsedAtTheNextDelivery)
{
    FakeGhost ghost;
    Publish("Other", Directory("g", ghost.Handle(), "G", "K"));
    sender->Enqueue(TPlayRequest { "G", "C", "S" });
    ASSERT_TRUE(PumpUntil([&] { return !statuses.empty(); })); // a try has found nothing
    EXPECT_TRUE(ghost.Requests().empty());
    fmoNames = { "Other" };
    sender->ReloadMappingNames();
    ASSERT_TRUE(PumpUntil([&] { return sender->QueueLength() == 0; }));
}

// A directory that cannot be read (its lock held elsewhere past the time limit) ends one cycle,
// not the delivery: once the lock is free the request goes out.
TEST_F(DirectSstpTest, DirectoryErrorsDoNotStopDelivery)
{
    FakeGhost ghost;
    Publish("Sakura", Directory("g", ghost.Handle(), "G", "K"));
    const pid_t holder = HoldLockInChild("SakuraFMO");
    sender->Enqueue(TPlayRequest { "G", "C", "S" });
    ASSERT_TRUE(PumpUntil([&] { return !statuses.empty(); }));
    EXPECT_TRUE(ghost.Requests().empty());
    EXPECT_EQ(statuses,
        std::vector<std::string> {
            J("再生待ち: ゴーストの一覧を読めません: Mutex同期タイムアウト") });
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    ASSERT_TRUE(PumpUntil([&] { return sender->QueueLength() == 0; }));
}

// Program end never waits on a ghost host: not on a window that takes the request and is never
// serviced (the send's own limit is 50 s), nor on a host that holds its directory's lock for good.
TEST_F(DirectSstpTest, DestructionDoesNotWaitForAHungGhost)
{
    auto hung = TWindow::Create([](const TWindowMessage&) { return 0; }); // never processed
    Publish("Sakura", Directory("g", hung->Handle(), "G", "K"));
    for (const bool lockHeld : { false, true }) {
        Restart({}, {});
        auto lock = TNamedLock::Open("SakuraFMO");
        ASSERT_TRUE(!lockHeld || lock->Wait(0));
        const int asked = fmoNamesAsked;
        sender->Enqueue(TPlayRequest { "G", "C", "S" });
        // The delivery has begun: the names are asked for just before the directory's lock is
        // waited for, and the window's connection is pending once the message is on its way.
        ASSERT_TRUE(PumpUntil([&] {
            pollfd p { hung->Fd(), POLLIN, 0 };
            return fmoNamesAsked > asked && (lockHeld || ::poll(&p, 1, 0) > 0);
        }));
        sync->Detach();
        const auto start = std::chrono::steady_clock::now();
        sender.reset();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << lockHeld;
    }
}

// A host that answers a while after its window message returns, and twice: each request is
// delivered once, and the second answer does not remove the next request unplayed.
TEST_F(DirectSstpTest, LateAndDoubleAnswersDeliverOnce)
{
    FakeGhost ghost("SSTP/1.4 200 OK\r\n\r\n", 200, 2);
    Publish("Sakura", Directory("g", ghost.Handle(), "G", "K"));
    sender->Enqueue(TPlayRequest { "G", "C", "first" });
    sender->Enqueue(TPlayRequest { "G", "C", "second" });
    // Until the last late answer has come and changed nothing.
    ASSERT_TRUE(PumpUntil([&] { return sender->QueueLength() == 0 && ghost.Answered() == 4; }));
    const auto requests = ghost.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_NE(requests[0].data.find("Script: first\r\n"), std::string::npos);
    EXPECT_NE(requests[1].data.find("Script: second\r\n"), std::string::npos);
}

// The directory's ghosts come first; without one, a running ninix-kagari, then a loopback host.
// Each socket route gets its own request form, and the status bar says where it played.
TEST_F(DirectSstpTest, RouteOrderAndRequestForms)
{
    const uint16_t port = FreePort();
    Restart({ port });
    auto ninix = std::make_unique<StandInHost>(
        std::vector<std::string> { "--ninix", NinixSockets(), "--ghost", "さくら,ケロ" });
    StandInHost tcp({ "--tcp", std::to_string(port), "--ghost", "さくら,ケロ" });
    ASSERT_TRUE(ninix->Ready() && tcp.Ready()) << ninix->Output() << tcp.Output();
    const TPlayRequest request { J("さくら"), "C", J("\\h\\s0やあ\\-\\e") };
    {
        FakeGhost ghost;
        Publish("Sakura", Directory("g", ghost.Handle(), J("さくら"), J("ケロ")));
        sender->Enqueue(request);
        ASSERT_TRUE(PumpUntil([&] { return sender->QueueLength() == 0; }));
        EXPECT_EQ(ghost.Requests().size(), 1u);
        EXPECT_EQ(statuses, std::vector<std::string> { J("再生しました: さくら (Direct SSTP)") });
        Publish("Sakura", "");
    }
    sender->Enqueue(request);
    ASSERT_TRUE(PumpUntil([&] { return sender->QueueLength() == 0; }));
    ASSERT_TRUE(ninix->WaitFor("----"));
    EXPECT_NE(ninix->Output().find("SEND SSTP/1.4\r\nCharset: UTF-8\r\nSender:  さくら/C/Velmo "
                                   "2\r\nScript: \\h\\s0やあ\\e\r\n\r\n"),
        std::string::npos)
        << ninix->Output();
    EXPECT_EQ(ninix->Output().find("IfGhost"), std::string::npos);
    EXPECT_EQ(tcp.Output().find("request"), std::string::npos);
    ASSERT_TRUE(PumpUntil([&] { return !statuses.empty(); }));
    EXPECT_EQ(statuses.back(), J("再生しました: さくら (ninix-kagari)"));

    ninix.reset();
    sender->Enqueue(request);
    ASSERT_TRUE(PumpUntil([&] { return sender->QueueLength() == 0; }));
    ASSERT_TRUE(tcp.WaitFor("----"));
    EXPECT_NE(tcp.Output().find("SEND SSTP/1.4\r\nCharset: UTF-8\r\nSender:  さくら/C/Velmo "
                                "2\r\nReceiverGhostName: さくら\r\nSecurityLevel: "
                                "external\r\nIfGhost: さくら,ケロ\r\nScript: "
                                "\\h\\s0やあ\\-\\e\r\n\r\n"),
        std::string::npos)
        << tcp.Output();
    ASSERT_TRUE(PumpUntil([&] { return statuses.size() == 3; }));
    EXPECT_EQ(
        statuses.back(), J("再生しました: さくら (SSTP 127.0.0.1:") + std::to_string(port) + ")");
}

// Every play ends, on every route alike, and the status bar says how: delivered, refused
// (sent once, then dropped), or waiting on a busy or silent host (tried again at most once per
// retry interval, said once) until its time limit drops it. One test per route, so that the
// routes' time limits run side by side.
class EveryRouteTest : public DirectSstpTest, public testing::WithParamInterface<const char*>
{ };

TEST_P(EveryRouteTest, EndsEveryPlay)
{
    const char* dropped = "再生できませんでした: G: 2 秒以内に届けられませんでした";
    const struct
    {
        const char* status; // nullptr: a host that never answers
        std::vector<const char*> texts; // "{route}" stands for where it played
        size_t maxSends;
    } cases[] = {
        { "SSTP/1.4 200 OK", { "再生しました: G ({route})" }, 1 },
        { "SSTP/1.4 204 No Content", { "再生しました: G ({route})" }, 1 },
        { "SSTP/1.4 420 Refuse",
            { "再生できませんでした: G: ゴーストの設定で断られました (420 Refuse)" }, 1 },
        { "SSTP/1.4 512 Invisible",
            { "再生できませんでした: G: ゴーストが隠れていて話せません (512 Invisible)" }, 1 },
        { "SSTP/1.4 409 Conflict", { "再生待ち: G: 今は再生できません (409 Conflict)", dropped },
            4 },
        { nullptr, { "再生待ち: G: 応答がありません", dropped }, 2 },
    };
    const uint16_t port = FreePort();
    std::vector<std::string> where; // the stand-in host's arguments for the route
    std::string route = GetParam();
    if (route == "ninix-kagari") {
        where = { "--ninix", NinixSockets() };
    } else if (route == "SSTP") {
        where = { "--tcp", std::to_string(port) };
        route = "SSTP 127.0.0.1:" + std::to_string(port);
    }
    // Short limits, with no try so close to the deadline that its own time limits, cut to what is
    // left, end it before the host can answer.
    TPlayLimits limits;
    limits.GiveUpAfter = std::chrono::milliseconds(1200);
    limits.RetryEvery = std::chrono::milliseconds(400);
    limits.AnswerWait = std::chrono::milliseconds(250);
    for (const auto& c : cases) {
        Restart({ port }, limits);
        statuses.clear();
        std::vector<std::string> arguments = where;
        for (const std::string more : { "--ghost", "G,K" })
            arguments.push_back(more);
        arguments.push_back(c.status ? "--status" : "--silent");
        if (c.status)
            arguments.push_back(c.status);
        StandInHost host(arguments);
        ASSERT_TRUE(host.Ready()) << host.Output();
        sender->Enqueue(TPlayRequest { "G", "C", "S" });
        std::vector<std::string> expected;
        for (std::string text : c.texts) {
            if (const size_t at = text.find("{route}"); at != std::string::npos)
                text.replace(at, 7, route);
            expected.push_back(J(text));
        }
        if (route == "ninix-kagari" && c.status
            && std::string_view(c.status).find(" 204 ") != std::string_view::npos)
            expected = { J("再生できませんでした: G: ninix-kagari の SSTP の設定で、IfGhost "
                           "のないスクリプトの再生 (allowembryo) を許可してください (204 No "
                           "Content)") };
        const std::string label = route + " " + (c.status ? c.status : "silent");
        // The last status reaches the GUI thread after the queue has emptied.
        ASSERT_TRUE(PumpUntil([&] {
            return sender->QueueLength() == 0 && statuses.size() >= expected.size();
        })) << label;
        EXPECT_EQ(statuses, expected) << label;
        const size_t sends = host.RequestCount();
        EXPECT_GE(sends, 1u) << label;
        EXPECT_LE(sends, c.maxSends) << label;
    }
}

INSTANTIATE_TEST_SUITE_P(Routes, EveryRouteTest,
    testing::Values("Direct SSTP", "ninix-kagari", "SSTP"), [](const auto& info) {
        std::string name = info.param;
        std::erase(name, ' ');
        std::erase(name, '-');
        return name;
    });

// A ninix-kagari of the releases before 3.0 writes its directory on accepting and closes without
// reading GetFMO: the directory is read all the same, and the play goes at its first try.
TEST_F(DirectSstpTest, AnOldNinixKagariPlaysAtOnce)
{
    StandInHost host({ "--ninix", NinixSockets(), "--close-early", "--ghost", "G,K" });
    ASSERT_TRUE(host.Ready()) << host.Output();
    TNinixRoute route(-1);
    for (int i = 0; i < 50; ++i)
        ASSERT_EQ(
            route.Play(TPlayRequest { "G", "C", "S" }, "Velmo 2").Outcome, TPlayOutcome::Delivered)
            << i;
    sender->Enqueue(TPlayRequest { "G", "C", "S" });
    ASSERT_TRUE(PumpUntil([&] { return !statuses.empty(); }));
    EXPECT_EQ(statuses, std::vector<std::string> { J("再生しました: G (ninix-kagari)") });
}

// A ninix-kagari ghost that takes the request and never answers is busy: the request waits, and
// the program's end does not wait for the host.
TEST_F(DirectSstpTest, AHostThatNeverAnswers)
{
    StandInHost host({ "--ninix", NinixSockets(), "--ghost", "G,K", "--silent" });
    ASSERT_TRUE(host.Ready()) << host.Output();
    TNinixRoute route(-1, 300);
    const auto start = std::chrono::steady_clock::now();
    const TPlayResult result = route.Play(TPlayRequest { "G", "C", "S" }, "Velmo 2");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(result.Outcome, TPlayOutcome::Busy);
    EXPECT_EQ(result.Reason, J("応答がありません"));

    sender->Enqueue(TPlayRequest { "G", "C", "S" });
    ASSERT_TRUE(host.WaitFor("----"));
    sync->Detach();
    const auto end = std::chrono::steady_clock::now();
    sender.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - end, std::chrono::seconds(1));
}

} // namespace
