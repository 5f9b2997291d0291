#include "app/BrowserPage.h"

#include <QWebEngineSettings>

TBrowserPage::TBrowserPage(QObject* parent)
    : QWebEnginePage(parent)
{
    // The generated pages need no script; keeping it off keeps page content from acting.
    settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
}

void TBrowserPage::SetBeforeNavigate(BeforeNavigate handler)
{
    beforeNavigate_ = std::move(handler);
}

bool TBrowserPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame)
{
    // Page script is off, so a main-frame link click is a person's; a typed navigation is the
    // program's own load call (the window has no address bar).
    TNavigationOrigin origin = TNavigationOrigin::Other;
    if (isMainFrame && type == NavigationTypeLinkClicked)
        origin = TNavigationOrigin::LinkClick;
    else if (isMainFrame && type == NavigationTypeTyped)
        origin = TNavigationOrigin::ProgramLoad;
    return beforeNavigate_ ? beforeNavigate_(url, origin) : false;
}

QWebEnginePage* TBrowserPage::createWindow(WebWindowType)
{
    return nullptr;
}
