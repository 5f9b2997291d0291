// Both log readers on arbitrary bytes: any outcome but a crash, a sanitizer report or a broken
// list is fine. The list's indexes must still follow positions after an error.

#include "log/LogReader.h"
#include "platform/Errors.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void CheckIndexes(const TMessageList& list)
{
    for (int32_t i = 0; i < list.Count(); ++i)
        if (list.Items(i).Index != i)
            std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    TMessageList list;
    try {
        ParseLog(text, list, {});
    } catch (const EVelmoError&) { }
    CheckIndexes(list);
    // Most inputs fail the "Result: OK" test; give the data lines a chance too.
    try {
        ParseLog("Result: OK\r\n\r\n\r\n" + text, list, {});
    } catch (const EVelmoError&) { }
    CheckIndexes(list);
    try {
        ParseSentLog(text, list, {});
    } catch (const EVelmoError&) { }
    CheckIndexes(list);
    return 0;
}
