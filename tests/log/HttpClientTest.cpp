#include "log/HttpClient.h"

#include "platform/Encoding.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <thread>

namespace {

// A real HTTP server on loopback that remembers the last request.
class Loopback
{
public:
    Loopback()
    {
        server_.Get("/log", [this](const httplib::Request& req, httplib::Response& res) {
            last_ = req;
            res.set_content(std::string("Result: OK\r\n\x83\x5C\0end", 17), "text/plain");
        });
        server_.Post("/post", [this](const httplib::Request& req, httplib::Response& res) {
            last_ = req;
            res.set_content("Result: OK\r\n", "text/plain");
        });
        server_.Get("/big", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(std::string(64 * 1024, 'b'), "text/plain");
        });
        // One byte every 100 ms until the client goes away.
        server_.Get("/slow", [](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("text/plain", [](size_t, httplib::DataSink& sink) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                return sink.write("s", 1);
            });
        });
        server_.Get(
            "/missing", [](const httplib::Request&, httplib::Response& res) { res.status = 404; });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
    }
    ~Loopback()
    {
        server_.stop();
        thread_.join();
    }
    std::string Url(const std::string& path) const
    {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    httplib::Request last_;

private:
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
};

TEST(HttpClient, GetSendsTheClientHeadersAndKeepsTheBytes)
{
    Loopback server;
    EXPECT_EQ(THttpClient::Get(server.Url("/log?recent=30")),
        std::string("Result: OK\r\n\x83\x5C\0end", 17));
    EXPECT_EQ(server.last_.target, "/log?recent=30");
    EXPECT_EQ(server.last_.get_header_value("Accept"), "text/html, */*");
    EXPECT_EQ(
        server.last_.get_header_value("User-Agent"), "Mozilla/3.0 (compatible; Indy Library)");
}

TEST(HttpClient, PostIsHttp10WithTheBodyAsItIsAndNoContentType)
{
    Loopback server;
    const std::string body = "Command:%20voteMessage%0D%0A\x83\x5C";
    EXPECT_EQ(THttpClient::Post(server.Url("/post"), body), "Result: OK\r\n");
    EXPECT_EQ(server.last_.version, "HTTP/1.0");
    EXPECT_EQ(server.last_.body, body);
    EXPECT_FALSE(server.last_.has_header("Content-Type"));
    EXPECT_EQ(
        server.last_.get_header_value("User-Agent"), "Mozilla/3.0 (compatible; Indy Library)");
}

TEST(HttpClient, FailuresSayWhatFailed)
{
    Loopback server;
    // In Japanese, where and why, with the technical cause after it.
    const struct
    {
        std::string url;
        std::string prefix;
    } failed[] = {
        { server.Url("/missing"), Sjis("サーバーがエラーを返しました (HTTP 404 Not Found)") },
        { "http://127.0.0.1:1/fetchlog.cgi",
            Sjis("サーバーに接続できません (127.0.0.1:1): Connection refused") },
        { "http://no-such-host.invalid/fetchlog.cgi",
            Sjis("サーバーの名前が見つかりません (no-such-host.invalid): ") },
    };
    for (const auto& c : failed) {
        try {
            THttpClient::Get(c.url);
            ADD_FAILURE() << c.url;
        } catch (const EHttpError& e) {
            EXPECT_EQ(std::string(e.what()).substr(0, c.prefix.size()), c.prefix) << e.what();
        }
    }
    // Our own limits: a body too large, a server that never finishes.
    const struct
    {
        const char* path;
        THttpLimits limits;
        std::string message;
    } stopped[] = {
        { "/big", { 300, 1024, {} },
            Sjis("サーバーの応答が 1024 バイト を超えたので、受信を中止しました") },
        { "/slow", { 1, 1 << 20, {} },
            Sjis("サーバーの応答が 1 秒以内に終わらなかったので、受信を中止しました") },
    };
    for (const auto& c : stopped) {
        try {
            THttpClient::Get(server.Url(c.path), c.limits);
            ADD_FAILURE() << c.path;
        } catch (const EHttpError& e) {
            EXPECT_EQ(e.what(), c.message) << c.path;
        }
    }
    EXPECT_EQ(THttpClient::Get(server.Url("/big"), { 300, 64 * 1024, {} }).size(), 64u * 1024);
}

} // namespace
