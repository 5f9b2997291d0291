#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class TBottleMessage;
class TSsParser;
class TSurfaces;

// A message as an HTML fragment for the pages: a frame with the header (number, time, ghost,
// channel, counts, and the vote, agree and play links) above and below speech blocks, each block
// the speaking character's surface picture beside its talk. Rendering tokenizes the script with
// the given tokenizer (replacing its tokens) and may draw surfaces through the surface cache.
// Texts that come from the log are HTML-escaped where they could otherwise form markup; a message
// that cannot be rendered shows its error in place of its talk. GUI thread only (the tokenizer
// and the cache are the main window's).

// number: 1-based position in the whole log; total: messages in the log.
std::string MessageHtml(const TBottleMessage& message, int32_t number, int32_t total,
    TSsParser& parser, TSurfaces& surfaces);
// The same fragment, appended to the end of out (the page being built).
void AppendMessageHtml(std::string& out, const TBottleMessage& message, int32_t number,
    int32_t total, TSsParser& parser, TSurfaces& surfaces);
std::string MessageHeaderHtml(const TBottleMessage& message, int32_t number, int32_t total);

// The escapes the tokenizer leaves in a talk's text ("\\" and then "\%", in that order, so
// "\\%" becomes "%") as the characters the page shows for them.
std::string UnescapeTalk(std::string_view talk);

// A \URL tag as links (http:// and https:// targets that are no command address) and text lines,
// each followed by "<br>".
std::string UrlTagHtml(const std::string& tag);
// What a link to the address shows: the host, or the last part of the path with the short host in
// brackets; percent-escapes decoded.
std::string UrlCaption(const std::string& url);
