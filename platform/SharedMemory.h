#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

// A named shared memory block, mapped read-only over its whole size (the file shm/<name> of the
// SSTP folder). Open answers nullopt when no such block exists. The view lives as long as the
// object. One thread at a time.
class TSharedMemory
{
public:
    static std::optional<TSharedMemory> Open(std::string_view name);
    ~TSharedMemory();
    TSharedMemory(TSharedMemory&& other) noexcept;
    TSharedMemory& operator=(TSharedMemory&&) = delete;
    TSharedMemory(const TSharedMemory&) = delete;

    // The mapped bytes (empty for an empty block).
    std::string_view View() const;

private:
    TSharedMemory(void* data, size_t size)
        : data_(data)
        , size_(size)
    { }
    void* data_;
    size_t size_;
};
