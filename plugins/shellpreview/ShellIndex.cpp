#include "ShellIndex.h"

#include "Charset.h"
#include "Descript.h"
#include "ShellFolder.h"

#include <cstdlib>
#include <sstream>
#include <sys/stat.h>

namespace {

bool IsFolder(const std::string& path)
{
    struct stat st
    { };
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// shell/master/, else the only shell, else the first in name order; empty when there is none
// inside the ghost's folder.
std::string ChooseShell(const ShellFolder& ghost)
{
    const auto usable = [&](const std::string& folder) {
        return !folder.empty() && IsFolder(folder) && ghost.Inside(folder);
    };
    if (const std::string master = ghost.Find("shell/master"); usable(master))
        return master + "/";
    const std::string shells = ghost.Find("shell");
    if (!usable(shells))
        return {};
    for (const std::string& name : ShellFolder::Entries(shells))
        if (usable(shells + "/" + name))
            return shells + "/" + name + "/";
    return {};
}

} // namespace

std::string ShellIndex::GhostName(const std::string& descript)
{
    std::map<std::string, std::string> values = ReadDescript(descript);
    std::string charset = descript.starts_with("\xEF\xBB\xBF") ? "UTF-8" : "CP932";
    if (const std::string known = IconvCharset(values["charset"]); !known.empty())
        charset = known;
    const std::string chosen
        = values["sakura.name"].empty() ? values["name"] : values["sakura.name"];
    if (chosen.empty() || charset == "CP932")
        return chosen;
    std::string sjis;
    return Convert("CP932", charset.c_str(), chosen, sjis) ? sjis : std::string();
}

std::vector<std::string> ShellIndex::Roots(const std::string& settingsFile)
{
    std::vector<std::string> roots;
    if (const char* ninix = std::getenv("NINIX_HOME"))
        roots.push_back(std::string(ninix) + "/.ninix/ghost");
    if (const char* home = std::getenv("HOME"))
        roots.push_back(std::string(home) + "/.ninix/ghost");
    std::vector<std::string> files { settingsFile };
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/')
        files.push_back(std::string(config) + "/velmo/velmo-shell-preview.txt");
    else if (const char* home = std::getenv("HOME"))
        files.push_back(std::string(home) + "/.config/velmo/velmo-shell-preview.txt");
    for (const std::string& file : files) {
        std::istringstream lines(ShellFolder::ReadRegular(file, kMaxDescriptBytes).value_or(""));
        for (std::string line; std::getline(lines, line);) {
            const std::string_view folder = TrimBlanks(line);
            if (!folder.empty() && folder[0] != '#')
                roots.emplace_back(folder);
        }
    }
    const std::string pluginFolder = settingsFile.substr(0, settingsFile.rfind('/') + 1);
    roots.push_back(pluginFolder + "../demo-ghosts");
    roots.push_back(pluginFolder + "../../../share/velmo/demo-ghosts");
    return roots;
}

void ShellIndex::Scan(const std::vector<std::string>& roots)
{
    for (const std::string& root : roots) {
        for (const std::string& name : ShellFolder::Entries(root)) {
            const std::string folder = root + "/" + name + "/";
            const ShellFolder ghost(folder, folder);
            const std::string descript = ghost.Find("ghost/master/descript.txt");
            const auto bytes
                = descript.empty() ? std::nullopt : ghost.Read(descript, kMaxDescriptBytes);
            const std::string ghostName = bytes ? GhostName(*bytes) : std::string();
            const std::string shell = ghostName.empty() ? std::string() : ChooseShell(ghost);
            if (!shell.empty()) // the first root listing a name wins
                folders_.emplace(ghostName, Place { shell, folder });
        }
    }
}

const Shell* ShellIndex::ShellOf(const std::string& ghostNameSjis)
{
    const auto known = shells_.find(ghostNameSjis);
    if (known != shells_.end())
        return known->second.get();
    const auto place = folders_.find(ghostNameSjis);
    if (place == folders_.end())
        return nullptr;
    if (shells_.size() >= kMaxKept || keptBytes_ > kMaxKeptDefinitionBytes) {
        shells_.clear();
        keptBytes_ = 0;
    }
    auto shell = std::make_unique<Shell>(place->second.shell, place->second.ghost);
    keptBytes_ += shell->DefinitionBytes();
    return shells_.emplace(ghostNameSjis, std::move(shell)).first->second.get();
}
