#pragma once

#include "log/BottleServer.h"
#include "platform/Synchronize.h"

#include <functional>
#include <memory>
#include <string>

// One HTTP request on a thread of its own: a POST of PostData to Path on the server, or a GET
// when PostData is empty. When it is done, exactly one of OnSuccess (ResponseText set) and
// OnError (ErrorMessage set) runs on the GUI thread through the synchroniser while the worker
// waits; then the object frees itself. Create it with `new`, set the handlers, Resume, and keep no
// pointer to it. A worker still on the network when the window goes away finds the synchroniser
// detached, runs nothing and ends; it never keeps the process from ending.
class THTTPDownloadThread
{
public:
    using THTTPThreadEvent = std::function<void(THTTPDownloadThread& thread)>;
    // The largest answer taken; a larger one fails the request with the client's own message.
    static constexpr size_t kMaxAnswerBytes = size_t(64) << 10;

    THTTPDownloadThread(TBottleServer server, std::string path, std::string postData,
        std::shared_ptr<ISynchronizer> synchronizer);

    void SetOnSuccess(THTTPThreadEvent handler) { OnSuccess = std::move(handler); }
    void SetOnError(THTTPThreadEvent handler) { OnError = std::move(handler); }
    // Starts the request; from here on the object belongs to its thread.
    void Resume();

    const TBottleServer Server;
    const std::string Path;
    const std::string PostData;
    std::string ResponseText;
    std::string ErrorMessage;
    THTTPThreadEvent OnSuccess;
    THTTPThreadEvent OnError;

private:
    ~THTTPDownloadThread() = default;
    void Execute();

    std::shared_ptr<ISynchronizer> synchronizer_;
};
