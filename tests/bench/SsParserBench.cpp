// Tokenizer speed against a plain scan of the same bytes for "\" and "%" (memchr), so the cost
// of tokenizing per byte can be read off one run as a ratio.

#include "platform/Encoding.h"
#include "render/SsParser.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

TSsParser MakeParser()
{
    TSsParser parser;
    parser.SetTagPattern(TSsParser::LoadPatternFile(VELMO_SOURCE_DIR "/data/tagpat.txt"));
    parser.SetMetaPattern(TSsParser::LoadPatternFile(VELMO_SOURCE_DIR "/data/metapat.txt"));
    return parser;
}

const std::vector<std::string>& Corpus()
{
    static const std::vector<std::string> scripts = [] {
        std::vector<std::string> lines;
        std::ifstream in(VELMO_SOURCE_DIR "/../shared/corpus/scripts.sjis.txt", std::ios::binary);
        std::string line;
        while (std::getline(in, line))
            lines.push_back(line);
        return lines;
    }();
    return scripts;
}

// 10 MB of talk: Japanese text, tags of every common shape, meta words and escapes.
const std::string& Synthetic()
{
    static const std::string script = [] {
        const std::string pieces[] = { Sjis("\\h\\s[0]こんにちは、\\w4今日はいい天気ですね。\\n"),
            Sjis("\\u\\s[10]せやな。\\n[half]表示ソフトの能力を試そか。"),
            "\\_w[300]%selfname\\_s\\e",
            Sjis("\\URL[http://example.org/][リンク]\\q[選択肢,OnChoice]"),
            "plain ascii text 100\\% sure \\\\ ",
            Sjis("\\![raise,OnTest,\"100,2\"]ー―ソ十申構能表予"), "\\p[2]\\s5\\b[2]%month/%day" };
        std::string s;
        size_t i = 0;
        while (s.size() < 10 * 1024 * 1024)
            s += pieces[i++ % std::size(pieces)];
        return s;
    }();
    return script;
}

size_t ScanSpecials(const std::string& s)
{
    size_t count = 0;
    for (const char c : { '\\', '%' }) {
        const char* p = s.data();
        const char* end = p + s.size();
        while ((p = static_cast<const char*>(std::memchr(p, c, static_cast<size_t>(end - p))))) {
            ++count;
            ++p;
        }
    }
    return count;
}

void TokenizeCorpus(benchmark::State& state)
{
    if (Corpus().empty()) {
        state.SkipWithError("corpus not found");
        return;
    }
    TSsParser parser = MakeParser();
    size_t bytes = 0;
    for (const auto& s : Corpus())
        bytes += s.size();
    for (auto _ : state)
        for (const auto& s : Corpus()) {
            parser.ParseScript(s);
            benchmark::DoNotOptimize(parser.TokenCount());
        }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

void ScanCorpus(benchmark::State& state)
{
    size_t bytes = 0;
    for (const auto& s : Corpus())
        bytes += s.size();
    for (auto _ : state)
        for (const auto& s : Corpus())
            benchmark::DoNotOptimize(ScanSpecials(s));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

void TokenizeSynthetic10MB(benchmark::State& state)
{
    TSsParser parser = MakeParser();
    for (auto _ : state) {
        parser.ParseScript(Synthetic());
        benchmark::DoNotOptimize(parser.TokenCount());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Synthetic().size()));
}

void ScanSynthetic10MB(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(ScanSpecials(Synthetic()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Synthetic().size()));
}

// 256 KiB of one piece repeated: plain text, and openings whose bracket is never closed, which a
// tokenizer that scans for the closing bracket from every opening takes quadratic time over.
void Tokenize256K(benchmark::State& state, const std::string& piece)
{
    std::string script;
    while (script.size() < 256 * 1024)
        script += piece;
    TSsParser parser = MakeParser();
    for (auto _ : state) {
        parser.ParseScript(script);
        benchmark::DoNotOptimize(parser.TokenCount());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * script.size()));
}

} // namespace

BENCHMARK_CAPTURE(Tokenize256K, PlainText, std::string("plain text "))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Tokenize256K, OpenUrl, std::string("\\URL["))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Tokenize256K, OpenBang, std::string("\\!["))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Tokenize256K, OpenProperty, std::string("%property["))
    ->Unit(benchmark::kMillisecond);
BENCHMARK(TokenizeCorpus)->Unit(benchmark::kMillisecond);
BENCHMARK(ScanCorpus)->Unit(benchmark::kMillisecond);
// The first pass over 10 MB pays for growing the heap; a longer run measures the steady state.
BENCHMARK(TokenizeSynthetic10MB)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(ScanSynthetic10MB)->Unit(benchmark::kMillisecond)->MinTime(2.0);
