// The bundled bottle server: a real HTTP server on loopback that answers /fetchlog.cgi from a log
// file and counts /bottle2.cgi votes and agreements. It serves the demo and the tests.
//
//   velmo-bottle-server [--port N] (--log FILE | --demo FILE) [--record FILE]
//
// --port 0 picks a free port. The first line on standard output is "listening on 127.0.0.1:<port>".
// --record appends every request (request line, headers, blank line, body, "====" line) to FILE.

#include "platform/Encoding.h"
#include "platform/FileIO.h"
#include "tools/bottleserver/BottleServerCore.h"

#include <httplib.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <mutex>
#include <string>

namespace {

int Usage()
{
    std::cerr
        << "usage: velmo-bottle-server [--port N] (--log FILE | --demo FILE) [--record FILE]\n";
    return 2;
}

httplib::Server* running = nullptr;

void Stop(int)
{
    running->stop();
}

} // namespace

int main(int argc, char** argv)
{
    int port = 18470;
    std::string logFile;
    std::string demoFile;
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
        else if (arg == "--record")
            recordFile = argv[++i];
        else
            return Usage();
    }
    if (logFile.empty() == demoFile.empty())
        return Usage();

    TBottleServerCore core;
    try {
        if (!logFile.empty())
            core.SetLog(ReadFileBytes(FromNativePath(logFile)));
        else
            core.SetDemo(ReadFileBytes(FromNativePath(demoFile)), Now());
    } catch (const std::exception& e) {
        std::cerr << "velmo-bottle-server: " << SjisToUtf8Lossy(e.what()) << "\n";
        return 1;
    }

    std::mutex mutex; // the core and the record file are shared by the server's threads
    httplib::Server server;
    const auto record = [&](const httplib::Request& req) {
        if (recordFile.empty())
            return;
        std::ofstream out(recordFile, std::ios::binary | std::ios::app);
        out << req.method << " " << req.target << " " << req.version << "\n";
        for (const auto& [name, value] : req.headers)
            out << name << ": " << value << "\n";
        out << "\n" << req.body << "\n====\n";
    };
    server.Get("/fetchlog.cgi", [&](const httplib::Request& req, httplib::Response& res) {
        const std::lock_guard lock(mutex);
        record(req);
        std::map<std::string, std::string> query(req.params.begin(), req.params.end());
        res.set_content(core.FetchLog(query, Now()), "text/plain; charset=Shift_JIS");
    });
    server.Post("/bottle2.cgi", [&](const httplib::Request& req, httplib::Response& res) {
        const std::lock_guard lock(mutex);
        record(req);
        res.set_content(core.Command(req.body, Now()), "text/plain; charset=Shift_JIS");
    });
    server.set_error_handler([&](const httplib::Request& req, httplib::Response& res) {
        const std::lock_guard lock(mutex);
        record(req);
        res.set_content("not found\n", "text/plain");
    });

    const int bound = port == 0 ? server.bind_to_any_port("127.0.0.1")
                                : (server.bind_to_port("127.0.0.1", port) ? port : -1);
    if (bound < 0) {
        std::cerr << "velmo-bottle-server: cannot listen on 127.0.0.1:" << port << "\n";
        return 1;
    }
    running = &server;
    std::signal(SIGTERM, Stop);
    std::signal(SIGINT, Stop);
    std::cout << "listening on 127.0.0.1:" << bound << std::endl;
    server.listen_after_bind();
    return 0;
}
