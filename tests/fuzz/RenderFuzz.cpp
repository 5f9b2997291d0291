// Rendering on arbitrary scripts and names, with the shipped patterns: it must never crash, and
// whatever the message holds, every "<" in the fragment must start one of the renderer's own
// tags, so nothing in a message can form markup or script in the page.

#include "log/BottleMessage.h"
#include "platform/MessageBox.h"
#include "render/MessageHtml.h"
#include "render/SppList.h"
#include "render/SsParser.h"
#include "render/Surfaces.h"

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

namespace {

class NoProgress : public IProgressWindowFactory
{
public:
    std::unique_ptr<IProgressWindow> Show() override { return nullptr; }
};

struct World
{
    std::ostringstream sink;
    THeadlessMessageBox box { sink, "fuzz" };
    NoProgress progress;
    TSppList plugins { true, box, progress };
    TSurfaces surfaces { "/nonexistent/velmo/general-1.bmp", plugins };
    TSsParser parser;
    World()
    {
        parser.SetTagPattern(TSsParser::LoadPatternFile(VELMO_SOURCE_DIR "/data/tagpat.txt"));
        parser.SetMetaPattern(TSsParser::LoadPatternFile(VELMO_SOURCE_DIR "/data/metapat.txt"));
        surfaces.CacheDir = "/nonexistent/velmo/cache/";
    }
};

bool OwnTagAt(const std::string& html, size_t i)
{
    for (const char* tag :
        { "<div class=\"", "</div>", "<img src=\"", "<a href=\"", "</a>", "<br>" })
        if (html.compare(i, std::char_traits<char>::length(tag), tag) == 0)
            return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static World world;
    const std::string input(reinterpret_cast<const char*>(data), size);
    // "ghost \x01 channel \x01 script"; without separators the whole input is the script.
    TBottleMessage m;
    const size_t a = input.find('\x01');
    const size_t b = a == std::string::npos ? std::string::npos : input.find('\x01', a + 1);
    if (b != std::string::npos) {
        m.Ghost = input.substr(0, a);
        m.Channel = input.substr(a + 1, b - a - 1);
        m.Script = input.substr(b + 1);
    } else {
        m.Script = input;
    }
    const std::string html = MessageHtml(m, 1, 1, world.parser, world.surfaces);
    for (size_t i = html.find('<'); i != std::string::npos; i = html.find('<', i + 1))
        if (!OwnTagAt(html, i))
            std::abort();
    (void)UrlCaption(input);
    return 0;
}
