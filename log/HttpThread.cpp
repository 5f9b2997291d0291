#include "log/HttpThread.h"

#include "log/HttpClient.h"
#include "platform/DebugOutput.h"

#include <thread>

THTTPDownloadThread::THTTPDownloadThread(TBottleServer server, std::string path,
    std::string postData, std::shared_ptr<ISynchronizer> synchronizer)
    : Server(std::move(server))
    , Path(std::move(path))
    , PostData(std::move(postData))
    , synchronizer_(std::move(synchronizer))
{ }

void THTTPDownloadThread::Resume()
{
    std::thread([this] {
        Execute();
        delete this;
    }).detach();
}

void THTTPDownloadThread::Execute()
{
    // Nothing may leave a thread's entry function.
    try {
        bool ok = false;
        try {
            const std::string url = Server.Url(Path);
            // A vote's answer is a few lines: a larger one is refused before it reaches the window.
            THttpLimits limits;
            limits.maxBodyBytes = kMaxAnswerBytes;
            ResponseText = PostData.empty() ? THttpClient::Get(url, limits)
                                            : THttpClient::Post(url, PostData, limits);
            ok = true;
        } catch (const EHttpError& e) {
            ErrorMessage = e.what();
        }
        const THTTPThreadEvent& handler = ok ? OnSuccess : OnError;
        if (handler)
            synchronizer_->Synchronize([this, &handler] { handler(*this); });
    } catch (const std::exception& e) {
        OutputDebugString(std::string("HTTP thread: ") + e.what());
    } catch (...) { }
}
