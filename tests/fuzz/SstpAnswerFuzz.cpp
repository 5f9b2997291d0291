// A ghost host's answers on arbitrary bytes: the status line, the completeness checks, both
// directory answers, the shared memory block that names the socket folder, and the tag filter on
// the same bytes as a script. Never a crash; what comes out holds no line break where a header
// value is made of it, and filtering twice changes nothing more.

#include "ghost/SakuraSeeker.h"
#include "ghost/SstpWire.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    if (const auto status = ParseSstpStatus(bytes))
        if (status->Code < 0 || status->Code > 999 || !FitsHeaderLine(status->Reason))
            std::abort();
    (void)SstpHeadersComplete(bytes);
    (void)SstpExecuteComplete(bytes);
    for (const auto& text : { NinixDirectoryText(bytes), TcpDirectoryText(bytes) }) {
        if (!text)
            continue;
        TSakuraSeeker directory;
        directory.ParseDirectory(*text, "fuzz");
        if (const TSakuraProcess* ghost = directory.ChooseGhost("x"))
            if (!FitsHeaderLine(ghost->NamePair()))
                std::abort();
    }
    if (const auto folder = NinixShmSocketFolder(bytes))
        if (folder->empty() || (*folder)[0] != '/')
            std::abort();
    const std::string once = RemoveRefusedTags(bytes);
    if (once.size() > bytes.size() || RemoveRefusedTags(once) != once)
        std::abort();
    return 0;
}
