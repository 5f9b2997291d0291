#pragma once

#include "platform/FileDialog.h"

class QWidget;

// The platform's file-open dialogs: one file, or files and folders together. The latter is Qt's
// own dialog (the desktop's dialogs choose files or folders, not both), whose Open button takes
// what is selected, a folder included, while a double click still opens a folder. Without a
// display nobody can answer them, so they answer "cancelled" at once. A chosen path with no
// Shift_JIS form is an EEncodingError naming it.
class TQtOpenDialog : public IOpenDialog, public IPathsDialog
{
public:
    explicit TQtOpenDialog(QWidget* parent = nullptr);
    void SetParent(QWidget* parent) { parent_ = parent; }
    std::optional<std::string> Execute(const TFileFilter& filter) override;
    std::vector<std::string> Execute(const std::string& title) override;

private:
    QWidget* parent_;
};
