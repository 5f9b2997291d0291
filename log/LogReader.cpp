#include "log/LogReader.h"

#include "platform/DateTime.h"
#include "platform/Errors.h"
#include "platform/FileIO.h"
#include "platform/StrUtils.h"

#include <algorithm>
#include <vector>

namespace {

constexpr const char* kResultOk = "Result: OK";
constexpr size_t kFirstDataLine = 3;

// Field n (1-based) of a split line; a missing field is the list-index error with the 0-based
// index, as a string list reports it.
const std::string& Field(const std::vector<std::string>& fields, size_t n)
{
    if (n > fields.size())
        throw EListError::IndexOutOfBounds(static_cast<long long>(n - 1));
    return fields[n - 1];
}

// YYYYMMDDhhmmss (further characters ignored) rebuilt as "YYYY/MM/DD hh:mm:ss" and converted.
// A stamp shorter than 14 characters, or with anything but digits in them, is not a date even if
// its rebuilt text would happen to convert.
TDateTime StampToDateTime(const std::string& stamp)
{
    const auto part = [&](size_t pos, size_t len) {
        return pos < stamp.size() ? stamp.substr(pos, len) : std::string();
    };
    const std::string text = part(0, 4) + "/" + part(4, 2) + "/" + part(6, 2) + " " + part(8, 2)
        + ":" + part(10, 2) + ":" + part(12, 2);
    const bool digits = stamp.size() >= 14
        && std::all_of(
            stamp.begin(), stamp.begin() + 14, [](char c) { return c >= '0' && c <= '9'; });
    if (!digits)
        throw EConvertError::InvalidDateTime(text);
    return StrToDateTime(text);
}

std::unique_ptr<TBottleMessage> NewMessage(const TMessageLinks& links)
{
    auto message = std::make_unique<TBottleMessage>();
    message->Parser = links.parser;
    message->Surfaces = links.surfaces;
    return message;
}

} // namespace

void ParseLog(const std::string& text, TMessageList& list, const TMessageLinks& links)
{
    list.Clear();
    const std::vector<std::string> lines = SplitLines(text);
    if (lines.empty())
        throw EListError::IndexOutOfBounds(0);
    if (lines[0] != kResultOk)
        return;
    for (size_t i = kFirstDataLine; i < lines.size(); ++i) {
        const std::vector<std::string> fields = SplitFields(lines[i], '\t');
        auto message = NewMessage(links);
        message->LogTime = StampToDateTime(Field(fields, 1));
        message->MID = Field(fields, 2);
        message->Channel = Field(fields, 3);
        message->Ghost = Field(fields, 4);
        message->Connections = StrToInt(Field(fields, 5));
        message->Votes = StrToInt(Field(fields, 6));
        message->Agrees = StrToInt(Field(fields, 7));
        message->Script = Field(fields, 8);
        list.Add(std::move(message));
    }
}

void ParseSentLog(const std::string& text, TMessageList& list, const TMessageLinks& links)
{
    list.Clear();
    for (const std::string& line : SplitLines(text)) {
        const std::vector<std::string> fields = SplitFields(line, ',');
        auto message = NewMessage(links);
        message->LogTime = StrToDateTime(Field(fields, 3));
        message->Channel = Field(fields, 1);
        message->Ghost = Field(fields, 2);
        message->Script = Field(fields, 4);
        list.Add(std::move(message));
    }
}

void LoadSentLog(TMessageList& list, IOpenDialog& dialog, const TMessageLinks& links)
{
    list.Clear();
    const auto path = dialog.Execute(SentLogFilter());
    if (!path)
        return;
    ParseSentLog(ReadFileBytes(*path), list, links);
}

const TFileFilter& SentLogFilter()
{
    static const TFileFilter filter { "sent.log", "[Ss][Ee][Nn][Tt].[Ll][Oo][Gg]" };
    return filter;
}
