#include "app/MainFormUnit.h"

TMainForm::TMainForm(QWidget* parent)
    : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("Velmo 2"));
    resize(440, 351);
}
