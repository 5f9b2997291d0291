#pragma once

#include "platform/FileDescriptor.h"
#include "platform/Mutex.h"
#include "tools/bottleserver/BottleServerCore.h"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>

// The HTTP front of the bundled bottle server on 127.0.0.1: GET /fetchlog.cgi and POST
// /bottle2.cgi answered by a TBottleServerCore, every request appended to the record file when
// one is named (request line, headers, blank line, body, "====" line).
//
// Every peer is a stranger: what one request may send and how long one connection may hold a
// worker are bounded (the limits below), so a huge body is refused before it is read, and slow
// or silent clients take neither the memory nor the server's answers to everyone else.
//
// Bind once, then Run on one thread; Stop ends Run and may be called from any thread or a signal
// handler, before or after Run has started. The core must outlive the server; the server's
// threads take turns on it.
class TBottleHttpServer : private httplib::Server
{
public:
    // A vote is a hundred bytes or so. A body declared longer is refused (413) from its head alone;
    // one that turns out longer is refused at this many bytes.
    static constexpr size_t kMaxBody = 64 * 1024;
    // Room for the request line and headers (libcurl sends well under 1 KiB). No request may make
    // the server read more than kMaxHead + kMaxBody bytes, however it is framed, so neither a line
    // without end nor endless headers nor a chunked body can grow in memory.
    static constexpr size_t kMaxHead = 16 * 1024;
    // How long a peer may keep a worker waiting for its next bytes, and for room to take the
    // answer's next bytes. Clients send a request whole, so a gap this long on loopback is a
    // stalled or hostile peer. An idle keep-alive connection is closed after kReadTimeout too.
    static constexpr std::chrono::seconds kReadTimeout { 2 };
    static constexpr std::chrono::seconds kWriteTimeout { 5 };
    static constexpr size_t kKeepAliveRequests = 5;
    // The most one connection may hold a worker in all, however it trickles its bytes: the demo
    // log goes to a loopback client in well under a second.
    static constexpr std::chrono::seconds kConnectionTime { 20 };
    // Twice the 64 slow connections the server must outlast while answering others; connections
    // beyond that wait for a worker, which each slow one gives up after kConnectionTime.
    static constexpr size_t kWorkers = 128;

    TBottleHttpServer(TBottleServerCore& core, std::string recordFile);
    ~TBottleHttpServer() override;
    TBottleHttpServer(const TBottleHttpServer&) = delete;
    TBottleHttpServer& operator=(const TBottleHttpServer&) = delete;

    // Listens on 127.0.0.1:port (0: a free port); the port, or -1 when it cannot.
    int Bind(int port);
    // Answers requests until Stop; false when the listening socket failed.
    bool Run();
    void Stop();

private:
    bool process_and_close_socket(socket_t sock) override;
    void Record(const httplib::Request& req, const std::string& body) REQUIRES(mutex_);

    TBottleServerCore& core_;
    const std::string recordFile_;
    TMutex mutex_; // the core and the record file are shared by the worker threads
    // Readable once Stop has been called: every wait of every worker ends at once.
    TFileDescriptor stopRead_;
    TFileDescriptor stopWrite_;
    std::atomic<bool> stopped_ { false };
};
