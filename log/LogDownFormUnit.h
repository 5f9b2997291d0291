#pragma once

#include "log/BottleServer.h"
#include "log/LogRequest.h"
#include "log/LogText.h"

#include <QDialog>

#include <functional>
#include <string>

class QComboBox;
class QDateEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTimeEdit;

// The log request dialog ("条件指定"): the last N hours, days or minutes, a range of days, or
// everything since a moment. Its OKButtonClick builds the /fetchlog.cgi address and downloads the
// log at once (blocking, with the wait cursor); the body is left in LogText. It is shown modally
// by the downloaded-log view, and filled and pressed from code by the continue view and the
// command line. GUI thread only; one dialog per view.
class TLogDownForm : public QDialog
{
    Q_OBJECT

public:
    // onError shows a failed download when OK is pressed by hand (the dialog still closes with
    // OK); a direct OKButtonClick call throws instead.
    TLogDownForm(
        QWidget* owner, TBottleServer server, std::function<void(const std::string&)> onError);

    // Builds the address and downloads it into LogText. Throws EHttpError.
    void OKButtonClick();

    // The choice as the controls hold it, and the same filled in from code.
    TLogRequest Request() const;
    void SetRequest(const TLogRequest& request);

    TLogText LogText; // the server's answer, bytes as received; empty after a failure

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

    const TBottleServer server_;
    std::function<void(const std::string&)> onError_;
};
