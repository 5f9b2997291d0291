#include "platform/SstpFolder.h"

#include "platform/Encoding.h"
#include "platform/Errors.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void EnsurePrivateFolder(const std::string& path)
{
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        throw EVelmoError(
            "Cannot create the SSTP folder \"" + path + "\". " + std::strerror(errno));
    struct stat st
    { };
    if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        throw EVelmoError("The SSTP folder \"" + path + "\" is not a folder");
    if (st.st_uid != ::geteuid())
        throw EVelmoError("The SSTP folder \"" + path + "\" belongs to another user");
    if ((st.st_mode & 077) != 0)
        throw EVelmoError("The SSTP folder \"" + path + "\" is open to other users");
}

} // namespace

std::string SstpFolder()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string folder = runtime && *runtime ? std::string(runtime) + "/sstp"
                                                   : "/tmp/sstp-" + std::to_string(::geteuid());
    EnsurePrivateFolder(folder);
    for (const char* sub : { "/shm", "/lock", "/windows" })
        EnsurePrivateFolder(folder + sub);
    return folder;
}

std::string SstpObjectPath(std::string_view kind, std::string_view name)
{
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string_view::npos
        || name.find('\0') != std::string_view::npos)
        return {};
    try {
        return SstpFolder() + "/" + std::string(kind) + "/" + NativePath(name);
    } catch (const EEncodingError&) {
        return {};
    }
}
