#pragma once

#include "platform/DateTime.h"

#include <cstdint>
#include <string>

// One message of the log: who it is for, where and when it was posted, its counts and its
// SakuraScript. Strings are Shift_JIS bytes as read. A new message has every string empty and
// every number zero. Data only: render/MessageHtml turns it into the pages' HTML.
class TBottleMessage
{
public:
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
};
