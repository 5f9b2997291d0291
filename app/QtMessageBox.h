#pragma once

#include "platform/MessageBox.h"

class QWidget;

// Real modal message boxes. Yes/No boxes carry the captions "はい(&Y)" and "いいえ(&N)"; closing
// a box without a choice (Escape, close box) gives the request's default answer.
class TQtMessageBox : public IMessageBox
{
public:
    // parent may be null; it must outlive every Show call.
    explicit TQtMessageBox(QWidget* parent = nullptr);
    TMessageAnswer Show(const TMessageRequest& request) override;
    // The window the boxes stand over from now on (the main window, once it exists).
    void SetParent(QWidget* parent) { parent_ = parent; }

private:
    QWidget* parent_;
};
