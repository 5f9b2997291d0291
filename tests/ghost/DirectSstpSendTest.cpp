#include "ghost/DirectSstpSend.h"

#include "GhostSupport.h"
#include "log/BottleMessage.h"
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
    std::unique_ptr<TDirectSSTP> sender;

    void SetUp() override
    {
        SstpTest::SetUp();
        sync = std::make_shared<TQueueSynchronizer>();
        sender = std::make_unique<TDirectSSTP>(sync, [this] { return fmoNames; });
    }
    void TearDown() override
    {
        sync->Detach();
        sender.reset();
        SstpTest::TearDown();
    }
    // The GUI thread's loop: synchronised calls and the reply window, until done() or 15 s.
    bool PumpUntil(const std::function<bool()>& done)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            pollfd fds[2] = { { sync->WakeFd(), POLLIN, 0 }, { sender->ReplyFd(), POLLIN, 0 } };
            if (::poll(fds, 2, 20) > 0) {
                sync->ProcessPending();
                sender->ProcessReplies();
            }
        }
        return true;
    }
    void PumpFor(std::chrono::milliseconds time)
    {
        const auto until = std::chrono::steady_clock::now() + time;
        PumpUntil([&] { return std::chrono::steady_clock::now() > until; });
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
    TBottleMessage message;
    message.Ghost = "G";
    message.Channel = "C";
    message.Script = "\\h\\s0S\\e";
    sender->Enqueue(message);
    message.Script = "changed after the play command";
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

// A 1 MiB script is delivered whole; a larger one is refused at once and never blocks the queue.
TEST_F(DirectSstpTest, ScriptsUpToOneMebibyteAreDelivered)
{
    FakeGhost ghost;
    Publish("Sakura", Directory("g", ghost.Handle(), "G", "K"));
    EXPECT_THROW(
        sender->Enqueue(TPlayRequest { "G", "C", std::string((1 << 20) + 1, 's') }), EVelmoError);
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

// Only "SSTP/1.4 200 OK" at the start of an answer completes a request; until then it is sent
// again, and the requests behind it wait.
TEST_F(DirectSstpTest, OnlyOkCompletesAndOrderIsKept)
{
    FakeGhost ghost("SSTP/1.4 500 Internal Server Error\r\n\r\n");
    Publish("Sakura", Directory("g", ghost.Handle(), "G", "K"));
    sender->Enqueue(TPlayRequest { "G", "C", "first" });
    sender->Enqueue(TPlayRequest { "G", "C", "second" });
    ASSERT_TRUE(PumpUntil([&] { return ghost.Requests().size() >= 3; }));
    for (const auto& r : ghost.Requests())
        EXPECT_NE(r.data.find("Script: first\r\n"), std::string::npos);
    EXPECT_EQ(sender->QueueLength(), 2u);
    ghost.SetAnswer("SSTP/1.4 200 OK\r\nCharset: Shift_JIS\r\nMore: lines\r\n\r\n");
    ASSERT_TRUE(PumpUntil([&] { return sender->QueueLength() == 0; }));
    const auto requests = ghost.Requests();
    EXPECT_NE(requests.back().data.find("Script: second\r\n"), std::string::npos);
    EXPECT_NE(requests[requests.size() - 2].data.find("Script: first\r\n"), std::string::npos);
}

TEST_F(DirectSstpTest, NothingIsSentUntilAHostPublishesAGhost)
{
    sender->Enqueue(TPlayRequest { "G", "C", "waiting" });
    PumpFor(std::chrono::milliseconds(400));
    EXPECT_EQ(sender->QueueLength(), 1u);
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
    PumpFor(std::chrono::milliseconds(300));
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
    PumpFor(std::chrono::milliseconds(3500));
    EXPECT_TRUE(ghost.Requests().empty());
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    ASSERT_TRUE(PumpUntil([&] { return sender->QueueLength() == 0; }));
}

// A ghost that takes the request and never answers: destroying the sender does not wait out the
// 50-second limit.
// Program end never waits on a ghost host: not on a window that is never serviced, nor on a host
// that holds its directory's lock for good.
TEST_F(DirectSstpTest, DestructionDoesNotWaitForAHungGhost)
{
    auto hung = TWindow::Create([](const TWindowMessage&) { return 0; }); // never processed
    Publish("Sakura", Directory("g", hung->Handle(), "G", "K"));
    for (const bool lockHeld : { false, true }) {
        sync = std::make_shared<TQueueSynchronizer>();
        sender = std::make_unique<TDirectSSTP>(sync, [this] { return fmoNames; });
        auto lock = TNamedLock::Open("SakuraFMO");
        ASSERT_TRUE(!lockHeld || lock->Wait(0));
        sender->Enqueue(TPlayRequest { "G", "C", "S" });
        PumpFor(std::chrono::milliseconds(500));
        sync->Detach();
        const auto start = std::chrono::steady_clock::now();
        sender.reset();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << lockHeld;
    }
}

} // namespace
