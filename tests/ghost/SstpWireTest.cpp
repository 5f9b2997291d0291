#include "ghost/SstpWire.h"

#include "TestSupport.h"
#include "ghost/SakuraSeeker.h"
#include "platform/StreamSocket.h"

#include <climits>

namespace {

std::string NativeLength(uint32_t n)
{
    return std::string(reinterpret_cast<const char*>(&n), sizeof n);
}

TEST(SstpWire, RequestTexts)
{
    const TPlayRequest request { J("さくら"), J("チャンネル"), J("\\h\\s0やあ\\-\\e") };
    EXPECT_EQ(NinixSendText(request, "Velmo 2"),
        "SEND SSTP/1.4\r\nCharset: UTF-8\r\nSender:  さくら/チャンネル/Velmo 2\r\n"
        "Script: \\h\\s0やあ\\e\r\n\r\n");
    TSakuraSeeker directory;
    directory.ParseDirectory("id.name\x01さくら\r\nid.keroname\x01うにゅう\r\n", "tcp");
    EXPECT_EQ(TcpSendText(request, "Velmo 2", directory.Processes(0)),
        "SEND SSTP/1.4\r\nCharset: UTF-8\r\nSender:  さくら/チャンネル/Velmo 2\r\n"
        "ReceiverGhostName: さくら\r\nSecurityLevel: external\r\nIfGhost: さくら,うにゅう\r\n"
        "Script: \\h\\s0やあ\\-\\e\r\n\r\n");
    EXPECT_EQ(GetFmoText("Velmo 2"),
        "EXECUTE SSTP/1.1\r\nCharset: UTF-8\r\nSender: Velmo 2\r\nCommand: GetFMO\r\n\r\n");
}

TEST(SstpWire, RemoveRefusedTags)
{
    const struct
    {
        const char* script;
        const char* kept;
    } cases[] = {
        { "\\h\\s0hi\\-", "\\h\\s0hi" }, { "\\![raise,OnX]a\\!b", "ab" },
        { "\\j[#id]\\j[http://x/]\\8[a.wav]\\_v[b.wav]\\C\\+\\_+z", "z" },
        { "\\__v[keep]\\_w[5]\\\\j\\\\-\\%\\q[a,b]", "\\__v[keep]\\_w[5]\\\\j\\\\-\\%\\q[a,b]" },
        { "\\![open unclosed", "[open unclosed" },
        { "\x95\\j \x81\\-", "\x95\\j \x81\\-" }, // a trail byte 0x5C is no backslash
        { "100% \\", "100% \\" },
        { "\\_\\j[a]v[b.wav]\\_\\_\\-+\\_s", "v[b.wav]+\\_s" }, // no refused tag by joining
    };
    for (const auto& c : cases)
        EXPECT_EQ(RemoveRefusedTags(c.script), c.kept) << c.script;
}

TEST(SstpWire, StatusAndCompleteness)
{
    const struct
    {
        const char* answer;
        int code; // 0: no status line
        const char* reason;
        bool headers;
        bool execute;
    } cases[] = {
        { "SSTP/1.4 200 OK\r\nCharset: UTF-8\r\n\r\n", 200, "OK", true, false },
        { "SSTP/1.1 200 OK\r\na.name\x01x\r\n\r\n", 200, "OK", true, true },
        { "SSTP/1.1 200 OK\r\nCharset: UTF-8\r\n\r\na.name\x01x\r\n", 200, "OK", true, false },
        { "SSTP/1.1 200 OK\r\n\r\n\r\n", 200, "OK", true, true },
        { "SSTP/1.4 512 Invisible\n\n", 512, "Invisible", true, true },
        { "SSTP/1.4 204 No Content\r\n", 204, "No Content", false, false },
        { "SSTP/1.4 404\r\n\r\n", 404, "", true, true },
        { "SSTP/1.4 20x OK\r\n\r\n", 0, "", true, true },
        { "SSTP/1.4 2000 OK\r\n\r\n", 0, "", true, true },
        { "HTTP/1.1 200 OK\r\n\r\n", 0, "", true, true },
        { "SSTP/1.4 409 \x1b[2JConflict\r\n\r\n", 409, "[2JConflict", true, true },
        { "", 0, "", false, false },
    };
    for (const auto& c : cases) {
        const auto status = ParseSstpStatus(c.answer);
        EXPECT_EQ(status ? status->Code : 0, c.code) << c.answer;
        EXPECT_EQ(status ? status->Reason : "", c.reason) << c.answer;
        EXPECT_EQ(SstpHeadersComplete(c.answer), c.headers) << c.answer;
        EXPECT_EQ(SstpExecuteComplete(c.answer), c.execute) << c.answer;
    }
}

TEST(SstpWire, DirectoryAnswers)
{
    const std::string text = "u.name\x01"
                             "A\r\nu.keroname\x01"
                             "B\r\n\r\n";
    const struct
    {
        std::string answer;
        std::optional<std::string> ninix;
    } ninix[] = {
        { NativeLength(uint32_t(text.size() + 1)) + text + '\0', text },
        { NativeLength(uint32_t(text.size())) + text, text }, // no NUL
        { NativeLength(uint32_t(text.size() + 10)) + text + '\0', std::nullopt }, // short
        { "\x05\x00", std::nullopt },
        { NativeLength(0xFFFFFFFFu), std::nullopt },
    };
    for (const auto& c : ninix)
        EXPECT_EQ(NinixDirectoryText(c.answer), c.ninix);

    const struct
    {
        std::string answer;
        std::optional<std::string> tcp;
    } tcp[] = {
        { "SSTP/1.1 200 OK\r\nu.name\x01"
          "A\r\n\r\nafter.name\x01x\r\n",
            "u.name\x01"
            "A\r\n" },
        { "SSTP/1.1 200 OK\r\nCharset: Shift_JIS\r\n\r\nu.name\x01" + J("さくら") + "\r\n\r\n",
            "u.name\x01さくら\r\n" },
        { "SSTP/1.1 501 Not Implemented\r\n\r\n", std::nullopt }, { "SSTP/1.1 200 OK\r\n\r\n", "" },
        { "garbage", std::nullopt },
        { std::string("SSTP/1.1 200 OK\r\nu.name\x01"
                      "A\0B\r\n\r\n",
              31),
            "" }, // ends at a NUL
    };
    for (const auto& c : tcp)
        EXPECT_EQ(TcpDirectoryText(c.answer), c.tcp) << c.answer;

    const auto shm = [](uint32_t size, const std::string& path) {
        std::string block = NativeLength(size) + std::string(36, '\0') + path;
        block.resize(40 + PATH_MAX, '\0');
        return block;
    };
    EXPECT_EQ(NinixShmSocketFolder(shm(20, "/home/u/.ninix/sock/")), "/home/u/.ninix/sock");
    EXPECT_EQ(NinixShmSocketFolder(shm(5, "/home/u/.ninix/sock/")), "/home");
    EXPECT_EQ(NinixShmSocketFolder(shm(4, "sock")), std::nullopt);
    EXPECT_EQ(NinixShmSocketFolder(shm(PATH_MAX + 1, "/x")), std::nullopt);
    EXPECT_EQ(NinixShmSocketFolder(std::string(20, '\0')), std::nullopt);
}

TEST(SstpWire, AnswerOutcomes)
{
    using O = TPlayOutcome;
    const struct
    {
        TExchangeStatus status;
        const char* answer;
        O ninix;
        O tcp;
    } cases[] = {
        { TExchangeStatus::Answered, "SSTP/1.4 200 OK\r\n\r\n", O::Delivered, O::Delivered },
        { TExchangeStatus::Answered, "SSTP/1.4 204 No Content\r\n\r\n", O::Refused, O::Delivered },
        { TExchangeStatus::Answered, "SSTP/1.4 210 Break\r\n\r\n", O::Delivered, O::Delivered },
        { TExchangeStatus::Answered, "SSTP/1.4 400 Bad Request\r\n\r\n", O::Refused, O::Refused },
        { TExchangeStatus::Answered, "SSTP/1.4 404 Not Found\r\n\r\n", O::Refused, O::Refused },
        { TExchangeStatus::Answered, "SSTP/1.4 420 Refuse\r\n\r\n", O::Refused, O::Refused },
        { TExchangeStatus::Answered, "SSTP/1.4 501 Not Implemented\r\n", O::Refused, O::Refused },
        { TExchangeStatus::Answered, "SSTP/1.4 409 Conflict\r\n\r\n", O::Busy, O::Busy },
        { TExchangeStatus::Answered, "SSTP/1.4 503 Service Unavailable\r\n\r\n", O::Busy, O::Busy },
        { TExchangeStatus::Answered, "SSTP/1.4 512 Invisible\r\n\r\n", O::Refused, O::Refused },
        { TExchangeStatus::Answered, "SSTP/1.4 500 Internal Server Error\r\n\r\n", O::Refused,
            O::Refused },
        { TExchangeStatus::Answered, "", O::Refused, O::Refused }, // closed with no answer
        { TExchangeStatus::NoAnswer, "", O::Busy, O::Busy },
        { TExchangeStatus::NoAnswer, "SSTP/1.4 200 OK\r\n", O::Delivered, O::Delivered },
        { TExchangeStatus::NoPeer, "", O::NoHost, O::NoHost },
        { TExchangeStatus::Cancelled, "", O::NoHost, O::NoHost },
    };
    for (const auto& c : cases) {
        TExchangeResult exchange { c.status, c.answer, true };
        EXPECT_EQ(AnswerResult(exchange, THostKind::Ninix, "G").Outcome, c.ninix) << c.answer;
        EXPECT_EQ(AnswerResult(exchange, THostKind::Tcp, "G").Outcome, c.tcp) << c.answer;
        // A window message's answer is read as a loopback host's.
        if (c.status == TExchangeStatus::Answered) {
            EXPECT_EQ(
                AnswerResult(std::string_view(c.answer), THostKind::Window, "G").Outcome, c.tcp)
                << c.answer;
        }
    }
    const TExchangeResult off { TExchangeStatus::Answered, "SSTP/1.4 204 No Content\r\n\r\n" };
    EXPECT_NE(
        AnswerResult(off, THostKind::Ninix, "G").Reason.find("allowembryo"), std::string::npos);
}

} // namespace
