#pragma once

#include "render/SppList.h"

#include <QWidget>

class QLabel;

// The borderless, always-on-top window shown while plug-ins load ("Plugin Load Status"), centred
// on the main window. SetContent repaints at once, since the GUI thread is busy loading.
class TfrmProgressWindow : public QWidget, public IProgressWindow
{
    Q_OBJECT

public:
    explicit TfrmProgressWindow(QWidget* centreOn);
    void SetContent(const std::string& text) override;
    QString Content() const;

private:
    QLabel* lblContent_;
};

// Shows progress windows centred on a window that must outlive the factory.
class TQtProgressWindowFactory : public IProgressWindowFactory
{
public:
    explicit TQtProgressWindowFactory(QWidget* centreOn = nullptr);
    void SetCentreOn(QWidget* centreOn) { centreOn_ = centreOn; }
    std::unique_ptr<IProgressWindow> Show() override;

private:
    QWidget* centreOn_;
};
