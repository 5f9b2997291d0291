// Both log readers on arbitrary bytes: any outcome but a crash, a sanitizer report or a broken
// list is fine. The list's indexes must still follow positions after an error, and a downloaded
// text read in pieces (cut wherever the data says, CR LF pairs too) reads as the whole text does.

#include "log/LogReader.h"
#include "platform/Errors.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void CheckIndexes(const TMessageList& list)
{
    for (int32_t i = 0; i < list.Count(); ++i)
        if (list.Items(i).Index != i)
            std::abort();
}

// The outcome of a read: the messages' fields and the error's text.
std::string Outcome(const TMessageList& list, const std::string& error)
{
    std::string outcome = error;
    for (int32_t i = 0; i < list.Count(); ++i) {
        const TBottleMessage& m = list.Items(i);
        outcome += "|" + m.MID + "|" + m.Channel + "|" + m.Ghost + "|" + m.Script + "|"
            + std::to_string(m.LogTime) + std::to_string(m.Votes);
    }
    return outcome;
}

void CheckPieces(const std::string& text, uint8_t cut)
{
    TMessageList whole;
    std::string wholeError;
    try {
        ParseLog(text, whole);
    } catch (const EVelmoError& e) {
        wholeError = e.what();
    }
    TMessageList pieces;
    std::string piecesError;
    try {
        TLogParser parser(pieces);
        const size_t step = 1 + cut % 7;
        for (size_t at = 0; at < text.size(); at += step)
            parser.Feed(std::string_view(text).substr(at, step));
        parser.Finish();
    } catch (const EVelmoError& e) {
        piecesError = e.what();
    }
    if (Outcome(whole, wholeError) != Outcome(pieces, piecesError))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    TMessageList list;
    try {
        ParseLog(text, list);
    } catch (const EVelmoError&) { }
    CheckIndexes(list);
    // Most inputs fail the "Result: OK" test; give the data lines a chance too.
    try {
        ParseLog("Result: OK\r\n\r\n\r\n" + text, list);
    } catch (const EVelmoError&) { }
    CheckIndexes(list);
    CheckPieces("Result: OK\r\n\r\n\r\n" + text, size > 0 ? data[0] : 0);
    try {
        ParseSentLog(text, list);
    } catch (const EVelmoError&) { }
    CheckIndexes(list);
    return 0;
}
