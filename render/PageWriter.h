#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class TMessageList;
class TSsParser;
class TSurfaces;

// Cuts the current log into numbered HTML pages (long1.html, long2.html, ...): the page head with
// the style sheet link, the navigation block above and below, and the messages' fragments.
// GUI thread only.
struct TPageSettings
{
    int32_t messagesPerPage = 100; // below 1 counts as 1
    std::string htmlFolder; // empty: defaultFolder
    std::string defaultFolder; // the page folder when htmlFolder is empty; ends in "/"
    std::string cssFile;
};

std::string MakeHTMLHead(const std::string& cssFile);
std::string MakeNavigation(int32_t page, int32_t pageTotal);

// Reloads the plug-ins first (even for an empty list), then renders and writes every page: one
// page's HTML in memory at a time, each written in one step to a temporary file that replaces
// the page. An empty list writes no file. A page that cannot be written throws EFileError naming
// it; the pages before it stay written. Once the program is told to end (TerminationRequested) it
// stops between two messages, with the pages written so far, and throws EVelmoError saying so.
void WritePages(const TMessageList& list, const TPageSettings& settings, TSsParser& parser,
    TSurfaces& surfaces);

// Where page n of the current settings is written.
std::string PagePath(const TPageSettings& settings, int32_t page);
// The file name of page n ("long3.html"), and back: the page number of a file name, nothing for a
// name no page has (other names, "long0.html", "long03.html", a number beyond int32).
std::string PageFileName(int32_t page);
std::optional<int32_t> PageNumberOf(std::string_view fileName);
// The page `step` pages away from the page file at pagePath, in its folder, when that file exists;
// nothing when pagePath names no page, or the step leads before page 1 or past the last page
// written.
std::optional<std::string> NeighbourPage(const std::string& pagePath, int32_t step);
