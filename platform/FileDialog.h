#pragma once

#include <optional>
#include <string>
#include <vector>

// A one-entry filter of a file-open dialog: the description shown and the file mask, a glob
// pattern ("*", "?", "[...]").
struct TFileFilter
{
    std::string description;
    std::string mask;
};

// The platform's modal file-open dialog, called on the GUI thread.
class IOpenDialog
{
public:
    virtual ~IOpenDialog() = default;
    // The chosen file's full path (program text), or nullopt when the user cancels.
    virtual std::optional<std::string> Execute(const TFileFilter& filter) = 0;
};

// The platform's modal dialog that chooses several files and folders at once, called on the GUI
// thread.
class IPathsDialog
{
public:
    virtual ~IPathsDialog() = default;
    // The chosen files and folders (program text); empty when the user cancels.
    virtual std::vector<std::string> Execute(const std::string& title) = 0;
};
