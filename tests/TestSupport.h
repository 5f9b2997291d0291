#pragma once

#include "platform/Encoding.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <poll.h>
#include <string>
#include <thread>
#include <vector>

// A Japanese literal of the test source as program text (Shift_JIS).
inline std::string J(std::string_view utf8)
{
    return Sjis(utf8);
}

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class TempDir
{
public:
    TempDir()
    {
        std::string pattern
            = (std::filesystem::temp_directory_path() / "velmo-test-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The folder as program text, with a trailing "/".
    std::string Sjis() const { return FromNativePath(path_.string()) + "/"; }
    const std::filesystem::path& Native() const { return path_; }

private:
    std::filesystem::path path_;
};

// Waits until done() holds, checking every few milliseconds, for at most `limit`; false when the
// time ran out first. The limit only catches a hang: a passing test never waits it out.
inline bool WaitFor(
    const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(20))
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// Stands in for the GUI thread's event loop: watches the descriptors and calls `process` when one
// of them is readable, until done() holds or `limit` has passed (then false).
inline bool PumpUntil(const std::vector<int>& fds, const std::function<void()>& process,
    const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(20))
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::vector<pollfd> watched;
    for (const int fd : fds)
        watched.push_back({ fd, POLLIN, 0 });
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        if (::poll(watched.data(), watched.size(), 10) > 0)
            process();
    }
    return true;
}
