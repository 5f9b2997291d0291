#include "app/QtMessageBox.h"

#include "platform/DebugOutput.h"
#include "platform/QtText.h"
#include "platform/Termination.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <iostream>

TQtMessageBox::TQtMessageBox(QWidget* parent)
    : parent_(parent)
{ }

TMessageAnswer TQtMessageBox::Show(const TMessageRequest& request)
{
    // The program is ending: nobody will answer, so the box goes where a batch run's would.
    if (TerminationRequested())
        return THeadlessMessageBox(std::cerr, FromQString(QApplication::applicationName()))
            .Show(request);
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (request.kind) {
    case TMessageKind::Plain:
        break;
    case TMessageKind::Information:
        icon = QMessageBox::Information;
        break;
    case TMessageKind::Warning:
        icon = QMessageBox::Warning;
        break;
    case TMessageKind::Error:
        icon = QMessageBox::Critical;
        break;
    }
    const QString title
        = request.title.empty() ? QApplication::applicationName() : ToQString(request.title);
    QString text = ToQString(request.text);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    OutputDebugString("Message box: " + request.text);
    QMessageBox box(icon, title, text, QMessageBox::NoButton, parent_);
    box.setTextFormat(Qt::PlainText);
    if (request.buttons == TMessageButtons::Ok) {
        // The caption stays "OK" in every language Qt's own catalogue would give it.
        QPushButton* ok = box.addButton(QMessageBox::Ok);
        ok->setText(QStringLiteral("OK"));
        box.setDefaultButton(ok);
        box.exec();
        return TMessageAnswer::Ok;
    }
    QPushButton* yes = box.addButton(QStringLiteral("はい(&Y)"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("いいえ(&N)"), QMessageBox::NoRole);
    const bool yesIsDefault = request.defaultAnswer == TMessageAnswer::Yes;
    box.setDefaultButton(yesIsDefault ? yes : no);
    box.setEscapeButton(yesIsDefault ? yes : no);
    box.exec();
    if (box.clickedButton() == yes)
        return TMessageAnswer::Yes;
    if (box.clickedButton() == no)
        return TMessageAnswer::No;
    return request.defaultAnswer;
}
