#include "platform/AppFolders.h"

#include "platform/Encoding.h"
#include "platform/FileIO.h"
#include "platform/ProgramFolder.h"

#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string HomeFolderFrom(const char* variable)
{
    if (variable && *variable == '/')
        return variable;
    const passwd* user = ::getpwuid(::geteuid());
    return user && user->pw_dir ? user->pw_dir : "";
}

bool IsFolder(const std::string& sjisPath)
{
    struct stat st
    { };
    return ::stat(NativePath(sjisPath).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

std::string TAppFolders::DataFile(const std::string& name) const
{
    if (!userDataFolder.empty() && FileExists(userDataFolder + name))
        return userDataFolder + name;
    return dataFolder + name;
}

TAppFolders TAppFolders::Portable(const std::string& programFolder, const std::string& baseName)
{
    TAppFolders folders;
    folders.configFile = programFolder + baseName + ".ini";
    folders.dataFolder = programFolder;
    folders.cacheFolder = programFolder + "cache/";
    folders.pageFolder = programFolder;
    folders.archiveFile = programFolder + "archive.sqlite3";
    return folders;
}

TAppFolders TAppFolders::For(const std::string& exeFolder, const std::string& baseName,
    const std::function<const char*(const char*)>& getenv)
{
    constexpr std::string_view bin = "/bin/";
    const std::string prefix = exeFolder.ends_with(bin)
        ? exeFolder.substr(0, exeFolder.size() - bin.size() + 1)
        : std::string();
    if (prefix.empty() || !IsFolder(prefix + "share/velmo"))
        return Portable(exeFolder, baseName);

    // The XDG base folders: an absolute value of the variable, else the default under home.
    const std::string home = HomeFolderFrom(getenv("HOME"));
    const auto base = [&](const char* variable, const char* fallback) {
        const char* value = getenv(variable);
        const std::string native
            = value && *value == '/' ? std::string(value) : home + "/" + fallback;
        std::string folder = FromNativePath(native);
        while (folder.size() > 1 && folder.ends_with('/'))
            folder.pop_back();
        return folder + "/velmo/";
    };
    TAppFolders folders;
    folders.installed = true;
    folders.userDataFolder = base("XDG_CONFIG_HOME", ".config");
    folders.configFile = folders.userDataFolder + "velmo.ini";
    folders.dataFolder = prefix + "share/velmo/";
    folders.cacheFolder = base("XDG_CACHE_HOME", ".cache") + "cache/";
    folders.pageFolder = base("XDG_DATA_HOME", ".local/share") + "pages/";
    folders.archiveFile = base("XDG_DATA_HOME", ".local/share") + "archive.sqlite3";
    folders.pluginFolder = prefix + "lib/velmo/plugins";
    return folders;
}

std::string HomeFolder()
{
    return HomeFolderFrom(std::getenv("HOME"));
}

TAppFolders AppFolders()
{
    return TAppFolders::For(ProgramFolder(), ProgramBaseName(),
        [](const char* name) { return static_cast<const char*>(std::getenv(name)); });
}
