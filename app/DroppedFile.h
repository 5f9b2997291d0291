#pragma once

#include "app/LogView.h"
#include "platform/FileDialog.h"

#include <string>
#include <vector>

// What a drop of files on the window asks to show: one fetched-log file or one Sent.log, told
// apart by their content, each shown as its menu command shows it. No Qt.
struct TDroppedLog
{
    TViewSource source = TViewSource::LocalLog; // LocalLog or SentLog
    std::string path; // program text
    std::string refusal; // set when nothing is to be shown: why, in words for the user
};

// Looks at the dropped paths (program text; empty for a dropped item that is no local file).
TDroppedLog ExamineDrop(const std::vector<std::string>& paths);

// The Sent.log view's chooser for a file already chosen: answers its path without asking.
class TChosenFile : public IOpenDialog
{
public:
    explicit TChosenFile(std::string path)
        : path_(std::move(path))
    { }
    std::optional<std::string> Execute(const TFileFilter&) override { return path_; }

private:
    std::string path_;
};
