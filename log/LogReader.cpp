#include "log/LogReader.h"

#include "platform/DateTime.h"
#include "platform/Encoding.h"
#include "platform/Errors.h"
#include "platform/FileIO.h"
#include "platform/StrUtils.h"
#include "platform/Termination.h"

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

} // namespace

TLogParser::TLogParser(TMessageList& list)
    : list_(list)
{
    list_.Clear();
}

void TLogParser::Feed(std::string_view bytes)
{
    if (!stopped_)
        splitter_.Feed(bytes, [this](std::string_view line, bool) {
            Line(line);
            return !stopped_;
        });
}

void TLogParser::Line(std::string_view line)
{
    const size_t index = lines_++;
    if (index == 0) {
        stopped_ = line != kResultOk; // any other answer is an empty log, not an error
        return;
    }
    if (index < kFirstDataLine)
        return;
    try {
        list_.Add(ReadLogLine(line));
    } catch (...) {
        error_ = std::current_exception();
        stopped_ = true;
    }
}

void TLogParser::Finish()
{
    if (!stopped_)
        splitter_.Finish([this](std::string_view line, bool) {
            Line(line);
            return true;
        });
    if (lines_ == 0)
        throw EListError::IndexOutOfBounds(0);
    if (error_)
        std::rethrow_exception(error_);
}

TBottleMessage ReadLogLine(std::string_view line)
{
    const std::vector<std::string> fields = SplitFields(line, '\t');
    TBottleMessage message;
    message.LogTime = StampToDateTime(Field(fields, 1));
    message.MID = Field(fields, 2);
    message.Channel = Field(fields, 3);
    message.Ghost = Field(fields, 4);
    message.Connections = StrToInt(Field(fields, 5));
    message.Votes = StrToInt(Field(fields, 6));
    message.Agrees = StrToInt(Field(fields, 7));
    message.Script = Field(fields, 8);
    return message;
}

void ParseLog(const std::string& text, TMessageList& list)
{
    TLogParser parser(list);
    parser.Feed(text);
    parser.Finish();
}

void ParseLog(
    TLogText&& text, TMessageList& list, const std::function<void(int32_t messages)>& progress)
{
    TLogParser parser(list);
    // A program told to end reads no further: the rest is only freed.
    text.Consume([&](std::string_view piece) {
        if (TerminationRequested())
            return;
        parser.Feed(piece);
        if (progress)
            progress(list.Count());
    });
    parser.Finish();
}

std::string LogAnswerProblem(std::string_view head)
{
    if (head.empty())
        return Sjis("ログを受け取れませんでした: サーバーの応答が空です");
    const std::string_view first = head.substr(0, head.find_first_of("\r\n"));
    if (first == "Result: OK")
        return {};
    return Sjis("サーバーの応答がログではありません (1行目: ") + ShownText(first, 80) + ")";
}

TBottleMessage ReadSentLogLine(std::string_view line)
{
    const std::vector<std::string> fields = SplitFields(line, ',');
    TBottleMessage message;
    message.LogTime = StrToDateTime(Field(fields, 3));
    message.Channel = Field(fields, 1);
    message.Ghost = Field(fields, 2);
    message.Script = Field(fields, 4);
    return message;
}

void ParseSentLog(const std::string& text, TMessageList& list)
{
    list.Clear();
    for (const std::string& line : SplitLines(text))
        list.Add(ReadSentLogLine(line));
}

void LoadSentLog(TMessageList& list, IOpenDialog& dialog)
{
    list.Clear();
    const auto path = dialog.Execute(SentLogFilter());
    if (!path)
        return;
    ParseSentLog(ReadFileBytes(*path), list);
}

TLogFileKind DetectLogFileKind(std::string_view head, bool wholeFile)
{
    if (LogAnswerProblem(head).empty())
        return TLogFileKind::FetchedLog;
    // A head that is not the whole file may end inside a line: that line is not judged.
    if (!wholeFile) {
        const size_t end = head.find_last_of("\r\n");
        head = end == std::string_view::npos ? std::string_view() : head.substr(0, end + 1);
    }
    const std::vector<std::string> lines = SplitLines(std::string(head));
    size_t read = 0;
    for (const std::string& line : lines) {
        if (read == 3)
            break;
        try {
            ReadSentLogLine(line);
        } catch (const EVelmoError&) {
            return TLogFileKind::Neither;
        }
        ++read;
    }
    return read > 0 ? TLogFileKind::SentLog : TLogFileKind::Neither;
}

const TFileFilter& SentLogFilter()
{
    static const TFileFilter filter { "sent.log", "[Ss][Ee][Nn][Tt].[Ll][Oo][Gg]" };
    return filter;
}
