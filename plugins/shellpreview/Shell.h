#pragma once

#include "Image.h"
#include "ShellFolder.h"
#include "SurfacesText.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

// One image of a surface, in drawing order.
struct ShellLayer
{
    std::string method;
    std::string file; // relative to the shell folder, as the definition names it
    int x = 0;
    int y = 0;
};

// A ghost's shell: its surfaceN.png files, its definitions (every surfaces*.txt in name order,
// then alias.txt) and whether its descript.txt says seriko.use_self_alpha,1. Read once when
// constructed, with every file read bounded; what cannot be read is left out.
class Shell
{
public:
    static constexpr size_t kMaxTextBytes = size_t(8) << 20;
    static constexpr size_t kMaxImageBytes = size_t(64) << 20;

    // folder: the native shell folder, ending in "/".
    explicit Shell(std::string folder);

    // The layers of a still picture of a surface: an alias is followed first (the first id of
    // its list, looked up in the sakura, then kero, then charN tables); a definition with
    // element0 gives its elements in increasing number up to the first gap, otherwise the
    // surface is its surfaceN.png. Empty when the surface is unknown.
    std::vector<ShellLayer> Layers(int surface) const;

    // The composed picture at the base's size; nothing when the surface is unknown or an image it
    // needs is damaged. An element whose file does not exist is left out.
    std::optional<Image> Draw(int surface) const;

    bool UsesSelfAlpha() const { return selfAlpha_; }

private:
    // A layer's image with its transparency: its .pna, else its own alpha ("asis", or
    // use_self_alpha when the file has an alpha channel), else its top-left colour as the key.
    // Nothing when the file is damaged; an empty image when it does not exist.
    std::optional<Image> LayerImage(const ShellLayer& layer) const;
    int Alias(int surface) const;

    ShellFolder folder_;
    SurfaceDefinitions definitions_;
    std::map<int, std::string> pngs_; // surface number -> file name
    bool selfAlpha_ = false;
};
