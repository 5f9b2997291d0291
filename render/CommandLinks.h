#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The command links of the pages: the one place that knows their addresses. The page writer
// writes them into each message's header, link recognition reads them back, and the view's click
// hook takes its pattern from here, so the three can never disagree.

// A link the viewer acts on instead of the browser.
enum class TLinkCommand {
    Vote,
    Agree,
    Play,
    Start, // one of the start page's own commands ("http://velmostart.demo" and its siblings)
    WebAddress, // any other address containing "http://": the outside browser opens it
    None, // the browser goes there itself
};

// "http://velmovote." and its siblings; the message's index follows at once (for Start, the
// command's word).
const char* CommandLinkPrefix(TLinkCommand command);

TLinkCommand ClassifyLink(const std::string& url);

// Whether an address names one of the command hosts in any form the engine may give it (any letter
// case, a "." or "/" added, https). Such an address never comes from a stranger's script: the
// renderer writes it as plain text, and navigation to it is refused.
bool IsCommandAddress(std::string_view url);

// The word after the start page's prefix ("demo" for "http://velmostart.demo"), without a "/"
// that the engine may add; empty when the address is no start link.
std::string StartCommandWord(const std::string& url);

// The message index of a vote, agree or play link, written as the pages write it or with a "/"
// after it. Throws EConvertError when what follows the prefix is not a whole number.
int32_t LinkIndex(const std::string& url, TLinkCommand command);

// A JavaScript regular expression (case-insensitive) that every command link's href matches.
std::string CommandLinkPattern();

// The class of the block that holds a message's command links; the click hook runs a command only
// for an anchor directly inside such a block, which no script can write.
constexpr const char* kCommandBlockClass = "header";
