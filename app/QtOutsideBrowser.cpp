#include "app/QtOutsideBrowser.h"

#include "app/BottleCommands.h"
#include "platform/Encoding.h"
#include "platform/Errors.h"
#include "platform/QtText.h"

#include <QDesktopServices>
#include <QProcess>
#include <QStringList>
#include <QUrl>

void TQtOutsideBrowser::Open(const std::string& browserCommand, const std::string& address)
{
    // Nothing but web addresses is ever handed to the desktop or the Browser command.
    if (!IsWebAddress(address))
        throw EVelmoError(
            Sjis("ブラウザで開けるのは http と https のアドレスだけです: ") + address);
    const auto words = BrowserArguments(browserCommand, address);
    if (!words) {
        if (!QDesktopServices::openUrl(QUrl(ToQString(address))))
            throw EVelmoError(
                Sjis("このアドレスを開くプログラムがデスクトップにありません: ") + address);
        return;
    }
    QStringList arguments;
    for (size_t i = 1; i < words->size(); ++i)
        arguments << QString::fromStdString(SjisToUtf8((*words)[i]));
    const QString program = QString::fromStdString(SjisToUtf8(words->front()));
    if (!QProcess::startDetached(program, arguments))
        throw EVelmoError(Sjis("ブラウザを起動できません: ") + words->front());
}
