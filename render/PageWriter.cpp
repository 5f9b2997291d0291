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

// Writes finished pages on a thread of its own while the next page is built, so that a build
// costs about the time of writing its pages (each one is flushed to the disk), not the sum of
// rendering and writing. One page waits at most; the first failure stops the writing and is
// thrown to the builder.
class TPageWriter::TFiles
{
public:
    TFiles()
        : thread_([this] { Run(); })
    { }
    ~TFiles()
    {
        {
            const TMutexLock lock(mutex_);
            closing_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    TFiles(const TFiles&) = delete;
    TFiles& operator=(const TFiles&) = delete;

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

namespace {

// The digits of a page file's name ("long12.html" gives "12"): no sign and no leading zero, so one
// page has one name; empty for any other name.
std::string_view PageDigits(std::string_view fileName)
{
    constexpr std::string_view prefix = "long";
    constexpr std::string_view suffix = ".html";
    if (fileName.size() <= prefix.size() + suffix.size() || !fileName.starts_with(prefix)
        || !fileName.ends_with(suffix))
        return {};
    const std::string_view digits
        = fileName.substr(prefix.size(), fileName.size() - prefix.size() - suffix.size());
    if (digits[0] == '0' || digits.find_first_not_of("0123456789") != std::string_view::npos)
        return {};
    return digits;
}

} // namespace

std::optional<int32_t> PageNumberOf(std::string_view fileName)
{
    const std::string_view digits = PageDigits(fileName);
    if (digits.empty())
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

TPageWriter::TPageWriter(
    const TMessageList& list, const TPageSettings& settings, TSsParser& parser, TSurfaces& surfaces)
    : list_(list)
    , settings_(settings)
    , parser_(parser)
    , surfaces_(surfaces)
    , perPage_(std::max<int32_t>(1, settings.messagesPerPage))
    , head_(MakeHTMLHead(settings.cssFile))
{
    surfaces_.ReloadPlugins();
    const int32_t count = list.Count();
    pageTotal_ = count / perPage_ + (count % perPage_ != 0 ? 1 : 0);
    written_.assign(static_cast<size_t>(pageTotal_) + 1, false);
    files_ = std::make_unique<TFiles>();
}

TPageWriter::~TPageWriter() = default;

bool TPageWriter::Written(int32_t page) const
{
    return page >= 1 && page <= pageTotal_ && written_[static_cast<size_t>(page)];
}

void TPageWriter::Write(int32_t page)
{
    if (page < 1 || page > pageTotal_ || Written(page))
        return;
    // Each message renders straight onto the end of the page.
    const int32_t count = list_.Count();
    const int32_t first = (page - 1) * perPage_;
    const std::string navigation = MakeNavigation(page, pageTotal_);
    html_.clear();
    html_ += head_;
    html_ += "\r\n";
    html_ += navigation;
    html_ += "\r\n";
    for (int32_t i = first; i < std::min(count, first + perPage_); ++i) {
        // A program told to end writes no more: the pages written so far stay.
        if (TerminationRequested()) {
            files_->Finish();
            throw EVelmoError(Sjis("終了するので、ページの書き込みを中止しました"));
        }
        AppendMessageHtml(html_, list_.Items(i), i + 1, count, parser_, surfaces_);
        html_ += "\r\n";
    }
    html_ += "\r\n";
    html_ += navigation;
    html_ += "\r\n</body></html>\r\n\r\n";
    files_->Write(PagePath(settings_, page), html_);
    written_[static_cast<size_t>(page)] = true;
    ++writtenCount_;
}

bool TPageWriter::WriteNext()
{
    while (nextPage_ <= pageTotal_ && Written(nextPage_))
        ++nextPage_;
    if (nextPage_ > pageTotal_)
        return false;
    Write(nextPage_);
    return true;
}

void TPageWriter::Flush()
{
    files_->Finish();
}

void TPageWriter::Finish()
{
    Flush();
    if (Done())
        RemoveStalePages(settings_, pageTotal_);
}

void WritePages(
    const TMessageList& list, const TPageSettings& settings, TSsParser& parser, TSurfaces& surfaces)
{
    TPageWriter writer(list, settings, parser, surfaces);
    while (writer.WriteNext()) { }
    writer.Finish();
}

int RemoveStalePages(const TPageSettings& settings, int32_t pageTotal)
{
    if (pageTotal < 1)
        return 0;
    const std::string page = PagePath(settings, 1);
    const std::string folder = page.substr(0, page.size() - PageFileName(1).size());
    return RemoveFilesWhere(folder, [pageTotal](std::string_view name) {
        const std::string_view digits = PageDigits(name);
        // Longer than any page number we write counts as beyond.
        return !digits.empty() && (digits.size() > 9 || std::stol(std::string(digits)) > pageTotal);
    });
}
