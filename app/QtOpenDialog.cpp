#include "app/QtOpenDialog.h"

#include "app/Application.h"
#include "platform/Encoding.h"
#include "platform/QtText.h"

#include <QFileDialog>

TQtOpenDialog::TQtOpenDialog(QWidget* parent)
    : parent_(parent)
{ }

std::optional<std::string> TQtOpenDialog::Execute(const TFileFilter& filter)
{
    if (TApplication::IsHeadless())
        return std::nullopt;
    const QString chosen = QFileDialog::getOpenFileName(parent_, QString(), QString(),
        ToQString(filter.description) + QStringLiteral(" (") + ToQString(filter.mask)
            + QStringLiteral(")"));
    if (chosen.isEmpty())
        return std::nullopt;
    return FromNativePath(chosen.toStdString());
}
