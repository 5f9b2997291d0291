#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

struct TQuery;

// A search query as SQL over the archive's message table and its text index, every value bound
// in order (never written into the SQL text). A word of two or more characters (once normalised)
// is looked up in the index, the words a group needs together in one lookup; a longer word's
// hits are then tested on their rows, since the index knows only which tokens a message holds;
// a word of one character is a scan of the normalised texts; the filters are comparisons on
// their columns.
//
// The tables it names: message (talk, ghost_key, channel_key: normalised UTF-8; time, votes,
// agrees) and the contentless FTS5 table kTextTable (rowid = message id, one column of the
// Bigrams of talk, ghost and channel, separated).
struct TQuerySql
{
    using TValue = std::variant<int64_t, double, std::string>;

    // The condition on a message row ("1" for the query that matches every message).
    std::string where;
    std::vector<TValue> values;
    // The index expression that every hit must match (the whole query's, or that of the words
    // it needs together at the top), or empty: how many rows match it tells how to list the hits.
    std::string leading;
    // True when the whole query is that index expression and its hits are exactly the query's
    // (no word of three or more characters): they can be counted in the index.
    bool indexOnly = false;
};

inline constexpr const char* kTextTable = "message_text";

// probeIndex: each index lookup is written as a test of the row ("+id IN (...)") rather than a
// way to find rows by id, so that the planner walks an index of the message table (in time
// order) and tests each row against the index's hits; best when the hits are many.
TQuerySql QueryToSql(const TQuery& query, bool probeIndex);

// A query word (program text) as the index and the scan see it: normalised, and never holding a
// separator (a line break in a quoted phrase is a blank), so that no word spans a tag.
std::string SearchWord(const std::string& sjis);
