#pragma once

#include <chrono>

// Waiting on one descriptor with a deadline and a cancel descriptor, for the senders that must
// never block past their limits.

// Milliseconds left until the deadline, or -1 when it has passed.
int RemainingMs(std::chrono::steady_clock::time_point deadline);

// Waits for events on fd until the deadline; false on time-out, an error, or cancelFd (when not
// -1) becoming readable. A hang-up or error on fd counts as its events having come, so the next
// call on it reports what happened.
bool WaitFor(int fd, short events, std::chrono::steady_clock::time_point deadline, int cancelFd);
