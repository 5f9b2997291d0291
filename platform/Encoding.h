#pragma once

#include <string>
#include <string_view>

// The three edges where text changes character set: file-system paths, the terminal and the
// Japanese literals in our own source (which is UTF-8). Program text itself stays Shift_JIS
// (code page 932) everywhere else.

// UTF-8 to Shift_JIS. Throws EEncodingError when a character has no Shift_JIS form.
std::string Utf8ToSjis(std::string_view utf8);

// Shift_JIS to UTF-8. Throws EEncodingError on bytes that are not valid Shift_JIS.
std::string SjisToUtf8(std::string_view sjis);

// Shift_JIS to UTF-8 for showing on a terminal: bytes that do not convert become "?", so a
// message is never lost for one bad byte.
std::string SjisToUtf8Lossy(std::string_view sjis);

// UTF-8 from the system (error texts, names) as program text: characters with no Shift_JIS form
// become "?".
std::string Utf8ToSjisLossy(std::string_view utf8);

// A Japanese literal of our source as program text. Only for constant texts known to convert.
std::string Sjis(std::string_view utf8Literal);

// A Shift_JIS path as the file system wants it, and back. Both throw EEncodingError with a
// message naming the path when it cannot be converted: a mangled path would open the wrong file.
std::string NativePath(std::string_view sjisPath);
std::string FromNativePath(std::string_view nativePath);
