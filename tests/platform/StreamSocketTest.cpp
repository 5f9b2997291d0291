#include "platform/StreamSocket.h"

#include "TestSupport.h"
#include "platform/FileDescriptor.h"
#include "platform/FileIO.h"

#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>

namespace {

// A peer that writes its answer on accepting and closes without reading: a request too large
// for the socket's buffers cannot all go out, its write fails, and what the peer wrote is still
// the answer. A peer that wrote nothing acted on nothing.
TEST(StreamSocket, APeerThatClosesBeforeReadingStillAnswers)
{
    TempDir dir;
    const std::string path = (dir.Native() / "peer").string();
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const TFileDescriptor listening(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    ASSERT_EQ(
        ::bind(listening.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listening.get(), 4), 0);
    const std::string request(8 << 20, 'x');
    for (const std::string answer : { "directory\r\n", "" }) {
        std::thread peer([&] {
            const TFileDescriptor connection(::accept(listening.get(), nullptr, nullptr));
            WriteAll(connection.get(), answer);
        });
        const TExchangeResult result = ExchangeUnix(path, request, { 10000, 1 << 20, -1, {} });
        peer.join();
        EXPECT_EQ(
            result.status, answer.empty() ? TExchangeStatus::NoPeer : TExchangeStatus::Answered);
        EXPECT_EQ(result.answer, answer);
        EXPECT_FALSE(result.sent);
    }
}

} // namespace
