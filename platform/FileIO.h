#pragma once

#include "platform/FileDescriptor.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

// Whole-file reads and writes. Paths are Shift_JIS program text; they are converted for the
// file system here and nowhere else in the core.

// The file's bytes. Throws EFileError "Cannot open file "%s". <reason>" (or EEncodingError for a
// path that cannot be converted).
std::string ReadFileBytes(const std::string& path);

// The bytes of a regular file (a symbolic link is followed) of at most maxBytes, for files a
// stranger may have put in place (the configuration). The file is opened without waiting, so a
// FIFO or a device at the path cannot hold the caller, and nothing is read before its type is
// known. Throws EFileError naming the file, in Japanese: for anything but a regular file and for a
// file longer than maxBytes; "Cannot open file ..." as ReadFileBytes when it cannot be opened.
std::string ReadRegularFile(const std::string& path, size_t maxBytes);
// The first bytes (at most maxBytes) of a regular file, with the same checks and errors but no
// limit on the file's length.
std::string ReadRegularFileHead(const std::string& path, size_t maxBytes);

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
// The temporary file is named path + "." + 12 lowercase hexadecimal digits (beside the link's
// target for a link) and holds an exclusive flock until it has been renamed or removed.
void WriteFileAtomic(const std::string& path, std::string_view bytes);

// The same for a file written piece by piece, never held whole: Stream() writes into a temporary
// file named and locked as above, and Commit flushes it to disk and renames it over path. Until
// then the old file is left exactly as it was; a writer destroyed without Commit removes its
// temporary file. A write that fails sets the stream's badbit, and Commit then throws its
// EFileError. The constructor throws EFileError when the temporary file cannot be made.
class TReplacingFile
{
public:
    explicit TReplacingFile(const std::string& path);
    ~TReplacingFile();
    TReplacingFile(const TReplacingFile&) = delete;
    TReplacingFile& operator=(const TReplacingFile&) = delete;

    std::ostream& Stream() { return stream_; }
    void Commit();

private:
    class TBuffer;
    void Discard();

    std::string path_; // as the caller named it, for messages
    std::string native_; // the file replaced: path_'s target when it is a link
    std::string temp_;
    std::unique_ptr<TBuffer> buffer_;
    std::ostream stream_;
    TFileDescriptor lockHolder_; // shares the temporary file's lock until it is renamed or removed
};

// Removes the temporary files a WriteFileAtomic(path) that was killed half-way left behind: only
// names made exactly as above, beside path's target, that are regular files of this user and that
// no writer still holds. Anything else (a user's "velmo.ini.bak", a link, a folder) is left. Never
// throws; returns how many files were removed.
int RemoveStaleTemporaries(const std::string& path);

// Removes the regular files of the folder (not links, not folders) whose name `matches` accepts.
// A file that cannot be removed is left. Never throws; returns how many files were removed.
int RemoveFilesWhere(
    const std::string& folder, const std::function<bool(std::string_view name)>& matches);

// folder + "/" + name when folder is not empty (the separator is added even when the folder ends
// in one); otherwise defaultFolder followed at once by name.
std::string JoinPath(
    const std::string& folder, const std::string& defaultFolder, const std::string& name);
