#include "log/LogDownFormUnit.h"

#include "platform/QtText.h"
#include "platform/StrUtils.h"

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimeEdit>

namespace {

QDate ToQDate(TDateTime value)
{
    const TDateFields d = DecodeDate(value);
    return QDate(d.year, d.month, d.day);
}

TDateTime FromQDate(const QDate& date)
{
    return TryEncodeDate(date.year(), date.month(), date.day()).value_or(0);
}

QTime ToQTime(TDateTime value)
{
    const TTimeFields t = DecodeTime(value);
    return QTime(t.hour, t.minute, t.second);
}

TDateTime FromQTime(const QTime& time)
{
    return TryEncodeTime(time.hour(), time.minute(), time.second()).value_or(0);
}

QDateEdit* NewDatePicker(QWidget* parent)
{
    auto* picker = new QDateEdit(parent);
    picker->setDisplayFormat(QStringLiteral("yyyy/MM/dd"));
    picker->setCalendarPopup(true);
    return picker;
}

// The count as typed through an input method, full-width digits and all.
class TWideDigitSpinBox : public QSpinBox
{
public:
    using QSpinBox::QSpinBox;

protected:
    QValidator::State validate(QString& input, int& pos) const override
    {
        input = FoldWideDigits(input);
        return QSpinBox::validate(input, pos);
    }
    int valueFromText(const QString& text) const override
    {
        return QSpinBox::valueFromText(FoldWideDigits(text));
    }
};

} // namespace

TLogDownForm::TLogDownForm(QWidget* owner)
    : QDialog(owner, Qt::Tool)
{
    setObjectName(QStringLiteral("LogDownForm"));
    setWindowTitle(QStringLiteral("条件指定"));
    if (owner)
        setFont(owner->font());
    TimeRadioButton = new QRadioButton(QStringLiteral("過去"), this);
    TimeSpinEdit = new TWideDigitSpinBox(this);
    TimeSpinEdit->setRange(kMinCount, kMaxCount);
    UnitComboBox = new QComboBox(this);
    UnitComboBox->addItems({ QStringLiteral("時間"), QStringLiteral("日"), QStringLiteral("分") });
    DateRadioButton = new QRadioButton(this);
    DateTimePicker1 = NewDatePicker(this);
    DateTimePicker2 = NewDatePicker(this);
    FromRadioButton = new QRadioButton(this);
    DateTimePicker3 = NewDatePicker(this);
    DateTimePicker4 = new QTimeEdit(this);
    DateTimePicker4->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    OKButton = new QPushButton(QStringLiteral("&OK"), this);
    CancelButton = new QPushButton(QStringLiteral("キャンセル(&C)"), this);
    OKButton->setDefault(true);
    for (const auto& [widget, name] : std::initializer_list<std::pair<QWidget*, const char*>> {
             { TimeRadioButton, "TimeRadioButton" }, { TimeSpinEdit, "TimeSpinEdit" },
             { UnitComboBox, "UnitComboBox" }, { DateRadioButton, "DateRadioButton" },
             { DateTimePicker1, "DateTimePicker1" }, { DateTimePicker2, "DateTimePicker2" },
             { FromRadioButton, "FromRadioButton" }, { DateTimePicker3, "DateTimePicker3" },
             { DateTimePicker4, "DateTimePicker4" }, { OKButton, "OKButton" },
             { CancelButton, "CancelButton" } })
        widget->setObjectName(QString::fromLatin1(name));

    auto* group = new QButtonGroup(this);
    for (QRadioButton* button : { TimeRadioButton, DateRadioButton, FromRadioButton })
        group->addButton(button);

    auto* grid = new QGridLayout(this);
    grid->addWidget(TimeRadioButton, 0, 0);
    grid->addWidget(TimeSpinEdit, 0, 1);
    grid->addWidget(UnitComboBox, 0, 2);
    grid->addWidget(DateRadioButton, 1, 0);
    grid->addWidget(DateTimePicker1, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("から"), this), 1, 2);
    grid->addWidget(DateTimePicker2, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("まで"), this), 1, 4);
    grid->addWidget(FromRadioButton, 2, 0);
    grid->addWidget(DateTimePicker3, 2, 1);
    grid->addWidget(DateTimePicker4, 2, 2);
    grid->addWidget(new QLabel(QStringLiteral("から"), this), 2, 3);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKButton);
    buttons->addWidget(CancelButton);
    grid->addLayout(buttons, 3, 0, 1, 5);
    // A fixed-size tool window: the size its layout needs with the desktop's font.
    grid->setSizeConstraint(QLayout::SetFixedSize);
    move(196, 270);

    FormCreate();

    connect(TimeSpinEdit, &QSpinBox::valueChanged, this, [this] { TimeSpinEditChange(); });
    connect(UnitComboBox, &QComboBox::currentTextChanged, this, [this] { TimeSpinEditChange(); });
    connect(DateTimePicker1, &QDateEdit::dateChanged, this, [this] { DateTimePicker1Change(); });
    connect(DateTimePicker2, &QDateEdit::dateChanged, this, [this] { DateTimePicker1Change(); });
    connect(DateTimePicker3, &QDateEdit::dateChanged, this, [this] { DateTimePicker3Change(); });
    connect(DateTimePicker4, &QTimeEdit::timeChanged, this, [this] { DateTimePicker3Change(); });
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(OKButton, &QPushButton::clicked, this, [this] { OKButtonClick(); });
}

void TLogDownForm::FormCreate()
{
    const TDateTime now = Now();
    TimeRadioButton->setChecked(true);
    TimeSpinEdit->setValue(1);
    UnitComboBox->setCurrentIndex(0);
    for (QDateEdit* picker : { DateTimePicker1, DateTimePicker2, DateTimePicker3 })
        picker->setDate(ToQDate(now));
    DateTimePicker4->setTime(ToQTime(now));
}

void TLogDownForm::TimeSpinEditChange()
{
    TimeRadioButton->setChecked(true);
}

void TLogDownForm::DateTimePicker1Change()
{
    DateRadioButton->setChecked(true);
}

void TLogDownForm::DateTimePicker3Change()
{
    FromRadioButton->setChecked(true);
}

TLogRequest TLogDownForm::Request() const
{
    TLogRequest r;
    r.choice = TimeRadioButton->isChecked() ? TLogChoice::Recent
        : FromRadioButton->isChecked()      ? TLogChoice::From
                                            : TLogChoice::Range;
    // Text that is not a whole number counts as 1.
    r.count = ClampCount(
        TryStrToInt(FoldWideDigits(TimeSpinEdit->cleanText()).toStdString()).value_or(1));
    const QString unit = UnitComboBox->currentText();
    r.unit = unit == QStringLiteral("時間") ? TTimeUnit::Hours
        : unit == QStringLiteral("日")      ? TTimeUnit::Days
        : unit == QStringLiteral("分")      ? TTimeUnit::Minutes
                                            : TTimeUnit::Other;
    r.firstDate = FromQDate(DateTimePicker1->date());
    r.lastDate = FromQDate(DateTimePicker2->date());
    r.startDate = FromQDate(DateTimePicker3->date());
    r.startTime = FromQTime(DateTimePicker4->time());
    return r;
}

void TLogDownForm::OKButtonClick()
{
    // The request is what the controls hold (Request); the view that showed the dialog fetches it.
    accept();
}
