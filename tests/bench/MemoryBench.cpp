// Memory: the peak resident size of a real "past 60 100 noview" run over a log of 1,000 and of
// 100,000 messages (corpus scripts, or synthetic ones without the corpus) served by the bundled
// bottle server on loopback, and how much the peak grows against how much the log text grows.
// Run by hand: build/tests/bench/velmo_memory_bench [--velmo PROGRAM] [--folder DIR]
//   [--log FILE] [--messages N]
// With --messages only that one run is made; --folder keeps its program folder (and pages);
// --log reuses a log file (written there first when it does not exist), so that two builds can be
// compared page by page (tests/bench/compare-pages.sh).

#include "platform/DateTime.h"
#include "platform/Encoding.h"
#include "platform/FileIO.h"
#include "tools/bottleserver/BottleServerCore.h"

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Scripts()
{
    std::vector<std::string> scripts;
    std::ifstream in(VELMO_SOURCE_DIR "/../shared/corpus/scripts.sjis.txt", std::ios::binary);
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line.find('\r') == std::string::npos)
            scripts.push_back(line);
    if (scripts.empty())
        scripts = {
            Sjis("\\h\\s[0]こんにちは。\\w4\\n\\s[5]今日はいい天気ですね。\\u\\s[10]せやな。\\e"),
            Sjis("\\h\\s0表示テスト\\_s同時に\\_s\\URL[http://example.org/a/b.html][リンク]\\e")
        };
    return scripts;
}

// A fetched log of n messages over the last 50 minutes; returns the bytes of its message lines.
size_t WriteLog(const std::string& path, int n)
{
    const std::vector<std::string> scripts = Scripts();
    const std::string ghosts[] = { Sjis("さくら"), Sjis("毒子"), "GhostA" };
    std::string log = "Result: OK\r\nh\r\nh\r\n";
    const size_t headerBytes = log.size();
    const TDateTime now = Now();
    for (int i = 0; i < n; ++i)
        log += TBottleServerCore::Stamp(now - (50.0 - 49.0 * i / n) / 1440) + "\tm"
            + std::to_string(i) + "\t" + Sjis("雑談") + "\t" + ghosts[i % 3] + "\t10\t1\t2\t"
            + scripts[static_cast<size_t>(i) % scripts.size()] + "\r\n";
    WriteFileAtomic(path, log);
    return log.size() - headerBytes;
}

size_t LogTextBytes(const std::string& path)
{
    const std::string log = ReadFileBytes(path);
    size_t at = 0; // past the three header lines
    for (int header = 0; header < 3 && at < log.size(); ++header)
        at = log.find('\n', at) + 1;
    return at == 0 ? 0 : log.size() - at;
}

struct Child
{
    pid_t pid = -1;
    int out = -1; // the read end of its standard output
};

Child Start(const std::vector<std::string>& argv, bool display = false)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(fds[1], 1);
        ::close(fds[0]);
        if (!display) {
            ::unsetenv("DISPLAY");
            ::unsetenv("WAYLAND_DISPLAY");
        }
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    return { pid, fds[0] };
}

// One noview run of the viewer in `folder` against the server; its peak resident size in KiB.
long PeakKiB(const std::string& velmo, const std::string& folder, int port)
{
    fs::create_directories(folder);
    for (const char* file : { "tagpat.txt", "metapat.txt", "styleIE.css", "general-1.bmp" })
        fs::copy_file(VELMO_BIN_DIR "/" + std::string(file), folder + "/" + file,
            fs::copy_options::overwrite_existing);
    fs::copy_file(velmo, folder + "/velmo", fs::copy_options::overwrite_existing);
    WriteFileAtomic(folder + "/velmo.ini",
        "[General]\r\nBottleServer=127.0.0.1:" + std::to_string(port) + "\r\n");
    const Child run = Start({ folder + "/velmo", "past", "60", "100", "noview" });
    ::close(run.out);
    int status = 0;
    rusage usage {};
    ::wait4(run.pid, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        std::fprintf(stderr, "the run ended with status %d\n", status);
    return usage.ru_maxrss;
}

struct Measured
{
    size_t textBytes = 0;
    long peakKiB = 0;
};

Measured Measure(
    const std::string& velmo, const std::string& logPath, int n, const std::string& folder)
{
    Measured m;
    m.textBytes = fs::exists(logPath) ? LogTextBytes(logPath) : WriteLog(logPath, n);
    const Child server
        = Start({ VELMO_BIN_DIR "/velmo-bottle-server", "--port", "0", "--log", logPath });
    char line[128] = {};
    FILE* out = ::fdopen(server.out, "r");
    if (!out || !std::fgets(line, sizeof line, out))
        return m;
    const std::string first = line;
    const int port = std::stoi(first.substr(first.rfind(':') + 1));
    m.peakKiB = PeakKiB(velmo, folder, port);
    ::kill(server.pid, SIGTERM);
    ::waitpid(server.pid, nullptr, 0);
    std::fclose(out);
    std::printf("%d messages: log text %.1f MB, peak resident %.1f MB\n", n,
        static_cast<double>(m.textBytes) / 1e6, static_cast<double>(m.peakKiB) * 1024 / 1e6);
    std::fflush(stdout);
    return m;
}

} // namespace

int main(int argc, char** argv)
{
    std::string velmo = VELMO_BIN_DIR "/velmo";
    std::string folder;
    std::string log;
    int only = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--velmo")
            velmo = fs::absolute(argv[i + 1]).string();
        else if (option == "--folder")
            folder = fs::absolute(argv[i + 1]).string();
        else if (option == "--log")
            log = fs::absolute(argv[i + 1]).string();
        else if (option == "--messages")
            only = std::stoi(argv[i + 1]);
    }
    const fs::path work
        = fs::temp_directory_path() / ("velmo-memory-" + std::to_string(::getpid()));
    fs::create_directories(work);
    if (only > 0) {
        Measure(velmo, log.empty() ? (work / "log.txt").string() : log, only,
            folder.empty() ? (work / "velmo").string() : folder);
    } else {
        const Measured small
            = Measure(velmo, (work / "log1k.txt").string(), 1000, (work / "small").string());
        const Measured large
            = Measure(velmo, (work / "log100k.txt").string(), 100000, (work / "large").string());
        const double growth = static_cast<double>(large.peakKiB - small.peakKiB) * 1024;
        const double text = static_cast<double>(large.textBytes - small.textBytes);
        std::printf("ratio: %.2f (peak growth over log text growth)\n", growth / text);
    }
    fs::remove_all(work);
    return 0;
}
