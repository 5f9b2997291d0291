#include "ShellIndex.h"

#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <iconv.h>
#include <sstream>
#include <sys/stat.h>

namespace {

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

bool IsFile(const std::string& path)
{
    struct stat st
    { };
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

std::string ShellIndex::Convert(const char* to, const char* from, const std::string& text)
{
    iconv_t cd = ::iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return {};
    std::string out(text.size() * 4 + 4, '\0');
    char* src = const_cast<char*>(text.data());
    size_t srcLeft = text.size();
    char* dst = out.data();
    size_t dstLeft = out.size();
    const size_t rc = ::iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    ::iconv_close(cd);
    if (rc == static_cast<size_t>(-1))
        return {};
    out.resize(out.size() - dstLeft);
    return out;
}

namespace {

std::string Trim(std::string s)
{
    while (!s.empty() && (s.back() == '\r' || s.back() == ' ' || s.back() == '\t'))
        s.pop_back();
    size_t start = 0;
    while (start < s.size() && (s[start] == ' ' || s[start] == '\t'))
        ++start;
    return s.substr(start);
}

} // namespace

std::string ShellIndex::GhostName(const std::string& descript)
{
    std::string text = descript;
    if (text.starts_with("\xEF\xBB\xBF"))
        text.erase(0, 3);
    std::string charset;
    std::string sakuraName;
    std::string name;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        line = Trim(line);
        const size_t comma = line.find(',');
        if (comma == std::string::npos)
            continue;
        const std::string key = Trim(line.substr(0, comma));
        const std::string value = Trim(line.substr(comma + 1));
        if (key == "charset")
            charset = value;
        else if (key == "sakura.name" && sakuraName.empty())
            sakuraName = value;
        else if (key == "name" && name.empty())
            name = value;
    }
    const std::string chosen = sakuraName.empty() ? name : sakuraName;
    if (chosen.empty())
        return {};
    bool utf8 = charset == "UTF-8" || charset == "utf-8" || charset == "UTF8";
    return utf8 ? Convert("CP932", "UTF-8", chosen) : chosen;
}

std::vector<std::string> ShellIndex::Roots(const std::string& settingsFile)
{
    std::vector<std::string> roots;
    if (const char* ninix = std::getenv("NINIX_HOME"))
        roots.push_back(std::string(ninix) + "/.ninix/ghost");
    if (const char* home = std::getenv("HOME"))
        roots.push_back(std::string(home) + "/.ninix/ghost");
    std::istringstream lines(ReadFile(settingsFile));
    for (std::string line; std::getline(lines, line);) {
        line = Trim(line);
        if (!line.empty() && line[0] != '#')
            roots.push_back(line);
    }
    return roots;
}

void ShellIndex::Scan(const std::vector<std::string>& roots)
{
    for (const std::string& root : roots) {
        DIR* dir = ::opendir(root.c_str());
        if (!dir)
            continue;
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..")
                continue;
            const std::string ghost = root + "/" + name;
            const std::string descript = ghost + "/ghost/master/descript.txt";
            if (!IsFile(descript))
                continue;
            const std::string ghostName = GhostName(ReadFile(descript));
            if (!ghostName.empty())
                shells_.emplace(
                    ghostName, ghost + "/shell/master/"); // the first root listing a name wins
        }
        ::closedir(dir);
    }
}

std::string ShellIndex::SurfaceFile(const std::string& ghostNameSjis, int surface) const
{
    const auto it = shells_.find(ghostNameSjis);
    if (it == shells_.end() || surface < 0)
        return {};
    char padded[32];
    std::snprintf(padded, sizeof padded, "surface%04d.png", surface);
    for (const std::string& file :
        { "surface" + std::to_string(surface) + ".png", std::string(padded) })
        if (IsFile(it->second + file))
            return it->second + file;
    return {};
}
