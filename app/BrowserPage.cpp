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

bool TBrowserPage::acceptNavigationRequest(const QUrl& url, NavigationType, bool)
{
    return beforeNavigate_ ? beforeNavigate_(url) : true;
}

QWebEnginePage* TBrowserPage::createWindow(WebWindowType)
{
    return nullptr;
}
