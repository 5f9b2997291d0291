// The viewer's entry point: library plus main().

#include "app/MainFormUnit.h"

#include <QApplication>

#include <cstdlib>
#include <unistd.h>

namespace {

// Qt WebEngine refuses to start as root with its sandbox; without a display the program runs on
// Qt's offscreen platform so that batch runs need no desktop.
void PrepareEnvironment()
{
    if (::geteuid() == 0)
        ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")
        && !std::getenv("QT_QPA_PLATFORM"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

} // namespace

int main(int argc, char* argv[])
{
    PrepareEnvironment();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmo 2"));
    TMainForm form;
    form.show();
    return QApplication::exec();
}
