#pragma once

#include <functional>
#include <string>

// Where the program keeps and finds its files. Two layouts, told apart by where the executable
// stands:
//  - portable (anything but <prefix>/bin/ beside <prefix>/share/velmo/, as build/bin/): every file
//    lives in the program folder, the executable's own;
//  - installed: nothing is written beside the executable. The configuration file is
//    $XDG_CONFIG_HOME/velmo/velmo.ini; data files are looked up first there, as the user's own
//    copies, then in <prefix>/share/velmo/; the default cache folder is
//    $XDG_CACHE_HOME/velmo/cache/, the default page folder $XDG_DATA_HOME/velmo/pages/, and the
//    shipped plug-ins in <prefix>/lib/velmo/plugins/ are the default plug-in folder; the archive is
//    $XDG_DATA_HOME/velmo/archive.sqlite3.
// Every path is program text; folders end in "/".
struct TAppFolders
{
    bool installed = false;
    std::string configFile;
    std::string userDataFolder; // installed only: the user's copies of the data files
    std::string dataFolder; // the shipped data files
    std::string cacheFolder;
    std::string pageFolder;
    std::string pluginFolder; // without a trailing "/", as the setting holds it; empty: none
    std::string archiveFile; // the archive of every message seen (its folder is made on use)

    // The data file of that name: the user's copy when there is one, else the shipped one.
    std::string DataFile(const std::string& name) const;

    // Every file in the program folder.
    static TAppFolders Portable(const std::string& programFolder, const std::string& baseName);
    // The layout for an executable in exeFolder, with environment variables read through
    // getenv (a null answer is an unset variable).
    static TAppFolders For(const std::string& exeFolder, const std::string& baseName,
        const std::function<const char*(const char*)>& getenv);
};

// The user's home folder, native: the HOME value when it is an absolute path, else the password
// entry's; empty when neither is known.
std::string HomeFolder();

// The running program's layout. Throws EEncodingError for a folder with no Shift_JIS form.
TAppFolders AppFolders();
