#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class TMessageList;
class TSsParser;
class TSurfaces;

// Cuts the current log into numbered HTML pages (long1.html, long2.html, ...): the page head with
// the style sheet link, the navigation block above and below, and the messages' fragments.
// GUI thread only (the tokenizer and the surface cache are the window's).
struct TPageSettings
{
    int32_t messagesPerPage = 100; // below 1 counts as 1
    std::string htmlFolder; // empty: defaultFolder
    std::string defaultFolder; // the page folder when htmlFolder is empty; ends in "/"
    std::string cssFile;
};

std::string MakeHTMLHead(const std::string& cssFile);
std::string MakeNavigation(int32_t page, int32_t pageTotal);

// Writes the pages of a list one at a time, in any order, so that a window can show the first page
// at once and write the rest behind it (or a page asked for before its turn). The constructor
// reloads the plug-ins (even for an empty list). Each page's HTML is built in memory and written
// in one step to a temporary file that replaces the page, on a thread of its own while the next
// page is built; Flush waits for it. A page that cannot be written throws EFileError naming it
// (from the next call); the pages before it stay written. Once the program is told to end
// (TerminationRequested) a page stops between two messages and throws EVelmoError saying so.
// The list and the settings must stay as they are until the writer is gone.
class TPageWriter
{
public:
    TPageWriter(const TMessageList& list, const TPageSettings& settings, TSsParser& parser,
        TSurfaces& surfaces);
    ~TPageWriter();
    TPageWriter(const TPageWriter&) = delete;
    TPageWriter& operator=(const TPageWriter&) = delete;

    int32_t PageTotal() const { return pageTotal_; }
    int32_t WrittenCount() const { return writtenCount_; }
    bool Written(int32_t page) const;
    bool Done() const { return writtenCount_ == pageTotal_; }

    // Writes page n (1 to PageTotal) unless it has been written already.
    void Write(int32_t page);
    // Writes the first page not written yet; false when every page has been.
    bool WriteNext();
    // Waits until every page handed over is on the disk.
    void Flush();
    // Once every page is written and flushed: removes the page files of the folder left from an
    // earlier, longer view (see RemoveStalePages).
    void Finish();

private:
    class TFiles;

    const TMessageList& list_;
    const TPageSettings settings_;
    TSsParser& parser_;
    TSurfaces& surfaces_;
    int32_t perPage_ = 1;
    int32_t pageTotal_ = 0;
    int32_t writtenCount_ = 0;
    int32_t nextPage_ = 1; // no page before it is unwritten
    std::vector<bool> written_;
    std::string head_;
    std::string html_; // the room of a written page, used for the next
    std::unique_ptr<TFiles> files_;
};

// Writes every page of the list with a TPageWriter, then removes the stale pages. An empty list
// writes no file (and removes none).
void WritePages(const TMessageList& list, const TPageSettings& settings, TSsParser& parser,
    TSurfaces& surfaces);

// Removes the page files "longN.html" of the settings' folder with N beyond pageTotal (exactly
// that name: N in decimal digits without a leading zero; regular files only). Nothing else in the
// folder is touched, a file that cannot be removed is left, and nothing is removed when pageTotal
// is below 1. Never throws; returns how many were removed.
int RemoveStalePages(const TPageSettings& settings, int32_t pageTotal);

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
