#pragma once

#include "Shell.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

// Where the shells of the installed ghosts are: every folder of every ghost root that holds
// ghost/master/descript.txt names a ghost (its sakura.name, else its name, in Shift_JIS as the
// bottle log carries it). Its shell is shell/master/, else the ghost's only shell, else the first
// in name order. Each shell is read the first time it is asked for, then kept: at most kMaxKept
// of them holding at most kMaxKeptDefinitionBytes of definitions besides the newest, so that many
// ghosts' definitions do not add up without bound. Dropped shells are read again when asked for.
class ShellIndex
{
public:
    static constexpr size_t kMaxKept = 8;
    static constexpr size_t kMaxKeptDefinitionBytes = size_t(8) << 20;

    // roots: native (UTF-8) folders. Folders or files that cannot be read are passed over.
    void Scan(const std::vector<std::string>& roots);

    // The ghost's shell, or nullptr when no installed ghost has that name. It lives until the next
    // call.
    const Shell* ShellOf(const std::string& ghostNameSjis);
    size_t Count() const { return folders_.size(); }

    // The ghost roots to scan: the usual place of the Linux ghost host, then the lines of the
    // settings file beside the plug-in, then those of the user's own
    // ($XDG_CONFIG_HOME/velmo/velmo-shell-preview.txt, for a plug-in installed where the user
    // cannot write); one folder a line, empty lines and lines starting with "#" skipped. Last
    // come the demo ghosts shipped with the program (demo-ghosts beside the plug-in folder, or
    // share/velmo/demo-ghosts when installed), so the demo log has faces with no set-up, while a
    // ghost of the same name installed by the user wins.
    static std::vector<std::string> Roots(const std::string& settingsFile);
    // The ghost's name from a descript.txt's bytes, in Shift_JIS, converted from the charset it
    // names; empty when it names none or the name does not convert.
    static std::string GhostName(const std::string& descript);

private:
    // A ghost's native folders, ending in "/".
    struct Place
    {
        std::string shell;
        std::string ghost;
    };
    std::map<std::string, Place> folders_; // by Shift_JIS name
    std::map<std::string, std::unique_ptr<Shell>> shells_; // read so far
    size_t keptBytes_ = 0; // their definition bytes
};
