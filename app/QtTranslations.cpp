#include "app/QtTranslations.h"

#include <QAction>
#include <QCoreApplication>
#include <QTranslator>
#include <QWebEnginePage>

QLocale QtTextLocale(const QLocale& user)
{
    if (user.language() == QLocale::Japanese || user.language() == QLocale::English)
        return user;
    return QLocale(QLocale::Japanese, QLocale::Japan);
}

QList<QTranslator*> InstallQtTranslations(
    QCoreApplication& application, const QLocale& locale, const QString& folder)
{
    QList<QTranslator*> installed;
    // English is the language Qt's texts are written in: there is nothing to load.
    if (locale.language() == QLocale::English)
        return installed;
    for (const char* catalogue : { "qtbase", "qtwebengine" }) {
        auto* translator = new QTranslator(&application);
        translator->setObjectName(QString::fromLatin1(catalogue));
        if (translator->load(locale, QString::fromLatin1(catalogue), QStringLiteral("_"), folder)
            && application.installTranslator(translator))
            installed << translator;
        else
            delete translator;
    }
    return installed;
}

void TranslateViewActions(QWebEnginePage& page)
{
    if (QLocale().language() != QLocale::Japanese)
        return;
    using A = QWebEnginePage;
    static const std::pair<A::WebAction, const char16_t*> captions[] = {
        { A::Back, u"戻る" },
        { A::Forward, u"進む" },
        { A::Stop, u"中止" },
        { A::Reload, u"再読み込み" },
        { A::ReloadAndBypassCache, u"キャッシュを使わずに再読み込み" },
        { A::Cut, u"切り取り" },
        { A::Copy, u"コピー" },
        { A::Paste, u"貼り付け" },
        { A::PasteAndMatchStyle, u"書式なしで貼り付け" },
        { A::Undo, u"元に戻す" },
        { A::Redo, u"やり直し" },
        { A::SelectAll, u"すべて選択" },
        { A::Unselect, u"選択を解除" },
        { A::OpenLinkInThisWindow, u"リンクをこのウィンドウで開く" },
        { A::OpenLinkInNewWindow, u"リンクを新しいウィンドウで開く" },
        { A::OpenLinkInNewTab, u"リンクを新しいタブで開く" },
        { A::OpenLinkInNewBackgroundTab, u"リンクを裏の新しいタブで開く" },
        { A::CopyLinkToClipboard, u"リンクのアドレスをコピー" },
        { A::DownloadLinkToDisk, u"リンク先を保存" },
        { A::CopyImageToClipboard, u"画像をコピー" },
        { A::CopyImageUrlToClipboard, u"画像のアドレスをコピー" },
        { A::DownloadImageToDisk, u"画像を保存" },
        { A::CopyMediaUrlToClipboard, u"メディアのアドレスをコピー" },
        { A::DownloadMediaToDisk, u"メディアを保存" },
        { A::InspectElement, u"検証" },
        { A::ExitFullScreen, u"全画面表示を終了" },
        { A::SavePage, u"ページを保存" },
        { A::ViewSource, u"ページのソースを表示" },
    };
    for (const auto& [action, caption] : captions)
        if (QAction* item = page.action(action))
            item->setText(QString::fromUtf16(caption));
}
