// Building the pages of 10,000 messages (corpus scripts, or synthetic ones when the corpus is
// absent) with every surface already in the disk cache, beside writing the same bytes with one
// write per page: the ratio says what rendering costs on top of the writing itself.

#include "log/MessageList.h"
#include "platform/Encoding.h"
#include "platform/FileIO.h"
#include "platform/MessageBox.h"
#include "render/PageWriter.h"
#include "render/SppList.h"
#include "render/SsParser.h"
#include "render/Surfaces.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

class NoProgress : public IProgressWindowFactory
{
public:
    std::unique_ptr<IProgressWindow> Show() override { return nullptr; }
};

struct Fixture
{
    std::filesystem::path dir = std::filesystem::temp_directory_path() / "velmo-page-bench";
    std::ostringstream sink;
    THeadlessMessageBox box { sink, "bench" };
    NoProgress progress;
    TSppList plugins { true, box, progress };
    TSurfaces surfaces { dir.string() + "/general-1.bmp", plugins };
    TSsParser parser;
    TMessageList messages;
    TPageSettings settings;

    Fixture()
    {
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir / "cache");
        parser.SetTagPattern(TSsParser::LoadPatternFile(VELMO_SOURCE_DIR "/data/tagpat.txt"));
        parser.SetMetaPattern(TSsParser::LoadPatternFile(VELMO_SOURCE_DIR "/data/metapat.txt"));
        surfaces.CacheDir = dir.string() + "/cache/";
        settings.defaultFolder = dir.string() + "/";
        settings.cssFile = "styleIE.css";
        std::vector<std::string> scripts;
        std::ifstream in(VELMO_SOURCE_DIR "/../shared/corpus/scripts.sjis.txt", std::ios::binary);
        for (std::string line; std::getline(in, line);)
            scripts.push_back(line);
        if (scripts.empty())
            scripts = { Sjis("\\h\\s[0]こんにちは。\\w4\\n\\s[5]今日はいい天気ですね。\\u\\s[10]"
                             "せやな。\\e"),
                Sjis("\\h\\s0表示テスト\\_s同時に\\_s\\URL[http://example.org/a/"
                     "b.html][リンク]\\e") };
        const std::string ghosts[] = { Sjis("さくら"), Sjis("毒子"), "GhostA" };
        for (int i = 0; i < 10000; ++i) {
            auto m = std::make_unique<TBottleMessage>();
            m->Ghost = ghosts[i % 3];
            m->Channel = Sjis("一般");
            m->Script = scripts[static_cast<size_t>(i) % scripts.size()];
            m->LogTime = 45000 + i / 1440.0;
            messages.Add(std::move(m));
        }
        // Every surface the messages show exists in the cache, as after an earlier run.
        for (int i = 0; i < messages.Count(); ++i) {
            const auto& m = messages.Items(i);
            parser.ParseScript(m.Script);
            for (int n : { 0, 10 })
                Touch(m.Ghost, n);
            for (const auto& t : parser.Tokens())
                if (t.MarkType == TSsMarkUpType::smTag && t.Text.size() > 2 && t.Text[1] == 's') {
                    std::string digits;
                    for (char c : t.Text)
                        if ((c >= '0' && c <= '9') || c == '-')
                            digits += c;
                    if (!digits.empty() && digits[0] != '-')
                        Touch(m.Ghost, std::stoi(digits));
                }
        }
    }
    ~Fixture() { std::filesystem::remove_all(dir); }
    void Touch(const std::string& ghost, int n)
    {
        std::ofstream(NativePath(
            surfaces.CacheDir + TSurfaces::EscapeFileName(ghost) + std::to_string(n) + ".bmp"));
    }
    size_t PageBytes() const
    {
        size_t total = 0;
        for (int p = 1; std::filesystem::exists(dir / ("long" + std::to_string(p) + ".html")); ++p)
            total += std::filesystem::file_size(dir / ("long" + std::to_string(p) + ".html"));
        return total;
    }
};

Fixture& TheFixture()
{
    static Fixture fixture;
    return fixture;
}

void BuildPages10k(benchmark::State& state)
{
    Fixture& f = TheFixture();
    for (auto _ : state)
        WritePages(f.messages, f.settings, f.parser, f.surfaces);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.PageBytes()));
    state.counters["pages"] = static_cast<double>(f.messages.Count() / f.settings.messagesPerPage);
}

// The same number of pages of the same total size, written the same way.
void WriteSameBytes10k(benchmark::State& state)
{
    Fixture& f = TheFixture();
    WritePages(f.messages, f.settings, f.parser, f.surfaces);
    const size_t total = f.PageBytes();
    const int pages = f.messages.Count() / f.settings.messagesPerPage;
    const std::string page(total / static_cast<size_t>(pages), 'x');
    for (auto _ : state)
        for (int p = 1; p <= pages; ++p)
            WriteFileAtomic(f.dir.string() + "/plain" + std::to_string(p) + ".html", page);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * total));
}

} // namespace

BENCHMARK(BuildPages10k)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(WriteSameBytes10k)->Unit(benchmark::kMillisecond)->MinTime(3.0);
