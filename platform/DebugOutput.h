#pragma once

#include <string_view>

// Diagnostic lines for developers: one line of program text to standard error, only when the
// environment variable VELMO_DEBUG is set. Safe to call from any thread.
void OutputDebugString(std::string_view text);
