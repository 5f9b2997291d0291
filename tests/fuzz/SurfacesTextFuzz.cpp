// A shell's surface definitions on arbitrary bytes. Never a crash, whatever the charset line says;
// every element kept is one a surface can draw: a number within the limit, a file name with "/"
// separators only, and every range in order.

#include "plugins/shellpreview/SurfacesText.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    SurfaceDefinitions definitions;
    definitions.Parse(std::string_view(reinterpret_cast<const char*>(data), size));
    for (const SurfaceBlock& block : definitions.blocks) {
        for (const SurfaceRange& range : block.ranges)
            if (range.low < 0 || range.high < range.low)
                std::abort();
        for (const SurfaceElement& element : block.elements)
            if (element.number < 0 || element.number > SurfaceDefinitions::kMaxElement
                || element.file.empty() || element.file.find('\\') != std::string::npos)
                std::abort();
        for (const int surface : { 0, 1, 10, 2147483647 })
            (void)block.Names(surface);
    }
    return 0;
}
