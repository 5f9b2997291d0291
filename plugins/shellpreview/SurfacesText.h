#pragma once

#include <deque>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// The surface definitions of a shell (surfaces*.txt, alias.txt): brace blocks whose header names
// the surfaces they define. Only what a still picture needs is kept: elements and aliases.

// One "elementN,method,file,x,y" line. The file is UTF-8 with "/" as the separator.
struct SurfaceElement
{
    int number = 0;
    std::string method; // lower case
    std::string file;
    int x = 0;
    int y = 0;
};

// An inclusive range of surface numbers in a block header; `exclude` for the "!" items.
struct SurfaceRange
{
    int low = 0;
    int high = 0;
    bool exclude = false;
};

// A "surface..." block: the surfaces its header names, and its elements, one for each number.
struct SurfaceBlock
{
    static constexpr size_t kMaxRanges = 1024; // the items of a header read, at most

    std::vector<SurfaceRange> ranges;
    bool append = false; // "surface.append...": adds to surfaces already defined
    std::vector<SurfaceElement> elements;

    // A later element for a number already there replaces it.
    void Add(SurfaceElement element);
    bool Names(int surface) const;
};

struct SurfaceDefinitions
{
    static constexpr int kMaxElement = 63; // elements 0-63: at most 64 a block and a surface

    std::deque<SurfaceBlock> blocks; // in file order; a deque, as a shell may have very many
    // Alias tables by scope ("sakura", "kero", "char2", ...): surface -> first id of its list.
    std::map<std::string, std::map<int, int>> aliases;

    // Adds the blocks of one file's bytes: a first "charset,..." line names its encoding (else
    // Shift_JIS, unless a UTF-8 byte order mark says otherwise). A line that cannot be read is
    // skipped; nothing in the text can make it fail.
    void Parse(std::string_view bytes);
};
