#pragma once

#include "app/BottleCommands.h"

#include <QObject>

#include <functional>

class QWebEnginePage;

// Catches clicks on the pages' command links ("http://velmovote.3" and the like), which the
// browser engine would refuse as addresses before any navigation event: a script in the
// application world (out of reach of page content) listens to every click in the capture phase,
// stops the browser on a command link and hands its raw href over with where the click came
// from: OwnPageClick only for a person's (trusted) primary-button click or Enter in the main frame
// of a page the program wrote (a local file), on an anchor directly inside a message's header
// block (kCommandBlockClass), Other for every other click.
class TLinkHook : public QObject
{
    Q_OBJECT

public:
    using OnLink = std::function<void(const QString& href, TNavigationOrigin origin)>;
    // Installs the hook on the page; onLink receives the raw href of each click on a command
    // link. The hook is owned by the page.
    static TLinkHook* Install(QWebEnginePage* page, OnLink onLink);

    Q_INVOKABLE void linkClicked(
        const QString& href, bool trusted, bool primary, bool topFrame, bool commandBlock);

private:
    TLinkHook(QWebEnginePage* page, OnLink onLink);
    QWebEnginePage* page_; // the parent
    OnLink onLink_;
};
