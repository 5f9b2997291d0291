#include "app/QtText.h"

#include "platform/Encoding.h"

QString ToQString(const std::string& sjis)
{
    return QString::fromStdString(SjisToUtf8Lossy(sjis));
}

std::string FromQString(const QString& text)
{
    return Utf8ToSjis(text.toStdString());
}
