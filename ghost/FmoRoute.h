#pragma once

#include "ghost/PlayRoute.h"
#include "ghost/SakuraSeeker.h"

#include <functional>
#include <string>
#include <vector>

// Hosts that publish the ghost directory in named shared memory and take Direct SSTP by window
// message: the request goes as WM_COPYDATA (dwData 9801) to the chosen ghost's window, and the
// host's answer comes later to our reply window (Sent).
class TFmoRoute : public IPlayRoute
{
public:
    static constexpr uint32_t kDirectSstpId = 9801;
    static constexpr int kSendTimeoutMs = 50000;
    static constexpr const char* kRouteName = "Direct SSTP";

    // cancelFd ends a wait for a directory lock or a window at once; a directory's lock is waited
    // for lockTimeoutMs at the most.
    TFmoRoute(
        uint32_t replyWindow, int cancelFd, int lockTimeoutMs = TSakuraSeeker::kLockTimeoutMs);

    void SetMappingNames(std::vector<std::string> names)
    {
        seeker_.FileMappingTarget = std::move(names);
    }
    // Called with the chosen ghost just before its window message goes out: the answer may come
    // before the message returns.
    std::function<void(const TPlayResult& chosen)> OnSend;

    // Reads the directories anew; a directory error (ESakuraSeekerError) ends the attempt.
    TPlayResult Play(const TPlayRequest& request, const std::string& senderName) override;

    // The request text: eight lines, each ended by CR LF, the last one empty.
    static std::string RequestText(const TPlayRequest& request, const std::string& senderName,
        const std::string& namePair, uint32_t replyWindow);

private:
    TSakuraSeeker seeker_;
    uint32_t replyWindow_;
    int cancelFd_;
    int lockTimeoutMs_;
};
