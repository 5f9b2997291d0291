// The bundled bottle server: a real HTTP server on loopback that answers /fetchlog.cgi from a log
// file or an archive and counts /bottle2.cgi votes and agreements. It serves the demo, the tests,
// and an archive to be browsed by date with the usual log dialog.
//
//   velmo-bottle-server [--port N] (--log FILE | --demo FILE | --archive FILE) [--record FILE]
//
// --archive serves the messages of an existing archive and adds the votes and agreements it takes
// to the archive's counts.

// --port 0 picks a free port. The first line on standard output is "listening on 127.0.0.1:<port>".
// --record appends every request (request line, headers, blank line, body, "====" line) to FILE.
// What one client may send and how long it may hold the server are bounded (TBottleHttpServer).

#include "archive/Archive.h"
#include "platform/Encoding.h"
#include "platform/FileIO.h"
#include "tools/bottleserver/BottleHttpServer.h"
#include "tools/bottleserver/BottleServerCore.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>

namespace {

int Usage()
{
    std::cerr << "usage: velmo-bottle-server [--port N] (--log FILE | --demo FILE | --archive FILE)"
                 " [--record FILE]\n";
    return 2;
}

TBottleHttpServer* running = nullptr;

void Stop(int)
{
    running->Stop();
}

} // namespace

int main(int argc, char** argv)
{
    int port = 18470;
    std::string logFile;
    std::string demoFile;
    std::string archiveFile;
    std::string recordFile;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc)
            return Usage();
        if (arg == "--port")
            port = std::atoi(argv[++i]);
        else if (arg == "--log")
            logFile = argv[++i];
        else if (arg == "--demo")
            demoFile = argv[++i];
        else if (arg == "--archive")
            archiveFile = argv[++i];
        else if (arg == "--record")
            recordFile = argv[++i];
        else
            return Usage();
    }
    if (logFile.empty() + demoFile.empty() + archiveFile.empty() != 2)
        return Usage();

    TBottleServerCore core;
    std::optional<TArchive> archive;
    try {
        if (!logFile.empty()) {
            core.SetLog(ReadFileBytes(FromNativePath(logFile)));
        } else if (!demoFile.empty()) {
            core.SetDemo(ReadFileBytes(FromNativePath(demoFile)), Now());
        } else {
            // Serving never makes an archive: a mistyped name is an error, not an empty log.
            const std::string path = FromNativePath(archiveFile);
            if (!FileExists(path))
                throw EFileError(path + Sjis(" がありません"));
            core.SetArchive(archive.emplace(path));
        }
    } catch (const std::exception& e) {
        std::cerr << "velmo-bottle-server: " << SjisToUtf8Lossy(e.what()) << "\n";
        return 1;
    }

    std::optional<TBottleHttpServer> server;
    try {
        server.emplace(core, recordFile);
    } catch (const std::exception& e) {
        std::cerr << "velmo-bottle-server: " << e.what() << "\n";
        return 1;
    }
    const int bound = server->Bind(port);
    if (bound < 0) {
        std::cerr << "velmo-bottle-server: cannot listen on 127.0.0.1:" << port << "\n";
        return 1;
    }
    running = &*server;
    std::signal(SIGTERM, Stop);
    std::signal(SIGINT, Stop);
    std::cout << "listening on 127.0.0.1:" << bound << std::endl;
    if (!server->Run()) {
        std::cerr << "velmo-bottle-server: the listening socket failed\n";
        return 1;
    }
    return 0;
}
