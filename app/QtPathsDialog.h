#pragma once

#include "platform/FileDialog.h"

class QWidget;

// Chooses files and folders together in Qt's own file dialog (the desktop's dialogs choose one
// or the other): the Open button takes what is selected, a folder included, while a double click
// still opens a folder. Without a display nobody can answer it, so it answers "cancelled" at once.
// A chosen path with no Shift_JIS form is an EEncodingError naming it.
class TQtPathsDialog : public IPathsDialog
{
public:
    explicit TQtPathsDialog(QWidget* parent = nullptr);
    void SetParent(QWidget* parent) { parent_ = parent; }
    std::vector<std::string> Execute(const std::string& title) override;

private:
    QWidget* parent_;
};
