#pragma once

#include <QMainWindow>

// The program's one window. It owns the state that outlives a log view (configuration values,
// the current log, tokenizer, surface cache, ghost sender) and turns menu commands and browser
// events into calls on the core. GUI thread only.
class TMainForm : public QMainWindow
{
    Q_OBJECT

public:
    explicit TMainForm(QWidget* parent = nullptr);
};
