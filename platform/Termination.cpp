#include "platform/Termination.h"

#include <atomic>

namespace {

std::atomic<bool> terminationRequested { false };
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

} // namespace

void RequestTermination() noexcept
{
    terminationRequested.store(true, std::memory_order_relaxed);
}

bool TerminationRequested() noexcept
{
    return terminationRequested.load(std::memory_order_relaxed);
}
