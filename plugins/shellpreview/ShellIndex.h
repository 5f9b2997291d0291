#pragma once

#include <map>
#include <string>
#include <vector>

// Where the shells of the installed ghosts are: every folder of every ghost root that holds
// ghost/master/descript.txt names a ghost (its sakura.name, else its name, in Shift_JIS as the
// bottle log carries it) whose surfaces are in shell/master/. Built once; read-only afterwards.
class ShellIndex
{
public:
    // roots: native (UTF-8) folders. Folders or files that cannot be read are passed over.
    void Scan(const std::vector<std::string>& roots);

    // The native path of the surface's PNG ("surfaceN.png", else "surface%04d.png"), or empty.
    std::string SurfaceFile(const std::string& ghostNameSjis, int surface) const;
    size_t Count() const { return shells_.size(); }

    // The ghost roots to scan: the usual place of the Linux ghost host, then the lines of the
    // settings file (one folder a line; empty lines and lines starting with "#" are skipped).
    static std::vector<std::string> Roots(const std::string& settingsFile);
    // The ghost's name from a descript.txt's bytes, in Shift_JIS (UTF-8 when it says
    // "charset,UTF-8"); empty when it names none.
    static std::string GhostName(const std::string& descript);
    // iconv between two character sets; empty when the text does not convert.
    static std::string Convert(const char* to, const char* from, const std::string& text);

private:
    std::map<std::string, std::string> shells_; // Shift_JIS name -> native shell folder with "/"
};
