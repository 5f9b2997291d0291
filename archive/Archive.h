#pragma once

#include "platform/DateTime.h"
#include "platform/Errors.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>

namespace SQLite {
class Database;
class Statement;
class Transaction;
}

class TBottleMessage;
class TMessageList;
class TSsParser;
struct TQuery;

// Something the archive cannot do, in words for the user; the text names the archive's file.
class EArchiveError : public EVelmoError
{
public:
    using EVelmoError::EVelmoError;
};

// What keeping a run of messages did.
struct TArchiveCounts
{
    int64_t added = 0; // new rows
    int64_t known = 0; // messages already kept: their counts were brought up to date
};

// A message's vote and agreement counts.
struct TVoteCounts
{
    int32_t votes = 0;
    int32_t agrees = 0;
};

// The archive of every message Velmo has seen: one SQLite file (WAL journal), one row a message.
// A message with a MID is keyed by its bottle server (as the setting writes it) and its MID; one
// without (Sent.log) by a hash of its time, channel, ghost and script. Seeing a message again
// brings its connection, vote and agree counts up to date and adds no row. Every text is kept byte
// for byte as the log gave it (Shift_JIS), and the time as the TDateTime it was read as, so a
// message read back renders exactly as it did.
//
// The file is created when it does not exist and is never created or written over a file that
// is not an archive of ours (its application id), is of a newer schema, or is damaged: each is an
// EArchiveError naming the file, as is a file that cannot be written (read-only, a full disk).
// A schema of an older version is upgraded in place, in one transaction.
//
// For search every row also keeps its talk (the script as a person reads it), ghost name and
// channel normalised (NFKC, case folded, UTF-8), and a contentless FTS5 table indexes their
// two-character tokens by message id, without positions: a word of three or more characters is
// looked up by its tokens and then found in the row's normalised texts. Both are written with
// the row and never change after: seeing a message again changes only its counts. Version 3
// dropped the index's positions and added the counts to the name indexes; opening a version 2
// archive makes its indexes again (with progress) from the normalised texts it keeps.
//
// One connection, used from one thread at a time. Another process (a sync, an import) may use the
// same file at once: a writer waits up to 10 s for the other's transaction.
class TArchive
{
public:
    static constexpr int kSchemaVersion = 3;

    // How far building the search index of an older archive has come, in messages.
    using TUpgradeProgress = std::function<void(int64_t done, int64_t total)>;

    // path is program text (Shift_JIS). talk: a tokenizer with the program's tag and meta
    // patterns, which the archive copies to take the talk out of scripts; without one the archive
    // reads, searches and counts votes but keeps no message (Store and TBatch::Add throw
    // EArchiveError), and an archive of an older version is opened as it is, not upgraded (and
    // cannot be searched). progress is called while an upgrade builds the search index.
    explicit TArchive(const std::string& path, const TSsParser* talk = nullptr,
        const TUpgradeProgress& progress = {});
    ~TArchive();
    TArchive(const TArchive&) = delete;
    TArchive& operator=(const TArchive&) = delete;

    const std::string& Path() const { return path_; }

    // Keeps the messages in one transaction. server names the bottle server the messages with a
    // MID came from.
    TArchiveCounts Store(const TMessageList& messages, const std::string& server);

    // A transaction for a long run (an import, a sync step): messages added one by one are kept
    // together at Commit; a batch destroyed without Commit keeps none of them.
    class TBatch
    {
    public:
        explicit TBatch(TArchive& archive);
        ~TBatch();
        TBatch(const TBatch&) = delete;
        TBatch& operator=(const TBatch&) = delete;
        // True when the message was new, false when it was kept already.
        bool Add(const TBottleMessage& message, const std::string& server);
        // Adds a run of messages in order, as Add would one by one; a long run has its search
        // texts made on a second thread while the rows are written.
        TArchiveCounts Add(std::span<const TBottleMessage> messages, const std::string& server);
        void Commit();

    private:
        TArchive& archive_;
        std::unique_ptr<SQLite::Transaction> transaction_;
    };

    // After a long run of TBatch additions (an import): merges the pieces the text index was
    // written in, as later writes would bit by bit, so that searches look in few places.
    void MergeTextIndex();

    // The messages whose time lies in [from, to), in time order (then in the order they were
    // first kept), one by one; the visitor returns false to stop.
    void ForEach(TDateTime from, TDateTime to,
        const std::function<bool(const TBottleMessage&)>& visit) const;
    // The same, appended to the list.
    void Recall(TDateTime from, TDateTime to, TMessageList& list) const;
    // The time of the newest message kept from the server (of those earlier than `before`).
    std::optional<TDateTime> Newest(
        const std::string& server, std::optional<TDateTime> before = std::nullopt) const;
    int64_t Count() const;
    // One more vote (or agreement) for the messages kept under this MID from any server, in one
    // transaction; their counts afterwards (the latest kept's), or nothing when none has the MID.
    std::optional<TVoteCounts> CountVote(const std::string& mid, bool agree);

    // Search. The messages a query finds, in time order (oldest first), one by one; the visitor
    // returns false to stop. Never holds the result set in memory. Throws EArchiveError.
    void Search(const TQuery& query, const std::function<bool(const TBottleMessage&)>& visit) const;
    // How many messages the query finds.
    int64_t CountMatches(const TQuery& query) const;

private:
    void Open(const TUpgradeProgress& progress);
    void Create(const std::string& native);
    void CreateSchema();
    void Upgrade(int from, const TUpgradeProgress& progress);
    void BuildSearchText(const TUpgradeProgress& progress);
    void CreateTextIndex();
    // Makes the text index again from the normalised texts the rows keep.
    void RebuildTextIndex(const TUpgradeProgress& progress);
    // A message's search texts (talk, ghost, channel) and the text index's tokens of them; the
    // buffers are kept from one message to the next.
    struct TSearchEntry
    {
        std::array<std::string, 3> texts;
        std::string joined;
        std::string tokens;
    };
    // The normalised form of a ghost or channel name.
    const std::string& NameKey(const std::string& name);
    // The normalised texts of a message: talk (by the given tokenizer), ghost, channel.
    std::array<std::string, 3> SearchTexts(const TBottleMessage& message, TSsParser& parser);
    void MakeSearchEntry(const TBottleMessage& message, TSsParser& parser, TSearchEntry& entry);
    void AddToIndex(int64_t id, const std::string& tokens);
    // Search needs the columns of the current schema.
    void RefuseOldSearch() const;
    void Visit(
        SQLite::Statement& select, const std::function<bool(const TBottleMessage&)>& visit) const;
    int64_t ServerId(const std::string& server); // adds the server when it is new
    std::optional<int64_t> FindServer(const std::string& server) const;
    bool Add(const TBottleMessage& message, const std::string& server);
    TArchiveCounts AddAll(std::span<const TBottleMessage> messages, const std::string& server);
    bool Insert(
        const TBottleMessage& message, const std::string& server, const TSearchEntry& entry);
    void RefuseNoTalk() const;
    void SetTextIndexMerging(std::pair<int, int> automergeAndCrisis);
    // Runs work, turning SQLite's failures into EArchiveError texts that name the file.
    template <typename Work> auto Guard(Work&& work) const -> decltype(work());
    [[noreturn]] void Fail(const std::exception& e) const;

    std::string path_;
    std::unique_ptr<TSsParser> talk_; // null: no message is kept
    std::unique_ptr<TSsParser> aside_; // talk_'s twin for AddAll's second thread
    int version_ = kSchemaVersion; // of the open file: older only when opened without talk_
    std::unique_ptr<SQLite::Database> db_;
    std::unique_ptr<SQLite::Statement> insert_;
    std::unique_ptr<SQLite::Statement> index_;
    std::unique_ptr<SQLite::Statement> update_;
    std::unordered_map<std::string, std::string> nameKeys_; // names to NameKey
    TSearchEntry entry_; // Add's buffers
    std::string lastServer_; // the server whose id serverId_ holds
    int64_t serverId_ = 0;
};
