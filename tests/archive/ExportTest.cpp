#include "archive/Export.h"

#include "ShippedParser.h"
#include "TestSupport.h"
#include "archive/Archive.h"
#include "archive/Import.h"
#include "archive/SearchText.h"
#include "log/BottleMessage.h"
#include "platform/FileIO.h"

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <streambuf>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELMO_UNDER_ASAN 1
#endif
#endif

namespace {

constexpr const char* kServer = "bottle.example";

TBottleMessage Message(const std::string& mid, const std::string& channel, const std::string& ghost,
    const std::string& script, int minute)
{
    TBottleMessage m;
    m.MID = mid;
    m.Channel = channel;
    m.Ghost = ghost;
    m.Script = script;
    m.LogTime = *TryEncodeDateTime({ 2004, 5, 6 }, { 12, 34 + minute, 56, 0 });
    m.Connections = 25 + minute;
    m.Votes = minute;
    m.Agrees = 2 * minute;
    return m;
}

// Texts that trip up writers: separators of every format, markup, Shift_JIS characters whose
// second byte is "\" (ソ, 表), a byte that is no Shift_JIS, and a message without a MID.
std::vector<TBottleMessage> Hostile()
{
    return {
        Message("m1", J("雑談, \"話\""), J("さくら<b>"),
            J("\\h\\s[0]ソ表示、\"こんにちは\", 世界\\n\\u\\s[10]<script>やあ\\e"), 0),
        Message("m2", J("一般"), "Ghost\tA", "\\h\\s0line1\r\nline2\tend\\e", 1),
        Message("", J("一般"), "GhostB", "\\h\\s0" + J("流れ星") + "\xFF\\e", 2),
    };
}

std::vector<std::string> Fields(const TBottleMessage& m)
{
    return { m.MID, m.Channel, m.Ghost, m.Script, std::to_string(m.LogTime),
        std::to_string(m.Connections), std::to_string(m.Votes), std::to_string(m.Agrees) };
}

struct Fixture
{
    TempDir dir;
    TArchive archive { dir.Sjis() + "archive.sqlite3", &ShippedParser() };
    std::vector<TBottleMessage> messages = Hostile();

    Fixture()
    {
        TArchive::TBatch batch(archive);
        for (const TBottleMessage& m : messages)
            batch.Add(m, kServer);
        batch.Commit();
    }
    TMessageSource Source() const
    {
        return [this](const TMessageVisitor& visit) { archive.ForEach(-1e6, 1e7, visit); };
    }
    std::string Export(TExportFormat format, TExportCounts* counts = nullptr) const
    {
        std::ostringstream out;
        const TExportCounts c = ExportMessages(Source(), format, out, ShippedParser());
        EXPECT_EQ(c.written, static_cast<int64_t>(messages.size()));
        if (counts)
            *counts = c;
        return out.str();
    }
};

std::vector<std::string> Lines(const std::string& text, const std::string& end)
{
    std::vector<std::string> lines;
    size_t at = 0;
    for (size_t next; (next = text.find(end, at)) != std::string::npos; at = next + end.size())
        lines.push_back(text.substr(at, next - at));
    EXPECT_EQ(at, text.size()) << "the last line has no end";
    return lines;
}

// A strict RFC 4180 reader: records end in CR LF, a quoted field may hold anything with its
// quotes doubled, an unquoted one no quote, CR or LF.
std::vector<std::vector<std::string>> ReadCsv(const std::string& text)
{
    std::vector<std::vector<std::string>> records(1, std::vector<std::string>(1));
    for (size_t i = 0; i < text.size();) {
        std::string& field = records.back().back();
        if (text[i] == '"' && field.empty()) {
            for (++i;; ++i) {
                if (i >= text.size())
                    throw std::runtime_error("unclosed quote");
                if (text[i] == '"' && (i + 1 >= text.size() || text[i + 1] != '"'))
                    break;
                field += text[i];
                i += text[i] == '"' ? 1 : 0;
            }
            ++i;
            if (i < text.size() && text[i] != ',' && text[i] != '\r')
                throw std::runtime_error("text after a closing quote");
        } else if (text[i] == ',') {
            records.back().emplace_back();
            ++i;
        } else if (text.compare(i, 2, "\r\n") == 0) {
            records.emplace_back(1);
            i += 2;
        } else if (text[i] == '"' || text[i] == '\r' || text[i] == '\n') {
            throw std::runtime_error("bare quote or line break at " + std::to_string(i));
        } else {
            field += text[i++];
        }
    }
    if (records.back() == std::vector<std::string>(1))
        records.pop_back(); // after the last CR LF
    return records;
}

std::string U(const std::string& sjis)
{
    return SjisToUtf8Lossy(sjis);
}

std::string Talk(const TBottleMessage& m)
{
    return U(TalkText(m.Script, ShippedParser()));
}

} // namespace

TEST(ExportMessages, JsonLinesNameEveryFieldAndReadBack)
{
    const Fixture f;
    const std::vector<std::string> lines = Lines(f.Export(TExportFormat::Jsonl), "\n");
    ASSERT_EQ(lines.size(), f.messages.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        const TBottleMessage& m = f.messages[i];
        const auto json = nlohmann::json::parse(lines[i]);
        EXPECT_EQ(json.size(), 9u);
        EXPECT_EQ(json.at("time"), "2004-05-06T12:3" + std::to_string(4 + i) + ":56");
        EXPECT_EQ(json.at("mid"), m.MID);
        EXPECT_EQ(json.at("channel"), U(m.Channel));
        EXPECT_EQ(json.at("ghost"), U(m.Ghost));
        EXPECT_EQ(json.at("connections"), m.Connections);
        EXPECT_EQ(json.at("votes"), m.Votes);
        EXPECT_EQ(json.at("agrees"), m.Agrees);
        EXPECT_EQ(json.at("script"), U(m.Script));
        EXPECT_EQ(json.at("talk"), Talk(m));
    }
    EXPECT_EQ(
        nlohmann::json::parse(lines[0]).at("talk"), "ソ表示、\"こんにちは\", 世界\n<script>やあ");
    EXPECT_EQ(nlohmann::json::parse(lines[2]).at("script"), "\\h\\s0流れ星?\\e");
}

TEST(ExportMessages, CsvReadsBackByRfc4180)
{
    const Fixture f;
    const std::string text = f.Export(TExportFormat::Csv);
    ASSERT_EQ(text.substr(0, 3), "\xEF\xBB\xBF");
    const auto records = ReadCsv(text.substr(3));
    ASSERT_EQ(records.size(), f.messages.size() + 1);
    EXPECT_EQ(records[0],
        (std::vector<std::string> { "time", "mid", "channel", "ghost", "connections", "votes",
            "agrees", "script", "talk" }));
    for (size_t i = 0; i < f.messages.size(); ++i) {
        const TBottleMessage& m = f.messages[i];
        EXPECT_EQ(records[i + 1],
            (std::vector<std::string> { "2004-05-06 12:3" + std::to_string(4 + i) + ":56", m.MID,
                U(m.Channel), U(m.Ghost), std::to_string(m.Connections), std::to_string(m.Votes),
                std::to_string(m.Agrees), U(m.Script), Talk(m) }));
    }
}

TEST(ExportMessages, TxtIsOneLineAMessage)
{
    const Fixture f;
    const std::vector<std::string> lines = Lines(f.Export(TExportFormat::Txt), "\n");
    EXPECT_EQ(lines,
        (std::vector<std::string> {
            "2004/05/06 12:34:56\tさくら<b>\t雑談, \"話\"\tソ表示、\"こんにちは\", 世界 "
            "<script>やあ",
            "2004/05/06 12:35:56\tGhost A\t一般\tline1  line2 end",
            "2004/05/06 12:36:56\tGhostB\t一般\t流れ星?" }));
}

// The log reads back through velmo import's reader to the same messages, byte for byte; the one
// with a TAB and a line break, which the format cannot hold, with blanks in their place.
TEST(ExportMessages, LogImportsBackToTheSameMessages)
{
    const Fixture f;
    TExportCounts counts;
    const std::string text = f.Export(TExportFormat::Log, &counts);
    EXPECT_EQ(counts.blanked, 1);
    EXPECT_EQ(text.substr(0, 12), "Result: OK\r\n");
    const std::string path = f.dir.Sjis() + "export.log";
    WriteFileAtomic(path, text);
    TArchive again(f.dir.Sjis() + "again.sqlite3", &ShippedParser());
    const TImportSummary summary = ImportLogs({ path }, again, kServer);
    EXPECT_TRUE(summary.Complete());
    EXPECT_EQ(summary.refused.Count(), 0);
    std::vector<std::vector<std::string>> expected;
    for (TBottleMessage m : f.messages) {
        for (std::string* text : { &m.Ghost, &m.Script })
            for (char& c : *text)
                c = c == '\t' || c == '\r' || c == '\n' ? ' ' : c;
        expected.push_back(Fields(m));
    }
    std::vector<std::vector<std::string>> read;
    again.ForEach(-1e6, 1e7, [&](const TBottleMessage& m) {
        read.push_back(Fields(m));
        return true;
    });
    EXPECT_EQ(read, expected);
}

namespace {

// Counts what is written and keeps none of it.
class TCountingBuffer : public std::streambuf
{
public:
    int64_t bytes = 0;

protected:
    std::streamsize xsputn(const char*, std::streamsize n) override
    {
        bytes += n;
        return n;
    }
    int_type overflow(int_type c) override
    {
        ++bytes;
        return traits_type::not_eof(c);
    }
};

int64_t ResidentBytes()
{
    std::ifstream statm("/proc/self/statm");
    int64_t size = 0;
    int64_t resident = 0;
    statm >> size >> resident;
    return resident * ::sysconf(_SC_PAGESIZE);
}

} // namespace

// An export of many messages holds one at a time: the memory it uses stays flat while its output
// grows far beyond what it could hold.
TEST(ExportMessages, ManyMessagesKeepMemoryFlat)
{
#if defined(__SANITIZE_ADDRESS__) || defined(VELMO_UNDER_ASAN)
    // AddressSanitizer keeps freed memory in quarantine, so the resident size says nothing here.
    GTEST_SKIP() << "resident size is not measurable under AddressSanitizer";
#endif
    constexpr int kMessages = 200000;
    TempDir dir;
    TArchive archive(dir.Sjis() + "archive.sqlite3", &ShippedParser());
    {
        TArchive::TBatch batch(archive);
        const std::string script = J(
            "\\h\\s[0]今日は流れ星を見ました。とてもきれいでした。\\u\\s[10]へえ、いいなあ。\\e");
        for (int i = 0; i < kMessages; ++i)
            batch.Add(
                Message("m" + std::to_string(i), J("一般"), J("さくら"), script, i % 20), kServer);
        batch.Commit();
    }
    TCountingBuffer sink;
    std::ostream out(&sink);
    int64_t seen = 0;
    int64_t first = 0;
    int64_t most = 0;
    const TMessageSource source = [&](const TMessageVisitor& visit) {
        archive.ForEach(-1e6, 1e7, [&](const TBottleMessage& m) {
            if (++seen % 10000 == 0) {
                const int64_t resident = ResidentBytes();
                first = first ? first : resident;
                most = std::max(most, resident);
            }
            return visit(m);
        });
    };
    const TExportCounts counts = ExportMessages(source, TExportFormat::Jsonl, out, ShippedParser());
    EXPECT_EQ(counts.written, kMessages);
    constexpr int64_t kGrowth = 16 << 20;
    EXPECT_GT(sink.bytes, 4 * kGrowth);
    EXPECT_LT(most - first, kGrowth);
}
