#pragma once

#include "log/LogRequest.h"

#include <QDialog>

class QComboBox;
class QDateEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTimeEdit;

// The log request dialog ("条件指定"): the last N hours, days or minutes, a range of days, or
// everything since a moment. It only gathers the request: OK closes it, and the downloaded-log
// view that showed it runs the request (Request) through the view road. GUI thread only.
class TLogDownForm : public QDialog
{
    Q_OBJECT

public:
    explicit TLogDownForm(QWidget* owner);

    // Closes the dialog with OK.
    void OKButtonClick();

    // The choice as the controls hold it.
    TLogRequest Request() const;

    QRadioButton* TimeRadioButton;
    QSpinBox* TimeSpinEdit;
    QComboBox* UnitComboBox;
    QRadioButton* DateRadioButton;
    QDateEdit* DateTimePicker1;
    QDateEdit* DateTimePicker2;
    QRadioButton* FromRadioButton;
    QDateEdit* DateTimePicker3;
    QTimeEdit* DateTimePicker4;
    QPushButton* OKButton;
    QPushButton* CancelButton;

private:
    void FormCreate();
    void TimeSpinEditChange();
    void DateTimePicker1Change();
    void DateTimePicker3Change();
};
