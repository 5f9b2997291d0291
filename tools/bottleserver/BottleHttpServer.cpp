#include "tools/bottleserver/BottleHttpServer.h"

#include "platform/Encoding.h"
#include "platform/Poll.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using httplib::Request;
using httplib::Response;

constexpr const char* kContentType = "text/plain; charset=Shift_JIS";
constexpr std::string_view kTooLong = "本文が長すぎます (上限 65536 バイト)";
static_assert(TBottleHttpServer::kMaxBody == 65536);

// httplib listens with a queue of 5: a burst of clients beyond it would have their connections
// dropped by the kernel and retried a second later.
constexpr int kBacklog = static_cast<int>(TBottleHttpServer::kWorkers);

// One connection as httplib reads and writes it, in place of its own socket stream, which bounds
// neither how much a request may send (a request line or header without end grows in memory) nor
// how long a peer that sends a byte now and then may hold the worker.
class TPeerStream : public httplib::Stream
{
public:
    TPeerStream(int fd, int stopFd)
        : fd_(fd)
        , stopFd_(stopFd)
        , deadline_(Clock::now() + TBottleHttpServer::kConnectionTime)
    { }

    // The next request may make the server read this much more.
    void StartRequest()
    {
        left_ = TBottleHttpServer::kMaxHead + TBottleHttpServer::kMaxBody;
        statusLine_.clear();
    }
    // The status code of the answer written since StartRequest, or 0 before one.
    int AnswerStatus() const
    {
        // "HTTP/1.1 200 OK"
        return statusLine_.size() < 12 ? 0 : std::atoi(statusLine_.substr(9, 3).c_str());
    }

    bool is_readable() const override { return Wait(POLLIN, TBottleHttpServer::kReadTimeout); }
    bool is_writable() const override { return Wait(POLLOUT, TBottleHttpServer::kWriteTimeout); }

    ssize_t read(char* ptr, size_t size) override
    {
        if (left_ == 0 || !is_readable())
            return -1;
        ssize_t n;
        do
            n = ::recv(fd_, ptr, std::min(size, left_), 0);
        while (n < 0 && errno == EINTR);
        if (n > 0)
            left_ -= static_cast<size_t>(n);
        return n;
    }

    ssize_t write(const char* ptr, size_t size) override
    {
        if (!is_writable())
            return -1;
        ssize_t n;
        do
            n = ::send(fd_, ptr, size, MSG_NOSIGNAL);
        while (n < 0 && errno == EINTR);
        if (n > 0 && statusLine_.size() < 12)
            statusLine_.append(ptr, std::min<size_t>(12 - statusLine_.size(), n));
        return n;
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override
    {
        Endpoint(::getpeername, ip, port);
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override
    {
        Endpoint(::getsockname, ip, port);
    }
    socket_t socket() const override { return fd_; }

private:
    // Waits for the socket until the shorter of the timeout and what is left of the connection's
    // time; false at either, or once the server stops.
    bool Wait(short events, std::chrono::seconds timeout) const
    {
        return WaitFor(fd_, events, std::min(Clock::now() + timeout, deadline_), stopFd_);
    }

    // The server listens on IPv4 loopback only.
    void Endpoint(int (*name)(int, sockaddr*, socklen_t*), std::string& ip, int& port) const
    {
        sockaddr_in address {};
        socklen_t size = sizeof address;
        char text[INET_ADDRSTRLEN] = "";
        if (name(fd_, reinterpret_cast<sockaddr*>(&address), &size) != 0
            || address.sin_family != AF_INET
            || !::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text))
            return;
        ip = text;
        port = ntohs(address.sin_port);
    }

    const int fd_;
    const int stopFd_;
    const Clock::time_point deadline_;
    size_t left_ = 0;
    std::string statusLine_;
};

// Closing a socket with bytes still unread makes the kernel reset the connection, and a peer
// still sending may then lose the answer it was sent. So after refusing a request whose body may
// be unread, we stop writing and take what the peer still sends, for a bounded while, first.
void Linger(int fd, int stopFd)
{
    constexpr auto kTime = std::chrono::seconds(1);
    constexpr size_t kBytes = 1 << 20;
    ::shutdown(fd, SHUT_WR);
    const Clock::time_point deadline = Clock::now() + kTime;
    char buffer[4096];
    for (size_t taken = 0; taken < kBytes && WaitFor(fd, POLLIN, deadline, stopFd);) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n == 0 || (n < 0 && errno != EINTR))
            break;
        taken += static_cast<size_t>(std::max<ssize_t>(n, 0));
    }
}

void Refuse(Response& res, int status, std::string_view message)
{
    res.status = status;
    res.set_content(TBottleServerCore::ErrorAnswer(Sjis(message)), kContentType);
}

// A request refused from its head alone, before any of its body is read: a declared length past
// the limit, or a compressed body (a few kilobytes of which may inflate past any limit).
bool RefusedByHead(const Request& req, Response& res)
{
    const std::string encoding = req.get_header_value("Content-Encoding");
    if (!encoding.empty() && encoding != "identity") {
        Refuse(res, 415, "圧縮された本文は受け付けません");
        return true;
    }
    if (!req.has_header("Content-Length"))
        return false;
    const std::string length = req.get_header_value("Content-Length");
    if (length.empty() || !std::all_of(length.begin(), length.end(), [](char c) {
            return c >= '0' && c <= '9';
        })) {
        Refuse(res, 400, "Content-Length が読めません");
        return true;
    }
    if (length.size() > 9 || std::stoul(length) > TBottleHttpServer::kMaxBody) {
        Refuse(res, 413, kTooLong);
        return true;
    }
    return false;
}

} // namespace

TBottleHttpServer::TBottleHttpServer(TBottleServerCore& core, std::string recordFile)
    : core_(core)
    , recordFile_(std::move(recordFile))
{
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0)
        throw std::system_error(errno, std::generic_category(), "pipe2");
    stopRead_ = TFileDescriptor(pipe[0]);
    stopWrite_ = TFileDescriptor(pipe[1]);

    set_read_timeout(kReadTimeout);
    set_write_timeout(kWriteTimeout);
    set_keep_alive_timeout(kReadTimeout.count());
    set_keep_alive_max_count(kKeepAliveRequests);
    new_task_queue = [] { return new httplib::ThreadPool(kWorkers); };

    set_pre_routing_handler([](const Request& req, Response& res) {
        return RefusedByHead(req, res) ? HandlerResponse::Handled : HandlerResponse::Unhandled;
    });
    Get("/fetchlog.cgi", [this](const Request& req, Response& res) {
        const TMutexLock lock(mutex_);
        Record(req, req.body);
        const std::map<std::string, std::string> query(req.params.begin(), req.params.end());
        res.set_content(core_.FetchLog(query, Now()), kContentType);
    });
    // The body is read here, piece by piece, so that a chunked one is refused at the limit too.
    Post("/bottle2.cgi",
        [this](const Request& req, Response& res, const httplib::ContentReader& reader) {
            std::string body;
            bool tooLong = false;
            const bool whole = reader([&](const char* data, size_t size) {
                tooLong = body.size() + size > kMaxBody;
                if (!tooLong)
                    body.append(data, size);
                return !tooLong;
            });
            if (tooLong) {
                Refuse(res, 413, kTooLong);
            } else if (!whole) {
                Refuse(res, 400, "本文を最後まで読めませんでした");
            } else {
                const TMutexLock lock(mutex_);
                Record(req, body);
                res.set_content(core_.Command(body, Now()), kContentType);
            }
        });
    // Every answer from 400 up passes here: refusals and httplib's own (404, a request it cannot
    // parse). The connection ends with it, since part of the request may still be unread.
    set_error_handler([this](const Request& req, Response& res) {
        {
            const TMutexLock lock(mutex_);
            Record(req, req.body);
        }
        res.set_header("Connection", "close");
        if (res.status == 404)
            res.set_content("not found\n", "text/plain");
        else if (res.body.empty())
            res.set_content(TBottleServerCore::ErrorAnswer(Sjis("リクエストを受け付けられません")),
                kContentType);
    });
}

TBottleHttpServer::~TBottleHttpServer() = default;

int TBottleHttpServer::Bind(int port)
{
    const int bound
        = port == 0 ? bind_to_any_port("127.0.0.1") : (bind_to_port("127.0.0.1", port) ? port : -1);
    if (bound >= 0)
        ::listen(svr_sock_, kBacklog);
    return bound;
}

bool TBottleHttpServer::Run()
{
    // After Stop the accept loop ends on the failed socket, which httplib reports as a failure.
    return stopped_ || listen_after_bind() || stopped_;
}

// Only calls that are safe in a signal handler. Shutting the listening socket down ends the
// accept loop whether it is waiting already or has yet to start; httplib closes the socket then.
void TBottleHttpServer::Stop()
{
    if (stopped_.exchange(true))
        return;
    [[maybe_unused]] const ssize_t written = ::write(stopWrite_.get(), "", 1);
    ::shutdown(svr_sock_, SHUT_RDWR);
}

// Runs on a worker for each accepted connection, in place of httplib's own loop, so that every
// read and write of it goes through a TPeerStream.
bool TBottleHttpServer::process_and_close_socket(socket_t sock)
{
    const TFileDescriptor owned(sock);
    TPeerStream stream(sock, stopRead_.get());
    bool ok = false;
    for (size_t n = 1; n <= kKeepAliveRequests; ++n) {
        stream.StartRequest();
        bool closed = false;
        ok = process_request(stream, n == kKeepAliveRequests, closed, nullptr);
        if (!ok || closed || stream.AnswerStatus() >= 400)
            break;
    }
    if (stream.AnswerStatus() >= 400)
        Linger(sock, stopRead_.get());
    return ok;
}

void TBottleHttpServer::Record(const Request& req, const std::string& body)
{
    if (recordFile_.empty())
        return;
    std::ofstream out(recordFile_, std::ios::binary | std::ios::app);
    out << req.method << " " << req.target << " " << req.version << "\n";
    for (const auto& [name, value] : req.headers)
        out << name << ": " << value << "\n";
    out << "\n" << body << "\n====\n";
}
