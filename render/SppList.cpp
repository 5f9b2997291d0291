#include "render/SppList.h"

#include "platform/DebugOutput.h"
#include "platform/Encoding.h"
#include "platform/MessageBox.h"
#include "platform/Termination.h"

#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>

namespace {

// Regular, not hidden files named *.so, in name order so that the plug-in that answers first
// does not depend on the file system's listing order.
std::vector<std::string> PluginFileNames(const std::string& folder)
{
    std::vector<std::string> names;
    const std::string native = NativePath(folder);
    DIR* dir = ::opendir(native.c_str());
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.empty() || name[0] == '.' || name.size() < 4
            || name.compare(name.size() - 3, 3, ".so") != 0)
            continue;
        struct stat st
        { };
        if (::stat((native + "/" + name).c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TSppList::TSppList(bool ownsObjects, IMessageBox& messageBox, IProgressWindowFactory& progress)
    : messageBox_(messageBox)
    , progress_(progress)
{
    if (!ownsObjects)
        throw EVelmoError("TSppList.OwnsObject must be set to true");
}

TSppList::~TSppList()
{
    ClearCache();
    try {
        UnloadAll();
    } catch (const std::exception& e) {
        OutputDebugString(e.what());
    }
}

void TSppList::UnloadAll()
{
    // Every plug-in is released even when one fails; the first failure is reported after.
    std::exception_ptr first;
    for (auto& plugin : Plugins) {
        try {
            plugin->Release();
        } catch (...) {
            if (!first)
                first = std::current_exception();
        }
    }
    Plugins.clear();
    if (first)
        std::rethrow_exception(first);
}

void TSppList::LoadFromFolder(const std::string& folder)
{
    ClearCache();
    UnloadAll();
    if (folder.empty())
        return;
    const std::unique_ptr<IProgressWindow> window = progress_.Show();
    for (const std::string& nativeName : PluginFileNames(folder)) {
        const std::string name = Utf8ToSjisLossy(nativeName);
        window->SetContent(Sjis("プラグイン") + name + Sjis("を読み込み中..."));
        // A plug-in that fails, or a file name with no Shift_JIS form, is reported and skipped;
        // any other error ends the load.
        std::string failure;
        try {
            Plugins.push_back(
                std::make_unique<TSppPlugin>(folder + "/" + FromNativePath(nativeName)));
        } catch (const ESppException& e) {
            failure = e.what();
        } catch (const EEncodingError& e) {
            failure = e.what();
        }
        if (!failure.empty())
            messageBox_.ShowMessage(Sjis("SPPプラグインロード失敗:\r\n") + failure);
    }
}

bool TSppList::GetSurface(const std::string& ghostName, int32_t surface, TBitmap& bitmap)
{
    for (auto it = Images.begin(); it != Images.end(); ++it) {
        if (!(*it)->Matches(ghostName, surface, 0))
            continue;
        OutputDebugString("Cache Used: " + ghostName + std::to_string(surface));
        bitmap = (*it)->Bitmap;
        std::rotate(Images.begin(), it, it + 1);
        return true;
    }
    std::unique_ptr<TSppImage> image;
    for (auto& plugin : Plugins) {
        // A program told to end draws no more pictures.
        if (TerminationRequested())
            return false;
        image = plugin->GetImage(ghostName, surface, 0);
        if (image)
            break;
    }
    const bool drawn = image != nullptr;
    if (drawn) {
        bitmap = image->Bitmap;
    } else {
        image = std::make_unique<TSppImage>();
        image->GhostName = ghostName;
        image->SurfaceKey = std::to_string(surface) + ",*";
    }
    const size_t bytes = PixelBytes(*image);
    if (bytes > kCacheBytes)
        return drawn; // not kept: it would push out everything else and still not fit
    cachedBytes_ += bytes;
    Images.insert(Images.begin(), std::move(image));
    while (Images.size() > kCacheSize || cachedBytes_ > kCacheBytes) {
        cachedBytes_ -= PixelBytes(*Images.back());
        Images.pop_back();
    }
    return drawn;
}

size_t TSppList::PixelBytes(const TSppImage& image)
{
    return static_cast<size_t>(image.Bitmap.BytesPerRow())
        * static_cast<size_t>(image.Bitmap.Height());
}
