#pragma once

#include <QObject>

#include <functional>

class QWebEnginePage;

// Catches clicks on the pages' command links ("http://velmovote.3" and the like), which the
// browser engine would refuse as addresses before any navigation event: a script in the
// application world (out of reach of page content) listens to every click in the capture phase,
// stops the browser on a command link and hands its raw href over. Only clicks made by a person
// (trusted events) are passed on.
class TLinkHook : public QObject
{
    Q_OBJECT

public:
    // Installs the hook on the page; onLink receives the raw href of each trusted click on a
    // command link. The hook is owned by the page.
    static TLinkHook* Install(
        QWebEnginePage* page, std::function<void(const QString& href)> onLink);

    Q_INVOKABLE void linkClicked(const QString& href, bool trusted);

private:
    explicit TLinkHook(QObject* parent, std::function<void(const QString&)> onLink);
    std::function<void(const QString&)> onLink_;
};
