#include "archive/Export.h"

#include "archive/SearchText.h"
#include "log/BottleMessage.h"
#include "log/LogWriter.h"
#include "platform/DateTime.h"
#include "platform/Encoding.h"

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <utility>

const char* const kExportFormatNames = "jsonl csv txt log";

namespace {

constexpr std::string_view kBreaks = "\t\r\n";

// "2004-05-06T12:34:56" (or with another character between date and time).
std::string IsoTime(TDateTime moment, char between)
{
    const TDateFields d = DecodeDate(moment);
    const TTimeFields t = DecodeTime(moment);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d%c%02d:%02d:%02d", d.year, d.month, d.day,
        between, t.hour, t.minute, t.second);
    return text;
}

// TABs and line breaks as blanks; true when there were any.
bool Blank(std::string& text)
{
    if (text.find_first_of(kBreaks) == std::string::npos)
        return false;
    std::replace_if(
        text.begin(), text.end(), [](char c) { return kBreaks.find(c) != kBreaks.npos; }, ' ');
    return true;
}

void CsvField(std::ostream& out, const std::string& utf8)
{
    if (utf8.find_first_of(",\"\r\n") == std::string::npos) {
        out << utf8;
        return;
    }
    out << '"';
    for (const char c : utf8)
        out << (c == '"' ? "\"\"" : std::string_view(&c, 1));
    out << '"';
}

class TWriter
{
public:
    TWriter(TExportFormat format, std::ostream& out, TSsParser& parser)
        : format_(format)
        , out_(out)
        , parser_(parser)
    { }

    void Begin()
    {
        if (format_ == TExportFormat::Csv)
            out_ << "\xEF\xBB\xBF"
                    "time,mid,channel,ghost,connections,votes,agrees,script,talk\r\n";
        else if (format_ == TExportFormat::Log)
            out_ << "Result: OK\r\nServer: Velmo export\r\nNow: " << LogStamp(Now()) << "\r\n";
    }

    void Write(const TBottleMessage& m)
    {
        switch (format_) {
        case TExportFormat::Jsonl:
            return Jsonl(m);
        case TExportFormat::Csv:
            return Csv(m);
        case TExportFormat::Txt:
            return Txt(m);
        case TExportFormat::Log:
            return Log(m);
        }
    }

    TExportCounts counts;

private:
    std::string Talk(const TBottleMessage& m)
    {
        return SjisToUtf8Lossy(TalkText(m.Script, parser_));
    }

    void Jsonl(const TBottleMessage& m)
    {
        const nlohmann::ordered_json object = {
            { "time", IsoTime(m.LogTime, 'T') },
            { "mid", SjisToUtf8Lossy(m.MID) },
            { "channel", SjisToUtf8Lossy(m.Channel) },
            { "ghost", SjisToUtf8Lossy(m.Ghost) },
            { "connections", m.Connections },
            { "votes", m.Votes },
            { "agrees", m.Agrees },
            { "script", SjisToUtf8Lossy(m.Script) },
            { "talk", Talk(m) },
        };
        out_ << object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    }

    void Csv(const TBottleMessage& m)
    {
        out_ << IsoTime(m.LogTime, ' ');
        for (const std::string* text : { &m.MID, &m.Channel, &m.Ghost }) {
            out_ << ',';
            CsvField(out_, SjisToUtf8Lossy(*text));
        }
        out_ << ',' << m.Connections << ',' << m.Votes << ',' << m.Agrees << ',';
        CsvField(out_, SjisToUtf8Lossy(m.Script));
        out_ << ',';
        CsvField(out_, Talk(m));
        out_ << "\r\n";
    }

    void Txt(const TBottleMessage& m)
    {
        std::string ghost = m.Ghost;
        std::string channel = m.Channel;
        std::string talk = TalkText(m.Script, parser_);
        Blank(ghost);
        Blank(channel);
        Blank(talk); // the "\n" between pieces
        out_ << SjisToUtf8Lossy(FormatShortDate(m.LogTime) + " " + FormatLongTime(m.LogTime) + "\t"
            + ghost + "\t" + channel + "\t" + talk)
             << '\n';
    }

    void Log(const TBottleMessage& m)
    {
        if (std::none_of(std::begin(kFields), std::end(kFields), [&](auto field) {
                return (m.*field).find_first_of(kBreaks) != std::string::npos;
            })) {
            out_ << LogLine(m) << "\r\n";
            return;
        }
        TBottleMessage clean = m;
        for (const auto field : kFields)
            Blank(clean.*field);
        ++counts.blanked;
        out_ << LogLine(clean) << "\r\n";
    }

    static constexpr std::string TBottleMessage::*kFields[] = { &TBottleMessage::MID,
        &TBottleMessage::Channel, &TBottleMessage::Ghost, &TBottleMessage::Script };

    const TExportFormat format_;
    std::ostream& out_;
    TSsParser& parser_;
};

} // namespace

std::optional<TExportFormat> ExportFormatNamed(std::string_view name)
{
    static constexpr std::pair<std::string_view, TExportFormat> kNamed[] = {
        { "jsonl", TExportFormat::Jsonl },
        { "csv", TExportFormat::Csv },
        { "txt", TExportFormat::Txt },
        { "log", TExportFormat::Log },
    };
    for (const auto& [known, format] : kNamed)
        if (name == known)
            return format;
    return std::nullopt;
}

TExportCounts ExportMessages(
    const TMessageSource& source, TExportFormat format, std::ostream& out, TSsParser& parser)
{
    TWriter writer(format, out, parser);
    writer.Begin();
    if (!out)
        return writer.counts;
    source([&](const TBottleMessage& message) {
        writer.Write(message);
        if (!out)
            return false;
        ++writer.counts.written;
        return true;
    });
    out.flush();
    return writer.counts;
}
