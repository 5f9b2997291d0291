#include "ghost/SakuraSeeker.h"

#include "platform/Encoding.h"
#include "platform/NamedLock.h"
#include "platform/SharedMemory.h"
#include "platform/StrUtils.h"

#include <cstring>

namespace {

// The key under which SameText-equal keys meet: ASCII letters lowered, double-byte characters
// kept whole.
std::string FoldedKey(const std::string& key)
{
    std::string folded = key;
    for (size_t i = 0; i < folded.size(); ++i) {
        const auto c = static_cast<unsigned char>(folded[i]);
        if (IsLeadByte(c))
            ++i;
        else if (c >= 'A' && c <= 'Z')
            folded[i] = static_cast<char>(c + ('a' - 'A'));
    }
    return folded;
}

} // namespace

std::string TSakuraProcess::Value(const std::string& key) const
{
    const auto it = values_.find(FoldedKey(key));
    return it == values_.end() ? std::string() : it->second;
}

void TSakuraProcess::SetValue(const std::string& key, const std::string& value)
{
    if (value.empty())
        values_.erase(FoldedKey(key));
    else
        values_[FoldedKey(key)] = value;
}

uint32_t TSakuraProcess::HWnd() const
{
    const auto value = TryStrToInt(Value("hwnd"));
    return value && *value > 0 ? static_cast<uint32_t>(*value) : 0;
}

TSakuraSeeker::TSakuraSeeker() = default;
TSakuraSeeker::~TSakuraSeeker() = default;

TSakuraProcess* TSakuraSeeker::ProcessByName(const std::string& ghostName) const
{
    for (const auto& p : processes_)
        if (p->Name() == ghostName)
            return p.get();
    return nullptr;
}

TSakuraProcess* TSakuraSeeker::ChooseGhost(const std::string& ghostName) const
{
    if (TSakuraProcess* named = ProcessByName(ghostName))
        return named;
    return processes_.empty() ? nullptr : processes_.front().get();
}

TSakuraProcess* TSakuraSeeker::ProcessByID(const std::string& id) const
{
    const auto it = byId_.find(id);
    return it == byId_.end() ? nullptr : it->second;
}

std::vector<std::string> TSakuraSeeker::MutexCache() const
{
    std::vector<std::string> items;
    for (const auto& [name, lock] : mutexCache_)
        items.push_back(name + "=" + std::to_string(lock->Handle()));
    return items;
}

std::string TSakuraSeeker::DirectoryText(std::string_view mapping)
{
    if (mapping.size() < 4)
        return {};
    uint32_t length = 0;
    for (int i = 3; i >= 0; --i)
        length = (length << 8) | static_cast<uint8_t>(mapping[static_cast<size_t>(i)]);
    std::string_view text = mapping.substr(4);
    text = text.substr(0, text.find('\0'));
    if (static_cast<int64_t>(text.size()) > static_cast<int32_t>(length))
        throw ESakuraSeekerError(Sjis("FMOを取得できませんでした"));
    return std::string(text);
}

void TSakuraSeeker::Detect()
{
    Clear();
    resultInProgress_.clear();
    for (const std::string& name : FileMappingTarget)
        ReadMapping(name);
    const bool changed = resultInProgress_ != lastResult_;
    lastResult_ = resultInProgress_;
    if (changed && OnDetectResultChanged)
        OnDetectResultChanged(*this);
    if (OnAfterDetection)
        OnAfterDetection(*this);
}

void TSakuraSeeker::ReadMapping(const std::string& mappingName)
{
    std::string mutexName = mappingName;
    if (OnGetMutexName)
        OnGetMutexName(*this, mutexName);
    else
        mutexName += "FMO";
    auto cached = mutexCache_.find(mutexName);
    if (cached == mutexCache_.end()) {
        auto lock = TNamedLock::Open(mutexName);
        if (!lock)
            throw ESakuraSeekerError(Sjis("Mutexハンドルを取得できませんでした"));
        cached = mutexCache_.emplace(mutexName, std::move(lock)).first;
    }
    TNamedLock& lock = *cached->second;
    if (!lock.Wait(LockTimeoutMs, CancelFd))
        throw ESakuraSeekerError(Sjis("Mutex同期タイムアウト"));
    // The lock is held only while the text is copied, never while it is parsed.
    std::string text;
    try {
        if (const auto bytes = TSharedMemory::Read(mappingName))
            text = DirectoryText(*bytes);
    } catch (...) {
        lock.Release();
        throw;
    }
    lock.Release();
    ParseDirectory(text, mappingName);
    resultInProgress_ += text;
}

void TSakuraSeeker::ParseDirectory(const std::string& text, const std::string& mappingName)
{
    try {
        for (const std::string& line : SplitLines(text)) {
            const size_t dot = line.find('.');
            const std::string id = dot == std::string::npos ? std::string() : line.substr(0, dot);
            const std::string rest = dot == std::string::npos ? line : line.substr(dot + 1);
            const size_t mark = rest.find('\x01');
            const std::string key
                = mark == std::string::npos ? std::string() : rest.substr(0, mark);
            const std::string value = mark == std::string::npos ? rest : rest.substr(mark + 1);
            TSakuraProcess* process = ProcessByID(id);
            if (!process) {
                processes_.push_back(std::make_unique<TSakuraProcess>());
                process = processes_.back().get();
                process->ID = id;
                process->FMOName = mappingName;
                byId_.emplace(id, process);
            }
            process->SetValue(key, value);
        }
    } catch (const std::exception&) {
        // A malformed directory ends the parsing quietly; what was read stays.
    }
}
