#include "platform/QtText.h"

#include "platform/Encoding.h"

QString ToQString(const std::string& sjis)
{
    return QString::fromStdString(SjisToUtf8Lossy(sjis));
}

QString FoldWideDigits(QString text)
{
    for (QChar& c : text) {
        if (c.unicode() >= 0xFF10 && c.unicode() <= 0xFF19)
            c = QChar(u'0' + (c.unicode() - 0xFF10));
        else if (c.unicode() == 0xFF0D)
            c = QChar(u'-');
    }
    return text;
}

std::string FromQString(const QString& text)
{
    return Utf8ToSjis(text.toStdString());
}
