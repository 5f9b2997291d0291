#include "render/Plugins.h"

#include "platform/DebugOutput.h"
#include "platform/Encoding.h"
#include "platform/StrUtils.h"

#define SPP_HOST
#include "plugins/spp.h"

#include <cstring>
#include <dlfcn.h>

namespace {

template <typename F> F As(void* address)
{
    return reinterpret_cast<F>(address);
}

ESppException KeyError(const std::string& key)
{
    return ESppException("Syntax error found in SurfaceKey \"" + key + "\"");
}

std::string DlError()
{
    const char* text = ::dlerror();
    return text ? text : "";
}

} // namespace

bool TSppImage::Matches(const std::string& ghostName, int32_t surface, uint8_t subKey) const
{
    return ghostName == GhostName && MatchKey(surface, subKey);
}

bool TSppImage::MatchKey(int32_t surface, uint8_t subKey) const
{
    const size_t comma = SurfaceKey.find(',');
    if (comma == std::string::npos)
        throw KeyError(SurfaceKey);
    const std::string_view surfaces = std::string_view(SurfaceKey).substr(0, comma);
    const std::string_view sub = std::string_view(SurfaceKey).substr(comma + 1);
    if (sub != "*" && sub != std::to_string(subKey))
        return false;
    if (surfaces == "*")
        return true;
    const auto number = [&](std::string_view text) {
        const auto value = TryStrToInt(text);
        if (!value)
            throw KeyError(SurfaceKey);
        return *value;
    };
    for (const std::string& item : SplitFields(surfaces, '&')) {
        const size_t dash = item.find('-');
        const int32_t from = number(std::string_view(item).substr(0, dash));
        const int32_t to
            = dash == std::string::npos ? from : number(std::string_view(item).substr(dash + 1));
        if (from <= surface && surface <= to)
            return true;
    }
    return false;
}

TSppImplementation1::TSppImplementation1(TSppPlugin& plugin)
    : TSppImplementation(plugin)
    , load_(plugin.Symbol("Load"))
    , unload_(plugin.Symbol("Unload"))
    , getImage_(plugin.Symbol("GetImage"))
    , getImageSize_(plugin.Symbol("GetImageSize"))
    , configure_(plugin.Symbol("Configure"))
{
    if (!load_ || !unload_ || !getImage_ || !getImageSize_ || !configure_)
        throw ESppException("Error Getting Procedure Address (" + plugin.LastLinkerError() + ")");
}

void TSppImplementation1::Load()
{
    const std::string& path = Plugin.FileName;
    const std::string folder = path.substr(0, path.rfind('/') + 1);
    As<SppLoadFunc>(load_)(folder.c_str());
}

std::unique_ptr<TSppImage> TSppImplementation1::GetImage(
    const std::string& ghostName, int32_t surface, uint8_t)
{
    if (surface < 0)
        return nullptr;
    int32_t width = 0;
    int32_t height = 0;
    if (As<SppGetImageSizeFunc>(getImageSize_)(ghostName.c_str(), surface, &width, &height) != 0)
        return nullptr;
    // A size no bitmap can have is an answer the plug-in cannot keep: treat it as "cannot draw".
    if (width < 0 || height < 0 || int64_t(width) * height > TBitmap::kMaxPixels) {
        OutputDebugString(Plugin.FileName + ": GetImageSize answered " + std::to_string(width) + "x"
            + std::to_string(height));
        return nullptr;
    }
    TBitmap drawn(width, height);
    SppBitmap view = drawn.SppView();
    if (As<SppGetImageFunc>(getImage_)(ghostName.c_str(), surface, &view) != 0)
        return nullptr;
    auto image = std::make_unique<TSppImage>();
    image->Bitmap = std::move(drawn);
    image->GhostName = ghostName;
    image->SurfaceKey = std::to_string(surface) + ",*";
    return image;
}

void TSppImplementation1::Unload()
{
    As<SppUnloadFunc>(unload_)();
}

void TSppImplementation1::Configure()
{
    As<SppConfigureFunc>(configure_)();
}

TSppPlugin::TSppPlugin(std::string fileName)
    : FileName(std::move(fileName))
{
    Handle = ::dlopen(NativePath(FileName).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!Handle)
        throw ESppException("Error loading " + FileName + " (" + Utf8ToSjisLossy(DlError()) + ")");
    try {
        void* getVersion = Symbol("GetVersion");
        if (!getVersion)
            throw ESppException(FileName + " is not a valid SPP module");
        char description[257] = {};
        int32_t version = 0;
        uint8_t flag = 0;
        As<SppGetVersionFunc>(getVersion)(description, 256, &version, &flag);
        if (version != SPP_INTERFACE_VERSION)
            throw ESppException("Module " + FileName + " returned unsupported version number("
                + std::to_string(version) + ")");
        Implementation = std::make_unique<TSppImplementation1>(*this);
        Description.assign(description, ::strnlen(description, 256));
        VersionFlag = flag != 0;
    } catch (...) {
        CloseHandle();
        throw;
    }
    Implementation->Load();
}

TSppPlugin::~TSppPlugin()
{
    try {
        Release();
    } catch (const std::exception& e) {
        OutputDebugString(e.what());
    }
}

void TSppPlugin::Release()
{
    if (!Handle)
        return;
    if (Implementation) {
        Implementation->Unload();
        Implementation.reset();
    }
    void* handle = Handle;
    Handle = nullptr;
    if (::dlclose(handle) != 0)
        throw ESppException("Error unloading module " + FileName);
}

void TSppPlugin::CloseHandle()
{
    if (Handle)
        ::dlclose(Handle);
    Handle = nullptr;
}

std::unique_ptr<TSppImage> TSppPlugin::GetImage(
    const std::string& ghostName, int32_t surface, uint8_t subKey)
{
    return Implementation ? Implementation->GetImage(ghostName, surface, subKey) : nullptr;
}

void* TSppPlugin::Symbol(const char* name)
{
    ::dlerror();
    void* address = ::dlsym(Handle, name);
    if (!address)
        lastLinkerError_ = Utf8ToSjisLossy(DlError());
    return address;
}
