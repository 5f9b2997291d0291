#pragma once

#include <map>
#include <string>
#include <string_view>

// A descript.txt is read only when it is no larger than this.
constexpr size_t kMaxDescriptBytes = size_t(1) << 20;

// A ghost's or a shell's descript.txt: "key,value" lines (a UTF-8 byte order mark skipped). Keys
// are lowered (ASCII), blanks around keys and values dropped, and the first line for a key wins.
// Values are bytes as written, in the file's own charset.
std::map<std::string, std::string> ReadDescript(std::string_view bytes);
