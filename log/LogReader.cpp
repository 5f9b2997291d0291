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
    while (!bytes.empty() && !stopped_) {
        if (afterCr_) {
            afterCr_ = false;
            if (bytes.front() == '\n') {
                bytes.remove_prefix(1);
                continue;
            }
        }
        const size_t end = bytes.find_first_of("\r\n");
        if (end == std::string_view::npos) {
            partial_.append(bytes);
            return;
        }
        if (partial_.empty()) {
            Line(bytes.substr(0, end));
        } else {
            partial_.append(bytes.substr(0, end));
            Line(partial_);
            partial_.clear();
        }
        afterCr_ = bytes[end] == '\r';
        bytes.remove_prefix(end + 1);
    }
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
        list_.Add(std::move(message));
    } catch (...) {
        error_ = std::current_exception();
        stopped_ = true;
    }
}

void TLogParser::Finish()
{
    if (!partial_.empty() && !stopped_) {
        const std::string last = std::move(partial_);
        partial_.clear();
        Line(last);
    }
    if (lines_ == 0)
        throw EListError::IndexOutOfBounds(0);
    if (error_)
        std::rethrow_exception(error_);
}

void ParseLog(const std::string& text, TMessageList& list)
{
    TLogParser parser(list);
    parser.Feed(text);
    parser.Finish();
}

void ParseLog(TLogText&& text, TMessageList& list)
{
    TLogParser parser(list);
    // A program told to end reads no further: the rest is only freed.
    text.Consume([&](std::string_view piece) {
        if (!TerminationRequested())
            parser.Feed(piece);
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
    constexpr size_t kShown = 80;
    std::string shown;
    for (size_t i = 0; i < first.size(); ++i) {
        const auto c = static_cast<unsigned char>(first[i]);
        const bool pair = IsLeadByte(c) && i + 1 < first.size()
            && static_cast<unsigned char>(first[i + 1]) >= 0x40 && first[i + 1] != 0x7F;
        const size_t width = pair ? 2 : 1;
        if (shown.size() + width > kShown) {
            shown += "...";
            break;
        }
        if (width == 2) {
            shown.append(first, i, 2);
            ++i;
        } else {
            shown += c < 0x20 || c == 0x7F ? '?' : static_cast<char>(c);
        }
    }
    return Sjis("サーバーの応答がログではありません (1行目: ") + shown + ")";
}

void ParseSentLog(const std::string& text, TMessageList& list)
{
    list.Clear();
    for (const std::string& line : SplitLines(text)) {
        const std::vector<std::string> fields = SplitFields(line, ',');
        TBottleMessage message;
        message.LogTime = StrToDateTime(Field(fields, 3));
        message.Channel = Field(fields, 1);
        message.Ghost = Field(fields, 2);
        message.Script = Field(fields, 4);
        list.Add(std::move(message));
    }
}

void LoadSentLog(TMessageList& list, IOpenDialog& dialog)
{
    list.Clear();
    const auto path = dialog.Execute(SentLogFilter());
    if (!path)
        return;
    ParseSentLog(ReadFileBytes(*path), list);
}

const TFileFilter& SentLogFilter()
{
    static const TFileFilter filter { "sent.log", "[Ss][Ee][Nn][Tt].[Ll][Oo][Gg]" };
    return filter;
}
