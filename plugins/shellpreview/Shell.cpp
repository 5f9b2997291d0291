#include "Shell.h"

#include "Charset.h"
#include "Compose.h"
#include "Descript.h"

#include <algorithm>
#include <charconv>

namespace {

// "surface0012.png" in any case: 12. Nothing for any other name.
std::optional<int> SurfaceNumber(const std::string& name)
{
    const std::string lower = LowerAscii(name);
    if (!lower.starts_with("surface") || !lower.ends_with(".png") || lower.size() <= 11)
        return std::nullopt;
    const std::string_view digits(lower.data() + 7, lower.size() - 11);
    int value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size() || value < 0
        || digits.front() == '-' || digits.front() == '+')
        return std::nullopt;
    return value;
}

// "name.png" -> "name.pna", keeping the folder part.
std::string MaskName(const std::string& file)
{
    const std::string lower = LowerAscii(file);
    const size_t dot = lower.rfind('.');
    const size_t slash = lower.find_last_of("/\\");
    const std::string stem = dot == std::string::npos || (slash != std::string::npos && dot < slash)
        ? file
        : file.substr(0, dot);
    return stem + ".pna";
}

// The weights of a draw's work, as measured: decoding a pixel takes about three times as long as
// composing one, and reading four bytes about as long as composing one.
constexpr int64_t kDecodeWork = 3;
constexpr size_t kBytesPerWork = 4;

} // namespace

Shell::Shell(std::string folder, const std::string& ghostFolder)
    : folder_(std::move(folder), ghostFolder)
{
    const auto parse = [&](const std::string& path) {
        if (const auto text = folder_.Read(path, kMaxDefinitionBytes - definitionBytes_)) {
            definitionBytes_ += text->size();
            definitions_.Parse(*text);
        }
    };
    for (const std::string& name : folder_.Files()) {
        const std::string lower = LowerAscii(name);
        if (const auto number = SurfaceNumber(name))
            pngs_.emplace(
                *number, name); // the first in name order: surface0.png before surface00.png
        else if (lower.starts_with("surfaces") && lower.ends_with(".txt"))
            parse(folder_.Root() + name);
    }
    if (const std::string alias = folder_.Find("alias.txt"); !alias.empty())
        parse(alias);
    if (const std::string descript = folder_.Find("descript.txt"); !descript.empty())
        if (const auto text = folder_.Read(descript, kMaxDescriptBytes))
            selfAlpha_ = ReadDescript(*text)["seriko.use_self_alpha"] == "1";
}

int Shell::Alias(int surface) const
{
    const auto lookup = [&](const std::string& scope) -> std::optional<int> {
        const auto table = definitions_.aliases.find(scope);
        if (table == definitions_.aliases.end())
            return std::nullopt;
        const auto entry = table->second.find(surface);
        if (entry == table->second.end())
            return std::nullopt;
        return entry->second;
    };
    for (const char* scope : { "sakura", "kero" })
        if (const auto id = lookup(scope))
            return *id;
    for (const auto& [scope, table] : definitions_.aliases)
        if (scope.starts_with("char"))
            if (const auto id = lookup(scope))
                return *id;
    return surface;
}

std::vector<ShellLayer> Shell::Layers(int requested) const
{
    const int surface = Alias(requested);
    const auto png = pngs_.find(surface);
    bool defined = png != pngs_.end();
    std::map<int, const SurfaceElement*> elements;
    for (const SurfaceBlock& block : definitions_.blocks) {
        if (!block.Names(surface) || (block.append && !defined))
            continue;
        defined = true;
        for (const SurfaceElement& element : block.elements)
            elements[element.number] = &element; // a later line for the same number wins
    }
    std::vector<ShellLayer> layers;
    if (elements.count(0)) {
        for (int n = 0; elements.count(n); ++n) {
            const SurfaceElement& e = *elements[n];
            layers.push_back({ e.method, e.file, e.x, e.y });
        }
    } else if (png != pngs_.end()) {
        layers.push_back({ "base", png->second, 0, 0 });
    }
    return layers;
}

std::optional<Image> Shell::Decode(const std::string& path, int64_t& work) const
{
    const auto bytes
        = folder_.Read(path, std::min(kMaxImageBytes, static_cast<size_t>(work) * kBytesPerWork));
    if (!bytes)
        return std::nullopt;
    work -= static_cast<int64_t>((bytes->size() + kBytesPerWork - 1) / kBytesPerWork);
    auto image = Image::DecodePng(*bytes, work / kDecodeWork);
    if (image)
        work -= image->Pixels() * kDecodeWork;
    return image;
}

std::optional<Image> Shell::LayerImage(const ShellLayer& layer, int64_t& work) const
{
    const std::string path = folder_.Find(layer.file);
    if (path.empty())
        return Image {};
    auto image = Decode(path, work);
    if (!image)
        return std::nullopt;
    if (layer.method == "asis")
        return image;
    if (const std::string maskPath = folder_.Find(MaskName(layer.file)); !maskPath.empty()) {
        const auto mask = Decode(maskPath, work);
        if (!mask)
            return std::nullopt;
        // Grey is alpha: black transparent, white opaque; past the mask's edge, transparent.
        for (int32_t y = 0; y < image->height; ++y)
            for (int32_t x = 0; x < image->width; ++x)
                image->At(x, y)[3]
                    = x < mask->width && y < mask->height ? mask->At(x, y)[1] : uint8_t(0);
        return image;
    }
    if (selfAlpha_ && image->hadAlpha)
        return image;
    const uint8_t key[3] = { image->bgra[0], image->bgra[1], image->bgra[2] };
    for (size_t i = 0; i < image->bgra.size(); i += 4) {
        uint8_t* p = image->bgra.data() + i;
        p[3] = p[0] == key[0] && p[1] == key[1] && p[2] == key[2] ? 0 : 255;
    }
    return image;
}

std::optional<Image> Shell::Draw(int surface) const
{
    const std::vector<ShellLayer> layers = Layers(surface);
    if (layers.empty())
        return std::nullopt;
    int64_t work = kMaxDrawWork; // left for this draw
    std::optional<Image> canvas;
    for (const ShellLayer& layer : layers) {
        const auto image = LayerImage(layer, work);
        if (!image)
            return std::nullopt; // a damaged image, or one past the bounds
        if (!canvas) {
            if (image->width == 0)
                return std::nullopt; // no base
            canvas = Image { image->width, image->height, false,
                std::vector<uint8_t>(image->bgra.size(), 0) };
        }
        if (image->width > 0) {
            const int64_t composing = LayerArea(*canvas, *image, layer.x, layer.y);
            if (composing > work)
                return std::nullopt;
            work -= composing;
            DrawLayer(*canvas, *image, layer.x, layer.y, layer.method);
        }
    }
    return canvas;
}
