#include "render/PageWriter.h"

#include "app/UtilUnit.h"
#include "log/MessageList.h"
#include "platform/FileIO.h"
#include "render/Surfaces.h"

#include <algorithm>

std::string MakeHTMLHead(const std::string& cssFile)
{
    return "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\r\n"
           "<HTML lang=\"ja-JP\">\r\n"
           "<head>\r\n"
           "<meta http-equiv=\"content-type\" content=\"text/html; charset=Shift_JIS\">\r\n"
           "<link type=\"text/css\" rel=\"stylesheet\" href=\""
        + cssFile
        + "\">\r\n"
          "<title>VELMO2</title>\r\n"
          "</head><body>\r\n";
}

std::string MakeNavigation(int32_t page, int32_t pageTotal)
{
    std::string nav = "<div class=\"header\">\r\n";
    if (page != 1)
        nav += "<a href=\"long" + std::to_string(page - 1) + ".html\">&lsaquo;&lsaquo;</a>\r\n";
    for (int32_t n = 1; n <= pageTotal; ++n) {
        const std::string number = std::to_string(n);
        nav += n == page ? number + "\r\n"
                         : "<a href=\"long" + number + ".html\">" + number + "</a>\r\n";
    }
    if (page != pageTotal)
        nav += "<a href=\"long" + std::to_string(page + 1) + ".html\">&rsaquo;&rsaquo;</a>\r\n";
    nav += "</div>\r\n";
    return nav;
}

std::string PagePath(const TPageSettings& settings, int32_t page)
{
    return JoinPath(
        settings.htmlFolder, settings.programFolder, "long" + std::to_string(page) + ".html");
}

void WritePages(const TMessageList& list, const TPageSettings& settings, TSurfaces& surfaces)
{
    surfaces.ReloadPlugins();
    const int32_t perPage = std::max<int32_t>(1, settings.messagesPerPage);
    const int32_t count = list.Count();
    const int32_t pageTotal = count / perPage + (count % perPage != 0 ? 1 : 0);
    const std::string head = MakeHTMLHead(settings.cssFile);
    // One buffer for every page: each message renders straight onto its end.
    std::string html;
    int32_t page = 0;
    for (int32_t first = 0; first < count; first += perPage) {
        ++page;
        const std::string navigation = MakeNavigation(page, pageTotal);
        html.clear();
        html += head;
        html += "\r\n";
        html += navigation;
        html += "\r\n";
        for (int32_t i = first; i < std::min(count, first + perPage); ++i) {
            list.Items(i).AppendHtml(html, i + 1, count);
            html += "\r\n";
        }
        html += "\r\n";
        html += navigation;
        html += "\r\n</body></html>\r\n\r\n";
        WriteFileAtomic(PagePath(settings, page), html);
    }
}
