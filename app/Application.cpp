#include "app/Application.h"

#include "platform/DebugOutput.h"

#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Self-pipe: the signal handler only writes a byte; the GUI thread reads it and quits.
int terminationPipe[2] = { -1, -1 };

void OnTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(terminationPipe[1], &byte, 1);
}

} // namespace

void TApplication::PrepareEnvironment()
{
    if (::geteuid() == 0)
        ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
    if (IsHeadless() && !std::getenv("QT_QPA_PLATFORM"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

bool TApplication::IsHeadless()
{
    return !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY");
}

TApplication::TApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Velmo 2"));
    if (::pipe2(terminationPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        termination_ = new QSocketNotifier(terminationPipe[0], QSocketNotifier::Read, this);
        connect(termination_, &QSocketNotifier::activated, this, [] {
            char buffer[16];
            while (::read(terminationPipe[0], buffer, sizeof buffer) > 0) { }
            QCoreApplication::quit();
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
