#pragma once

#include "platform/Encoding.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

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
