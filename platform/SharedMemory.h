#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// A named shared memory block (the file shm/<name> of the SSTP folder), read as a copy of its
// first bytes. The block belongs to another process, which may change or shrink it at any time,
// so it is never mapped (a mapping would fault when the file shrinks under it): it is opened
// without following a link and without blocking (a FIFO there must not hang the reader), refused
// unless it is a regular file, and read with pread up to maxBytes. Any thread.
class TSharedMemory
{
public:
    static constexpr size_t kMaxBytes = 64 * 1024;

    // The block's first bytes (at most maxBytes), or nullopt when no such regular file exists or
    // it cannot be read.
    static std::optional<std::string> Read(std::string_view name, size_t maxBytes = kMaxBytes);
    // The same for a block at a native path (a POSIX shared memory object in /dev/shm).
    static std::optional<std::string> ReadPath(const std::string& path, size_t maxBytes);
};
