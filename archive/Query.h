#pragma once

#include "platform/DateTime.h"
#include "platform/Errors.h"

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

// A search query that cannot be read. The text says where, counting characters from 1 (a
// double-byte character counts once): "4文字目: 閉じ括弧がありません".
class EQueryError : public EVelmoError
{
public:
    // position 0: the fault is the query as a whole (too long), not one place in it.
    EQueryError(int position, const std::string& message);
    int Position() const { return position_; }

private:
    int position_;
};

struct TQueryNode;

// Every item must match. No items at all is the empty query: it matches every message.
struct TQueryAnd
{
    std::vector<TQueryNode> items;
};

// At least one item must match; always two or more items.
struct TQueryOr
{
    std::vector<TQueryNode> items;
};

// The item must not match. Never directly holds another negation (two cancel out).
struct TQueryNot
{
    explicit TQueryNot(TQueryNode item);
    TQueryNot(const TQueryNot& other);
    TQueryNot(TQueryNot&&) noexcept;
    TQueryNot& operator=(const TQueryNot& other);
    TQueryNot& operator=(TQueryNot&&) noexcept;
    ~TQueryNot();

    std::unique_ptr<TQueryNode> item; // never null
};

// A word or a "quoted phrase" that must occur in the talk, the ghost name or the channel. Both
// are plain substrings; phrase only remembers how it was written. Never empty.
struct TQueryText
{
    std::string value;
    bool phrase = false;
};

// ghost:名前 and ch:名前: the whole name must equal value. Never empty.
struct TQueryGhost
{
    std::string name;
};
struct TQueryChannel
{
    std::string name;
};

// after: the message was written at this moment or later. A date alone is its midnight, so
// after:2004/06/01 keeps the whole of that day.
struct TQueryAfter
{
    TDateTime moment = 0;
};
// before: the message was written strictly earlier, so before:2004/06/02 keeps nothing of
// that day.
struct TQueryBefore
{
    TDateTime moment = 0;
};

enum class TQueryField { Votes, Agrees };
enum class TQueryCompare { Less, LessOrEqual, Equal, GreaterOrEqual, Greater };

// votes>=3, agrees<1: value is 0 or more.
// How a comparison is written: "<", "<=", "=", ">=", ">" (the same in SQL).
const char* CompareSign(TQueryCompare compare);

struct TQueryCount
{
    TQueryField field = TQueryField::Votes;
    TQueryCompare compare = TQueryCompare::Equal;
    int32_t value = 0;
};

struct TQueryNode
{
    std::variant<TQueryAnd, TQueryOr, TQueryNot, TQueryText, TQueryGhost, TQueryChannel,
        TQueryAfter, TQueryBefore, TQueryCount>
        value;
};

// One query as plain data, for turning into SQL. Groups are flattened (an And never directly
// holds an And, an Or never an Or) and a group of one item is that item. All texts are program
// text (Shift_JIS) exactly as typed; normalising them for matching is left to the search.
struct TQuery
{
    TQueryNode root;
    // The empty query: matches every message (so that `velmo export "" ...` exports the whole
    // archive).
    bool MatchesEverything() const;
};

// The longest query read and the deepest nesting of parentheses allowed: both keep the parser,
// the tree and the SQL made from it small, whatever is typed or pasted.
inline constexpr int kMaxQueryChars = 4096;
inline constexpr int kMaxQueryDepth = 64;

// Reads the filter language of the search field, the command line and export:
//
//   流れ星 "お茶 を"        words and "quoted phrases", all of which must occur; inside quotes a
//                           doubled "" is one quote character
//   a | b   a OR b          either (OR only in capitals, standing alone)
//   -a   -(a b)             not
//   ( )                     grouping; binding from tightest: -, then AND, then |
//   ghost:さくら ch:"雑 談"  the whole ghost or channel name
//   after:2004/06/01 before:"2004/06/02 09:00"
//                           from that moment on, inclusive / before it, exclusive
//   votes>=3 agrees<1       also >, <=, =
//
// A word is a run of characters other than blanks, parentheses, | and ". A - negates only at the
// start of an item; inside a word (co-op) it is part of the word. A filter is written without
// blanks (votes >= 3 is three words); its name (ghost, ch, after, before, votes, agrees) may be in
// any case. Values with blanks, parentheses, | or " are quoted. Blanks are spaces, control
// characters (TAB, line breaks) and the full-width space. For those typing with an input method,
// the full-width （ ） ｜ － ： ＜ ＝ ＞ and ≦ ≧ act like their ASCII forms, and full-width digits,
// ／ and ： are read in numbers, dates and times; full-width letters and quotation marks are
// ordinary text.
//
// Throws EQueryError for a query that cannot be read (an unclosed parenthesis or quote, an
// operator with nothing to act on, a bad date or number, a character that is not Shift_JIS, a
// query longer or deeper than the limits above). A query of blanks alone is the empty query.
TQuery ParseQuery(const std::string& text);

// The query in the canonical form of the language (filter names in lower case, one blank between
// items, " | " between alternatives, parentheses only where needed, dates as yyyy/mm/dd with the
// time quoted when there is one). Reads back with ParseQuery to the same query.
std::string DescribeQuery(const TQuery& query);
