#include "app/QtOpenDialog.h"

#include "app/Application.h"
#include "platform/Encoding.h"
#include "platform/QtText.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>

namespace {

class TFilesAndFoldersDialog : public QFileDialog
{
public:
    TFilesAndFoldersDialog(QWidget* parent, const QString& caption)
        : QFileDialog(parent, caption)
    {
        setOption(QFileDialog::DontUseNativeDialog);
        setFileMode(QFileDialog::ExistingFiles);
    }

    // The stock dialog opens a selected folder instead of choosing it.
    void accept() override
    {
        const QStringList chosen = selectedFiles();
        for (const QString& path : chosen)
            if (!QFileInfo::exists(path)) {
                QFileDialog::accept(); // its own warning about a name that was typed
                return;
            }
        if (!chosen.isEmpty())
            QDialog::accept();
    }
};

} // namespace

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

std::vector<std::string> TQtOpenDialog::Execute(const std::string& title)
{
    if (TApplication::IsHeadless())
        return {};
    TFilesAndFoldersDialog dialog(parent_, ToQString(title));
    if (dialog.exec() != QDialog::Accepted)
        return {};
    std::vector<std::string> paths;
    for (const QString& path : dialog.selectedFiles())
        paths.push_back(FromNativePath(QFile::encodeName(path).toStdString()));
    return paths;
}
