#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The outside-browser rule: an empty Browser setting opens the address with the desktop's default
// handler; otherwise the setting is a command line, split into words as a shell would split it
// (blanks separate, '...' and "..." quote, backslash escapes), and the address is added as one
// more word. No shell ever sees the address, so ; $ ` | in it are just characters.

// Throws EVelmoError for a quote that is not closed or a backslash at the very end.
std::vector<std::string> SplitCommandWords(std::string_view command);

// The program and arguments to start for an address, or nullopt for the default handler.
std::optional<std::vector<std::string>> BrowserArguments(
    std::string_view browserCommand, std::string_view address);

// Opens addresses outside the program; the Qt side implements it with the desktop's handler and a
// detached process. GUI thread only.
class IOutsideBrowser
{
public:
    virtual ~IOutsideBrowser() = default;
    // browserCommand and address are program text (Shift_JIS).
    virtual void Open(const std::string& browserCommand, const std::string& address) = 0;
};

// The address of the project's web site, opened from the about box.
extern const char* const kMakerSiteUrl;
