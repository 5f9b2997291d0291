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
// constructed, with every file read bounded; what cannot be read is left out. Only files inside
// the ghost's folder are read (see ShellFolder).
//
// A shell is a stranger's data, so it is bounded as a whole as well as file by file: its
// definitions together hold at most kMaxDefinitionBytes (the files in name order while they fit;
// one that does not is left out), a surface has at most SurfaceDefinitions::kMaxElement + 1
// elements, a picture and so the composed surface at most Image::kMaxSide a side, and one draw does
// at most kMaxDrawWork of work, counted before each step: a composed pixel counts one, a decoded
// pixel three, four bytes read one. A surface past a bound is not drawn, so a draw takes a fraction
// of a second at most. What still fits: a 2,048 x 2,048 base with small parts, or a 1,000 x 1,000
// base with four layers of its size.
class Shell
{
public:
    static constexpr size_t kMaxDefinitionBytes = size_t(4) << 20;
    static constexpr size_t kMaxImageBytes = size_t(24) << 20;
    static constexpr int64_t kMaxDrawWork = int64_t(24) << 20;

    // folder: the native shell folder, ending in "/"; ghostFolder: the ghost's folder holding it.
    Shell(std::string folder, const std::string& ghostFolder);

    // The layers of a still picture of a surface: an alias is followed first (the first id of
    // its list, looked up in the sakura, then kero, then charN tables); a definition with
    // element0 gives its elements in increasing number up to the first gap, otherwise the
    // surface is its surfaceN.png. Empty when the surface is unknown.
    std::vector<ShellLayer> Layers(int surface) const;

    // The composed picture at the base's size; nothing when the surface is unknown, an image it
    // needs is damaged or too large, or the work would pass kMaxDrawWork. An element whose file
    // does not exist is left out.
    std::optional<Image> Draw(int surface) const;

    bool UsesSelfAlpha() const { return selfAlpha_; }
    // The bytes of the definition files read.
    size_t DefinitionBytes() const { return definitionBytes_; }

private:
    // A layer's image with its transparency: its .pna, else its own alpha ("asis", or
    // use_self_alpha when the file has an alpha channel), else its top-left colour as the key.
    // Nothing when the file is damaged or more than `work` allows; an empty image when it does not
    // exist. What it reads and decodes is taken from `work`.
    std::optional<Image> LayerImage(const ShellLayer& layer, int64_t& work) const;
    std::optional<Image> Decode(const std::string& path, int64_t& work) const;
    int Alias(int surface) const;

    ShellFolder folder_;
    SurfaceDefinitions definitions_;
    size_t definitionBytes_ = 0;
    std::map<int, std::string> pngs_; // surface number -> file name
    bool selfAlpha_ = false;
};
