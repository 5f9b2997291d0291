#include "tools/bottleserver/BottleServerCore.h"

#include "archive/Archive.h"
#include "ghost/HeadValue.h"
#include "log/BottleMessage.h"
#include "log/LogWriter.h"
#include "platform/Encoding.h"
#include "platform/StrUtils.h"

#include <cctype>
#include <cmath>

namespace {

constexpr TDateTime kMinute = 1.0 / 1440;
constexpr int kDemoEveryMinutes = 2;

std::string Answer(const std::vector<std::pair<std::string, std::string>>& pairs)
{
    std::string text;
    for (const auto& [name, value] : pairs)
        text += name + ": " + value + "\r\n";
    return text;
}

// The answer to a vote or agreement: the message's counts afterwards.
std::string CountsAnswer(int votes, int agrees)
{
    return Answer({ { "Result", "OK" }, { "Votes", std::to_string(votes) },
        { "Agrees", std::to_string(agrees) } });
}

std::string JoinFields(const std::vector<std::string>& fields)
{
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i)
        line += (i ? "\t" : "") + fields[i];
    return line;
}

std::string WithFields(const std::string& line, const std::string& stamp, const std::string& mid)
{
    std::vector<std::string> fields = SplitFields(line, '\t');
    fields[0] = stamp;
    fields[1] = mid;
    return JoinFields(fields);
}

} // namespace

std::string TBottleServerCore::Stamp(TDateTime moment)
{
    return LogStamp(moment);
}

std::optional<TDateTime> TBottleServerCore::ParseStamp(const std::string& stamp)
{
    if (stamp.size() < 14)
        return std::nullopt;
    for (size_t i = 0; i < 14; ++i)
        if (stamp[i] < '0' || stamp[i] > '9')
            return std::nullopt;
    const auto n = [&](size_t pos, size_t len) { return std::stoi(stamp.substr(pos, len)); };
    return TryEncodeDateTime({ n(0, 4), n(4, 2), n(6, 2) }, { n(8, 2), n(10, 2), n(12, 2), 0 });
}

std::optional<TBottleServerCore::Entry> TBottleServerCore::ParseLine(const std::string& line)
{
    const std::vector<std::string> fields = SplitFields(line, '\t');
    if (fields.size() < 8)
        return std::nullopt;
    const auto time = ParseStamp(fields[0]);
    if (!time)
        return std::nullopt;
    return Entry { *time, fields[1], line };
}

void TBottleServerCore::SetLog(const std::string& text)
{
    std::vector<std::string> lines = SplitLines(text);
    if (!lines.empty() && lines[0] == "Result: OK")
        lines.erase(lines.begin(), lines.begin() + std::min<size_t>(3, lines.size()));
    log_.clear();
    for (const auto& line : lines)
        if (auto entry = ParseLine(line))
            log_.push_back(*entry);
}

void TBottleServerCore::SetDemo(const std::string& text, TDateTime start)
{
    SetLog(text);
    demo_ = std::move(log_);
    log_.clear();
    demoStart_ = start;
    const size_t n = demo_.size();
    for (size_t i = 0; i < n; ++i) {
        const TDateTime at = start - 60 * kMinute
            + static_cast<double>(i + 1) * 60 * kMinute / static_cast<double>(n + 1);
        const std::string stamp = Stamp(at);
        log_.push_back(
            { *ParseStamp(stamp), demo_[i].mid, WithFields(demo_[i].line, stamp, demo_[i].mid) });
    }
}

std::vector<TBottleServerCore::Entry> TBottleServerCore::Entries(TDateTime now) const
{
    std::vector<Entry> entries = log_;
    if (demoStart_ && !demo_.empty() && now > *demoStart_) {
        const auto ticks
            = static_cast<int64_t>(std::floor((now - *demoStart_) / (kDemoEveryMinutes * kMinute)));
        for (int64_t k = 1; k <= ticks; ++k) {
            const Entry& source = demo_[static_cast<size_t>(k - 1) % demo_.size()];
            const std::string stamp
                = Stamp(*demoStart_ + static_cast<double>(k * kDemoEveryMinutes) * kMinute);
            const std::string mid = "live" + std::to_string(k);
            entries.push_back({ *ParseStamp(stamp), mid, WithFields(source.line, stamp, mid) });
        }
    }
    return entries;
}

std::string TBottleServerCore::FetchLog(
    const std::map<std::string, std::string>& query, TDateTime now) const
{
    const auto get = [&](const char* key) -> std::optional<int32_t> {
        const auto it = query.find(key);
        return it == query.end() ? std::nullopt : TryStrToInt(it->second);
    };
    std::optional<TDateTime> from;
    std::optional<TDateTime> to;
    if (const auto recent = get("recent")) {
        from = now - *recent * kMinute;
        to = now;
    } else {
        const auto lo = TryEncodeDate(
            get("year_lo").value_or(0), get("month_lo").value_or(0), get("day_lo").value_or(0));
        const auto hi = TryEncodeDate(
            get("year_hi").value_or(0), get("month_hi").value_or(0), get("day_hi").value_or(0));
        if (!lo || !hi)
            return ErrorAnswer("bad query");
        from = *lo;
        to = *hi + 1 - 1.0 / 86400;
    }
    std::string text
        = "Result: OK\r\nServer: Velmo bundled bottle server\r\nNow: " + Stamp(now) + "\r\n";
    if (archive_) {
        try {
            return text + ArchiveLines(*from - 1e-9, *to + 1e-9);
        } catch (const EVelmoError& e) {
            return ErrorAnswer(e.what());
        }
    }
    for (const Entry& entry : Entries(now))
        if (entry.time >= *from - 1e-9 && entry.time <= *to + 1e-9)
            text += WithCounts(entry) + "\r\n";
    return text;
}

void TBottleServerCore::SetArchive(TArchive& archive)
{
    archive_ = &archive;
}

std::string TBottleServerCore::LogLine(const TBottleMessage& m)
{
    return ::LogLine(m);
}

std::string TBottleServerCore::ArchiveLines(TDateTime from, TDateTime to) const
{
    std::string lines;
    archive_->ForEach(from, to, [&](const TBottleMessage& m) {
        if (!m.MID.empty())
            lines += LogLine(m) + "\r\n";
        return true;
    });
    return lines;
}

std::string TBottleServerCore::ArchiveVote(const std::string& mid, bool agree)
{
    try {
        const std::optional<TVoteCounts> counts = archive_->CountVote(mid, agree);
        return counts ? CountsAnswer(counts->votes, counts->agrees) : UnknownMessage(mid);
    } catch (const EVelmoError& e) {
        return ErrorAnswer(e.what());
    }
}

// The line with the votes and agreements counted here added to its own counts (fields 6 and 7).
std::string TBottleServerCore::WithCounts(const Entry& entry) const
{
    if (Votes(entry.mid) == 0 && Agrees(entry.mid) == 0)
        return entry.line;
    std::vector<std::string> fields = SplitFields(entry.line, '\t');
    fields[5] = std::to_string(TryStrToInt(fields[5]).value_or(0) + Votes(entry.mid));
    fields[6] = std::to_string(TryStrToInt(fields[6]).value_or(0) + Agrees(entry.mid));
    return JoinFields(fields);
}

std::string TBottleServerCore::ErrorAnswer(const std::string& message)
{
    return Answer({ { "Result", "Err" }, { "ExtraMessage", message } });
}

std::string TBottleServerCore::UnknownMessage(const std::string& mid)
{
    return ErrorAnswer(Sjis("そのメッセージはありません: ") + mid);
}

std::string TBottleServerCore::PercentDecode(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()
            && std::isxdigit(static_cast<unsigned char>(text[i + 1]))
            && std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string TBottleServerCore::Command(const std::string& body, TDateTime now)
{
    const THeadValue command(PercentDecode(body));
    const std::string type = command.ValueOf("VoteType");
    if (command.ValueOf("Command") != "voteMessage" || (type != "Vote" && type != "Agree"))
        return ErrorAnswer(Sjis("知らないコマンドです"));
    if (command.ValueOf("LUID").empty())
        return ErrorAnswer(Sjis("LUIDがありません"));
    const std::string mid = command.ValueOf("MID");
    if (archive_)
        return ArchiveVote(mid, type == "Agree");
    bool known = false;
    for (const Entry& entry : Entries(now))
        known |= entry.mid == mid;
    if (!known)
        return UnknownMessage(mid);
    auto& counts = type == "Vote" ? votes_ : agrees_;
    ++counts[mid];
    return CountsAnswer(Votes(mid), Agrees(mid));
}

int TBottleServerCore::Votes(const std::string& mid) const
{
    const auto it = votes_.find(mid);
    return it == votes_.end() ? 0 : it->second;
}

int TBottleServerCore::Agrees(const std::string& mid) const
{
    const auto it = agrees_.find(mid);
    return it == agrees_.end() ? 0 : it->second;
}
