#pragma once

#include "render/Plugins.h"

#include <memory>
#include <string>
#include <vector>

class IMessageBox;

// The small window shown while plug-ins load. The Qt side implements it; the core only sees this.
class IProgressWindow
{
public:
    virtual ~IProgressWindow() = default;
    // Shows a line of text and repaints at once (the GUI thread is busy loading meanwhile).
    virtual void SetContent(const std::string& text) = 0;
};

// Makes a shown progress window; destroying it closes it.
class IProgressWindowFactory
{
public:
    virtual ~IProgressWindowFactory() = default;
    virtual std::unique_ptr<IProgressWindow> Show() = 0;
};

// The program's surface plug-ins in load order, and the in-memory cache of their last 100
// answers (including "no plug-in can draw this"), most recently used first, holding at most
// kCacheBytes of pixels: the least recently used go first, and a picture larger than the whole
// bound is handed out but not kept. One instance lives
// from before the main window to after the message loop. GUI thread only.
class TSppList
{
public:
    static constexpr size_t kCacheSize = 100;
    static constexpr size_t kCacheBytes = 64 * 1024 * 1024;

    // ownsObjects must be true (the list always frees its plug-ins); otherwise throws EVelmoError
    // "TSppList.OwnsObject must be set to true". The two links must outlive the list.
    TSppList(bool ownsObjects, IMessageBox& messageBox, IProgressWindowFactory& progress);
    // Empties the cache, then unloads every plug-in in load order.
    ~TSppList();
    TSppList(const TSppList&) = delete;
    TSppList& operator=(const TSppList&) = delete;

    // Unloads every plug-in, empties the cache and loads every *.so of the folder (regular files,
    // not hidden, in name order). A plug-in that fails to load is reported in a message box
    // "SPPプラグインロード失敗:\r\n" + message and skipped. An empty folder name loads nothing.
    void LoadFromFolder(const std::string& folder);

    // Fills bitmap from the cache or the first plug-in that can draw the surface. True when a
    // plug-in drew it now or a cache entry answered (a no-image entry leaves the bitmap empty).
    bool GetSurface(const std::string& ghostName, int32_t surface, TBitmap& bitmap);

    void ClearCache()
    {
        Images.clear();
        cachedBytes_ = 0;
    }

    std::vector<std::unique_ptr<TSppPlugin>> Plugins;
    std::vector<std::unique_ptr<TSppImage>> Images; // index 0: most recently used; change it
                                                    // only through ClearCache

private:
    void UnloadAll();
    static size_t PixelBytes(const TSppImage& image);

    size_t cachedBytes_ = 0; // pixels held by Images

    IMessageBox& messageBox_;
    IProgressWindowFactory& progress_;
};
