#include "log/BottleServer.h"

#include "platform/Errors.h"

#include <gtest/gtest.h>

namespace {

TEST(BottleServer, ParsesHostAndPort)
{
    const struct
    {
        const char* value;
        const char* host;
        int port;
        const char* url;
    } cases[] = {
        { "bottle.example.org", "bottle.example.org", 80,
            "http://bottle.example.org/fetchlog.cgi" },
        { "127.0.0.1:18470", "127.0.0.1", 18470, "http://127.0.0.1:18470/fetchlog.cgi" },
        { "[::1]:8080", "[::1]", 8080, "http://[::1]:8080/fetchlog.cgi" },
        { "host:80", "host", 80, "http://host/fetchlog.cgi" },
    };
    for (const auto& c : cases) {
        const TBottleServer s = TBottleServer::Parse(c.value);
        EXPECT_EQ(s.Host(), c.host);
        EXPECT_EQ(s.Port(), c.port);
        EXPECT_EQ(s.Url("/fetchlog.cgi"), c.url);
    }
    EXPECT_EQ(TBottleServer::FromSetting("").Url("/"), "http://127.0.0.1:18470/");
}

TEST(BottleServer, RejectsWhatIsNotHostAndPort)
{
    for (const char* value : { "", ":80", "host:", "host:0", "host:65536", "host:+80", "host:x",
             "http://host", "host/path", "a b", "[::1", "[]:80", "host:80:81", "[::1]x" })
        EXPECT_THROW(TBottleServer::Parse(value), EVelmoError) << value;
}

} // namespace
