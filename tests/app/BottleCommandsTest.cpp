#include "app/BottleCommands.h"

#include "TestSupport.h"
#include "platform/Errors.h"

namespace {

TEST(BottleCommands, EncodesByTheByteTable)
{
    const struct
    {
        std::string text;
        std::string encoded;
    } cases[] = {
        { " ", "%20" },
        { "+", "%2B" },
        { "\r\n", "%0D%0A" },
        { ":=&?/abcXYZ09-~", ":=&?/abcXYZ09-~" },
        { "#%*<>[]", "%23%25%2A%3C%3E%5B%5D" },
        { std::string("\x00\x1F\x21\x7F\x80\x81\xFF", 7), "%00%1F!\x7F\x80%81%FF" },
        // ソ is 0x83 0x5C: the lead byte is encoded, the trail byte (92) is copied.
        { J("ソ"), "%83\\" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(EncodeRequestText(c.text), c.encoded) << testing::PrintToString(c.text);
}

TEST(BottleCommands, VoteBodyForMid123)
{
    const std::string text = VoteRequestText("Vote", "my-luid", "123");
    EXPECT_EQ(text, "Command: voteMessage\r\nVoteType: Vote\r\nLUID: my-luid\r\nMID: 123\r\n");
    EXPECT_EQ(EncodeRequestText(text),
        "Command:%20voteMessage%0D%0AVoteType:%20Vote%0D%0ALUID:%20my-luid%0D%0AMID:%20123%0D%0A");
    EXPECT_EQ(VoteRequestText("Agree", "l", ""),
        "Command: voteMessage\r\nVoteType: Agree\r\nLUID: l\r\nMID: \r\n");
}

TEST(BottleCommands, AnswersTellTheUser)
{
    const std::string failed = J("SSTP Bottleサーバとの接続に失敗しました");
    const struct
    {
        const char* name;
        std::string answer;
        std::vector<TNotice> notices;
    } cases[] = {
        { "ErrWithMessage", "Result: Err\r\nExtraMessage: no such message\r\n",
            { { 1, J("SSTP Bottleサーバが次のエラーを返しました:\r\n") + "no such message" } } },
        { "ErrWithoutMessage", "Result: Err\r\n",
            { { 1, J("SSTP Bottleサーバが何らかのエラーを返しました。") } } },
        { "ErrWithTip", "Result: Err\r\nExtraTip: see you\r\n",
            { { 1, J("SSTP Bottleサーバが何らかのエラーを返しました。") }, { 0, "see you" } } },
        { "OkWithTip", "Result: OK\r\nExtraTip: thanks\r\n", { { 0, "thanks" } } },
        { "Ok", "Result: OK\r\nVotes: 3\r\n", {} },
        { "NoResultLine", "Votes: 3\r\n", {} },
        { "LowerCaseErrIsNotAnError", "Result: err\r\n", {} },
        { "Unreadable", "<html>502 Bad Gateway</html>",
            { { 1, J("SSTP Bottleサーバが解析できないエラーを返しました。") } } },
        { "Empty", "", { { 1, J("SSTP Bottleサーバが解析できないエラーを返しました。") } } },
        // A server's text is cut to what a box can show.
        { "HugeMessage", "Result: Err\r\nExtraMessage: " + std::string(3000, 'x') + "\r\n",
            { { 1,
                J("SSTP Bottleサーバが次のエラーを返しました:\r\n") + std::string(2000, 'x')
                    + "\r\n" + J("(以下 1000 バイトを省略しました)") } } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(VoteAnswerNotices(c.answer), c.notices);
    }
    EXPECT_EQ(VoteFailureNotices("Couldn't connect"),
        (std::vector<TNotice> { { 2, failed }, { 0, failed + "\r\nCouldn't connect" } }));
}

TEST(BottleCommands, LinksAndTheirIndexes)
{
    const struct
    {
        std::string url;
        TLinkCommand command;
        int index;
    } cases[] = {
        { "http://velmovote.3", TLinkCommand::Vote, 3 },
        { "http://velmovote.3/", TLinkCommand::Vote, 3 },
        { "http://velmoagree.0/", TLinkCommand::Agree, 0 },
        { "http://velmoplay.12", TLinkCommand::Play, 12 },
        { "http://velmostart.demo", TLinkCommand::Start, -1 },
        { "x http://velmovote.7", TLinkCommand::Vote, -1 }, // a vote link, but "x 7" is no index
        { "http://example.org/", TLinkCommand::WebAddress, -1 },
        { "https://example.org/", TLinkCommand::None, -1 },
        { "file:///tmp/long2.html", TLinkCommand::None, -1 },
        { "HTTP://VELMOVOTE.3", TLinkCommand::None, -1 },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ClassifyLink(c.url), c.command) << c.url;
        if (c.index >= 0) {
            EXPECT_EQ(LinkIndex(c.url, c.command), c.index) << c.url;
        }
    }
    EXPECT_THROW(LinkIndex("http://velmovote.x/", TLinkCommand::Vote), EConvertError);
    EXPECT_THROW(LinkIndex("x http://velmovote.7", TLinkCommand::Vote), EConvertError);
    EXPECT_EQ(LinkIndex("http://velmovote.3/4", TLinkCommand::Vote), 34); // only the first "/" goes
    EXPECT_EQ(StartCommandWord("http://velmostart.server/"), "server");
    EXPECT_EQ(StartCommandWord("x http://velmostart.demo"), "");
}

// Pages from the web may hold command links and frames, refreshes and redirects to them: only
// a person's click on the program's own page runs a command, and only web addresses leave.
TEST(BottleCommands, LinkActionsByOrigin)
{
    using O = TNavigationOrigin;
    using A = TLinkAction;
    const struct
    {
        std::string url;
        A ownClick, linkClick, programLoad, other;
    } cases[] = {
        { "http://velmovote.3", A::RunCommand, A::Refuse, A::Refuse, A::Refuse },
        { "http://velmoplay.0/", A::RunCommand, A::Refuse, A::Refuse, A::Refuse },
        { "http://velmostart.demo", A::RunCommand, A::Refuse, A::Refuse, A::Refuse },
        { "HTTPS://VelmoStart.demo/", A::Refuse, A::Refuse, A::Refuse, A::Refuse },
        // The engine's own spellings of a command address.
        { "http://velmovote./12", A::RunCommand, A::Refuse, A::Refuse, A::Refuse },
        { "HTTP://VELMOAGREE.3", A::Refuse, A::Refuse, A::Refuse, A::Refuse },
        { "https://velmoplay.1/", A::Refuse, A::Refuse, A::Refuse, A::Refuse },
        { "http://example.org/", A::OpenOutside, A::OpenOutside, A::Show, A::Refuse },
        { "https://example.org/caf%C3%A9", A::Show, A::Show, A::Show, A::Show },
        { "https://example.org/?u=http://x", A::OpenOutside, A::OpenOutside, A::Refuse, A::Refuse },
        // Holding "http://" does not make an address a web address.
        { "file:///etc/hostname?http://x", A::Refuse, A::Refuse, A::Refuse, A::Refuse },
        { "foo-scheme://bar/?x=http://y", A::Refuse, A::Refuse, A::Refuse, A::Refuse },
        { "file:///tmp/long2.html", A::Show, A::Show, A::Show, A::Show },
        { "about:blank", A::Show, A::Show, A::Show, A::Show },
        { "mailto:a@example.org", A::Refuse, A::Refuse, A::Refuse, A::Refuse },
        { "javascript:alert(1)", A::Refuse, A::Refuse, A::Refuse, A::Refuse },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        EXPECT_EQ(LinkActionFor(c.url, O::OwnPageClick), c.ownClick);
        EXPECT_EQ(LinkActionFor(c.url, O::LinkClick), c.linkClick);
        EXPECT_EQ(LinkActionFor(c.url, O::ProgramLoad), c.programLoad);
        EXPECT_EQ(LinkActionFor(c.url, O::Other), c.other);
    }
}

} // namespace
