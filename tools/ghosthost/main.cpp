// A stand-in ghost host: publishes a directory of ghosts in shared memory under its lock, owns a
// window for each ghost, prints every request it receives, and answers it through the window
// named in its "HWnd: " line. For the tests and for trying "play" by hand.
//
//   velmo-ghost-host [--fmo NAME] [--ghost NAME,KERONAME]... [--status TEXT | --silent]
//
// Defaults: --fmo Sakura, one ghost "Velmo,Kero", status "SSTP/1.4 200 OK". The first output
// line is "ready <handle> ..."; each request is printed as "request <handle>", its text, and a
// line "----". It removes its directory when it ends (SIGTERM, SIGINT).

#include "platform/Encoding.h"
#include "platform/FileIO.h"
#include "platform/NamedLock.h"
#include "platform/SstpFolder.h"
#include "platform/StrUtils.h"
#include "platform/Window.h"

#include <csignal>
#include <cstdio>
#include <iostream>
#include <poll.h>
#include <unistd.h>
#include <vector>

namespace {

int stopPipe[2] = { -1, -1 };

void OnStop(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(stopPipe[1], &byte, 1);
}

std::string HWndOf(const std::string& request)
{
    for (const std::string& line : SplitLines(request))
        if (line.starts_with("HWnd: "))
            return line.substr(6);
    return {};
}

} // namespace

int main(int argc, char** argv)
{
    std::string fmo = "Sakura";
    std::vector<std::pair<std::string, std::string>> ghosts;
    std::string status = "SSTP/1.4 200 OK\r\nCharset: Shift_JIS\r\n\r\n";
    bool silent = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--silent") {
            silent = true;
        } else if (i + 1 < argc && arg == "--fmo") {
            fmo = argv[++i];
        } else if (i + 1 < argc && arg == "--status") {
            status = std::string(argv[++i]) + "\r\n\r\n";
        } else if (i + 1 < argc && arg == "--ghost") {
            const std::string pair = Utf8ToSjisLossy(argv[++i]);
            const size_t comma = pair.find(',');
            ghosts.emplace_back(
                pair.substr(0, comma), comma == std::string::npos ? "" : pair.substr(comma + 1));
        } else {
            std::cerr << "usage: velmo-ghost-host [--fmo NAME] [--ghost NAME,KERO]... [--status "
                         "TEXT | --silent]\n";
            return 2;
        }
    }
    if (ghosts.empty())
        ghosts.emplace_back("Velmo", "Kero");
    ::pipe(stopPipe);
    std::signal(SIGTERM, OnStop);
    std::signal(SIGINT, OnStop);
    std::signal(SIGPIPE, SIG_IGN);

    try {
        std::vector<std::unique_ptr<TWindow>> windows;
        std::string directory;
        for (size_t i = 0; i < ghosts.size(); ++i) {
            const size_t index = i;
            windows.push_back(TWindow::Create([&, index](const TWindowMessage& m) -> int64_t {
                if (m.message != WM_COPYDATA)
                    return 0;
                std::cout << "request " << windows[index]->Handle() << "\n"
                          << SjisToUtf8Lossy(m.data) << "----" << std::endl;
                const auto reply = TryStrToInt(HWndOf(m.data));
                if (!silent && reply && *reply > 0)
                    SendMessageTimeout(static_cast<uint32_t>(*reply), WM_COPYDATA,
                        windows[index]->Handle(), 9801, status, 5000);
                return 1;
            }));
            const std::string id = "ghost" + std::to_string(i);
            directory += id + ".hwnd\x01" + std::to_string(windows.back()->Handle()) + "\r\n";
            directory += id + ".name\x01" + ghosts[i].first + "\r\n";
            directory += id + ".keroname\x01" + ghosts[i].second + "\r\n";
        }
        const std::string shm = SstpObjectPath("shm", fmo);
        auto lock = TNamedLock::Open(fmo + "FMO");
        if (shm.empty() || !lock)
            throw std::runtime_error("bad FMO name");
        std::string block(4, '\0');
        for (int i = 0; i < 4; ++i)
            block[static_cast<size_t>(i)] = static_cast<char>((directory.size() >> (8 * i)) & 0xFF);
        block += directory;
        block += '\0';
        lock->Wait(3000);
        WriteFileAtomic(FromNativePath(shm), block);
        lock->Release();

        std::cout << "ready";
        for (const auto& w : windows)
            std::cout << " " << w->Handle();
        std::cout << std::endl;

        for (;;) {
            std::vector<pollfd> fds { { stopPipe[0], POLLIN, 0 } };
            for (const auto& w : windows)
                fds.push_back({ w->Fd(), POLLIN, 0 });
            if (::poll(fds.data(), fds.size(), -1) < 0)
                continue;
            if (fds[0].revents)
                break;
            for (size_t i = 0; i < windows.size(); ++i)
                if (fds[i + 1].revents)
                    windows[i]->Process();
        }
        lock->Wait(3000);
        ::unlink(shm.c_str());
        lock->Release();
    } catch (const std::exception& e) {
        std::cerr << "velmo-ghost-host: " << SjisToUtf8Lossy(e.what()) << "\n";
        return 1;
    }
    return 0;
}
