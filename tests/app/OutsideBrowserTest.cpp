#include "app/OutsideBrowser.h"

#include "TestSupport.h"
#include "platform/Errors.h"

namespace {

using Words = std::vector<std::string>;

TEST(OutsideBrowser, SplitsLikeAShell)
{
    const struct
    {
        std::string command;
        Words words;
    } cases[] = {
        { "firefox", { "firefox" } },
        { "  firefox   --new-tab ", { "firefox", "--new-tab" } },
        { "\"/opt/my browser/run\" -a", { "/opt/my browser/run", "-a" } },
        { "'/opt/my browser/run' '$HOME'", { "/opt/my browser/run", "$HOME" } },
        { "a\\ b c", { "a b", "c" } },
        { "\"x\\\"y\\\\z\\n\"", { "x\"y\\z\\n" } },
        { "pre\"mid dle\"post", { "premid dlepost" } },
        { "\"\" ''", { "", "" } },
        { "", {} },
    };
    for (const auto& c : cases)
        EXPECT_EQ(SplitCommandWords(c.command), c.words) << c.command;
}

TEST(OutsideBrowser, RejectsBrokenQuoting)
{
    for (const char* command : { "\"open", "'open", "end\\" })
        EXPECT_THROW(SplitCommandWords(command), EVelmoError) << command;
}

// Whatever the address holds, it is one argument and never reaches a shell.
TEST(OutsideBrowser, AddressIsOneArgument)
{
    const std::string address = "http://x/?a=1;rm -rf ~ $(id) `id` | cat \"q\" 'q'";
    EXPECT_EQ(BrowserArguments("\"/usr/bin/my browser\" --new", address),
        (Words { "/usr/bin/my browser", "--new", address }));
    EXPECT_EQ(BrowserArguments("", address), std::nullopt);
    EXPECT_EQ(BrowserArguments("   ", address), std::nullopt);
}

} // namespace
