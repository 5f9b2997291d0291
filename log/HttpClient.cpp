#include "log/HttpClient.h"

#include "platform/Encoding.h"
#include "platform/StrUtils.h"
#include "platform/Termination.h"

#include <curl/curl.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <system_error>

namespace {

struct CurlDeleter
{
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct ListDeleter
{
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

// Why a transfer was stopped from our side, so the message can say so.
enum class TStop { None, TooLarge, TooLong, Terminating, Cancelled };

struct Exchange
{
    std::string body;
    const std::function<void(std::string_view)>* sink = nullptr; // else the body is kept
    size_t received = 0;
    std::string statusLine;
    THttpLimits limits;
    std::chrono::steady_clock::time_point deadline;
    TStop stop = TStop::None;
};

// libcurl callbacks: C code calls them, so nothing may throw out of them.
size_t OnBody(char* data, size_t size, size_t count, void* user) noexcept
{
    auto& exchange = *static_cast<Exchange*>(user);
    try {
        if (size * count > exchange.limits.maxBodyBytes - exchange.received) {
            exchange.stop = TStop::TooLarge;
            return 0; // ends the transfer with a write error
        }
        exchange.received += size * count;
        if (exchange.sink)
            (*exchange.sink)(std::string_view(data, size * count));
        else
            exchange.body.append(data, size * count);
        return size * count;
    } catch (...) {
        return 0;
    }
}

bool Cancelled(const THttpLimits& limits) noexcept
{
    try {
        return limits.cancelled && limits.cancelled();
    } catch (...) {
        return true; // a question that fails is a transfer to stop
    }
}

// Called about once a second even when nothing arrives, and more often while data flows.
int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) noexcept
{
    auto& exchange = *static_cast<Exchange*>(user);
    if (TerminationRequested())
        exchange.stop = TStop::Terminating;
    else if (Cancelled(exchange.limits))
        exchange.stop = TStop::Cancelled;
    else if (std::chrono::steady_clock::now() >= exchange.deadline)
        exchange.stop = TStop::TooLong;
    return exchange.stop == TStop::None ? 0 : 1;
}

std::string SizeText(size_t bytes)
{
    constexpr size_t kMiB = size_t(1) << 20;
    return bytes % kMiB == 0 ? std::to_string(bytes / kMiB) + " MiB"
                             : std::to_string(bytes) + Sjis(" バイト");
}

std::string StopMessage(const Exchange& exchange)
{
    switch (exchange.stop) {
    case TStop::TooLarge:
        return Sjis("サーバーの応答が ") + SizeText(exchange.limits.maxBodyBytes)
            + Sjis(" を超えたので、受信を中止しました");
    case TStop::TooLong:
        return Sjis("サーバーの応答が ") + std::to_string(exchange.limits.totalSeconds)
            + Sjis(" 秒以内に終わらなかったので、受信を中止しました");
    case TStop::Terminating:
        return Sjis("終了するので、通信を中止しました");
    case TStop::Cancelled:
        return Sjis("受信を中止しました");
    case TStop::None:
        break;
    }
    return {};
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) noexcept
{
    try {
        std::string line(data, size * count);
        if (line.rfind("HTTP/", 0) == 0) {
            while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
                line.pop_back();
            static_cast<Exchange*>(user)->statusLine = line;
        }
        return size * count;
    } catch (...) {
        return 0;
    }
}

// "host:port" of the address, or the host alone, as the person named the server.
std::string Place(const std::string& url, bool withPort)
{
    std::string place;
    if (CURLU* parts = curl_url()) {
        char* host = nullptr;
        char* port = nullptr;
        if (curl_url_set(parts, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK
            && curl_url_get(parts, CURLUPART_HOST, &host, 0) == CURLUE_OK) {
            place = host;
            if (withPort
                && curl_url_get(parts, CURLUPART_PORT, &port, CURLU_DEFAULT_PORT) == CURLUE_OK)
                place += std::string(":") + port;
        }
        curl_free(host);
        curl_free(port);
        curl_url_cleanup(parts);
    }
    return place;
}

// A failed transfer in words for the person, with libcurl's own text (and the system's reason for
// a refused connection) after it for whoever looks into it.
std::string FailureText(CURL* curl, CURLcode result, const char* error, const std::string& url)
{
    const std::string detail = error[0] ? std::string(error) : curl_easy_strerror(result);
    switch (result) {
    case CURLE_COULDNT_RESOLVE_HOST:
        return Sjis("サーバーの名前が見つかりません (") + Place(url, false) + "): " + detail;
    case CURLE_COULDNT_CONNECT: {
        long osError = 0;
        curl_easy_getinfo(curl, CURLINFO_OS_ERRNO, &osError);
        const std::string reason = osError != 0
            ? std::error_code(static_cast<int>(osError), std::generic_category()).message()
            : detail;
        return Sjis("サーバーに接続できません (") + Place(url, true) + "): " + reason;
    }
    case CURLE_OPERATION_TIMEDOUT:
        return Sjis("サーバーが応答しません (") + Place(url, true) + "): " + detail;
    default:
        return Sjis("サーバーとの通信に失敗しました (") + Place(url, true) + "): " + detail;
    }
}

// An error status: its number and the server's reason phrase, when it gave one.
std::string StatusText(long status, const std::string& statusLine)
{
    std::string reason;
    // "HTTP/1.1 500 Internal Server Error": what follows the number.
    const size_t number = statusLine.find(' ');
    const size_t phrase = number == std::string::npos ? number : statusLine.find(' ', number + 1);
    if (phrase != std::string::npos)
        reason = " " + ShownText(statusLine.substr(phrase + 1), 80);
    return Sjis("サーバーがエラーを返しました (HTTP ") + std::to_string(status) + reason + ")";
}

std::string Perform(const std::string& url, const std::string* postBody, const THttpLimits& limits,
    const std::function<void(std::string_view)>* sink = nullptr)
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl)
        throw EHttpError("Cannot start an HTTP request");
    Exchange exchange;
    exchange.limits = limits;
    exchange.sink = sink;
    exchange.deadline
        = std::chrono::steady_clock::now() + std::chrono::seconds(limits.totalSeconds);
    char error[CURL_ERROR_SIZE] = {};
    std::unique_ptr<curl_slist, ListDeleter> headers(
        curl_slist_append(nullptr, "Accept: text/html, */*"));
    if (postBody) {
        // No content type and no "Expect" of our own: the body goes as it is.
        headers.reset(curl_slist_append(headers.release(), "Content-Type:"));
        headers.reset(curl_slist_append(headers.release(), "Expect:"));
    }
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(c, CURLOPT_USERAGENT, "Mozilla/3.0 (compatible; Indy Library)");
    curl_easy_setopt(c, CURLOPT_COOKIEFILE, "");
    curl_easy_setopt(c, CURLOPT_PROXY, "");
    curl_easy_setopt(c, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, THttpClient::kConnectTimeoutSeconds);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, THttpClient::kStallSeconds);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &exchange);
    curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(c, CURLOPT_HEADERDATA, &exchange);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &exchange);
    if (postBody) {
        curl_easy_setopt(c, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0);
        curl_easy_setopt(c, CURLOPT_POSTFIELDS, postBody->data());
        curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(postBody->size()));
    }
    const CURLcode result = curl_easy_perform(c);
    if (result != CURLE_OK && exchange.stop != TStop::None)
        throw EHttpError(StopMessage(exchange));
    if (result != CURLE_OK)
        throw EHttpError(FailureText(c, result, error, url));
    long status = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    if (status >= 400)
        throw EHttpError(StatusText(status, exchange.statusLine));
    return std::move(exchange.body);
}

} // namespace

std::string THttpClient::Get(const std::string& url, const THttpLimits& limits)
{
    return Perform(url, nullptr, limits);
}

void THttpClient::Get(const std::string& url, const THttpLimits& limits,
    const std::function<void(std::string_view piece)>& sink)
{
    Perform(url, nullptr, limits, &sink);
}

std::string THttpClient::Post(
    const std::string& url, const std::string& body, const THttpLimits& limits)
{
    return Perform(url, &body, limits);
}
