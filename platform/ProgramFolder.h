#pragma once

#include <string>

// The folder of the running executable (from /proc/self/exe, never the current folder) with a
// trailing "/", as program text. Throws EEncodingError when the folder's name has characters
// with no Shift_JIS form, and EFileError when the executable cannot be found.
std::string ProgramFolder();

// The executable's file name without its extension ("velmo" for /opt/velmo/velmo).
std::string ProgramBaseName();
