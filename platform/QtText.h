#pragma once

#include <QString>

#include <string>

// The one place where program text (Shift_JIS) meets QString.

// For showing: bytes that are not Shift_JIS show as "?" rather than losing the text.
QString ToQString(const std::string& sjis);

// Full-width digits and minus sign, as a Japanese input method types them ("１００"), as ASCII;
// every other character stays, each in its place.
QString FoldWideDigits(QString text);

// From a widget: throws EEncodingError when the text has characters with no Shift_JIS form.
std::string FromQString(const QString& text);
