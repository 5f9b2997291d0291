#include "tools/bottleserver/BottleHttpServer.h"

#include "TestSupport.h"
#include "platform/FileDescriptor.h"
#include "platform/StreamSocket.h"

#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>

namespace {

class BottleHttpServerTest : public testing::Test
{
protected:
    void SetUp() override
    {
        core_.SetLog("20261208100000\tm1\tch\tghost\t1\t2\t3\t\\h\\s0hello\r\n");
        port_ = server_.Bind(0);
        ASSERT_GT(port_, 0);
        thread_ = std::thread([this] { server_.Run(); });
    }
    void TearDown() override
    {
        server_.Stop();
        thread_.join();
    }

    // The status code and body of the server's answer to a raw request.
    std::pair<int, std::string> Ask(const std::string& request)
    {
        TExchangeLimits limits;
        limits.timeoutMs = 10000;
        const TExchangeResult result
            = ExchangeLoopback(static_cast<uint16_t>(port_), request, limits);
        const size_t body = result.answer.find("\r\n\r\n");
        if (result.status != TExchangeStatus::Answered || body == std::string::npos)
            return { 0, result.answer };
        return { std::atoi(result.answer.substr(9, 3).c_str()), result.answer.substr(body + 4) };
    }

    TBottleServerCore core_;
    TBottleHttpServer server_ { core_, "" };
    int port_ = -1;
    std::thread thread_;
};

std::string Post(const std::string& headers, const std::string& body)
{
    return "POST /bottle2.cgi HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" + headers
        + "\r\n" + body;
}

// A body past the limit is refused with the server's usual "Result: Err" answer, and one that
// only declares such a length is refused without waiting for (or reading) any of it.
TEST_F(BottleHttpServerTest, RefusesBodiesPastTheLimit)
{
    const std::string vote
        = "Command:%20voteMessage%0D%0AVoteType:%20Vote%0D%0ALUID:%20me%0D%0AMID:%20m1%0D%0A";
    const std::string big(TBottleHttpServer::kMaxBody + 1, 'x');
    char chunk[32];
    std::snprintf(chunk, sizeof chunk, "%zx\r\n", big.size());
    const std::string tooLong
        = TBottleServerCore::ErrorAnswer(J("本文が長すぎます (上限 65536 バイト)"));
    const struct
    {
        const char* name;
        std::string request;
        int status;
        std::string body; // the answer's body starts with this
    } cases[] = {
        { "vote", Post("Content-Length: " + std::to_string(vote.size()) + "\r\n", vote), 200,
            "Result: OK\r\nVotes: 1\r\nAgrees: 0\r\n" },
        { "2 GiB declared, none sent", Post("Content-Length: 2147483648\r\n", ""), 413, tooLong },
        { "one byte too many", Post("Content-Length: 65537\r\n", big), 413, tooLong },
        { "chunked", Post("Transfer-Encoding: chunked\r\n", chunk + big + "\r\n0\r\n\r\n"), 413,
            tooLong },
        { "compressed", Post("Content-Encoding: gzip\r\nContent-Length: 4\r\n", "abcd"), 415,
            TBottleServerCore::ErrorAnswer(J("圧縮された本文は受け付けません")) },
        { "length not a number", Post("Content-Length: -1\r\n", ""), 400,
            TBottleServerCore::ErrorAnswer(J("Content-Length が読めません")) },
        { "fetch", "GET /fetchlog.cgi?recent=60 HTTP/1.1\r\nConnection: close\r\n\r\n", 200,
            "Result: OK\r\n" },
    };
    for (const auto& c : cases) {
        const auto [status, body] = Ask(c.request);
        EXPECT_EQ(status, c.status) << c.name;
        EXPECT_TRUE(body.starts_with(c.body)) << c.name << ": " << body;
    }
    EXPECT_EQ(core_.Votes("m1"), 1);
}

// Clients that trickle a byte now and then hold a worker each; the server still answers others.
TEST_F(BottleHttpServerTest, AnswersWhileSlowClientsHoldConnections)
{
    std::vector<TFileDescriptor> slow;
    for (int i = 0; i < 64; ++i) {
        TFileDescriptor fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port_));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ASSERT_GT(::send(fd.get(), "POST /bottle2.cgi HTTP/1.1\r\n", 28, MSG_NOSIGNAL), 0);
        slow.push_back(std::move(fd));
    }
    std::atomic<int> rounds { 0 };
    std::atomic<bool> done { false };
    std::thread trickle([&] {
        while (!done) {
            for (const TFileDescriptor& fd : slow)
                ::send(fd.get(), "X", 1, MSG_NOSIGNAL | MSG_DONTWAIT);
            ++rounds;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    EXPECT_TRUE(WaitFor([&] { return rounds >= 3; }));
    const auto [status, body]
        = Ask("GET /fetchlog.cgi?recent=60 HTTP/1.1\r\nConnection: close\r\n\r\n");
    done = true;
    trickle.join();
    EXPECT_EQ(status, 200);
    EXPECT_TRUE(body.starts_with("Result: OK\r\n")) << body;
}

} // namespace
