// The profile reader on arbitrary bytes, and its one promise when writing: a value written can be
// read back, whatever the file held before, and the rest of the file stays readable.

#include "platform/IniFile.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    TIniFile ini(bytes);
    for (const char* section : { "General", "Form", "Play" })
        for (const char* key : { "LUID", "Top", "FMO" }) {
            (void)ini.ReadString(section, key, "d");
            (void)ini.ReadInteger(section, key, 1);
        }

    ini.WriteString("General", "LUID", "value one");
    ini.WriteInteger("Form", "Top", -145);
    ini.WriteString("Play", "FMO", "Sakura,\"a b\"");
    const TIniFile again(ini.ToBytes());
    if (again.ReadValue("general", "luid") != "value one"
        || again.ReadInteger("FORM", "top", 0) != -145
        || again.ReadValue("play", "fmo") != "Sakura,\"a b\"")
        std::abort();
    if (again.ToBytes() != ini.ToBytes())
        std::abort();
    return 0;
}
