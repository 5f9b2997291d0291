#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Whole-file reads and writes. Paths are Shift_JIS program text; they are converted for the
// file system here and nowhere else in the core.

// The file's bytes. Throws EFileError "Cannot open file "%s". <reason>" (or EEncodingError for a
// path that cannot be converted).
std::string ReadFileBytes(const std::string& path);

// True when the path names an existing file or folder.
bool FileExists(const std::string& path);

// Descriptor-level helpers for files the program did not name itself (shared memory, passed
// memory files). WriteAll writes every byte (retrying short writes); ReadPrefix reads from offset
// 0 with pread until the end or maxBytes, nullopt on a read error.
bool WriteAll(int fd, std::string_view bytes);
std::optional<std::string> ReadPrefix(int fd, size_t maxBytes);

// Creates the folder and its parents (like mkdir -p), new ones with mode (less the umask); throws
// EFileError "Cannot create folder "%s". <reason>" when it cannot, or when the path names a file.
void CreateFolders(const std::string& folder, unsigned mode = 0755);

// Replaces the file's contents all at once: the bytes go into a temporary file in the same
// folder, which is flushed to disk and then renamed over the old file. If anything fails the old
// file is left exactly as it was, the temporary file is removed, and EFileError
// "Cannot write file "%s". <reason>" is thrown. A symbolic link is followed, so the link stays and
// its target is replaced; a new file gets 0666 less the umask, an old one keeps its mode.
void WriteFileAtomic(const std::string& path, std::string_view bytes);
