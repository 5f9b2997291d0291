#pragma once

#include "platform/Errors.h"

#include <functional>
#include <string>
#include <string_view>

// A request to the bottle server that failed: the text says in Japanese what failed, with the
// technical cause after it: "サーバーに接続できません (127.0.0.1:18470): Connection refused",
// "サーバーの名前が見つかりません (host): ...", "サーバーが応答しません (host:port): ...",
// "サーバーがエラーを返しました (HTTP 500 Internal Server Error)", or our own limit's text.
class EHttpError : public EVelmoError
{
public:
    using EVelmoError::EVelmoError;
};

// How long a request may take and how large its answer may be, so that no server can hold the
// window or fill the memory without bound.
struct THttpLimits
{
    long totalSeconds = 300;
    size_t maxBodyBytes = size_t(256) << 20;
    // Asked about once a second, and more often while data flows: true stops the transfer with
    // "受信を中止しました". Called on the requesting thread.
    std::function<bool()> cancelled;
};

// Blocking HTTP requests with the headers every bottle client sends: Accept "text/html, */*" and
// User-Agent "Mozilla/3.0 (compatible; Indy Library)", cookies accepted, never a proxy. A
// connection not made within 30 s, a transfer that stalls for 60 s, one that outlasts the limits'
// total time or brings a larger body fails, each with its own message; so does every request
// under way once the program is told to end (within about a second). Bodies are bytes, passed and
// returned unchanged. Safe to call from any thread.
class THttpClient
{
public:
    static constexpr long kConnectTimeoutSeconds = 30;
    static constexpr long kStallSeconds = 60;

    // The body of a GET. Throws EHttpError.
    static std::string Get(const std::string& url, const THttpLimits& limits = {});
    // The same, the body handed to `sink` piece by piece as it arrives instead of returned. On a
    // failure the pieces handed over so far are no answer at all.
    static void Get(const std::string& url, const THttpLimits& limits,
        const std::function<void(std::string_view piece)>& sink);

    // The body of a POST sent as HTTP/1.0 with no content type of its own. Throws EHttpError.
    static std::string Post(
        const std::string& url, const std::string& body, const THttpLimits& limits = {});
};
