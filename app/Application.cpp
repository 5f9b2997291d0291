#include "app/Application.h"

#include "Version.h"
#include "app/PageColorScheme.h"
#include "platform/DebugOutput.h"
#include "platform/Termination.h"

#include <QDialog>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

// Self-pipe: the signal handler only sets the flag and writes a byte; the GUI thread reads it
// and ends the message loops.
int terminationPipe[2] = { -1, -1 };

void OnTerminationSignal(int)
{
    RequestTermination();
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(terminationPipe[1], &byte, 1);
}

// Qt's and the browser engine's own reports (GL back-ends, platform plug-in limits) mean nothing
// to a batch job reading standard error; only fatal ones are kept.
void QuietMessages(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

// Desktops whose own file chooser Qt reaches by itself: KDE through its platform theme, the GTK
// desktops through the GTK one.
bool DesktopHasQtTheme(const std::string& desktops)
{
    for (const char* name : { "KDE", "GNOME", "Unity", "X-Cinnamon", "MATE", "XFCE", "LXDE",
             "Budgie", "Pantheon", "Deepin" })
        if (desktops.find(name) != std::string::npos)
            return true;
    return false;
}

} // namespace

void TApplication::PrepareEnvironment()
{
    // On any other desktop session the file and folder choosers come from the XDG desktop
    // portal, where one runs; without an answering portal Qt shows its own dialogs.
    const char* desktop = std::getenv("XDG_CURRENT_DESKTOP");
    if (!IsHeadless() && !std::getenv("QT_QPA_PLATFORMTHEME") && desktop && *desktop
        && std::getenv("DBUS_SESSION_BUS_ADDRESS") && !DesktopHasQtTheme(desktop))
        ::setenv("QT_QPA_PLATFORMTHEME", "xdgdesktopportal", 1);
    if (::geteuid() == 0)
        ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
    if (IsHeadless() && !std::getenv("QT_QPA_PLATFORM"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (IsHeadless() && !std::getenv("VELMO_DEBUG")) {
        qInstallMessageHandler(QuietMessages);
        // The engine's own logging goes straight to standard error, past Qt's handler.
        QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
        flags += " --disable-logging --log-level=3";
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.trimmed());
    }
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

bool TApplication::IsHeadless()
{
    return !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY");
}

TApplication::TApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral(VELMO_TITLE));
    // The palette is the desktop's now; the browser engine starts later, with the first view.
    TellEngineColorScheme(palette());
    // The desktop entry's name: Wayland's application id, by which docks group the windows. On X11
    // the window's class instance is the program's file name, "velmo", the entry's StartupWMClass.
    setDesktopFileName(QStringLiteral("org.example.velmo.Velmo"));
    if (::pipe2(terminationPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        termination_ = new QSocketNotifier(terminationPipe[0], QSocketNotifier::Read, this);
        connect(termination_, &QSocketNotifier::activated, this, [] {
            char buffer[16];
            while (::read(terminationPipe[0], buffer, sizeof buffer) > 0) { }
            EndAllLoops();
        });
        struct sigaction action
        { };
        action.sa_handler = OnTerminationSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (const int signal : { SIGTERM, SIGINT, SIGHUP })
            ::sigaction(signal, &action, nullptr);
    }
}

void TApplication::EndAllLoops()
{
    // A modal dialog or message box open now is closed as if cancelled; exit() ends every
    // message loop of the thread, the dialogs' nested ones and the main one (quit() does nothing
    // before the main loop runs, which is when the start-up box is open). Boxes asked for from
    // here on answer at once (TerminationRequested).
    for (QWidget* widget : topLevelWidgets())
        if (auto* dialog = qobject_cast<QDialog*>(widget); dialog && dialog->isVisible())
            dialog->reject();
    QCoreApplication::exit(0);
}

TApplication::~TApplication()
{
    for (const int signal : { SIGTERM, SIGINT, SIGHUP })
        std::signal(signal, SIG_DFL);
    delete termination_;
    for (int& fd : terminationPipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ReportEscaped(e.what());
    } catch (...) {
        ReportEscaped("Unknown error");
    }
    return false;
}

void TApplication::SetErrorHandler(std::function<void(const std::string&)> handler)
{
    errorHandler_ = std::move(handler);
}

void TApplication::ReportEscaped(const std::string& text)
{
    OutputDebugString("Exception escaped an event handler: " + text);
    if (!errorHandler_)
        return;
    try {
        errorHandler_(text);
    } catch (...) {
        std::fputs("Velmo: the error handler failed\n", stderr);
    }
}
