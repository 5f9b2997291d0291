#pragma once

#include "platform/Errors.h"
#include "render/Bitmap.h"

#include <cstdint>
#include <memory>
#include <string>

// A failure that concerns one surface plug-in (loading, binding, releasing) or a malformed
// surface key.
class ESppException : public EVelmoError
{
public:
    using EVelmoError::EVelmoError;
};

// One answer of the image cache: a surface as drawn (an empty bitmap when no plug-in could draw
// it), the ghost it belongs to, and the surface numbers it answers for.
class TSppImage
{
public:
    TBitmap Bitmap;
    // "<surfaces>,<sub-key>": surfaces "*" or items "A" / "A-B" joined by "&"; sub-key "*" or a
    // number. Entries the program makes are "<N>,*".
    std::string SurfaceKey;
    std::string GhostName; // compared byte for byte

    bool Matches(const std::string& ghostName, int32_t surface, uint8_t subKey) const;
    // Throws ESppException "Syntax error found in SurfaceKey "%s"" for a key without a comma or
    // with an item that is not a whole number.
    bool MatchKey(int32_t surface, uint8_t subKey) const;
};

class TSppPlugin;

// The binding of one plug-in interface version. Owned by its plug-in.
class TSppImplementation
{
public:
    explicit TSppImplementation(TSppPlugin& plugin)
        : Plugin(plugin)
    { }
    virtual ~TSppImplementation() = default;
    TSppImplementation(const TSppImplementation&) = delete;
    TSppImplementation& operator=(const TSppImplementation&) = delete;

    virtual void Load() = 0;
    // A new cache entry with the drawn surface, or null when the plug-in cannot draw it.
    virtual std::unique_ptr<TSppImage> GetImage(
        const std::string& ghostName, int32_t surface, uint8_t subKey)
        = 0;
    virtual void Unload() = 0;
    virtual void Configure() = 0;

    TSppPlugin& Plugin;
};

// Interface version 1: the five entry points of plugins/spp.h besides GetVersion.
class TSppImplementation1 : public TSppImplementation
{
public:
    // Throws ESppException "Error Getting Procedure Address" when an entry point is missing.
    explicit TSppImplementation1(TSppPlugin& plugin);

    void Load() override;
    std::unique_ptr<TSppImage> GetImage(
        const std::string& ghostName, int32_t surface, uint8_t subKey) override;
    void Unload() override;
    void Configure() override;

private:
    void* load_;
    void* unload_;
    void* getImage_;
    void* getImageSize_;
    void* configure_;
};

// One loaded plug-in (a shared object). Construction loads it, checks its version, binds it and
// calls its Load; a failure at any step releases what was loaded and throws ESppException. GUI
// thread only.
class TSppPlugin
{
public:
    explicit TSppPlugin(std::string fileName);
    // Calls Unload and releases the shared object if Release() has not.
    ~TSppPlugin();
    TSppPlugin(const TSppPlugin&) = delete;
    TSppPlugin& operator=(const TSppPlugin&) = delete;

    // Unloads and releases; throws ESppException "Error unloading module %s" if releasing fails.
    void Release();

    std::unique_ptr<TSppImage> GetImage(
        const std::string& ghostName, int32_t surface, uint8_t subKey);

    // The address of an export, or null (the dynamic linker's error is kept for messages).
    void* Symbol(const char* name);
    std::string LastLinkerError() const { return lastLinkerError_; }

    std::string Description;
    const std::string FileName;
    std::unique_ptr<TSppImplementation> Implementation;
    void* Handle = nullptr;
    bool VersionFlag = false;

private:
    void CloseHandle();
    std::string lastLinkerError_;
};
