#include "platform/DebugOutput.h"

#include "platform/Encoding.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

void OutputDebugString(std::string_view text)
{
    if (!std::getenv("VELMO_DEBUG"))
        return;
    static std::mutex mutex;
    const std::string line = SjisToUtf8Lossy(text) + "\n";
    const std::lock_guard lock(mutex);
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}
