#pragma once

#include "platform/Errors.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class TNamedLock;

// The ghost directory could not be read: its lock could not be opened or taken within 3 s, or its
// length field is smaller than its text.
class ESakuraSeekerError : public EVelmoError
{
public:
    using EVelmoError::EVelmoError;
};

// One running ghost as its host publishes it: keys such as "hwnd", "name", "keroname" with their
// values. Keys match without regard to ASCII case; setting an empty value removes the key.
class TSakuraProcess
{
public:
    std::string ID;
    std::string FMOName; // the directory in which the id was first seen

    std::string Value(const std::string& key) const;
    void SetValue(const std::string& key, const std::string& value);

    uint32_t HWnd() const; // 0 when absent or not a number
    std::string Name() const { return Value("name"); }
    std::string KeroName() const { return Value("keroname"); }
    std::string NamePair() const { return Name() + "," + KeroName(); }

private:
    std::unordered_map<std::string, std::string> values_; // by key with ASCII letters lowered
};

// Reads the ghost directories that ghost hosts publish in named shared memory, each guarded by a
// named lock (by default the mapping name + "FMO"). Each detection starts afresh; lines with the
// same id make one entry, across mappings too. One thread at a time.
class TSakuraSeeker
{
public:
    TSakuraSeeker();
    ~TSakuraSeeker();
    TSakuraSeeker(const TSakuraSeeker&) = delete;
    TSakuraSeeker& operator=(const TSakuraSeeker&) = delete;

    static constexpr int kLockTimeoutMs = 3000;

    std::vector<std::string> FileMappingTarget { "Sakura" };
    // Receives the mapping name in `name` and may replace it with the lock's name.
    std::function<void(TSakuraSeeker& sender, std::string& name)> OnGetMutexName;
    std::function<void(TSakuraSeeker& sender)> OnDetectResultChanged;
    std::function<void(TSakuraSeeker& sender)> OnAfterDetection;
    // When not -1, a descriptor whose becoming readable ends a wait for a lock at once (the
    // program is ending and must not wait on a ghost host that holds it).
    int CancelFd = -1;
    // How long each directory's lock is waited for.
    int LockTimeoutMs = kLockTimeoutMs;

    // Reads every mapping in order. Throws ESakuraSeekerError
    // ("Mutexハンドルを取得できませんでした", "Mutex同期タイムアウト",
    // "FMOを取得できませんでした"); the entries read before stay.
    void Detect();
    void Clear()
    {
        processes_.clear();
        byId_.clear();
    }

    int Count() const { return static_cast<int>(processes_.size()); }
    TSakuraProcess& Processes(int i) const { return *processes_.at(static_cast<size_t>(i)); }
    TSakuraProcess* ProcessByName(const std::string& ghostName) const;
    TSakuraProcess* ProcessByID(const std::string& id) const;
    // The ghost a play request goes to: the first entry of that name, else the first entry, else
    // none.
    TSakuraProcess* ChooseGhost(const std::string& ghostName) const;
    const std::string& DetectResult() const { return lastResult_; }
    // The lock names opened so far and their handles, "name=handle".
    std::vector<std::string> MutexCache() const;

    // The directory text of a mapping's bytes: a 4-byte little-endian length, then the text up to
    // the first NUL or the end. Throws ESakuraSeekerError when the text is longer than the length.
    static std::string DirectoryText(std::string_view mapping);
    // Adds the entries of a directory text ("id.key\x01value" lines) read from the mapping, in
    // time linear in the text. A malformed text ends quietly; what was read stays.
    void ParseDirectory(const std::string& text, const std::string& mappingName);

private:
    void ReadMapping(const std::string& mappingName);

    std::vector<std::unique_ptr<TSakuraProcess>> processes_;
    std::unordered_map<std::string, TSakuraProcess*> byId_; // over processes_
    std::map<std::string, std::unique_ptr<TNamedLock>> mutexCache_;
    std::string lastResult_;
    std::string resultInProgress_;
};
