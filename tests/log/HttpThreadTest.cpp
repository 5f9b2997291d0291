#include "log/HttpThread.h"

#include "TestSupport.h"
#include "platform/QueueSynchronizer.h"

#include <httplib.h>

#include <thread>

namespace {

class HttpThreadTest : public testing::Test
{
protected:
    httplib::Server server;
    std::thread serving;
    int port = 0;
    std::string lastMethod;
    std::string lastBody;
    std::string lastVersion;
    std::shared_ptr<TQueueSynchronizer> sync = std::make_shared<TQueueSynchronizer>();
    int successes = 0;
    int errors = 0;
    std::string response;
    std::string error;

    void SetUp() override
    {
        const auto remember = [this](const httplib::Request& req, httplib::Response& res) {
            lastMethod = req.method;
            lastBody = req.body;
            lastVersion = req.version;
            res.set_content("Result: OK\r\n", "text/plain");
        };
        server.Post("/bottle2.cgi", remember);
        server.Get("/bottle2.cgi", remember);
        port = server.bind_to_any_port("127.0.0.1");
        serving = std::thread([this] { server.listen_after_bind(); });
    }
    void TearDown() override
    {
        server.stop();
        serving.join();
    }
    void Start(const std::string& endpoint, const std::string& body, bool handlers = true)
    {
        auto* thread
            = new THTTPDownloadThread(TBottleServer::Parse(endpoint), "/bottle2.cgi", body, sync);
        if (handlers) {
            thread->SetOnSuccess([this](THTTPDownloadThread& t) {
                ++successes;
                response = t.ResponseText;
            });
            thread->SetOnError([this](THTTPDownloadThread& t) {
                ++errors;
                error = t.ErrorMessage;
            });
        }
        thread->Resume();
    }
    // The GUI thread's loop, until a handler has run, or until no request holds the synchroniser
    // any more (it ended without running one).
    void Pump()
    {
        PumpUntil(
            { sync->WakeFd() }, [this] { sync->ProcessPending(); },
            [this] { return successes + errors > 0 || sync.use_count() == 1; });
    }
    std::string Local() const { return "127.0.0.1:" + std::to_string(port); }
};

TEST_F(HttpThreadTest, PostAnsweredRunsOnSuccessOnce)
{
    Start(Local(), "Command:%20voteMessage%0D%0A");
    Pump();
    EXPECT_EQ(successes, 1);
    EXPECT_EQ(errors, 0);
    EXPECT_EQ(response, "Result: OK\r\n");
    EXPECT_EQ(lastMethod, "POST");
    EXPECT_EQ(lastVersion, "HTTP/1.0");
    EXPECT_EQ(lastBody, "Command:%20voteMessage%0D%0A");
}

TEST_F(HttpThreadTest, EmptyBodyIsAGet)
{
    Start(Local(), "");
    Pump();
    EXPECT_EQ(successes, 1);
    EXPECT_EQ(lastMethod, "GET");
}

TEST_F(HttpThreadTest, FailuresRunOnErrorOnceWithTheMessage)
{
    for (const std::string endpoint : { "no-such-host.invalid", "127.0.0.1:1" }) {
        successes = errors = 0;
        Start(endpoint, "x");
        Pump();
        EXPECT_EQ(errors, 1) << endpoint;
        EXPECT_EQ(successes, 0) << endpoint;
        EXPECT_FALSE(error.empty());
    }
}

TEST_F(HttpThreadTest, NoHandlersNothingHappens)
{
    Start(Local(), "x", false);
    Pump();
    EXPECT_EQ(sync.use_count(), 1); // the request has ended
    EXPECT_EQ(successes + errors, 0);
    EXPECT_EQ(lastBody, "x");
}

} // namespace
