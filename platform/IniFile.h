#pragma once

#include "platform/Errors.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A key or value that cannot be stored in a profile file line.
class EIniFileError : public EVelmoError
{
public:
    using EVelmoError::EVelmoError;
};

// A profile (INI) file held in memory, with the rules of the Windows profile functions:
// - section and key names match case-insensitively (ASCII letters), the first match wins;
// - blanks around names and values are not part of them;
// - lines the program does not know (comments, unknown keys and sections) are kept as they are;
// - a key that is missing is added after the last non-empty line of its section, a section
//   that is missing is added at the end of the file;
// - bytes are never converted; the text is written back with CR LF line ends.
// The file on disk is read once and replaced once, as a whole (SaveToFile).
class TIniFile
{
public:
    // The longest value ReadString gives (the profile functions' buffer, less its NUL).
    static constexpr size_t kMaxValueLength = 2047;
    // The largest file LoadFromFile reads; a profile is a few hundred bytes.
    static constexpr size_t kMaxFileSize = 1 << 20;

    TIniFile() = default;
    explicit TIniFile(std::string_view bytes);

    // An empty profile when the file does not exist; EFileError when it exists but cannot be
    // read, is not a regular file (after links) or is larger than kMaxFileSize (ReadRegularFile).
    static TIniFile LoadFromFile(const std::string& path);

    // The value of the first matching key, blanks removed; nullopt when section or key is absent.
    std::optional<std::string> ReadValue(std::string_view section, std::string_view key) const;

    // The value cut to kMaxValueLength bytes, or defaultValue when the key is absent. A key
    // present with an empty value reads as empty.
    std::string ReadString(
        std::string_view section, std::string_view key, std::string_view defaultValue) const;

    // A decimal integer, or hexadecimal after "0x"/"0X" (up to eight digits, read as 32 bits);
    // defaultValue when the key is absent, empty or not a number.
    int32_t ReadInteger(std::string_view section, std::string_view key, int32_t defaultValue) const;

    // Replaces the first matching key's line with "key=value", or adds it. A stored value longer
    // than kMaxValueLength is kept whole when value is what ReadString gave for it: writing back
    // what was read never cuts what the user wrote. Throws EIniFileError
    // for a section name holding "]" and for names or values holding CR, LF or NUL, which would
    // break the file's lines.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, int32_t value);

    std::string ToBytes() const;

    // Atomic replace (WriteFileAtomic): on failure the old file stays as it was.
    void SaveToFile(const std::string& path) const;

private:
    struct SectionRange
    {
        size_t header; // index of the "[name]" line
        size_t end; // one past the section's last line
    };
    std::optional<SectionRange> FindSection(std::string_view section) const;
    std::optional<size_t> FindKey(const SectionRange& range, std::string_view key) const;

    std::vector<std::string> lines_;
};
