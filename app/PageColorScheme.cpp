#include "app/PageColorScheme.h"

#include <QByteArray>
#include <QColor>
#include <QPalette>

namespace {

constexpr char kFlagsVariable[] = "QTWEBENGINE_CHROMIUM_FLAGS";
constexpr char kDarkFlag[] = "--force-dark-mode";

} // namespace

bool IsDarkPalette(const QPalette& palette)
{
    return palette.color(QPalette::Window).lightness()
        < palette.color(QPalette::WindowText).lightness();
}

void TellEngineColorScheme(const QPalette& palette)
{
    if (!IsDarkPalette(palette))
        return;
    QByteArray flags = qgetenv(kFlagsVariable);
    if (flags.split(' ').contains(kDarkFlag))
        return;
    flags += ' ';
    flags += kDarkFlag;
    qputenv(kFlagsVariable, flags.trimmed());
}
