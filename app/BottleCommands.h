#pragma once

#include <optional>
#include <string>
#include <vector>

// The vote and agree commands and the command links of the pages, apart from any window.

// Bytes 0-32, # % * + < > [ ] and 129-255 as "%XX" (upper case); every other byte as it is.
std::string EncodeRequestText(const std::string& text);

// The four request lines, each followed by CR LF: Command, VoteType ("Vote" or "Agree"), LUID,
// MID.
std::string VoteRequestText(
    const std::string& voteType, const std::string& luid, const std::string& mid);

// A message box to show, after a beep or not.
struct TNotice
{
    int beeps = 0;
    std::string text;
    bool operator==(const TNotice&) const = default;
};

// What the user is told about the server's answer: an error ("Result: Err", with or without an
// "ExtraMessage"), any "ExtraTip", or that the answer could not be read (it holds no name/value
// line at all). A plain success tells nothing.
std::vector<TNotice> VoteAnswerNotices(const std::string& responseText);
// What the user is told when the server could not be reached.
std::vector<TNotice> VoteFailureNotices(const std::string& errorMessage);

// A link the viewer acts on instead of the browser.
enum class TLinkCommand {
    Vote,
    Agree,
    Play,
    WebAddress, // any other address containing "http://": the outside browser opens it
    None, // the browser goes there itself
};

TLinkCommand ClassifyLink(const std::string& url);
// The message index of a vote, agree or play link, written as the pages write it or with a "/"
// after it. Throws EConvertError when what follows the prefix is not a whole number.
int32_t LinkIndex(const std::string& url, TLinkCommand command);
