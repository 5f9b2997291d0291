#include "render/PageWriter.h"

#include "log/MessageList.h"
#include "platform/Encoding.h"
#include "platform/Errors.h"
#include "platform/FileIO.h"
#include "platform/Mutex.h"
#include "platform/StrUtils.h"
#include "platform/Termination.h"
#include "render/MessageHtml.h"
#include "render/Surfaces.h"

#include <algorithm>
#include <exception>
#include <limits>
#include <thread>

namespace {

// Writes finished pages on a thread of its own while the next page is built, so that a build
// costs about the time of writing its pages (each one is flushed to the disk), not the sum of
// rendering and writing. One page waits at most; the first failure stops the writing and is
// thrown to the builder.
class TPageFiles
{
public:
    TPageFiles()
        : thread_([this] { Run(); })
    { }
    ~TPageFiles()
    {
        {
            const TMutexLock lock(mutex_);
            closing_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    TPageFiles(const TPageFiles&) = delete;
    TPageFiles& operator=(const TPageFiles&) = delete;

    // Hands the page over, once the one before has been written; html comes back empty, with the
    // room of an earlier page to build the next one in.
    void Write(std::string path, std::string& html)
    {
        const TMutexLock lock(mutex_);
        while (busy_)
            changed_.wait(mutex_);
        if (error_)
            std::rethrow_exception(error_);
        path_ = std::move(path);
        std::swap(html_, html);
        html.clear();
        busy_ = true;
        changed_.notify_all();
    }

    // Waits for the last page; throws the failure that stopped the writing, if any.
    void Finish()
    {
        const TMutexLock lock(mutex_);
        while (busy_)
            changed_.wait(mutex_);
        if (error_)
            std::rethrow_exception(error_);
    }

private:
    void Run()
    {
        mutex_.lock();
        for (;;) {
            while (!busy_ && !closing_)
                changed_.wait(mutex_);
            if (!busy_) {
                mutex_.unlock();
                return;
            }
            mutex_.unlock();
            std::exception_ptr error;
            try {
                WriteFileAtomic(path_, html_);
            } catch (...) {
                error = std::current_exception();
            }
            mutex_.lock();
            error_ = error;
            busy_ = false;
            changed_.notify_all();
        }
    }

    TMutex mutex_;
    TCondition changed_;
    std::string path_; // the page being written; the builder touches it only while !busy_
    std::string html_;
    bool busy_ GUARDED_BY(mutex_) = false;
    bool closing_ GUARDED_BY(mutex_) = false;
    std::exception_ptr error_ GUARDED_BY(mutex_);
    std::thread thread_; // last: it starts once the rest is ready
};

} // namespace

std::string MakeHTMLHead(const std::string& cssFile)
{
    return "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\r\n"
           "<HTML lang=\"ja-JP\">\r\n"
           "<head>\r\n"
           "<meta http-equiv=\"content-type\" content=\"text/html; charset=Shift_JIS\">\r\n"
           "<link type=\"text/css\" rel=\"stylesheet\" href=\""
        + cssFile
        + "\">\r\n"
          "<title>VELMO2</title>\r\n"
          "</head><body>\r\n";
}

std::string MakeNavigation(int32_t page, int32_t pageTotal)
{
    std::string nav = "<div class=\"header\">\r\n";
    if (page != 1)
        nav += "<a href=\"" + PageFileName(page - 1) + "\">&lsaquo;&lsaquo;</a>\r\n";
    for (int32_t n = 1; n <= pageTotal; ++n) {
        const std::string number = std::to_string(n);
        nav += n == page ? number + "\r\n"
                         : "<a href=\"" + PageFileName(n) + "\">" + number + "</a>\r\n";
    }
    if (page != pageTotal)
        nav += "<a href=\"" + PageFileName(page + 1) + "\">&rsaquo;&rsaquo;</a>\r\n";
    nav += "</div>\r\n";
    return nav;
}

std::string PagePath(const TPageSettings& settings, int32_t page)
{
    return JoinPath(settings.htmlFolder, settings.defaultFolder, PageFileName(page));
}

std::string PageFileName(int32_t page)
{
    return "long" + std::to_string(page) + ".html";
}

std::optional<int32_t> PageNumberOf(std::string_view fileName)
{
    constexpr std::string_view prefix = "long";
    constexpr std::string_view suffix = ".html";
    if (fileName.size() <= prefix.size() + suffix.size()
        || fileName.substr(0, prefix.size()) != prefix
        || fileName.substr(fileName.size() - suffix.size()) != suffix)
        return std::nullopt;
    const std::string_view digits
        = fileName.substr(prefix.size(), fileName.size() - prefix.size() - suffix.size());
    // No sign and no leading zero: one page has one name.
    if (digits[0] < '1' || digits[0] > '9')
        return std::nullopt;
    return TryStrToInt(digits);
}

std::optional<std::string> NeighbourPage(const std::string& pagePath, int32_t step)
{
    // A "/" is never the second byte of a Shift_JIS character, so the last one ends the folder.
    const size_t nameStart = pagePath.rfind('/') + 1;
    const std::optional<int32_t> page = PageNumberOf(std::string_view(pagePath).substr(nameStart));
    if (!page)
        return std::nullopt;
    const int64_t target = int64_t { *page } + step;
    if (target < 1 || target > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    std::string path = pagePath.substr(0, nameStart) + PageFileName(static_cast<int32_t>(target));
    if (!FileExists(path))
        return std::nullopt;
    return path;
}

void WritePages(
    const TMessageList& list, const TPageSettings& settings, TSsParser& parser, TSurfaces& surfaces)
{
    surfaces.ReloadPlugins();
    const int32_t perPage = std::max<int32_t>(1, settings.messagesPerPage);
    const int32_t count = list.Count();
    const int32_t pageTotal = count / perPage + (count % perPage != 0 ? 1 : 0);
    const std::string head = MakeHTMLHead(settings.cssFile);
    // Each message renders straight onto the end of the page; the room of a written page is used
    // for a later one.
    TPageFiles files;
    std::string html;
    int32_t page = 0;
    for (int32_t first = 0; first < count; first += perPage) {
        ++page;
        const std::string navigation = MakeNavigation(page, pageTotal);
        html.clear();
        html += head;
        html += "\r\n";
        html += navigation;
        html += "\r\n";
        for (int32_t i = first; i < std::min(count, first + perPage); ++i) {
            // A program told to end writes no more: the pages written so far stay.
            if (TerminationRequested()) {
                files.Finish();
                throw EVelmoError(Sjis("終了するので、ページの書き込みを中止しました"));
            }
            AppendMessageHtml(html, list.Items(i), i + 1, count, parser, surfaces);
            html += "\r\n";
        }
        html += "\r\n";
        html += navigation;
        html += "\r\n</body></html>\r\n\r\n";
        files.Write(PagePath(settings, page), html);
    }
    files.Finish();
}
