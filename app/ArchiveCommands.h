#pragma once

#include "app/Configuration.h"
#include "platform/AppFolders.h"

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

class TArchive;
class TSsParser;

// The command-line verbs that work on the archive, without a window. Each writes its progress and
// its outcome to err (UTF-8, for a terminal or a log) and returns the exit status: 0 only when it
// did all it was asked; a failure says why in Japanese.

// velmo import PATH...: fetched-log files (with or without their "Result: OK" head) and Sent.log
// files, told apart by their content, and folders of them, into the archive (see ImportLogs). A
// line that cannot be read costs that line only (named with its file and line number); the
// summary counts files, messages added and messages already kept. 0 only when every file was read
// and the archive took every message: refused lines and files that hold no log are reported but
// do not fail the run. progressLine: err is a terminal, which gets a progress line updated in
// place.
int RunImport(const std::vector<std::string>& paths, const TAppFolders& folders,
    const TConfiguration& config, std::ostream& err, bool progressLine = false);

// velmo sync: fetches from the newest archived message of the configured bottle server up to now
// in steps of at most one day, committing each, so that a run that is stopped resumes where it
// ended. 0 when the archive is up to date.
int RunSync(const TAppFolders& folders, const TConfiguration& config, std::ostream& err);

// Loads the program's tag and meta pattern files from the data folder into the tokenizer. A file
// that cannot be read is given to failed (its EFileError text) and its list left empty; without
// failed the EFileError is thrown.
void LoadPatternFiles(TSsParser& parser, const TAppFolders& folders,
    const std::function<void(const std::string&)>& failed = {});

// The archive for a verb: opened with the program's patterns, so that it can keep messages, and
// upgraded when it is of an older version, with a line on err for how far the upgrade has come.
// Throws EVelmoError (a pattern file that cannot be read, an archive that cannot be used).
std::unique_ptr<TArchive> OpenArchive(const TAppFolders& folders, std::ostream& err);
// velmo export QUERY FORMAT FILE: the messages the query finds (oldest first) written to FILE in
// the format (see TExportFormat), one at a time, into a temporary file beside FILE that takes its
// place only when all is written: a failure or an interruption leaves an old FILE as it was.
// FILE "-" is out, written as it goes. The archive must exist (an export never creates one). 0 on
// success, with "N 件を書き出しました: FILE" on err; 2 for a format or query it cannot read
// (nothing is run); 1 for any other failure.
int RunExport(const std::string& query, const std::string& format, const std::string& file,
    const TAppFolders& folders, std::ostream& out, std::ostream& err);

// The bottle server's name as the archive keys its messages: the setting as written, or the
// bundled server's default address.
std::string ArchiveServerName(const TConfiguration& config);
