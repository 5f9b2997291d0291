#include "platform/QueueSynchronizer.h"

#include "TestSupport.h"

#include <atomic>

namespace {

// The GUI thread's event loop, until done() holds.
bool PumpUntil(TQueueSynchronizer& sync, const std::function<bool()>& done)
{
    return ::PumpUntil(
        { sync.WakeFd() }, [&] { sync.ProcessPending(); }, done);
}

TEST(QueueSynchronizer, RunsWorkerCallsOnTheGuiThreadWhileTheWorkerWaits)
{
    auto sync = std::make_shared<TQueueSynchronizer>();
    const auto gui = std::this_thread::get_id();
    std::thread::id ranOn;
    std::atomic<bool> workerPassed { false };
    bool ranBeforeWorkerWentOn = false;
    std::thread worker([&] {
        sync->Synchronize([&] {
            ranOn = std::this_thread::get_id();
            ranBeforeWorkerWentOn = !workerPassed;
        });
        workerPassed = true;
    });
    EXPECT_TRUE(PumpUntil(*sync, [&] { return workerPassed.load(); }));
    worker.join();
    EXPECT_EQ(ranOn, gui);
    EXPECT_TRUE(ranBeforeWorkerWentOn);
}

TEST(QueueSynchronizer, CallsFromTheGuiThreadRunAtOnceAndErrorsAreReported)
{
    std::vector<std::string> errors;
    TQueueSynchronizer sync([&](const std::string& e) { errors.push_back(e); });
    int runs = 0;
    sync.Synchronize([&] { ++runs; });
    sync.Synchronize([] { throw std::runtime_error("handler failed"); });
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(errors, std::vector<std::string> { "handler failed" });
}

// A call that opens a message box pumps events itself; a call arriving meanwhile waits until the
// first has finished, so handlers never run inside each other and keep their order.
TEST(QueueSynchronizer, ACallInsideANestedLoopWaitsForTheOneBefore)
{
    auto sync = std::make_shared<TQueueSynchronizer>();
    std::vector<std::string> order;
    std::thread second;
    std::thread first([&] {
        sync->Synchronize([&] {
            order.push_back("first begins");
            second = std::thread([&] { sync->Synchronize([&] { order.push_back("second"); }); });
            pollfd p { sync->WakeFd(), POLLIN, 0 };
            EXPECT_GT(::poll(&p, 1, 20000), 0);
            sync->ProcessPending(); // the message box's own loop
            order.push_back("first ends");
        });
    });
    EXPECT_TRUE(PumpUntil(*sync, [&] { return order.size() == 3; }));
    first.join();
    second.join();
    EXPECT_EQ(order, (std::vector<std::string> { "first begins", "first ends", "second" }));
}

// After the window has gone, a waiting worker is released without its call, and later calls
// never run: nothing can reach the destroyed window.
TEST(QueueSynchronizer, DetachReleasesWaitingWorkersAndDropsLaterCalls)
{
    auto sync = std::make_shared<TQueueSynchronizer>();
    std::atomic<int> runs { 0 };
    std::atomic<bool> released { false };
    std::thread waiting([sync, &runs, &released] {
        sync->Synchronize([&] { ++runs; });
        released = true;
    });
    pollfd p { sync->WakeFd(), POLLIN, 0 };
    ASSERT_GT(::poll(&p, 1, 20000), 0); // the call is queued
    sync->Detach();
    waiting.join();
    EXPECT_TRUE(released);
    std::thread later([sync, &runs] { sync->Synchronize([&] { ++runs; }); });
    later.join();
    sync->ProcessPending();
    sync->Synchronize([&] { ++runs; });
    EXPECT_EQ(runs, 0);
}

} // namespace
