#pragma once

#include "ghost/PlayRoute.h"

#include <optional>
#include <string>
#include <string_view>

class TSakuraProcess;
struct TExchangeResult;

// The SSTP texts Velmo exchanges with ghost hosts over sockets, as pure functions over bytes.
// Requests to socket hosts are UTF-8; program text (Shift_JIS) is converted here.

// The status line of an answer: "SSTP/<version> <code> <reason>".
struct TSstpStatus
{
    int Code = 0;
    std::string Reason; // printable ASCII only
};
std::optional<TSstpStatus> ParseSstpStatus(std::string_view answer);

// True once an answer holds its status line and headers, ended by an empty line (CR LF or LF).
bool SstpHeadersComplete(std::string_view answer);
// For EXECUTE: a 200 answer carries data lines after its headers, ended by another empty line.
bool SstpExecuteComplete(std::string_view answer);

// A value that can stand in one header line: no CR, LF or NUL (each would end the line early and
// let the rest pass for headers of its own).
bool FitsHeaderLine(std::string_view value);

// The sender line, program text: "Sender:  " + ghost + "/" + channel + "/" + our name, CR LF.
std::string SenderLine(const TPlayRequest& request, const std::string& senderName);

// The script without the tags a host accepts only from its own user (\j, \-, \+, \_+, \!, \8,
// \_v, \C, with their brackets), for a host that takes our requests as its user's. Escapes ("\\",
// "\%") and everything else stay byte for byte.
std::string RemoveRefusedTags(std::string_view script);

// ninix-kagari. Its directory service answers "GetFMO" with a native-endian 32-bit length and that
// many bytes of directory text (ended by a NUL); nullopt when the answer is shorter than its
// length says.
inline constexpr std::string_view kNinixGetFmo = "GetFMO\r\n";
std::optional<std::string> NinixDirectoryText(std::string_view answer);
// The socket folder named in its shared memory block (a native 32-bit length, a process-shared
// semaphore, then the path); nullopt for a block that names no absolute path.
std::optional<std::string> NinixShmSocketFolder(std::string_view block);
// SEND SSTP/1.4 in UTF-8 with one Script and no IfGhost: the socket already names the ghost, and
// this host would take an IfGhost value for the script. The script goes without refused tags.
std::string NinixSendText(const TPlayRequest& request, const std::string& senderName);

// A host on loopback TCP (SSP and others).
std::string GetFmoText(const std::string& senderName);
// The directory lines of a GetFMO answer, UTF-8; nullopt when it is not a 200 answer.
std::optional<std::string> TcpDirectoryText(std::string_view answer);
// SEND SSTP/1.4 in UTF-8 naming the ghost (from a UTF-8 directory), asking to be treated as
// coming from outside, so that the host's own filter applies.
std::string TcpSendText(
    const TPlayRequest& request, const std::string& senderName, const TSakuraProcess& ghost);

// What a host's answer means for the request, the same for every route: 200 and 210 delivered
// it (204 too, except from ninix-kagari, which answers 204 when it did not play: it plays scripts
// without IfGhost only when its user allows it); 408, 409 and 503 say the host is busy, and so
// does a request taken with no answer in time; every other answer, or one that cannot be read,
// refuses it (512 among them: a hidden ghost does not come back within a play's time limit).
enum class THostKind { Window, Ninix, Tcp };
TPlayResult AnswerResult(const TExchangeResult& exchange, THostKind host, std::string ghost);
TPlayResult AnswerResult(std::string_view answer, THostKind host, std::string ghost);
