#pragma once

#include <string>
#include <string_view>

// The per-user namespace of named objects that ghost hosts and the viewer share (shared memory,
// locks, windows): $XDG_RUNTIME_DIR/sstp, or /tmp/sstp-<uid> without that variable, with the
// subfolders shm/, lock/ and windows/. Created with mode 0700; refused with EVelmoError when
// another user owns it or others may enter it. The environment is read on every call.
std::string SstpFolder();

// The native path of object `name` in subfolder `kind` ("shm", "lock" or "windows"), or empty
// when the name names no object: empty, "." or "..", holding "/" or a NUL, or not convertible
// from Shift_JIS.
std::string SstpObjectPath(std::string_view kind, std::string_view name);
