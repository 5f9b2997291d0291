#pragma once

#include "app/BottleCommands.h"

#include <QWebEnginePage>

#include <functional>

// The page behind the embedded browser. Every navigation is offered to the main window first
// (the before-navigate event); new windows are refused, so links with a target cannot bypass it.
class TBrowserPage : public QWebEnginePage
{
    Q_OBJECT

public:
    // Returns true to let the navigation happen. A main-frame link click has origin LinkClick,
    // the program's own load ProgramLoad, anything else Other.
    using BeforeNavigate = std::function<bool(const QUrl& url, TNavigationOrigin origin)>;

    explicit TBrowserPage(QObject* parent = nullptr);
    void SetBeforeNavigate(BeforeNavigate handler);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage* createWindow(WebWindowType type) override;

private:
    BeforeNavigate beforeNavigate_;
};
