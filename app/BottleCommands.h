#pragma once

#include "render/CommandLinks.h"

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

// Where a navigation comes from, as far as the view can tell. Pages from the log's links may be
// written by anyone, so only a person's click on the program's own page may run a command.
enum class TNavigationOrigin {
    OwnPageClick, // a person's primary-button click or Enter on a link of the program's own page,
                  // in the main frame (reported by the click hook)
    LinkClick, // a main-frame link click the browser engine reports, on any page
    ProgramLoad, // the program itself asked the view to show the address
    Other, // frames, redirects, refreshes, forms, scripts and every other click
};

enum class TLinkAction {
    RunCommand, // vote, agree, play or a start page command, by ClassifyLink
    OpenOutside, // the outside browser opens the address
    Show, // the view goes there
    Refuse, // nothing happens and the page stays
};

// What the view does with an address (fully percent-encoded) from an origin. A command address
// in any form the engine may give it (any letter case, a "." or "/" added) runs only from
// OwnPageClick; the outside browser gets only http and https addresses from a main-frame link
// click; the view shows only file, https, about and data addresses (and http ones the program
// itself loads).
TLinkAction LinkActionFor(const std::string& url, TNavigationOrigin origin);
// An address whose scheme is http or https, in any letter case.
bool IsWebAddress(std::string_view url);
