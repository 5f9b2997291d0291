#include "Descript.h"

#include "Charset.h"

std::map<std::string, std::string> ReadDescript(std::string_view bytes)
{
    if (bytes.starts_with("\xEF\xBB\xBF"))
        bytes.remove_prefix(3);
    std::map<std::string, std::string> values;
    while (!bytes.empty()) {
        const size_t end = bytes.find('\n');
        const std::string_view line = bytes.substr(0, end);
        bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
        const size_t comma = line.find(',');
        if (comma != std::string_view::npos)
            values.emplace(LowerAscii(TrimBlanks(line.substr(0, comma))),
                std::string(TrimBlanks(line.substr(comma + 1))));
    }
    return values;
}
