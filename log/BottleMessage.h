#pragma once

#include "platform/DateTime.h"

#include <cstdint>
#include <string>

class TSsParser;
class TSurfaces;

// One message of the log: who it is for, where and when it was posted, its counts and its
// SakuraScript. Strings are Shift_JIS bytes as read. A new message has every string empty and
// every number zero. Parser and Surfaces are links to the main window's tokenizer and surface
// cache, which outlive every message.
//
// ToHtml renders the message as an HTML fragment for the pages: a frame with the header (number,
// time, ghost, channel, counts, and the vote, agree and play links) above and below speech blocks,
// each block the speaking character's surface picture beside its talk. Rendering re-tokenizes
// Script with Parser (replacing its tokens) and may draw surfaces through Surfaces. Texts that come
// from the log are HTML-escaped where they could otherwise form markup. GUI thread only.
class TBottleMessage
{
public:
    // number: 1-based position in the whole log; total: messages in the log.
    std::string ToHtml(int32_t number, int32_t total) const;
    // The same fragment, appended to the end of out (the page being built).
    void AppendHtml(std::string& out, int32_t number, int32_t total) const;
    std::string HeaderHtml(int32_t number, int32_t total) const;

    // A \URL tag as links (http:// and https:// targets) and text lines, each followed by "<br>".
    static std::string UrlTagHtml(const std::string& tag);
    // What a link to the address shows: the host, or the last part of the path with the short
    // host in brackets; percent-escapes decoded.
    static std::string UrlCaption(const std::string& url);

    // In an order that leaves no padding: a log holds hundreds of thousands of these.
    std::string MID; // server's message id; empty for Sent.log messages
    std::string Ghost;
    std::string Script;
    std::string Channel;
    TDateTime LogTime = 0;
    int32_t Connections = 0;
    int32_t Votes = 0;
    int32_t Agrees = 0;
    int32_t Index = 0; // position in the message list
    TSsParser* Parser = nullptr;
    TSurfaces* Surfaces = nullptr;
};
