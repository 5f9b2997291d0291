#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>

// A play request: its own copies of the message's texts, so it stays valid when the log view
// that showed the message is replaced.
struct TPlayRequest
{
    std::string Ghost;
    std::string Channel;
    std::string Script;
    uint64_t Id = 0; // given by the queue
    // Given by the queue: past it the request is dropped, so no wait of a route may run beyond it.
    std::chrono::steady_clock::time_point Deadline = std::chrono::steady_clock::time_point::max();

    // A route's time limit cut to what is left before the deadline (0 when it has passed).
    int TimeLeftMs(int limitMs) const
    {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            Deadline - std::chrono::steady_clock::now());
        return static_cast<int>(std::clamp<int64_t>(left.count(), 0, limitMs));
    }
};

enum class TPlayOutcome {
    NoHost, // no ghost found this way: the next route is tried, or the next cycle
    Sent, // handed over; the host's answer comes later to the reply window
    Delivered, // the host took the script
    Refused, // the host will not play it: the request is dropped, with the reason
    Busy, // the host cannot take it now, or has not answered: the request waits and is tried again
};

struct TPlayResult
{
    TPlayOutcome Outcome = TPlayOutcome::NoHost;
    std::string Ghost; // the ghost chosen, program text
    std::string Reason; // program text; for Refused and Busy
    std::string Route; // where the ghost was reached ("ninix-kagari", ...), program text
};

// One way to reach ghosts of one kind of host: find the request's ghost by name, else the first
// ghost, send the script once, and say what happened. Every route keeps to its own time limits,
// cut to the request's deadline, and gives up at once when the program ends. Delivery thread only.
class IPlayRoute
{
public:
    virtual ~IPlayRoute() = default;
    virtual TPlayResult Play(const TPlayRequest& request, const std::string& senderName) = 0;
};
