#pragma once

#include "platform/FileDialog.h"

class QWidget;

// The platform's file-open dialog. Without a display nobody can answer it, so it answers
// "cancelled" at once.
class TQtOpenDialog : public IOpenDialog
{
public:
    explicit TQtOpenDialog(QWidget* parent = nullptr);
    void SetParent(QWidget* parent) { parent_ = parent; }
    std::optional<std::string> Execute(const TFileFilter& filter) override;

private:
    QWidget* parent_;
};
