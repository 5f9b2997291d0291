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
class TBottleMessage
{
public:
    std::string MID; // server's message id; empty for Sent.log messages
    std::string Ghost;
    std::string Script;
    TDateTime LogTime = 0;
    int32_t Connections = 0;
    int32_t Votes = 0;
    int32_t Agrees = 0;
    TSsParser* Parser = nullptr;
    TSurfaces* Surfaces = nullptr;
    std::string Channel;
    int32_t Index = 0; // position in the message list
};
