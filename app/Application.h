#pragma once

#include <QApplication>

#include <functional>
#include <string>

class QSocketNotifier;

// The application object: title "Velmo 2", the general error handler as a last line of defence,
// and an orderly end on SIGTERM, SIGINT or SIGHUP whatever is open (every message loop ends, open
// dialogs are cancelled, and main() then destroys the main window normally, which writes the
// configuration). A dark desktop palette at construction makes the pages dark too
// (TellEngineColorScheme). One instance, on the GUI thread.
class TApplication : public QApplication
{
    Q_OBJECT

public:
    // Call before constructing: Qt WebEngine without its sandbox when running as root, and Qt's
    // offscreen platform when there is no display; then also Qt's and the engine's own reports
    // are silenced unless VELMO_DEBUG is set.
    static void PrepareEnvironment();

    // True when neither DISPLAY nor WAYLAND_DISPLAY is set: message boxes then go to standard
    // error and answer at once.
    static bool IsHeadless();

    TApplication(int& argc, char** argv);
    ~TApplication() override;

    // An exception that escapes an event handler ends here instead of ending the program.
    bool notify(QObject* receiver, QEvent* event) override;

    // Shows the text of an escaped exception (the main window's general error handler).
    void SetErrorHandler(std::function<void(const std::string&)> handler);

private:
    static void EndAllLoops();
    void ReportEscaped(const std::string& text);

    std::function<void(const std::string&)> errorHandler_;
    QSocketNotifier* termination_ = nullptr;
};
