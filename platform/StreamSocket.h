#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// One request and its answer on a stream socket of a process we do not control (a ghost host):
// connect, write the request, read until the peer closes or the answer is complete. Nothing here
// blocks past the time limit or after the cancel descriptor becomes readable.
// A peer that closes before it has read the whole request (the write fails with EPIPE or
// ECONNRESET) may have written its answer first, as some hosts do that answer on accepting: what
// it wrote is read and is the answer; a peer that wrote nothing is NoPeer.

enum class TExchangeStatus {
    Answered, // the peer closed, or the answer is complete
    NoPeer, // nothing listens there (no such socket, refused, or its queue is full)
    NoAnswer, // the request went out but no complete answer came in time (answer holds the part)
    TooLong, // the answer grew past its limit
    Cancelled, // the cancel descriptor became readable
};

struct TExchangeLimits
{
    int timeoutMs = 1000; // for the whole exchange, connecting included
    size_t maxAnswer = 1 << 20;
    int cancelFd = -1;
    // True when the answer read so far is whole, for peers that keep the connection open after
    // answering; without it, reading goes on until the peer closes.
    std::function<bool(std::string_view answer)> complete;
};

struct TExchangeResult
{
    TExchangeStatus status = TExchangeStatus::NoPeer;
    std::string answer;
    bool sent = false; // every byte of the request was written: the peer may act on it
};

// A Unix-domain stream socket at a file-system path (native encoding).
TExchangeResult ExchangeUnix(
    const std::string& path, std::string_view request, const TExchangeLimits& limits);
// A TCP port on 127.0.0.1.
TExchangeResult ExchangeLoopback(
    uint16_t port, std::string_view request, const TExchangeLimits& limits);
