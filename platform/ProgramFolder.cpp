#include "platform/ProgramFolder.h"

#include "platform/Encoding.h"
#include "platform/Errors.h"

#include <cerrno>
#include <cstring>
#include <limits.h>
#include <unistd.h>

namespace {

std::string ExecutablePath()
{
    std::string buffer(PATH_MAX, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n <= 0 || static_cast<size_t>(n) >= buffer.size())
        throw EFileError(
            std::string("Cannot find the program's executable: ") + std::strerror(errno));
    buffer.resize(static_cast<size_t>(n));
    return FromNativePath(buffer);
}

} // namespace

std::string ProgramFolder()
{
    const std::string path = ExecutablePath();
    return path.substr(0, path.rfind('/') + 1);
}

std::string ProgramBaseName()
{
    const std::string path = ExecutablePath();
    std::string name = path.substr(path.rfind('/') + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0)
        name.resize(dot);
    return name;
}
