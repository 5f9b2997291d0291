#include "archive/Import.h"

#include "archive/Archive.h"
#include "log/BottleMessage.h"
#include "log/LogReader.h"
#include "platform/Encoding.h"
#include "platform/Errors.h"
#include "platform/FileDescriptor.h"
#include "platform/StrUtils.h"
#include "platform/Termination.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr size_t kReadBytes = size_t(1) << 20;
// The lines a file's kind is told by, and the bytes they may take at most.
constexpr size_t kSampleLines = 20;
constexpr size_t kSampleBytes = size_t(1) << 20;
// Bytes read while no line has told the kind: beyond them the file is taken for no log.
constexpr int64_t kUnknownBytes = 4 << 20;
// Folders deeper than this are not walked: links can make a walk endless in ways a set of
// visited folders does not catch (a new mount, a growing tree).
constexpr int kMaxDepth = 64;
// How often the cancel check is asked within a file.
constexpr int64_t kLinesBetweenChecks = 1024;
constexpr std::string_view kResultOk = "Result: OK";
constexpr int kHeadLines = 2; // after "Result: OK"
// Messages read before they are given to the archive together (which makes their search texts on
// a second thread): enough to keep both threads busy, little memory.
constexpr size_t kPendingMessages = 4096;

enum class TKind {
    Unknown, // not told yet
    Fetched,
    Sent,
    NoLog,
};

// "what: the system's reason"; error is taken before any other call can change errno.
std::string Failure(std::string_view what, int error)
{
    return Sjis(what) + ": " + Utf8ToSjisLossy(std::strerror(error));
}

// A name the file system gave, as the user would read it.
std::string ShownName(const std::string& native)
{
    try {
        return FromNativePath(native);
    } catch (const EEncodingError&) {
        return Utf8ToSjisLossy(native);
    }
}

bool Parses(std::string_view line, TBottleMessage (*reader)(std::string_view))
{
    try {
        reader(line);
        return true;
    } catch (const EVelmoError&) {
        return false;
    }
}

class TImporter
{
public:
    TImporter(TArchive& archive, const std::string& server, const TImportOptions& options,
        TImportSummary& summary)
        : archive_(archive)
        , server_(server)
        , options_(options)
        , summary_(summary)
        , buffer_(kReadBytes)
    { }

    // False once the import has stopped (cancelled, or the archive failed).
    bool Path(const std::string& path)
    {
        std::string native;
        try {
            native = NativePath(path);
        } catch (const EEncodingError& e) {
            summary_.failed.Add({ path, 0, e.what() });
            return true;
        }
        struct stat st
        { };
        if (::stat(native.c_str(), &st) != 0) {
            summary_.failed.Add({ path, 0, Failure("開けません", errno) });
        } else if (S_ISDIR(st.st_mode)) {
            Folder(native, path, st, 0);
        } else {
            File(native, path, st, true);
        }
        return !Stopped();
    }

    // Commits the step under way.
    void Finish() { Commit(); }

private:
    bool Stopped() const { return summary_.cancelled || !summary_.archiveError.empty(); }

    bool CheckCancel()
    {
        if (!summary_.cancelled
            && (TerminationRequested() || (options_.cancelled && options_.cancelled())))
            summary_.cancelled = true;
        return summary_.cancelled;
    }

    void Report()
    {
        if (options_.progress)
            options_.progress(progress_);
    }

    void Folder(
        const std::string& native, const std::string& shown, const struct stat& st, int depth)
    {
        if (!visited_.emplace(st.st_dev, st.st_ino).second)
            return; // reached again through a link
        if (depth > kMaxDepth) {
            summary_.failed.Add({ shown, 0, Sjis("フォルダが深すぎるので読みません") });
            return;
        }
        std::vector<std::string> names;
        {
            const std::unique_ptr<DIR, int (*)(DIR*)> listing(
                ::opendir(native.c_str()), &::closedir);
            if (!listing) {
                summary_.failed.Add({ shown, 0, Failure("フォルダを開けません", errno) });
                return;
            }
            errno = 0;
            while (const dirent* entry = ::readdir(listing.get())) {
                if (entry->d_name[0] != '.') // hidden entries, "." and ".."
                    names.emplace_back(entry->d_name);
                errno = 0;
            }
            if (errno != 0)
                summary_.failed.Add({ shown, 0, Failure("フォルダを読み切れません", errno) });
        }
        std::sort(names.begin(), names.end());
        const std::string prefix = shown.ends_with('/') ? shown : shown + "/";
        for (const std::string& name : names) {
            if (Stopped() || CheckCancel())
                return;
            const std::string childNative = native + "/" + name;
            const std::string childShown = prefix + ShownName(name);
            struct stat child
            { };
            if (::stat(childNative.c_str(), &child) != 0)
                summary_.failed.Add({ childShown, 0, Failure("開けません", errno) });
            else if (S_ISDIR(child.st_mode))
                Folder(childNative, childShown, child, depth + 1);
            else
                File(childNative, childShown, child, false);
        }
    }

    // named: the user gave this path; an entry of a folder that is no file is only skipped.
    void File(
        const std::string& native, const std::string& shown, const struct stat& st, bool named)
    {
        const std::string notFile = Sjis("通常のファイルではないので読みません");
        // A FIFO or a device is never opened: opening some has effects of their own.
        if (!S_ISREG(st.st_mode)) {
            (named ? summary_.failed : summary_.skipped).Add({ shown, 0, notFile });
            return;
        }
        const TFileDescriptor fd(
            ::open(native.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        struct stat opened
        { };
        if (fd.get() < 0 || ::fstat(fd.get(), &opened) != 0) {
            summary_.failed.Add({ shown, 0, Failure("開けません", errno) });
            return;
        }
        if (!S_ISREG(opened.st_mode)) { // replaced since it was looked at
            (named ? summary_.failed : summary_.skipped).Add({ shown, 0, notFile });
            return;
        }
        Read(fd.get(), shown);
        ++progress_.files;
        Report();
    }

    void Read(int fd, const std::string& shown)
    {
        file_ = &shown;
        kind_ = TKind::Unknown;
        sample_.clear();
        sampleBytes_ = 0;
        lineNumber_ = 0;
        headLeft_ = 0;
        TLineSplitter splitter(options_.maxLineBytes);
        const auto handler
            = [this](std::string_view line, bool tooLong) { return Line(line, tooLong); };
        bool readError = false;
        bool atEnd = false;
        int64_t fileBytes = 0;
        while (!atEnd) {
            const ssize_t n = ::read(fd, buffer_.data(), buffer_.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                summary_.failed.Add({ shown, 0, Failure("読み込めません", errno) });
                readError = true;
                break;
            }
            atEnd = n == 0;
            progress_.bytes += n;
            fileBytes += n;
            // A file whose first lines do not end soon is no log: it is not read to its end.
            if (kind_ == TKind::Unknown && fileBytes > kUnknownBytes && !Decide(true))
                break;
            if (!splitter.Feed(std::string_view(buffer_.data(), static_cast<size_t>(n)), handler)
                || CheckCancel())
                break;
            Report();
        }
        if (atEnd)
            splitter.Finish(handler);
        // After a read error the lines before it are still taken.
        if (kind_ == TKind::Unknown && !Stopped())
            Decide(false);
        if (kind_ == TKind::NoLog) {
            if (!readError)
                summary_.skipped.Add({ shown, 0, Sjis("ログではないので読みません") });
            return;
        }
        // What was read is kept even when the rest could not be: it is sound.
        Commit();
        if (atEnd && !Stopped())
            ++summary_.filesRead;
    }

    // False stops the reading of the file.
    bool Line(std::string_view line, bool tooLong)
    {
        ++lineNumber_;
        if (lineNumber_ % kLinesBetweenChecks == 0 && CheckCancel())
            return false;
        if (kind_ == TKind::Unknown) {
            sample_.push_back({ std::string(line), tooLong });
            sampleBytes_ += line.size();
            if (sample_.size() < kSampleLines && sampleBytes_ < kSampleBytes)
                return true;
            return Decide(false);
        }
        return Take(line, lineNumber_, tooLong);
    }

    // Tells the file's kind by the lines read so far, then takes them; moreText: bytes were read
    // beyond them. False when it is no log or the import stopped.
    bool Decide(bool moreText)
    {
        const std::string_view first = sample_.empty() ? std::string_view() : sample_[0].first;
        int fetched = 0;
        int sent = 0;
        bool anyText = moreText;
        for (const auto& [line, tooLong] : sample_) {
            if (line.empty() && !tooLong)
                continue;
            anyText = true;
            if (tooLong)
                continue;
            fetched += Parses(line, &ReadLogLine) ? 1 : 0;
            sent += Parses(line, &ReadSentLogLine) ? 1 : 0;
        }
        if (first == kResultOk || (fetched > 0 && fetched >= sent))
            kind_ = TKind::Fetched;
        else if (sent > 0)
            kind_ = TKind::Sent;
        else if (anyText || first.starts_with("Result:"))
            kind_ = TKind::NoLog;
        else
            kind_ = TKind::Fetched; // nothing but empty lines: nothing to take
        if (kind_ == TKind::NoLog)
            return false;
        const int64_t first_number = lineNumber_ - static_cast<int64_t>(sample_.size()) + 1;
        for (size_t i = 0; i < sample_.size(); ++i)
            if (!Take(sample_[i].first, first_number + static_cast<int64_t>(i), sample_[i].second))
                return false;
        sample_.clear();
        return true;
    }

    // One line of a file whose kind is known. False when the import stopped.
    bool Take(std::string_view line, int64_t number, bool tooLong)
    {
        if (kind_ == TKind::Fetched && line == kResultOk) {
            headLeft_ = kHeadLines;
            return true;
        }
        if (headLeft_ > 0) {
            --headLeft_;
            return true;
        }
        if (line.empty() && !tooLong)
            return true;
        if (tooLong) {
            summary_.refused.Add({ *file_, number,
                Sjis("行が長すぎます (") + std::to_string(options_.maxLineBytes)
                    + Sjis(" バイトを超えています)") });
            return true;
        }
        std::optional<TBottleMessage> message;
        try {
            message = kind_ == TKind::Fetched ? ReadLogLine(line) : ReadSentLogLine(line);
        } catch (const EVelmoError& e) {
            summary_.refused.Add({ *file_, number, e.what() });
            return true;
        }
        return Keep(std::move(*message));
    }

    bool Keep(TBottleMessage&& message)
    {
        pending_.push_back(std::move(message));
        ++progress_.messages;
        const int64_t step = stepAdded_ + stepKnown_ + static_cast<int64_t>(pending_.size());
        if (step >= options_.commitEvery)
            Commit();
        else if (pending_.size() >= kPendingMessages)
            Flush();
        return summary_.archiveError.empty();
    }

    // Gives the messages read so far to the step under way.
    void Flush()
    {
        if (pending_.empty())
            return;
        try {
            if (!batch_)
                batch_.emplace(archive_);
            const TArchiveCounts counts = batch_->Add(pending_, server_);
            stepAdded_ += counts.added;
            stepKnown_ += counts.known;
        } catch (const EArchiveError& e) {
            Fail(e);
        }
        pending_.clear();
    }

    void Commit()
    {
        Flush();
        if (!batch_)
            return;
        try {
            batch_->Commit();
            summary_.added += stepAdded_;
            summary_.known += stepKnown_;
        } catch (const EArchiveError& e) {
            Fail(e);
        }
        batch_.reset();
        stepAdded_ = stepKnown_ = 0;
    }

    // The step under way is lost (rolled back); nothing more is written.
    void Fail(const EArchiveError& e)
    {
        summary_.archiveError = e.what();
        pending_.clear();
        batch_.reset();
        stepAdded_ = stepKnown_ = 0;
    }

    TArchive& archive_;
    const std::string& server_;
    const TImportOptions& options_;
    TImportSummary& summary_;
    std::vector<char> buffer_;
    std::set<std::pair<dev_t, ino_t>> visited_; // folders walked
    TImportProgress progress_;

    std::optional<TArchive::TBatch> batch_;
    std::vector<TBottleMessage> pending_; // read, not yet given to batch_
    int64_t stepAdded_ = 0;
    int64_t stepKnown_ = 0;

    // The file being read.
    const std::string* file_ = nullptr;
    TKind kind_ = TKind::Unknown;
    std::vector<std::pair<std::string, bool>> sample_; // the first lines, until the kind is told
    size_t sampleBytes_ = 0;
    int64_t lineNumber_ = 0;
    int headLeft_ = 0; // head lines still to pass over
};

std::string Count(int64_t n)
{
    return std::to_string(n);
}

void ListNotes(
    std::string& text, const std::string& title, const TImportNotes& notes, size_t maxListed)
{
    if (notes.Count() == 0)
        return;
    text += title + " (" + Count(notes.Count()) + "):\r\n";
    size_t listed = 0;
    for (const TImportNote& note : notes.Kept()) {
        if (listed++ == maxListed)
            break;
        text += "  " + ShownText(note.path, 1024);
        if (note.line > 0)
            text += ":" + Count(note.line);
        text += ": " + ShownText(note.reason, 200) + "\r\n";
    }
    const int64_t more = notes.Count() - static_cast<int64_t>(std::min(listed, maxListed));
    if (more > 0)
        text += Sjis("  ほか ") + Count(more) + Sjis(" 件") + "\r\n";
}

} // namespace

void TImportNotes::Add(TImportNote note)
{
    ++count_;
    if (kept_.size() < kKept)
        kept_.push_back(std::move(note));
}

TImportSummary ImportLogs(const std::vector<std::string>& paths, TArchive& archive,
    const std::string& server, const TImportOptions& options)
{
    TImportSummary summary;
    TImporter importer(archive, server, options, summary);
    for (const std::string& path : paths)
        if (!importer.Path(path))
            break;
    importer.Finish();
    // The text index is written in pieces during a long import and merged once here; a cancelled
    // import is left to the merging later writes do, so that it stops at once.
    if (summary.added > 0 && summary.archiveError.empty() && !summary.cancelled) {
        try {
            archive.MergeTextIndex();
        } catch (const EArchiveError& e) {
            summary.archiveError = e.what();
        }
    }
    return summary;
}

std::string ImportSummaryText(const TImportSummary& summary, size_t maxListed)
{
    std::string text = Sjis("読んだファイル: ") + Count(summary.filesRead) + "\r\n"
        + Sjis("追加したメッセージ: ") + Count(summary.added) + "\r\n"
        + Sjis("すでにあったメッセージ: ") + Count(summary.known) + "\r\n"
        + Sjis("読めなかった行: ") + Count(summary.refused.Count()) + "\r\n";
    ListNotes(text, Sjis("読めなかった行"), summary.refused, maxListed);
    ListNotes(text, Sjis("読めなかったファイル"), summary.failed, maxListed);
    ListNotes(text, Sjis("飛ばしたファイル"), summary.skipped, maxListed);
    if (!summary.archiveError.empty())
        text += Sjis("アーカイブに書き込めないので止めました: ") + summary.archiveError + "\r\n";
    if (summary.cancelled)
        text += Sjis("途中で止めました。そこまでに読んだメッセージは保存されています") + "\r\n";
    return text;
}

std::string ImportProgressText(const TImportProgress& progress)
{
    return Sjis("取り込み中: ファイル ") + Count(progress.files) + ", "
        + Count(progress.bytes / (1024 * 1024)) + " MiB, " + Sjis("メッセージ ")
        + Count(progress.messages);
}
