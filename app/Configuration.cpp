#include "app/Configuration.h"

#include "app/ZoomSteps.h"

namespace {

constexpr const char* kGeneral = "General";
constexpr const char* kForm = "Form";
constexpr const char* kPlay = "Play";

bool IsBlankOrControl(char c)
{
    return static_cast<unsigned char>(c) <= ' ' && c != '\0';
}

bool NeedsQuotes(std::string_view name)
{
    for (const char c : name)
        if (static_cast<unsigned char>(c) <= ' ' || c == ',' || c == '"')
            return true;
    return false;
}

// A quoted name starting at text[pos] == '"': up to the closing quote, "" standing for one quote.
// Without a closing quote the name runs to the end.
std::string TakeQuoted(std::string_view text, size_t& pos)
{
    std::string name;
    ++pos;
    while (pos < text.size()) {
        if (text[pos] == '"') {
            if (pos + 1 < text.size() && text[pos + 1] == '"') {
                name += '"';
                pos += 2;
                continue;
            }
            ++pos;
            return name;
        }
        name += text[pos++];
    }
    return name;
}

} // namespace

TConfiguration ReadConfiguration(const TIniFile& ini, const TAppFolders& folders)
{
    TConfiguration c;
    c.SppDir = ini.ReadString(kGeneral, "SppDir", folders.pluginFolder);
    c.SurfaceCacheDir = ini.ReadString(kGeneral, "SurfaceCacheDir", folders.cacheFolder);
    c.CSSFile = ini.ReadString(kGeneral, "CSS", "styleIE.css");
    c.BrowserCommand = ini.ReadString(kGeneral, "Browser", "");
    c.HTMLFolder = ini.ReadString(kGeneral, "HTMLFolder", "");
    c.SavedGeometry = false;
    for (const char* key : { "Top", "Left", "Width", "Height" })
        c.SavedGeometry = c.SavedGeometry || ini.ReadValue(kForm, key).has_value();
    c.Top = ini.ReadInteger(kForm, "Top", 145);
    c.Left = ini.ReadInteger(kForm, "Left", 209);
    c.Width = ini.ReadInteger(kForm, "Width", 440);
    c.Height = ini.ReadInteger(kForm, "Height", 351);
    c.LUID = ini.ReadString(kGeneral, "LUID", "");
    c.MessagesPerPage = ini.ReadInteger(kGeneral, "1PageCount", 100);
    c.FMONames = ParseNameList(ini.ReadString(kPlay, "FMO", "Sakura"));
    c.BottleServer = ini.ReadString(kGeneral, "BottleServer", "");
    c.Zoom = ValidZoom(ini.ReadInteger(kGeneral, "Zoom", kDefaultZoom));
    return c;
}

std::vector<std::string> WriteConfiguration(TIniFile& ini, const TConfiguration& c)
{
    std::vector<std::string> failures;
    const auto text = [&](std::string_view section, std::string_view key, const std::string& v) {
        try {
            ini.WriteString(section, key, v);
        } catch (const EIniFileError& e) {
            failures.push_back(std::string(key) + ": " + e.what());
        }
    };
    text(kGeneral, "LUID", c.LUID);
    text(kGeneral, "SurfaceCacheDir", c.SurfaceCacheDir);
    text(kGeneral, "SppDir", c.SppDir);
    ini.WriteInteger(kForm, "Top", c.Top);
    ini.WriteInteger(kForm, "Left", c.Left);
    ini.WriteInteger(kForm, "Width", c.Width);
    ini.WriteInteger(kForm, "Height", c.Height);
    ini.WriteInteger(kGeneral, "1PageCount", c.MessagesPerPage);
    // A list too long to be read whole goes back as it was stored while the names read from it
    // are unchanged, so that the part cut on reading stays (TIniFile::WriteString keeps it).
    std::string names = FormatNameList(c.FMONames);
    const std::string stored = ini.ReadString(kPlay, "FMO", "");
    if (stored.size() == TIniFile::kMaxValueLength && ParseNameList(stored) == c.FMONames)
        names = stored;
    text(kPlay, "FMO", names);
    text(kGeneral, "CSS", c.CSSFile);
    text(kGeneral, "Browser", c.BrowserCommand);
    text(kGeneral, "HTMLFolder", c.HTMLFolder);
    // Set in the settings dialog or by hand: a file that never named a server does not start to.
    if (!c.BottleServer.empty() || ini.ReadValue(kGeneral, "BottleServer"))
        text(kGeneral, "BottleServer", c.BottleServer);
    if (c.Zoom != kDefaultZoom || ini.ReadValue(kGeneral, "Zoom"))
        ini.WriteInteger(kGeneral, "Zoom", c.Zoom);
    return failures;
}

std::vector<std::string> ParseNameList(std::string_view text)
{
    std::vector<std::string> names;
    size_t pos = 0;
    const auto skipBlanks = [&] {
        while (pos < text.size() && IsBlankOrControl(text[pos]))
            ++pos;
    };
    skipBlanks();
    while (pos < text.size()) {
        if (text[pos] == '"') {
            names.push_back(TakeQuoted(text, pos));
        } else {
            const size_t start = pos;
            while (pos < text.size() && !IsBlankOrControl(text[pos]) && text[pos] != ',')
                ++pos;
            names.emplace_back(text.substr(start, pos - start));
        }
        skipBlanks();
        if (pos < text.size() && text[pos] == ',') {
            // A comma at the very end still separates: an empty last name follows it.
            if (pos + 1 == text.size())
                names.emplace_back();
            ++pos;
            skipBlanks();
        }
    }
    return names;
}

std::string FormatNameList(const std::vector<std::string>& names)
{
    if (names.size() == 1 && names[0].empty())
        return "\"\"";
    std::string text;
    for (size_t i = 0; i < names.size(); ++i) {
        if (i > 0)
            text += ',';
        if (!NeedsQuotes(names[i])) {
            text += names[i];
            continue;
        }
        text += '"';
        for (const char c : names[i]) {
            text += c;
            if (c == '"')
                text += '"';
        }
        text += '"';
    }
    return text;
}
