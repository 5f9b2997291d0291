#include "app/LinkHook.h"

#include "platform/QtText.h"

#include <QFile>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>

namespace {

// Runs in the application world at document creation, before any page script.
const char* const kHookScript = R"JS(
(function () {
    var hook = null;
    new QWebChannel(qt.webChannelTransport, function (channel) { hook = channel.objects.velmoLinkHook; });
    var command = new RegExp(COMMAND_PATTERN, 'i');
    // Command links are the program's own only directly inside a message's header block, which
    // no script of a message can write.
    function inCommandBlock(anchor) {
        var block = anchor.parentElement;
        return !!block && block.tagName.toLowerCase() === 'div' && block.className === COMMAND_BLOCK;
    }
    // An address whose host ends in a number but is no IPv4 address ("http://host.123/") is one
    // the engine refuses before asking us, leaving the page for "about:blank#blocked": such links
    // are handed over as the command links are, so they reach the outside browser.
    var web = /^\s*https?:\/\//i;
    function refusedByEngine(href) {
        if (!web.test(href))
            return false;
        try {
            new URL(href.trim());
            return false;
        } catch (e) {
            return true;
        }
    }
    function onClick(event) {
        var anchor = event.target;
        while (anchor && !(anchor.tagName && anchor.tagName.toLowerCase() === 'a'))
            anchor = anchor.parentNode;
        if (!anchor)
            return;
        var href = anchor.getAttribute('href') || '';
        if (!command.test(href) && !refusedByEngine(href))
            return;
        event.preventDefault();
        event.stopPropagation();
        if (hook)
            hook.linkClicked(href, event.isTrusted, event.type === 'click' && event.button === 0,
                window.top === window, inCommandBlock(anchor));
    }
    document.addEventListener('click', onClick, true);
    document.addEventListener('auxclick', onClick, true);
})();
)JS";

QString WebChannelLibrary()
{
    QFile file(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

TLinkHook::TLinkHook(QWebEnginePage* page, OnLink onLink)
    : QObject(page)
    , page_(page)
    , onLink_(std::move(onLink))
{ }

TLinkHook* TLinkHook::Install(QWebEnginePage* page, OnLink onLink)
{
    auto* hook = new TLinkHook(page, std::move(onLink));
    auto* channel = new QWebChannel(page);
    channel->registerObject(QStringLiteral("velmoLinkHook"), hook);
    page->setWebChannel(channel, QWebEngineScript::ApplicationWorld);
    QWebEngineScript script;
    script.setName(QStringLiteral("velmo-link-hook"));
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(QWebEngineScript::ApplicationWorld);
    script.setRunsOnSubFrames(true);
    QString hookScript = QString::fromUtf8(kHookScript);
    hookScript.replace(QStringLiteral("COMMAND_PATTERN"),
        QStringLiteral("'%1'").arg(QString::fromStdString(CommandLinkPattern())
                                       .replace(QStringLiteral("\\"), QStringLiteral("\\\\"))));
    hookScript.replace(QStringLiteral("COMMAND_BLOCK"),
        QStringLiteral("'%1'").arg(QLatin1String(kCommandBlockClass)));
    script.setSourceCode(WebChannelLibrary() + hookScript);
    page->scripts().insert(script);
    return hook;
}

void TLinkHook::linkClicked(
    const QString& href, bool trusted, bool primary, bool topFrame, bool commandBlock)
{
    // A page's own script can fire clicks too, and a page from the web can hold command links:
    // only a person's click on a header link of the program's own page sends commands.
    const bool placed = commandBlock || !IsCommandAddress(FromQString(href));
    const bool own = trusted && primary && topFrame && placed && page_->url().isLocalFile();
    if (onLink_)
        onLink_(href, own ? TNavigationOrigin::OwnPageClick : TNavigationOrigin::Other);
}
