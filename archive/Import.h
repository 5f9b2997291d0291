#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TArchive;

// Something an import could not take: a line of a file, a file or a folder. Program text.
struct TImportNote
{
    std::string path; // the file or folder as the user would find it
    int64_t line = 0; // 1-based; 0 for a whole file or folder
    std::string reason;
};

// Notes of one kind: all are counted, the first kKept are kept, so that a file of a million bad
// lines cannot fill the memory.
class TImportNotes
{
public:
    static constexpr size_t kKept = 100;

    void Add(TImportNote note);
    int64_t Count() const { return count_; }
    const std::vector<TImportNote>& Kept() const { return kept_; }

private:
    int64_t count_ = 0;
    std::vector<TImportNote> kept_;
};

// How far an import has come.
struct TImportProgress
{
    int64_t files = 0; // files finished
    int64_t bytes = 0; // bytes read
    int64_t messages = 0; // messages kept or found kept already
};

// What an import did.
struct TImportSummary
{
    int64_t filesRead = 0; // log files read to their end
    int64_t added = 0; // messages new to the archive
    int64_t known = 0; // messages the archive had: their counts were brought up to date
    TImportNotes refused; // lines that are no message; each costs that line only
    TImportNotes failed; // files and folders that could not be read
    TImportNotes skipped; // files that hold no log, and entries that are no file
    std::string archiveError; // the archive could not be written: the import stopped there
    bool cancelled = false; // stopped between two steps, with what it had read kept

    // Every file given or found was read and the archive took all it was given.
    bool Complete() const { return failed.Count() == 0 && archiveError.empty() && !cancelled; }
};

struct TImportOptions
{
    // Messages kept in one transaction: a process killed loses at most this many.
    int64_t commitEvery = 10000;
    // A line longer than this is refused without being held whole.
    size_t maxLineBytes = size_t(1) << 20;
    // Called now and then (after each piece read and each file) on the importing thread.
    std::function<void(const TImportProgress&)> progress;
    // Asked between steps, as is TerminationRequested: true stops the import.
    std::function<bool()> cancelled;
};

// Reads log files into the archive: each path is a file or a folder (walked recursively, in name
// order, hidden entries left out; a folder reached twice through links is walked once). Each file
// is told by its content: fetched-log text (with or without its "Result: OK" head; a head in the
// middle, where answers were joined, is skipped too) or Sent.log text. A file whose first lines
// are neither is skipped as no log. Files are read in pieces, so a log of any size needs little
// memory. Fetched messages are keyed under server; Sent.log messages have no MID. Messages are
// committed every commitEvery and at each file's end, so that a process killed half-way loses at
// most the step under way and leaves the archive whole. Empty lines are passed over. Paths are
// program text; names found in folders that have no Shift_JIS form are read all the same and
// shown with "?" for what does not convert.
TImportSummary ImportLogs(const std::vector<std::string>& paths, TArchive& archive,
    const std::string& server, const TImportOptions& options = {});

// The summary in words for the user (program text, CR LF between lines): the counts, then at most
// maxListed notes of each kind and how many more there are.
std::string ImportSummaryText(const TImportSummary& summary, size_t maxListed = 20);

// A progress line for a terminal or a progress window (program text).
std::string ImportProgressText(const TImportProgress& progress);
