#include "archive/Archive.h"

#include "archive/Query.h"
#include "archive/QuerySql.h"
#include "archive/SearchText.h"
#include "log/BottleMessage.h"
#include "log/MessageList.h"
#include "platform/Encoding.h"
#include "platform/FileIO.h"
#include "render/SsParser.h"

#include <SQLiteCpp/SQLiteCpp.h>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <future>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// "Vlmo": marks a SQLite file as an archive of ours, so that no other database is written to.
constexpr int kApplicationId = 0x566C6D6F;
constexpr int kBusyTimeoutMs = 10000;
// Messages with no MID are keyed under this server id by a hash of their texts.
constexpr int64_t kNoServer = 0;
// What Visit reads.
constexpr const char* kMessageColumns
    = "SELECT mid, time, channel, ghost, connections, votes, agrees, script, server FROM message";

// The first schema. Later versions add their steps to Upgrade.
constexpr const char* kSchema = R"SQL(
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
)SQL";

// Version 2: the normalised search texts of each row, filled by BuildSearchText before the
// indexes over them are made (kNameIndexes, kCountIndexes, and the text index's table).
constexpr const char* kSearchColumns = R"SQL(
ALTER TABLE message ADD COLUMN talk TEXT NOT NULL DEFAULT '';
ALTER TABLE message ADD COLUMN ghost_key TEXT NOT NULL DEFAULT '';
ALTER TABLE message ADD COLUMN channel_key TEXT NOT NULL DEFAULT '';
)SQL";
// The filters' columns; a name with the time, so that a ghost's messages come in time order, and
// with the counts, so that a filter of name, dates and counts is answered from the index alone.
constexpr const char* kNameIndexes = R"SQL(
CREATE INDEX message_ghost ON message (ghost_key, time, votes, agrees);
CREATE INDEX message_channel ON message (channel_key, time, votes, agrees);
)SQL";
constexpr const char* kCountIndexes = R"SQL(
CREATE INDEX message_votes ON message (votes);
CREATE INDEX message_agrees ON message (agrees);
)SQL";

// The text index's merging of its pieces (segments) as each write does a little of it, and as a
// long run of writes does none of it until a level holds 64 pieces (MergeTextIndex merges them
// after). FTS5's own defaults are the first.
constexpr std::pair<int, int> kSteadyMerging { 4, 16 };
constexpr std::pair<int, int> kDeferredMerging { 0, 64 };

// Above this many rows of the text index a search walks the messages in time order and tests
// each against the index's hits; up to it, it looks the hits up and sorts them.
constexpr int64_t kFewHits = 5000;
// How many rows the upgrade builds between two progress calls.
constexpr int64_t kProgressEvery = 2000;

// Two 64-bit FNV-1a sums with different starts: a key for a message without a MID that a
// million messages will not share by chance.
std::string TextKey(const TBottleMessage& m)
{
    uint64_t a = 0xcbf29ce484222325ULL;
    uint64_t b = 0x84222325cbf29ce4ULL;
    const auto feed = [&](std::string_view text) {
        for (const char c : text) {
            a = (a ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
            b = (b ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
        }
        // A separator that no text can fake: its length.
        const uint64_t n = text.size();
        a = (a ^ n) * 0x100000001b3ULL;
        b = (b ^ (n << 1)) * 0x100000001b3ULL;
    };
    char time[sizeof(double)];
    std::memcpy(time, &m.LogTime, sizeof time);
    feed(std::string_view(time, sizeof time));
    feed(m.Channel);
    feed(m.Ghost);
    feed(m.Script);
    std::string key(16, '\0');
    std::memcpy(key.data(), &a, 8);
    std::memcpy(key.data() + 8, &b, 8);
    return key;
}

void BindBlob(SQLite::Statement& statement, int index, const std::string& text)
{
    statement.bindNoCopy(
        index, static_cast<const void*>(text.data()), static_cast<int>(text.size()));
}

std::string Blob(const SQLite::Column& column)
{
    return std::string(static_cast<const char*>(column.getBlob()), column.getBytes());
}

// The text index's tokens of a message's three search texts, in one column; a separator between
// them keeps any token from spanning two.
void IndexTokens(const std::array<std::string, 3>& texts, std::string& joined, std::string& tokens)
{
    joined.assign(texts[0]).append(1, '\n').append(texts[1]).append(1, '\n').append(texts[2]);
    Bigrams(joined, tokens);
}

void Bind(SQLite::Statement& statement, const TQuerySql& sql)
{
    int index = 0;
    for (const TQuerySql::TValue& value : sql.values)
        std::visit([&](const auto& v) { statement.bind(++index, v); }, value);
}

// A tokenizer of the archive's own with the patterns given: its tokens are replaced on every
// message kept, so it is never shared.
std::unique_ptr<TSsParser> TalkReader(const TSsParser& patterns)
{
    auto reader = std::make_unique<TSsParser>();
    reader->SetTagPattern(patterns.TagPattern());
    reader->SetMetaPattern(patterns.MetaPattern());
    return reader;
}

} // namespace

TArchive::TArchive(const std::string& path, const TSsParser* talk, const TUpgradeProgress& progress)
    : path_(path)
{
    if (talk)
        talk_ = TalkReader(*talk);
    Guard([&] { Open(progress); });
}

TArchive::~TArchive() = default;

[[noreturn]] void TArchive::Fail(const std::exception& e) const
{
    if (dynamic_cast<const EVelmoError*>(&e))
        throw;
    const auto* sqlite = dynamic_cast<const SQLite::Exception*>(&e);
    const int code = sqlite ? (sqlite->getErrorCode() & 0xFF) : SQLITE_ERROR;
    switch (code) {
    case SQLITE_NOTADB:
        throw EArchiveError(path_ + Sjis(" はVelmoのアーカイブではありません"));
    case SQLITE_CORRUPT:
        throw EArchiveError(path_ + Sjis(" は壊れています: ") + e.what());
    case SQLITE_FULL:
        throw EArchiveError(path_ + Sjis(" に書き込めません: ディスクがいっぱいです"));
    case SQLITE_READONLY:
    case SQLITE_PERM:
        throw EArchiveError(path_ + Sjis(" に書き込めません: 読み取り専用です"));
    case SQLITE_CANTOPEN:
        throw EArchiveError(path_ + Sjis(" を開けません: ") + e.what());
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        throw EArchiveError(path_ + Sjis(" はほかのVelmoが使っています: ") + e.what());
    default:
        throw EArchiveError(path_ + Sjis(" を使えません: ") + e.what());
    }
}

template <typename Work> auto TArchive::Guard(Work&& work) const -> decltype(work())
{
    try {
        return work();
    } catch (const std::exception& e) {
        Fail(e);
    }
}

void TArchive::Open(const TUpgradeProgress& progress)
{
    const std::string native = NativePath(path_);
    struct stat st
    { };
    const bool exists = ::lstat(native.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode))
        throw EArchiveError(path_ + Sjis(" はVelmoのアーカイブではありません"));
    if (!exists)
        Create(native);
    db_ = std::make_unique<SQLite::Database>(
        native, SQLite::OPEN_READWRITE | SQLite::OPEN_NOFOLLOW, kBusyTimeoutMs);
    // 32 MiB of pages (the default is 2): keeping a message touches the text index's pages and
    // four indexes besides the table.
    db_->exec("PRAGMA cache_size = -32768");
    const int application = db_->execAndGet("PRAGMA application_id").getInt();
    const int version = db_->execAndGet("PRAGMA user_version").getInt();
    if (application != kApplicationId) {
        // An empty file, another program's database: never written to.
        throw EArchiveError(path_ + Sjis(" はVelmoのアーカイブではありません"));
    } else if (version > kSchemaVersion) {
        throw EArchiveError(path_ + Sjis(" は新しい版のVelmoで作られたので開けません (版 ")
            + std::to_string(version) + ")");
    } else if (version < 1) {
        throw EArchiveError(path_ + Sjis(" はVelmoのアーカイブではありません"));
    } else if (version < kSchemaVersion && talk_) {
        Upgrade(version, progress);
    } else {
        version_ = version;
    }
    db_->exec("PRAGMA journal_mode = WAL");
    // With the WAL journal a committed transaction survives the process being killed; NORMAL
    // leaves only a power cut able to lose the last ones.
    db_->exec("PRAGMA synchronous = NORMAL");
    if (!talk_ || version_ != kSchemaVersion)
        return;
    insert_ = std::make_unique<SQLite::Statement>(*db_,
        "INSERT OR IGNORE INTO message (server, mid, time, channel, ghost, connections, votes, "
        "agrees, script, talk, ghost_key, channel_key) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
        "?)");
    index_ = std::make_unique<SQLite::Statement>(
        *db_, std::string("INSERT INTO ") + kTextTable + " (rowid, text) VALUES (?, ?)");
    update_ = std::make_unique<SQLite::Statement>(*db_,
        "UPDATE message SET connections = ?3, votes = ?4, agrees = ?5 WHERE server = ?1 AND mid = "
        "?2");
}

void TArchive::Create(const std::string& native)
{
    const size_t slash = path_.rfind('/');
    if (slash != std::string::npos && slash > 0)
        CreateFolders(path_.substr(0, slash + 1));
    // A new archive is made whole under a name of its own and then linked into place, so that a
    // program killed while making it never leaves a file that is not an archive, and a file that
    // appeared meanwhile is never replaced.
    const std::string creating = native + ".creating";
    for (const char* suffix : { "", "-journal", "-wal", "-shm" })
        ::unlink((creating + suffix).c_str());
    db_ = std::make_unique<SQLite::Database>(creating,
        SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE | SQLite::OPEN_NOFOLLOW, kBusyTimeoutMs);
    CreateSchema();
    index_.reset(); // statements first: a connection with one still open cannot close
    db_.reset();
    const bool linked = ::link(creating.c_str(), native.c_str()) == 0 || errno == EEXIST;
    const int error = errno;
    ::unlink(creating.c_str());
    if (!linked)
        throw EArchiveError(path_ + Sjis(" を作れません: ") + std::strerror(error));
}

void TArchive::CreateSchema()
{
    SQLite::Transaction transaction(*db_);
    db_->exec(kSchema);
    db_->exec(kSearchColumns);
    BuildSearchText({});
    db_->exec("PRAGMA application_id = " + std::to_string(kApplicationId));
    db_->exec("PRAGMA user_version = " + std::to_string(kSchemaVersion));
    transaction.commit();
}

void TArchive::Upgrade(int from, const TUpgradeProgress& progress)
{
    // Each later schema adds a step from its predecessor here; all run in one transaction, so a
    // run that is stopped leaves the file as it was and the next open starts over.
    SQLite::Transaction transaction(*db_);
    if (from < 2) {
        db_->exec(kSearchColumns);
        BuildSearchText(progress);
    } else if (from < 3) {
        RebuildTextIndex(progress);
        db_->exec("DROP INDEX message_ghost; DROP INDEX message_channel;");
        db_->exec(kNameIndexes);
    }
    db_->exec("PRAGMA user_version = " + std::to_string(kSchemaVersion));
    transaction.commit();
}

void TArchive::CreateTextIndex()
{
    db_->exec(std::string("CREATE VIRTUAL TABLE ") + kTextTable + " USING fts5(text, content = '', "
        + kBigramTableOptions + ")");
    index_ = std::make_unique<SQLite::Statement>(
        *db_, std::string("INSERT INTO ") + kTextTable + " (rowid, text) VALUES (?, ?)");
}

void TArchive::RebuildTextIndex(const TUpgradeProgress& progress)
{
    // The normalised texts are kept in the rows: only the index is made again, from them.
    db_->exec(std::string("DROP TABLE ") + kTextTable);
    CreateTextIndex();
    const int64_t total = db_->execAndGet("SELECT count(*) FROM message").getInt64();
    if (progress)
        progress(0, total);
    SQLite::Statement select(
        *db_, "SELECT id, talk, ghost_key, channel_key FROM message ORDER BY id");
    int64_t done = 0;
    while (select.executeStep()) {
        for (int i = 0; i < 3; ++i)
            entry_.texts[static_cast<size_t>(i)] = select.getColumn(i + 1).getString();
        IndexTokens(entry_.texts, entry_.joined, entry_.tokens);
        AddToIndex(select.getColumn(0).getInt64(), entry_.tokens);
        if (progress && ++done % kProgressEvery == 0)
            progress(done, total);
    }
    if (progress && done % kProgressEvery != 0)
        progress(done, total);
}

void TArchive::BuildSearchText(const TUpgradeProgress& progress)
{
    CreateTextIndex();
    const int64_t total = db_->execAndGet("SELECT count(*) FROM message").getInt64();
    if (progress)
        progress(0, total);
    SQLite::Statement select(*db_, "SELECT id, channel, ghost, script FROM message ORDER BY id");
    SQLite::Statement update(
        *db_, "UPDATE message SET talk = ?, ghost_key = ?, channel_key = ? WHERE id = ?");
    int64_t done = 0;
    TBottleMessage m;
    while (select.executeStep()) {
        const int64_t id = select.getColumn(0).getInt64();
        m.Channel = Blob(select.getColumn(1));
        m.Ghost = Blob(select.getColumn(2));
        m.Script = Blob(select.getColumn(3));
        MakeSearchEntry(m, *talk_, entry_);
        update.reset();
        for (int i = 0; i < 3; ++i)
            update.bind(i + 1, entry_.texts[static_cast<size_t>(i)]);
        update.bind(4, id);
        update.exec();
        AddToIndex(id, entry_.tokens);
        if (progress && ++done % kProgressEvery == 0)
            progress(done, total);
    }
    // Made after the rows are filled: one sort each instead of an update per row.
    db_->exec(kNameIndexes);
    db_->exec(kCountIndexes);
    if (progress && done % kProgressEvery != 0)
        progress(done, total);
}

const std::string& TArchive::NameKey(const std::string& name)
{
    // A few ghosts and channels write nearly every message: each name is normalised once.
    constexpr size_t kMostNames = 4096;
    const auto known = nameKeys_.find(name);
    if (known != nameKeys_.end())
        return known->second;
    if (nameKeys_.size() >= kMostNames)
        nameKeys_.clear();
    return nameKeys_.emplace(name, NormaliseForSearch(name)).first->second;
}

std::array<std::string, 3> TArchive::SearchTexts(const TBottleMessage& m, TSsParser& parser)
{
    std::string talk;
    try {
        talk = TalkText(m.Script, parser);
    } catch (const EVelmoError&) {
        // A pattern the tokenizer cannot use: the message is still kept, and found by all of its
        // script rather than by none of it.
        talk = m.Script;
    }
    std::array<std::string, 3> texts;
    texts[0] = NormaliseForSearch(talk);
    texts[1] = NameKey(m.Ghost); // copied before the next name can empty the cache
    texts[2] = NameKey(m.Channel);
    return texts;
}

void TArchive::MakeSearchEntry(const TBottleMessage& m, TSsParser& parser, TSearchEntry& entry)
{
    entry.texts = SearchTexts(m, parser);
    IndexTokens(entry.texts, entry.joined, entry.tokens);
}

void TArchive::AddToIndex(int64_t id, const std::string& tokens)
{
    index_->reset();
    index_->bind(1, id);
    index_->bindNoCopy(2, tokens);
    index_->exec();
}

int64_t TArchive::ServerId(const std::string& server)
{
    if (server == lastServer_ && serverId_ != 0)
        return serverId_;
    std::optional<int64_t> id = FindServer(server);
    if (!id) {
        SQLite::Statement add(*db_, "INSERT INTO server (name) VALUES (?)");
        BindBlob(add, 1, server);
        add.exec();
        id = db_->getLastInsertRowid();
    }
    lastServer_ = server;
    serverId_ = *id;
    return *id;
}

std::optional<int64_t> TArchive::FindServer(const std::string& server) const
{
    SQLite::Statement find(*db_, "SELECT id FROM server WHERE name = ?");
    BindBlob(find, 1, server);
    if (!find.executeStep())
        return std::nullopt;
    return find.getColumn(0).getInt64();
}

void TArchive::RefuseNoTalk() const
{
    if (!insert_)
        throw EArchiveError(path_ + Sjis(" にはメッセージを保存できません: ")
            + Sjis(version_ == kSchemaVersion ? "本文を読むタグの定義がありません"
                                              : "古い版のアーカイブです"));
}

bool TArchive::Add(const TBottleMessage& m, const std::string& server)
{
    RefuseNoTalk();
    MakeSearchEntry(m, *talk_, entry_);
    return Insert(m, server, entry_);
}

TArchiveCounts TArchive::AddAll(std::span<const TBottleMessage> messages, const std::string& server)
{
    // Messages a thread prepares at a time: a second thread is worth starting only for a run
    // longer than this.
    constexpr size_t kChunk = 512;
    RefuseNoTalk();
    TArchiveCounts counts;
    const auto insert = [&](size_t first, const std::vector<TSearchEntry>& entries) {
        for (size_t i = first; i < std::min(messages.size(), first + kChunk); ++i)
            ++(Insert(messages[i], server, entries[i - first]) ? counts.added : counts.known);
    };
    if (messages.size() <= kChunk) {
        std::vector<TSearchEntry> entries(messages.size());
        for (size_t i = 0; i < messages.size(); ++i)
            MakeSearchEntry(messages[i], *talk_, entries[i]);
        insert(0, entries);
        return counts;
    }
    // The talk is taken out and normalised on a second thread, a chunk ahead of the rows
    // written here; SQLite stays on this thread. The second thread alone uses aside_ and the
    // name cache while it runs.
    if (!aside_)
        aside_ = TalkReader(*talk_);
    // Long runs come from an import: the index's pieces are merged once at its end rather than a
    // little at every step, about a fifth of the time of keeping a message. The settings change
    // inside the transaction, so a run cut short (rolled back) leaves the usual ones.
    SetTextIndexMerging(kDeferredMerging);
    try {
        std::vector<TSearchEntry> ready(kChunk);
        std::vector<TSearchEntry> next(kChunk);
        const auto prepare = [&](size_t first) {
            for (size_t i = first; i < std::min(messages.size(), first + kChunk); ++i)
                MakeSearchEntry(messages[i], *aside_, next[i - first]);
        };
        // Declared after the buffers: a failure here waits for the other thread before they go.
        std::future<void> pending = std::async(std::launch::async, prepare, 0);
        for (size_t first = 0; first < messages.size(); first += kChunk) {
            pending.get();
            ready.swap(next);
            if (first + kChunk < messages.size())
                pending = std::async(std::launch::async, prepare, first + kChunk);
            insert(first, ready);
        }
    } catch (...) {
        // For a caller that commits what was added before the failure; the failure is the one
        // to report, not a second one here.
        try {
            SetTextIndexMerging(kSteadyMerging);
        } catch (...) { }
        throw;
    }
    SetTextIndexMerging(kSteadyMerging);
    return counts;
}

void TArchive::SetTextIndexMerging(std::pair<int, int> automergeAndCrisis)
{
    SQLite::Statement set(*db_,
        std::string("INSERT INTO ") + kTextTable + " (" + kTextTable + ", rank) VALUES (?, ?)");
    for (const auto& [name, value] :
        { std::pair<const char*, int> { "automerge", automergeAndCrisis.first },
            std::pair<const char*, int> { "crisismerge", automergeAndCrisis.second } }) {
        set.reset();
        set.bind(1, name);
        set.bind(2, value);
        set.exec();
    }
}

void TArchive::MergeTextIndex()
{
    Guard([this] {
        if (version_ != kSchemaVersion)
            return;
        // Each step writes about this many pages; fewer than two changes: nothing was left to do.
        SQLite::Statement merge(*db_,
            std::string("INSERT INTO ") + kTextTable + " (" + kTextTable
                + ", rank) VALUES ('merge', 2000)");
        for (;;) {
            const int64_t before = sqlite3_total_changes64(db_->getHandle());
            merge.reset();
            merge.exec();
            if (sqlite3_total_changes64(db_->getHandle()) - before < 2)
                break;
        }
    });
}

bool TArchive::Insert(const TBottleMessage& m, const std::string& server, const TSearchEntry& entry)
{
    const bool keyed = !m.MID.empty();
    const int64_t serverId = keyed ? ServerId(server) : kNoServer;
    const std::string hashed = keyed ? std::string() : TextKey(m);
    const std::string& mid = keyed ? m.MID : hashed;
    insert_->reset();
    insert_->bind(1, static_cast<int64_t>(serverId));
    BindBlob(*insert_, 2, mid);
    insert_->bind(3, m.LogTime);
    BindBlob(*insert_, 4, m.Channel);
    BindBlob(*insert_, 5, m.Ghost);
    insert_->bind(6, m.Connections);
    insert_->bind(7, m.Votes);
    insert_->bind(8, m.Agrees);
    BindBlob(*insert_, 9, m.Script);
    for (int i = 0; i < 3; ++i)
        insert_->bindNoCopy(10 + i, entry.texts[static_cast<size_t>(i)]);
    if (insert_->exec() == 1) {
        AddToIndex(db_->getLastInsertRowid(), entry.tokens);
        return true;
    }
    update_->reset();
    update_->bind(1, static_cast<int64_t>(serverId));
    BindBlob(*update_, 2, mid);
    update_->bind(3, m.Connections);
    update_->bind(4, m.Votes);
    update_->bind(5, m.Agrees);
    update_->exec();
    return false;
}

TArchiveCounts TArchive::Store(const TMessageList& messages, const std::string& server)
{
    TArchiveCounts counts;
    TBatch batch(*this);
    Guard([&] {
        for (int32_t i = 0; i < messages.Count(); ++i)
            ++(batch.Add(messages.Items(i), server) ? counts.added : counts.known);
    });
    batch.Commit();
    return counts;
}

TArchive::TBatch::TBatch(TArchive& archive)
    : archive_(archive)
{
    archive_.Guard([this] { transaction_ = std::make_unique<SQLite::Transaction>(*archive_.db_); });
}

TArchive::TBatch::~TBatch()
{
    try {
        transaction_.reset(); // rolls back what was not committed
    } catch (...) {
        // Nothing may leave a destructor; SQLite rolls back an unfinished transaction anyway.
    }
}

bool TArchive::TBatch::Add(const TBottleMessage& message, const std::string& server)
{
    return archive_.Guard([&] { return archive_.Add(message, server); });
}

TArchiveCounts TArchive::TBatch::Add(
    std::span<const TBottleMessage> messages, const std::string& server)
{
    return archive_.Guard([&] { return archive_.AddAll(messages, server); });
}

void TArchive::TBatch::Commit()
{
    archive_.Guard([this] { transaction_->commit(); });
}

void TArchive::ForEach(
    TDateTime from, TDateTime to, const std::function<bool(const TBottleMessage&)>& visit) const
{
    Guard([&] {
        SQLite::Statement select(
            *db_, std::string(kMessageColumns) + " WHERE time >= ? AND time < ? ORDER BY time, id");
        select.bind(1, from);
        select.bind(2, to);
        Visit(select, visit);
    });
}

void TArchive::Visit(
    SQLite::Statement& select, const std::function<bool(const TBottleMessage&)>& visit) const
{
    TBottleMessage m;
    while (select.executeStep()) {
        m.MID = select.getColumn(8).getInt64() == kNoServer ? std::string()
                                                            : Blob(select.getColumn(0));
        m.LogTime = select.getColumn(1).getDouble();
        m.Channel = Blob(select.getColumn(2));
        m.Ghost = Blob(select.getColumn(3));
        m.Connections = select.getColumn(4).getInt();
        m.Votes = select.getColumn(5).getInt();
        m.Agrees = select.getColumn(6).getInt();
        m.Script = Blob(select.getColumn(7));
        if (!visit(m))
            return;
    }
}

void TArchive::Recall(TDateTime from, TDateTime to, TMessageList& list) const
{
    ForEach(from, to, [&](const TBottleMessage& m) {
        list.Add(m);
        return true;
    });
}

std::optional<TDateTime> TArchive::Newest(
    const std::string& server, std::optional<TDateTime> before) const
{
    return Guard([&]() -> std::optional<TDateTime> {
        const std::optional<int64_t> id = FindServer(server);
        if (!id)
            return std::nullopt;
        // Backwards along the time index from `before` to the server's first message ("+server"
        // keeps the planner off the (server, mid) key, along which it would visit every message
        // of the server: seconds for a million).
        SQLite::Statement select(*db_,
            "SELECT time FROM message WHERE +server = ? AND time < ? ORDER BY time DESC LIMIT 1");
        select.bind(1, *id);
        select.bind(2, before.value_or(HUGE_VAL));
        if (!select.executeStep())
            return std::nullopt;
        return select.getColumn(0).getDouble();
    });
}

int64_t TArchive::Count() const
{
    return Guard([this] { return db_->execAndGet("SELECT count(*) FROM message").getInt64(); });
}

std::optional<TVoteCounts> TArchive::CountVote(const std::string& mid, bool agree)
{
    return Guard([&]() -> std::optional<TVoteCounts> {
        // Only messages of a server have a MID ("IN" lets the (server, mid) key find them).
        constexpr const char* kKeyed = " WHERE server IN (SELECT id FROM server) AND mid = ?";
        SQLite::Transaction transaction(*db_);
        SQLite::Statement update(*db_,
            std::string(agree ? "UPDATE message SET agrees = agrees + 1"
                              : "UPDATE message SET votes = votes + 1")
                + kKeyed);
        BindBlob(update, 1, mid);
        if (update.exec() == 0)
            return std::nullopt;
        SQLite::Statement select(
            *db_, std::string("SELECT votes, agrees FROM message") + kKeyed + " ORDER BY id DESC");
        BindBlob(select, 1, mid);
        select.executeStep();
        const TVoteCounts counts { select.getColumn(0).getInt(), select.getColumn(1).getInt() };
        transaction.commit();
        return counts;
    });
}

void TArchive::RefuseOldSearch() const
{
    if (version_ != kSchemaVersion)
        throw EArchiveError(
            path_ + Sjis(" は古い版のアーカイブなので検索できません。Velmoで一度開いてください"));
}

void TArchive::Search(
    const TQuery& query, const std::function<bool(const TBottleMessage&)>& visit) const
{
    Guard([&] {
        RefuseOldSearch();
        // Many hits: walk the time index and test each row against the hits (materialised once),
        // which finds the first ones at once. Few: fetch them by id and sort them.
        bool many = false;
        const TQuerySql plain = QueryToSql(query, false);
        if (!plain.leading.empty()) {
            SQLite::Statement count(*db_,
                std::string("SELECT count(*) FROM (SELECT 1 FROM ") + kTextTable + " WHERE "
                    + kTextTable + " MATCH ? LIMIT " + std::to_string(kFewHits + 1) + ")");
            count.bind(1, plain.leading);
            count.executeStep();
            many = count.getColumn(0).getInt64() > kFewHits;
        }
        const TQuerySql sql = many ? QueryToSql(query, true) : plain;
        SQLite::Statement select(
            *db_, std::string(kMessageColumns) + " WHERE " + sql.where + " ORDER BY time, id");
        Bind(select, sql);
        Visit(select, visit);
    });
}

int64_t TArchive::CountMatches(const TQuery& query) const
{
    return Guard([&] {
        RefuseOldSearch();
        const TQuerySql sql = QueryToSql(query, false);
        // A query of words alone is counted in the index: one row there for each message.
        SQLite::Statement count(*db_,
            sql.indexOnly ? std::string("SELECT count(*) FROM ") + kTextTable + " WHERE "
                    + kTextTable + " MATCH ?"
                          : "SELECT count(*) FROM message WHERE " + sql.where);
        Bind(count, sql);
        count.executeStep();
        return count.getColumn(0).getInt64();
    });
}
