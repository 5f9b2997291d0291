// What keeping messages costs, run by hand: build/tests/bench/velmo_archive_bench [MESSAGES]
//  - reading a fetched log of 1,000,000 messages (corpus scripts when the corpus is beside the
//    project) with ParseLog alone, against reading it and keeping every message in a new archive
//    as an import does (runs of 4,096, one transaction per 10,000, the text index merged at the
//    end): messages per second and the ratio of the two, and the import's
//    processor time beside its wall time (builds and other loads on a shared machine stretch the
//    wall time far more);
//  - the archive's size against the log text;
//  - a view of 100,000 messages from a log file: the share of its time spent keeping them;
//  - search over the archive of all the messages: the first 100 hits and the exact count of
//    words of two characters (the index alone), of three or more (the index's hits tested on
//    their rows: the count of a common one is the figure to watch) and of one character (a scan
//    of every row), a filter of ghost, dates and votes (the name index alone), and the size of
//    the text index against the normalised text it indexes.
// Each figure is one run on this machine; the ratios are what to compare between machines.

#include "app/LogView.h"
#include "archive/Archive.h"
#include "archive/Query.h"
#include "log/LogReader.h"
#include "log/MessageList.h"
#include "platform/Encoding.h"
#include "platform/FileIO.h"
#include "platform/MessageBox.h"
#include "render/SppList.h"
#include "render/SsParser.h"
#include "render/Surfaces.h"

#include <SQLiteCpp/SQLiteCpp.h>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

class NoProgress : public IProgressWindowFactory
{
public:
    std::unique_ptr<IProgressWindow> Show() override { return nullptr; }
};

// A fetched log of n messages over the last 30 days, newest last.
std::string MakeLog(int n)
{
    std::vector<std::string> scripts;
    std::ifstream in(VELMO_SOURCE_DIR "/../shared/corpus/scripts.sjis.txt", std::ios::binary);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            scripts.push_back(line);
    if (scripts.empty())
        scripts = { Sjis(
            "\\h\\s[0]こんにちは。\\w4\\n\\s[5]今日はいい天気ですね。\\u\\s[10]せやな。\\e") };
    const std::string ghosts[] = { Sjis("さくら"), Sjis("毒子"), "GhostA", Sjis("まゆら") };
    const std::string channels[] = { Sjis("雑談"), Sjis("ゲーム"), "test" };
    std::string log = "Result: OK\r\nh\r\nh\r\n";
    const TDateTime start = Now() - 30;
    for (int i = 0; i < n; ++i) {
        const TDateTime at = start + 30.0 * i / n;
        const TDateFields d = DecodeDate(at);
        const TTimeFields t = DecodeTime(at);
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "%04d%02d%02d%02d%02d%02d", d.year, d.month, d.day,
            t.hour, t.minute, t.second);
        log += std::string(stamp) + "\tm" + std::to_string(i) + "\t" + channels[i % 3] + "\t"
            + ghosts[i % 4] + "\t" + std::to_string(i % 50) + "\t" + std::to_string(i % 7) + "\t"
            + std::to_string(i % 3) + "\t" + scripts[i % scripts.size()] + "\r\n";
    }
    return log;
}

double Milliseconds(Clock::time_point since)
{
    return 1000 * Seconds(since);
}

// The first 100 hits and the exact count of each query, on the archive's file.
void MeasureSearch(const std::string& path, TSsParser& parser, int messages)
{
    TArchive archive(path, &parser);
    const TDateFields from = DecodeDate(Now() - 20);
    const TDateFields to = DecodeDate(Now() - 10);
    char filter[128];
    std::snprintf(filter, sizeof filter,
        "ghost:さくら after:%04d/%02d/%02d before:%04d/%02d/%02d votes>=3", from.year, from.month,
        from.day, to.year, to.month, to.day);
    const std::string queries[] = { "した", "好き", "今日", "ゴースト", "お茶", "天気", "マスター",
        "ありがとう", "流れ星", "\"創作に良い\"", "好き お茶", "今日 | お茶", "の", "ね", "星",
        filter, "今日 ghost:さくら" };
    std::printf("query: first 100 hits ms / exact count ms (hits)\n");
    for (const std::string& text : queries) {
        const TQuery query = ParseQuery(Sjis(text.c_str()));
        auto at = Clock::now();
        int visited = 0;
        archive.Search(query, [&](const TBottleMessage&) { return ++visited < 100; });
        const double first = Milliseconds(at);
        at = Clock::now();
        const int64_t hits = archive.CountMatches(query);
        std::printf("  %-60s %8.1f / %8.1f (%lld, %.2f%%)\n", text.c_str(), first, Milliseconds(at),
            static_cast<long long>(hits), 100.0 * hits / messages);
    }
    // The index against the normalised text, by the pages their tables take.
    SQLite::Database db(NativePath(path), SQLite::OPEN_READONLY);
    const double text = db.execAndGet("SELECT sum(length(CAST(talk AS BLOB)) + "
                                      "length(CAST(ghost_key AS BLOB)) + "
                                      "length(CAST(channel_key AS BLOB))) FROM message")
                            .getDouble();
    const double index
        = db.execAndGet("SELECT sum(pgsize) FROM dbstat WHERE name LIKE 'message_text%'")
              .getDouble();
    std::printf("normalised text %.1f MB, text index %.1f MB, ratio %.2f\n", text / 1e6,
        index / 1e6, index / text);
}

uintmax_t FileSize(const std::filesystem::path& path)
{
    std::error_code error;
    const uintmax_t size = std::filesystem::file_size(path, error);
    return error ? 0 : size;
}

} // namespace

int main(int argc, char** argv)
{
    const int messages = argc > 1 ? std::atoi(argv[1]) : 1000000;
    const std::filesystem::path dir
        = std::filesystem::temp_directory_path() / "velmo-archive-bench";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string folder = FromNativePath(dir.string()) + "/";

    TSsParser parser;
    parser.SetTagPattern(TSsParser::LoadPatternFile(VELMO_SOURCE_DIR "/data/tagpat.txt"));
    parser.SetMetaPattern(TSsParser::LoadPatternFile(VELMO_SOURCE_DIR "/data/metapat.txt"));
    const std::string log = MakeLog(messages);
    std::printf("%d messages, log text %.1f MB\n", messages, log.size() / 1e6);

    TMessageList list;
    auto at = Clock::now();
    ParseLog(log, list);
    const double parse = Seconds(at);
    std::printf("ParseLog alone: %.2f s (%.0f messages/s)\n", parse, messages / parse);

    list.Clear();
    const std::string path = folder + "archive.sqlite3";
    at = Clock::now();
    const std::clock_t cpuAt = std::clock();
    {
        ParseLog(log, list);
        TArchive archive(path, &parser);
        // As an import gives them: runs of 4,096 read messages, committed every 10,000.
        std::vector<TBottleMessage> run;
        for (int32_t first = 0; first < list.Count(); first += 10000) {
            TArchive::TBatch batch(archive);
            for (int32_t i = first; i < std::min(list.Count(), first + 10000); ++i) {
                run.push_back(list.Items(i));
                if (run.size() == 4096 || i + 1 == std::min(list.Count(), first + 10000)) {
                    batch.Add(run, "127.0.0.1:18470");
                    run.clear();
                }
            }
            batch.Commit();
        }
        // As an import ends.
        archive.MergeTextIndex();
    }
    const double kept = Seconds(at);
    const double keptCpu = static_cast<double>(std::clock() - cpuAt) / CLOCKS_PER_SEC;
    std::printf("ParseLog and keeping: %.2f s (%.0f messages/s), ratio to ParseLog alone: %.2f; "
                "processor time %.2f s (%.0f messages/s)\n",
        kept, messages / kept, kept / parse, keptCpu, messages / keptCpu);
    const uintmax_t size
        = FileSize(dir / "archive.sqlite3") + FileSize(dir / "archive.sqlite3-wal");
    std::printf("archive %.1f MB, ratio to the log text: %.2f\n", size / 1e6,
        static_cast<double>(size) / log.size());
    MeasureSearch(path, parser, messages);

    // A view of 100,000 messages from a file, keeping them in a fresh archive.
    const int viewed = std::min(messages, 100000);
    std::filesystem::remove(dir / "archive.sqlite3");
    WriteFileAtomic(folder + "log.txt", MakeLog(viewed));
    std::ostringstream sink;
    THeadlessMessageBox box { sink, "bench" };
    NoProgress progress;
    TSppList plugins { true, box, progress };
    TSurfaces surfaces { folder + "general-1.bmp", plugins };
    surfaces.CacheDir = folder + "cache/";
    TMessageList shown;
    TLogView view(shown, parser, surfaces);
    TViewPlace place;
    place.folders = TAppFolders::Portable(folder, "velmo");
    place.pages = { 100, "", folder, "styleIE.css" };
    TViewRequest request;
    request.source = TViewSource::LocalLog;
    request.path = folder + "log.txt";
    TArchive archive(folder + "view.sqlite3", &parser);
    double storing = 0;
    TViewHooks hooks;
    hooks.store = [&](const TMessageList& read) {
        const auto began = Clock::now();
        archive.Store(read, "127.0.0.1:18470");
        storing = Seconds(began);
    };
    at = Clock::now();
    view.Run(request, place, hooks);
    const double whole = Seconds(at);
    std::printf("view of %d messages: %.2f s, of which keeping them %.2f s (%.1f%%)\n", viewed,
        whole, storing, 100 * storing / whole);
    std::filesystem::remove_all(dir);
    return 0;
}
