#include "app/StartPage.h"

#include "platform/Encoding.h"
#include "platform/FileIO.h"
#include "render/CommandLinks.h"

namespace {

std::string StartLink(const char* word, const char* caption, const char* what)
{
    return std::string("<a href=\"") + CommandLinkPrefix(TLinkCommand::Start) + word + "\">"
        + Sjis(caption) + "</a><span>" + Sjis(what) + "</span><br>\r\n";
}

} // namespace

std::string StartPageHtml()
{
    // The links sit directly in a block of the class the click hook takes commands from; the page
    // carries its own small style so that it needs no file beside it.
    return "<!DOCTYPE html>\r\n<html lang=\"ja\">\r\n<head>\r\n"
           "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">\r\n"
           "<title>Velmo</title>\r\n<style>\r\n"
           "body { font-family: sans-serif; margin: 2em 3em; line-height: 1.7; }\r\n"
           "h1 { font-size: 1.6em; margin-bottom: 0.2em; }\r\n"
           "div.header { margin-top: 1.5em; }\r\n"
           "div.header a { display: inline-block; min-width: 12em; font-size: 1.15em; }\r\n"
           "div.header span { display: inline-block; color: #555; }\r\n"
           "@media (prefers-color-scheme: dark) {\r\n"
           "  body { background: #1e1e1e; color: #ddd; } a { color: #8ab4f8; }\r\n"
           "  div.header span { color: #aaa; }\r\n}\r\n"
           "</style>\r\n</head>\r\n<body>\r\n"
        + Sjis("<h1>Velmo へようこそ</h1>\r\n"
               "<p>Velmo は SSTP Bottle のメッセージログを読むビューアです。"
               "ボトルサーバーからログを取得して、メッセージをページにして読めます。"
               "気に入ったメッセージには投票や同意ができ、"
               "手元で動いているゴーストでメッセージを再生することもできます。</p>\r\n")
        + "<div class=\"header\">\r\n"
        + StartLink(
            kStartDemo, "デモのログを見る", "付属のデモのログを、ネットワークを使わずに表示します")
        + StartLink(
            kStartImport, "ログを取り込む...", "手元のログファイルをアーカイブに取り込みます")
        + StartLink(kStartServer, "サーバーを設定...", "ログを取得するボトルサーバーを設定します")
        + StartLink(kStartLogDownload, "ログ表示...", "サーバーからログを取得して表示します")
        + "</div>\r\n</body>\r\n</html>\r\n";
}

std::string WriteStartPage(const TAppFolders& folders)
{
    CreateFolders(folders.pageFolder);
    const std::string path = folders.pageFolder + "start.html";
    WriteFileAtomic(path, StartPageHtml());
    return path;
}
