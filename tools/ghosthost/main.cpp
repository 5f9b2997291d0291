// A stand-in ghost host, for the tests and for trying "play" by hand. It prints every request it
// receives and answers with the status given. Three kinds of host:
//
//   velmo-ghost-host [--fmo NAME] [--ghost NAME,KERONAME]... [--status TEXT | --silent]
//     publishes a directory of ghosts in shared memory under its lock, owns a window for each
//     ghost, and answers through the window named in the request's "HWnd: " line;
//   velmo-ghost-host --ninix SOCKDIR [--close-early] [--ghost ...] [--status TEXT | --silent]
//     as ninix-kagari: a directory service at SOCKDIR/ninix answering "GetFMO" (with
//     --close-early, as releases before 3.0: writing the directory on accepting and closing
//     without reading), and a stream socket per ghost at SOCKDIR/<id>, one request per
//     connection;
//   velmo-ghost-host --tcp PORT [--ghost ...] [--status TEXT | --silent]
//     as an SSTP host on 127.0.0.1:PORT: "EXECUTE ... Command: GetFMO" lists the ghosts, and
//     every other request gets the status.
//
// Defaults: --fmo Sakura, one ghost "Velmo,Kero", status "SSTP/1.4 200 OK". The first output
// line is "ready ..."; each request is printed as "request <window or id>", its text (as UTF-8),
// and a line "----". It removes what it published when it ends (SIGTERM, SIGINT).

#include "platform/Encoding.h"
#include "platform/FileDescriptor.h"
#include "platform/FileIO.h"
#include "platform/NamedLock.h"
#include "platform/SstpFolder.h"
#include "platform/StrUtils.h"
#include "platform/Window.h"

#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace {

int stopPipe[2] = { -1, -1 };

void OnStop(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(stopPipe[1], &byte, 1);
}

struct TOptions
{
    std::string fmo = "Sakura";
    std::string ninixFolder;
    int tcpPort = 0;
    std::vector<std::pair<std::string, std::string>> ghosts; // UTF-8
    std::string status = "SSTP/1.4 200 OK";
    bool silent = false;
    bool closeEarly = false;
};

std::string HWndOf(const std::string& request)
{
    for (const std::string& line : SplitLines(request))
        if (line.starts_with("HWnd: "))
            return line.substr(6);
    return {};
}

void PrintRequest(const std::string& who, const std::string& utf8)
{
    std::cout << "request " << who << "\n" << utf8 << "----" << std::endl;
}

// The directory lines "<id>.<key>\x01<value>\r\n" of every ghost.
std::string DirectoryLines(const TOptions& options, const std::vector<std::string>& ids,
    const std::vector<std::string>& handles)
{
    std::string text;
    for (size_t i = 0; i < ids.size(); ++i) {
        text += ids[i] + ".hwnd\x01" + handles[i] + "\r\n";
        text += ids[i] + ".name\x01" + options.ghosts[i].first + "\r\n";
        text += ids[i] + ".keroname\x01" + options.ghosts[i].second + "\r\n";
    }
    return text;
}

int RunFmo(const TOptions& options)
{
    std::vector<std::unique_ptr<TWindow>> windows;
    std::vector<std::string> ids;
    std::vector<std::string> handles;
    const std::string answer = options.status + "\r\nCharset: Shift_JIS\r\n\r\n";
    for (size_t i = 0; i < options.ghosts.size(); ++i) {
        windows.push_back(TWindow::Create([&, i](const TWindowMessage& m) -> int64_t {
            if (m.message != WM_COPYDATA)
                return 0;
            PrintRequest(std::to_string(windows[i]->Handle()), SjisToUtf8Lossy(m.data));
            const auto reply = TryStrToInt(HWndOf(m.data));
            if (!options.silent && reply && *reply > 0)
                SendMessageTimeout(static_cast<uint32_t>(*reply), WM_COPYDATA, windows[i]->Handle(),
                    9801, answer, 5000);
            return 1;
        }));
        ids.push_back("ghost" + std::to_string(i));
        handles.push_back(std::to_string(windows.back()->Handle()));
    }
    const std::string directory = Utf8ToSjisLossy(DirectoryLines(options, ids, handles));
    const std::string shm = SstpObjectPath("shm", options.fmo);
    auto lock = TNamedLock::Open(options.fmo + "FMO");
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
    return 0;
}

int Listen(int family, const sockaddr* address, socklen_t size)
{
    TFileDescriptor fd(::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const int on = 1;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (fd.get() < 0 || ::bind(fd.get(), address, size) != 0 || ::listen(fd.get(), 16) != 0)
        throw std::runtime_error(std::string("cannot listen: ") + std::strerror(errno));
    return fd.release();
}

int ListenUnix(const std::string& path)
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        throw std::runtime_error("socket path too long: " + path);
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    ::unlink(path.c_str());
    return Listen(AF_UNIX, reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

// Reads one request, up to its empty line, waiting at most 5 s.
std::string ReadRequest(int fd)
{
    std::string text;
    char buffer[4096];
    while (text.find("\r\n\r\n") == std::string::npos && text.find("\n\n") == std::string::npos
        && text != "GetFMO\r\n") {
        pollfd p { fd, POLLIN, 0 };
        if (::poll(&p, 1, 5000) <= 0)
            break;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        text.append(buffer, static_cast<size_t>(n));
    }
    return text;
}

// Serves the listening sockets until told to stop: each connection gets the answer serve() makes
// for it, given the listening socket's index and the connection (none: the connection is kept
// open and never answered).
template <typename Serve> int ServeLoop(const std::vector<int>& listening, Serve serve)
{
    std::vector<TFileDescriptor> unanswered;
    for (;;) {
        std::vector<pollfd> fds { { stopPipe[0], POLLIN, 0 } };
        for (const int fd : listening)
            fds.push_back({ fd, POLLIN, 0 });
        if (::poll(fds.data(), fds.size(), -1) < 0)
            continue;
        if (fds[0].revents)
            return 0;
        for (size_t i = 0; i < listening.size(); ++i) {
            if (!fds[i + 1].revents)
                continue;
            TFileDescriptor connection(::accept4(listening[i], nullptr, nullptr, SOCK_CLOEXEC));
            if (connection.get() < 0)
                continue;
            const std::optional<std::string> answer = serve(i, connection.get());
            if (answer)
                WriteAll(connection.get(), *answer);
            else
                unanswered.push_back(std::move(connection));
        }
    }
}

std::optional<std::string> StatusAnswer(const TOptions& options)
{
    if (options.silent)
        return std::nullopt;
    return options.status + "\r\nCharset: UTF-8\r\n\r\n";
}

int RunNinix(const TOptions& options)
{
    std::filesystem::create_directories(options.ninixFolder);
    std::filesystem::permissions(options.ninixFolder, std::filesystem::perms::owner_all);
    std::vector<std::string> ids;
    std::vector<std::string> handles;
    std::vector<int> listening { ListenUnix(options.ninixFolder + "/ninix") };
    for (size_t i = 0; i < options.ghosts.size(); ++i) {
        const std::string number = std::to_string(i);
        ids.push_back("6f1e2d3c-0000-4000-8000-" + std::string(12 - number.size(), '0') + number);
        handles.push_back(std::to_string(i));
        listening.push_back(ListenUnix(options.ninixFolder + "/" + ids.back()));
    }
    std::string directory = DirectoryLines(options, ids, handles) + "\r\n";
    directory += '\0';
    const uint32_t length = static_cast<uint32_t>(directory.size());
    std::string listing(reinterpret_cast<const char*>(&length), sizeof length);
    listing += directory;

    std::cout << "ready";
    for (const std::string& id : ids)
        std::cout << " " << id;
    std::cout << std::endl;
    const int result
        = ServeLoop(listening, [&](size_t socket, int connection) -> std::optional<std::string> {
              if (socket == 0 && options.closeEarly)
                  return listing;
              const std::string request = ReadRequest(connection);
              if (socket == 0)
                  return request.starts_with("GetFMO") ? listing : std::string();
              PrintRequest(ids[socket - 1], request);
              return StatusAnswer(options);
          });
    for (size_t i = 0; i < listening.size(); ++i)
        ::unlink(
            (options.ninixFolder + "/" + (i == 0 ? std::string("ninix") : ids[i - 1])).c_str());
    return result;
}

int RunTcp(const TOptions& options)
{
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(options.tcpPort));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int listening
        = Listen(AF_INET, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    std::vector<std::string> ids;
    std::vector<std::string> handles;
    for (size_t i = 0; i < options.ghosts.size(); ++i) {
        ids.push_back("tcp_fmo_" + std::to_string(i));
        handles.push_back(""); // blanked for a peer outside the host
    }
    const std::string listing
        = "SSTP/1.1 200 OK\r\n" + DirectoryLines(options, ids, handles) + "\r\n";
    std::cout << "ready " << options.tcpPort << std::endl;
    return ServeLoop({ listening }, [&](size_t, int connection) -> std::optional<std::string> {
        const std::string request = ReadRequest(connection);
        if (request.starts_with("EXECUTE") && request.find("Command: GetFMO") != std::string::npos)
            return listing;
        PrintRequest(std::to_string(options.tcpPort), request);
        return StatusAnswer(options);
    });
}

} // namespace

int main(int argc, char** argv)
{
    TOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--silent") {
            options.silent = true;
        } else if (arg == "--close-early") {
            options.closeEarly = true;
        } else if (i + 1 < argc && arg == "--fmo") {
            options.fmo = argv[++i];
        } else if (i + 1 < argc && arg == "--ninix") {
            options.ninixFolder = argv[++i];
        } else if (i + 1 < argc && arg == "--tcp") {
            options.tcpPort = std::atoi(argv[++i]);
        } else if (i + 1 < argc && arg == "--status") {
            options.status = argv[++i];
        } else if (i + 1 < argc && arg == "--ghost") {
            const std::string pair = argv[++i];
            const size_t comma = pair.find(',');
            options.ghosts.emplace_back(
                pair.substr(0, comma), comma == std::string::npos ? "" : pair.substr(comma + 1));
        } else {
            std::cerr << "usage: velmo-ghost-host [--fmo NAME | --ninix SOCKDIR [--close-early] "
                         "| --tcp PORT] [--ghost NAME,KERO]... [--status TEXT | --silent]\n";
            return 2;
        }
    }
    if (options.ghosts.empty())
        options.ghosts.emplace_back("Velmo", "Kero");
    ::pipe(stopPipe);
    std::signal(SIGTERM, OnStop);
    std::signal(SIGINT, OnStop);
    std::signal(SIGPIPE, SIG_IGN);
    try {
        if (!options.ninixFolder.empty())
            return RunNinix(options);
        if (options.tcpPort > 0)
            return RunTcp(options);
        return RunFmo(options);
    } catch (const std::exception& e) {
        std::cerr << "velmo-ghost-host: " << SjisToUtf8Lossy(e.what()) << "\n";
        return 1;
    }
}
