// Searching the archive: the index against a plain substring scan, the filters, the upgrade that
// builds the index for an archive of the first version.

#include "TestSupport.h"
#include "archive/Archive.h"
#include "archive/Query.h"
#include "archive/QuerySql.h"
#include "archive/SearchText.h"
#include "log/MessageList.h"
#include "platform/Encoding.h"
#include "tests/ShippedParser.h"

#include <SQLiteCpp/SQLiteCpp.h>
#include <algorithm>
#include <array>
#include <fstream>
#include <set>

namespace {

TBottleMessage Message(const std::string& mid, const std::string& script,
    const std::string& ghost = J("さくら"), const std::string& channel = J("雑談"),
    TDateTime time = 38000.5, int votes = 0, int agrees = 0)
{
    TBottleMessage m;
    m.MID = mid;
    m.LogTime = time;
    m.Channel = channel;
    m.Ghost = ghost;
    m.Votes = votes;
    m.Agrees = agrees;
    m.Script = script;
    return m;
}

std::vector<std::string> Found(const TArchive& archive, const std::string& query)
{
    std::vector<std::string> mids;
    archive.Search(ParseQuery(query), [&](const TBottleMessage& m) {
        mids.push_back(m.MID);
        return true;
    });
    return mids;
}

std::vector<std::string> CorpusScripts(size_t count)
{
    std::vector<std::string> scripts;
    std::ifstream in(VELMO_SOURCE_DIR "/../shared/corpus/scripts.sjis.txt", std::ios::binary);
    for (std::string line; scripts.size() < count && std::getline(in, line);)
        if (!line.empty())
            scripts.push_back(line);
    return scripts;
}

// count characters of UTF-8 text from the character at `from`.
std::string Characters(const std::string& utf8, size_t from, size_t count)
{
    const auto next = [&](size_t at) {
        const auto c = static_cast<unsigned char>(utf8[at]);
        return std::min(utf8.size(), at + (c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4));
    };
    size_t start = 0;
    for (size_t n = 0; n < from && start < utf8.size(); ++n)
        start = next(start);
    size_t end = start;
    for (size_t n = 0; n < count && end < utf8.size(); ++n)
        end = next(end);
    return utf8.substr(start, end - start);
}

class SearchTest : public ::testing::Test
{
protected:
    void Keep(const std::vector<TBottleMessage>& messages)
    {
        TMessageList list;
        for (const TBottleMessage& m : messages)
            list.Add(m);
        archive_.Store(list, "s");
    }

    TempDir dir_;
    TArchive archive_ { dir_.Sjis() + "archive.sqlite3", &ShippedParser() };
};

// Kept one by one (Store), or as an import keeps them: in one long run, whose search texts are
// made on a second thread and whose text index is merged at the end.
class SearchKeptTest : public SearchTest, public ::testing::WithParamInterface<bool>
{
protected:
    void KeepAll(const std::vector<TBottleMessage>& messages)
    {
        if (!GetParam())
            return Keep(messages);
        // The first message again at the end: counted as known, its row unchanged.
        std::vector<TBottleMessage> run = messages;
        run.push_back(messages.front());
        TArchive::TBatch batch(archive_);
        const TArchiveCounts counts = batch.Add(run, "s");
        batch.Commit();
        EXPECT_EQ(counts.added, static_cast<int64_t>(messages.size()));
        EXPECT_EQ(counts.known, 1);
        archive_.MergeTextIndex();
        // Later writes merge the index's pieces as usual again.
        SQLite::Database db(NativePath(archive_.Path()), SQLite::OPEN_READONLY);
        EXPECT_EQ(db.execAndGet("SELECT group_concat(k || '=' || v) FROM (SELECT * FROM "
                                "message_text_config WHERE k LIKE '%merge' ORDER BY k)")
                      .getString(),
            "automerge=4,crisismerge=16");
    }
};

INSTANTIATE_TEST_SUITE_P(OneByOneAndInOneRun, SearchKeptTest, ::testing::Bool());

// Every word finds exactly the messages whose normalised talk, ghost or channel holds it, as a
// plain scan finds them: never across a tag, never inside one.
TEST_P(SearchKeptTest, WordsFindWhatASubstringScanFinds)
{
    std::vector<TBottleMessage> messages = {
        Message("flow", J("\\h\\s[0]昨日、流れ星を見たの。\\e")),
        Message("half", J("\\h\\s[0]ｱﾘｶﾞﾄｳ、ＡＢＣ！\\e"), "GhostA"),
        Message("full", J("\\h\\s[0]アリガトウ abc!\\e"), J("ＧｈｏｓｔＡ")),
        Message("across", J("\\h\\s[0]流れ\\w9星\\n見た\\e")),
        Message("inside", J("\\h\\s[0]\\URL[http://a.example/][流れ星]見た\\_a[星]x\\_a\\e")),
        Message("blank", J("\\h\\s[0]お茶 を  どうぞ\\e"), J("毒子"), "test"),
    };
    // More than a run's worth of messages for each of its two threads.
    const std::vector<std::string> corpus = CorpusScripts(1500);
    for (size_t i = 0; i < corpus.size(); ++i)
        messages.push_back(Message("c" + std::to_string(i), corpus[i], J(i % 2 ? "毒子" : "まゆら"),
            "ch", 38001 + static_cast<double>(i) / 1000));
    KeepAll(messages);

    std::vector<std::string> words = { "流", "星", "!", "a", "流れ", "れ星", "流れ星",
        "流れ星を見た", "ｱﾘ", "アリ", "ｱﾘｶﾞﾄｳ", "アリガトウ", "ａｂｃ", "ABC", "abc!", "ghosta",
        "毒子", "お茶 を", "を どうぞ", "れ\n星", "url", "http", "s[0", "_a", "星]", "見た", "x" };
    // Words of one to five characters taken from the corpus's own talk.
    for (size_t i = 6; i < messages.size(); i += 37) {
        const std::string talk = SjisToUtf8Lossy(TalkText(messages[i].Script, ShippedParser()));
        for (size_t length = 1; length <= 5; ++length) {
            const std::string word = Characters(talk, 2, length);
            if (!word.empty() && word.find_first_of("\n\" |()-") == std::string::npos)
                words.push_back(word);
        }
    }

    std::vector<std::array<std::string, 3>> texts;
    for (const TBottleMessage& m : messages)
        texts.push_back({ NormaliseForSearch(TalkText(m.Script, ShippedParser())),
            NormaliseForSearch(m.Ghost), NormaliseForSearch(m.Channel) });
    for (const std::string& word : words) {
        SCOPED_TRACE(word);
        const std::string sought = SearchWord(J(word));
        std::vector<std::string> scanned;
        for (size_t i = 0; i < messages.size(); ++i)
            if (std::any_of(texts[i].begin(), texts[i].end(), [&](const std::string& text) {
                    return text.find(sought) != std::string::npos;
                }))
                scanned.push_back(messages[i].MID);
        // Quoted, so that a word with a blank or a line break is one word.
        std::string quoted = "\"" + word + "\"";
        EXPECT_EQ(Found(archive_, J(quoted)), scanned);
        EXPECT_EQ(
            archive_.CountMatches(ParseQuery(J(quoted))), static_cast<int64_t>(scanned.size()));
    }

    // The hand-made messages, to show the scan above is not vacuous.
    const struct
    {
        const char* query;
        std::vector<std::string> mids;
    } cases[] = {
        { "流れ星", { "flow", "inside" } }, // "inside" shows the text after the URL tag's
        { "ｱﾘｶﾞﾄｳ", { "half", "full" } },
        { "ＡＢＣ", { "half", "full" } },
        { "\"お茶 を\"", { "blank" } },
        { "\"流れ\n星\"", {} },
    };
    for (const auto& c : cases) {
        const std::vector<std::string> found = Found(archive_, J(c.query));
        std::vector<std::string> own;
        for (const std::string& mid : found)
            if (mid[0] != 'c')
                own.push_back(mid);
        EXPECT_EQ(own, c.mids) << c.query;
    }
}

TEST_F(SearchTest, FiltersAndGroupsFindTheExpectedMessages)
{
    const TDateTime day = 38139; // 2004/06/01
    Keep({
        Message("a", J("流れ星だ"), J("さくら"), J("雑談"), day + 0.25, 3, 0),
        Message("b", J("お茶どうぞ"), J("ｻｸﾗ"), J("ゲーム"), day + 1.5, 0, 1),
        Message("c", J("流れ星とお茶"), J("毒子"), J("雑談"), day - 1, 5, 2),
        Message("d", J("星"), J("まゆら"), "test", day + 2, 1, 0),
    });
    const struct
    {
        const char* query;
        std::vector<std::string> mids; // in time order
    } cases[] = {
        { "", { "c", "a", "b", "d" } }, { "ghost:さくら", { "a" } }, { "ghost:サクラ", { "b" } },
        { "ghost:さく", {} }, { "ch:雑談", { "c", "a" } }, { "ch:TEST", { "d" } },
        { "after:2004/06/01", { "a", "b", "d" } }, { "before:2004/06/02", { "c", "a" } },
        { "after:2004/06/01 before:\"2004/06/01 12:00\"", { "a" } }, { "votes>=3", { "c", "a" } },
        { "votes<1", { "b" } }, { "agrees=2", { "c" } }, { "agrees>0 votes<=3", { "b" } },
        { "流れ星 | お茶", { "c", "a", "b" } }, { "流れ星 お茶", { "c" } },
        { "流れ星 -お茶", { "a" } }, { "-流れ星", { "b", "d" } }, { "-星", { "b" } },
        { "星 -(流れ星 ghost:さくら)", { "c", "d" } }, { "(星 | 茶) votes>=1", { "c", "a", "d" } },
        { "(流れ星 | ghost:まゆら) after:2004/06/01", { "a", "d" } },
        { "-ghost:毒子 -ch:雑談", { "b", "d" } },
        { "ゲーム | さくら", { "a", "b" } }, // the channel and the ghost name are searched too
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Found(archive_, J(c.query)), c.mids) << c.query;
        EXPECT_EQ(
            archive_.CountMatches(ParseQuery(J(c.query))), static_cast<int64_t>(c.mids.size()))
            << c.query;
    }
}

// With many hits the search walks the messages in time order instead of sorting the hits; both
// give the same messages in the same order, and stopping stops.
TEST_F(SearchTest, ManyHitsComeInTimeOrderAndStopWhenAsked)
{
    std::vector<TBottleMessage> messages;
    const int n = 6000;
    for (int i = 0; i < n; ++i)
        messages.push_back(Message("m" + std::to_string(i),
            J(i % 3 ? "ありがとう" : "こんにちは") + std::to_string(i), J("さくら"), J("雑談"),
            38000 + (i * 7919 % n)));
    Keep(messages);
    for (const char* query : { "ありがとう", "ありがとう ghost:さくら", "-こんにちは" }) {
        SCOPED_TRACE(query);
        TDateTime last = 0;
        int64_t count = 0;
        archive_.Search(ParseQuery(J(query)), [&](const TBottleMessage& m) {
            EXPECT_GE(m.LogTime, last);
            last = m.LogTime;
            ++count;
            return true;
        });
        EXPECT_EQ(count, n - n / 3);
        EXPECT_EQ(archive_.CountMatches(ParseQuery(J(query))), count);
    }
    int visited = 0;
    archive_.Search(
        ParseQuery(J("ありがとう")), [&](const TBottleMessage&) { return ++visited < 100; });
    EXPECT_EQ(visited, 100);
}

// An archive of the first version: served as it is without the tokenizer, and given its index,
// with progress, when opened with it.
TEST(Search, UpgradeBuildsTheIndexOfAFirstVersionArchive)
{
    TempDir dir;
    const std::string path = dir.Sjis() + "archive.sqlite3";
    {
        SQLite::Database db(NativePath(path), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
        db.exec(R"SQL(
CREATE TABLE server (id INTEGER PRIMARY KEY, name BLOB NOT NULL UNIQUE);
CREATE TABLE message (
    id INTEGER PRIMARY KEY,
    server INTEGER NOT NULL,
    mid BLOB NOT NULL,
    time REAL NOT NULL,
    channel BLOB NOT NULL,
    ghost BLOB NOT NULL,
    connections INTEGER NOT NULL,
    votes INTEGER NOT NULL,
    agrees INTEGER NOT NULL,
    script BLOB NOT NULL,
    UNIQUE (server, mid)
);
CREATE INDEX message_time ON message (time);
INSERT INTO server (name) VALUES ('s');
PRAGMA application_id = 0x566C6D6F;
PRAGMA user_version = 1;
)SQL");
        SQLite::Statement insert(db,
            "INSERT INTO message (server, mid, time, channel, ghost, connections, votes, agrees, "
            "script) VALUES (1, CAST(? AS BLOB), ?, CAST(? AS BLOB), CAST(? AS BLOB), 0, ?, 0, "
            "CAST(? AS BLOB))");
        SQLite::Transaction transaction(db);
        for (int i = 0; i < 5000; ++i) {
            insert.reset();
            insert.bind(1, "m" + std::to_string(i));
            insert.bind(2, 38000.0 + i);
            insert.bind(3, J("雑談"));
            insert.bind(4, J(i % 2 ? "さくら" : "毒子"));
            insert.bind(5, i % 5);
            insert.bind(
                6, J(i % 10 ? "\\h\\s[0]こんにちは\\e" : "\\h\\s[0]流れ\\w9星\\n流れ星\\e"));
            insert.exec();
        }
        transaction.commit();
    }
    {
        TArchive old(path);
        EXPECT_EQ(old.Count(), 5000);
        EXPECT_EQ(old.CountVote("m1", false)->votes, 2);
        try {
            old.CountMatches(ParseQuery(J("流れ星")));
            ADD_FAILURE();
        } catch (const EArchiveError& e) {
            EXPECT_EQ(e.what(),
                path + J(" は古い版のアーカイブなので検索できません。Velmoで一度開いてください"));
        }
        try {
            old.Store(TMessageList(), "s");
            TArchive::TBatch batch(old);
            batch.Add(Message("x", "x"), "s");
            ADD_FAILURE();
        } catch (const EArchiveError& e) {
            EXPECT_EQ(
                e.what(), path + J(" にはメッセージを保存できません: 古い版のアーカイブです"));
        }
    }
    SQLite::Database peek(NativePath(path), SQLite::OPEN_READONLY);
    EXPECT_EQ(peek.execAndGet("PRAGMA user_version").getInt(), 1);

    std::vector<std::pair<int64_t, int64_t>> progress;
    TArchive archive(path, &ShippedParser(),
        [&](int64_t done, int64_t total) { progress.emplace_back(done, total); });
    EXPECT_EQ(peek.execAndGet("PRAGMA user_version").getInt(), TArchive::kSchemaVersion);
    ASSERT_GE(progress.size(), 2u);
    EXPECT_EQ(progress.front(), std::make_pair(int64_t(0), int64_t(5000)));
    EXPECT_EQ(progress.back(), std::make_pair(int64_t(5000), int64_t(5000)));
    EXPECT_EQ(archive.CountMatches(ParseQuery(J("流れ星"))), 500);
    EXPECT_EQ(archive.CountMatches(ParseQuery(J("流れ星 ghost:毒子 votes>=1"))), 0);
    EXPECT_EQ(archive.CountMatches(ParseQuery(J("こんにちは ghost:さくら votes>=2"))), 1501);
    EXPECT_EQ(Found(archive, J("流れ星 before:2004/01/15")), std::vector<std::string>({ "m0" }));
    // Kept afterwards: indexed like the rest.
    TMessageList more;
    more.Add(Message("new", J("流れ星")));
    archive.Store(more, "s");
    EXPECT_EQ(archive.CountMatches(ParseQuery(J("流れ星"))), 501);
}

// An archive of the second version, whose index kept token positions: its index is made again
// from the normalised texts, with progress, and finds what it found before.
TEST(Search, UpgradeRebuildsTheIndexOfASecondVersionArchive)
{
    TempDir dir;
    const std::string path = dir.Sjis() + "archive.sqlite3";
    {
        TArchive archive(path, &ShippedParser());
        TMessageList list;
        for (int i = 0; i < 3000; ++i)
            list.Add(Message("m" + std::to_string(i),
                J(i % 3 ? "\\h\\s[0]こんにちは\\e" : "\\h\\s[0]流れ\\w9星\\n流れ星\\e")));
        archive.Store(list, "s");
    }
    {
        SQLite::Database db(NativePath(path), SQLite::OPEN_READWRITE);
        db.exec(R"SQL(
DROP TABLE message_text;
CREATE VIRTUAL TABLE message_text USING fts5(text, content = '', columnsize = 0);
DROP INDEX message_ghost;
CREATE INDEX message_ghost ON message (ghost_key, time);
DROP INDEX message_channel;
CREATE INDEX message_channel ON message (channel_key, time);
PRAGMA user_version = 2;
)SQL");
    }
    std::vector<std::pair<int64_t, int64_t>> progress;
    TArchive archive(path, &ShippedParser(),
        [&](int64_t done, int64_t total) { progress.emplace_back(done, total); });
    SQLite::Database peek(NativePath(path), SQLite::OPEN_READONLY);
    EXPECT_EQ(peek.execAndGet("PRAGMA user_version").getInt(), TArchive::kSchemaVersion);
    ASSERT_GE(progress.size(), 2u);
    EXPECT_EQ(progress.front(), std::make_pair(int64_t(0), int64_t(3000)));
    EXPECT_EQ(progress.back(), std::make_pair(int64_t(3000), int64_t(3000)));
    const struct
    {
        const char* query;
        int64_t hits;
    } cases[] = {
        { "流れ星", 1000 },
        { "流れ", 1000 },
        { "こんにちは", 2000 },
        { "れ星", 1000 },
        { "さくら", 3000 },
        { "雑談 -流れ星", 2000 },
        { "流れ星 | こんにちは", 3000 },
    };
    for (const auto& c : cases)
        EXPECT_EQ(archive.CountMatches(ParseQuery(J(c.query))), c.hits) << c.query;
}

TEST(Search, WithoutTheTokenizerNothingIsKept)
{
    TempDir dir;
    TArchive archive(dir.Sjis() + "archive.sqlite3");
    TMessageList list;
    list.Add(Message("x", "x"));
    try {
        archive.Store(list, "s");
        ADD_FAILURE();
    } catch (const EArchiveError& e) {
        EXPECT_EQ(e.what(),
            dir.Sjis() + "archive.sqlite3"
                + J(" にはメッセージを保存できません: 本文を読むタグの定義がありません"));
    }
    EXPECT_EQ(archive.CountMatches(ParseQuery("")), 0);
}

} // namespace
