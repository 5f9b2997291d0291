// A server's or ghost host's answer as name/value pairs, on arbitrary bytes: never a crash, every
// name non-empty and free of line breaks, and ValueOf answers the first pair of a name.

#include "ghost/HeadValue.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const THeadValue answer(std::string(reinterpret_cast<const char*>(data), size));
    for (int i = 0; i < answer.Count(); ++i) {
        const std::string& name = answer.Names(i);
        if (name.empty() || name.find_first_of("\r\n") != std::string::npos)
            std::abort();
        int first = 0;
        while (answer.Names(first) != name)
            ++first;
        if (answer.ValueOf(name) != answer.Values(first))
            std::abort();
    }
    return 0;
}
