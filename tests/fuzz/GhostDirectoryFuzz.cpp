// The ghost directory as a ghost host publishes it, on arbitrary bytes: the mapping's length
// header and text, then the "id.key\x01value" lines. Never a crash; every id finds its own entry.

#include "ghost/SakuraSeeker.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::string text;
    try {
        text = TSakuraSeeker::DirectoryText(bytes);
    } catch (const ESakuraSeekerError&) {
        text = bytes; // a bad length: parse the raw bytes all the same
    }
    TSakuraSeeker seeker;
    seeker.ParseDirectory(text, "Sakura");
    seeker.ParseDirectory(text, "Other"); // the same ids again add nothing
    for (int i = 0; i < seeker.Count(); ++i) {
        TSakuraProcess& process = seeker.Processes(i);
        if (seeker.ProcessByID(process.ID) != &process || process.FMOName != "Sakura")
            std::abort();
        (void)process.HWnd();
        (void)seeker.ProcessByName(process.Name());
    }
    return 0;
}
