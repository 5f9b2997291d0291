#include "archive/QuerySql.h"

#include "archive/Query.h"
#include "archive/SearchText.h"

#include <algorithm>
#include <optional>

namespace {

// What the index answers of a node: the expression every hit matches, and whether its hits are
// exactly the node's (otherwise each must still be tested on the row).
struct TIndexed
{
    std::string expression;
    bool exact = true;
};

// The index expression of a node the index can narrow alone: a word of two or more characters,
// or an And or Or of such nodes (an And may also exclude some, as long as one item is found and
// each excluded one is exact: taking away the hits of an inexact one would lose messages).
std::optional<TIndexed> IndexExpression(const TQueryNode& node);

// "(a) AND (b) ... NOT (n) NOT (m)": FTS5's NOT takes what is on its left away from it.
std::optional<TIndexed> AndExpression(
    const std::vector<TIndexed>& found, const std::vector<std::string>& excluded)
{
    if (found.empty())
        return std::nullopt;
    TIndexed out { "(" + found.front().expression + ")", found.front().exact };
    for (size_t i = 1; i < found.size(); ++i) {
        out.expression = "(" + out.expression + " AND (" + found[i].expression + "))";
        out.exact = out.exact && found[i].exact;
    }
    for (const std::string& x : excluded)
        out.expression = "(" + out.expression + " NOT (" + x + "))";
    return out;
}

// Sorts the items of an And into those the index answers (found, or excluded when negated and
// exact) and the rest.
void SplitAnd(const TQueryAnd& all, std::vector<TIndexed>& found,
    std::vector<std::string>& excluded, std::vector<const TQueryNode*>& rest)
{
    for (const TQueryNode& item : all.items) {
        const auto* negated = std::get_if<TQueryNot>(&item.value);
        std::optional<TIndexed> indexed = IndexExpression(negated ? *negated->item : item);
        if (!indexed || (negated && !indexed->exact))
            rest.push_back(&item);
        else if (negated)
            excluded.push_back(std::move(indexed->expression));
        else
            found.push_back(std::move(*indexed));
    }
}

std::optional<TIndexed> IndexExpression(const TQueryNode& node)
{
    if (const auto* text = std::get_if<TQueryText>(&node.value)) {
        TBigramQuery query = QueryBigrams(SearchWord(text->value));
        if (query.match.empty())
            return std::nullopt;
        return TIndexed { std::move(query.match), query.exact };
    }
    if (const auto* any = std::get_if<TQueryOr>(&node.value)) {
        TIndexed out;
        for (const TQueryNode& item : any->items) {
            const std::optional<TIndexed> indexed = IndexExpression(item);
            if (!indexed)
                return std::nullopt;
            out.expression += (out.expression.empty() ? "(" : " OR (") + indexed->expression + ")";
            out.exact = out.exact && indexed->exact;
        }
        return out;
    }
    if (const auto* all = std::get_if<TQueryAnd>(&node.value)) {
        std::vector<TIndexed> found;
        std::vector<std::string> excluded;
        std::vector<const TQueryNode*> rest;
        SplitAnd(*all, found, excluded, rest);
        if (!rest.empty())
            return std::nullopt;
        return AndExpression(found, excluded);
    }
    return std::nullopt;
}

class TBuilder
{
public:
    TBuilder(TQuerySql& out, bool probe)
        : out_(out)
        , probe_(probe)
    { }

    // The condition for a node; top: the node is the whole query.
    std::string Condition(const TQueryNode& node, bool top)
    {
        if (scan_)
            return std::visit([&](const auto& item) { return Of(item, false); }, node.value);
        if (std::optional<TIndexed> indexed = IndexExpression(node)) {
            if (top) {
                out_.leading = indexed->expression;
                out_.indexOnly = indexed->exact;
            }
            return Lookup(std::move(*indexed), node);
        }
        return std::visit([&](const auto& item) { return Of(item, top); }, node.value);
    }

private:
    // The index's hits, each tested on the row when they may be more than the node's.
    std::string Lookup(TIndexed indexed, const TQueryNode& node)
    {
        out_.values.emplace_back(std::move(indexed.expression));
        std::string lookup = std::string(probe_ ? "+id" : "id") + " IN (SELECT rowid FROM "
            + kTextTable + " WHERE " + kTextTable + " MATCH ?)";
        if (indexed.exact)
            return lookup;
        scan_ = true;
        lookup = "(" + lookup + " AND " + Condition(node, false) + ")";
        scan_ = false;
        return lookup;
    }

    std::string Of(const TQueryAnd& all, bool top)
    {
        if (all.items.empty())
            return "1";
        std::vector<std::string> parts;
        if (scan_) {
            for (const TQueryNode& item : all.items)
                parts.push_back(Condition(item, false));
            return Join(parts, " AND ");
        }
        std::vector<TIndexed> found;
        std::vector<std::string> excluded;
        std::vector<const TQueryNode*> rest;
        SplitAnd(all, found, excluded, rest);
        if (std::optional<TIndexed> indexed = AndExpression(found, excluded)) {
            if (top)
                out_.leading = indexed->expression;
            // Only the found and excluded items: the rest are tested below.
            TQueryNode indexedItems { TQueryAnd {} };
            auto& items = std::get<TQueryAnd>(indexedItems.value).items;
            for (const TQueryNode& item : all.items)
                if (std::find(rest.begin(), rest.end(), &item) == rest.end())
                    items.push_back(item);
            parts.push_back(Lookup(std::move(*indexed), indexedItems));
        } else {
            // Nothing to find them with: each excluded item is tested on its own.
            rest.clear();
            for (const TQueryNode& item : all.items)
                rest.push_back(&item);
        }
        for (const TQueryNode* item : rest)
            parts.push_back(Condition(*item, false));
        return Join(parts, " AND ");
    }

    std::string Of(const TQueryOr& any, bool)
    {
        std::vector<std::string> parts;
        for (const TQueryNode& item : any.items)
            parts.push_back(Condition(item, false));
        return Join(parts, " OR ");
    }

    std::string Of(const TQueryNot& negated, bool)
    {
        return "NOT (" + Condition(*negated.item, false) + ")";
    }

    // A word the index cannot find (one character, or none, once normalised), or one whose
    // index hits are being tested. The word never holds a separator, so it is found within a
    // piece only.
    std::string Of(const TQueryText& text, bool)
    {
        const std::string word = SearchWord(text.value);
        for (int i = 0; i < 3; ++i)
            out_.values.emplace_back(word);
        return "(instr(talk, ?) OR instr(ghost_key, ?) OR instr(channel_key, ?))";
    }

    std::string Of(const TQueryGhost& ghost, bool)
    {
        out_.values.emplace_back(SearchWord(ghost.name));
        return "ghost_key = ?";
    }

    std::string Of(const TQueryChannel& channel, bool)
    {
        out_.values.emplace_back(SearchWord(channel.name));
        return "channel_key = ?";
    }

    std::string Of(const TQueryAfter& after, bool)
    {
        out_.values.emplace_back(after.moment);
        return "time >= ?";
    }

    std::string Of(const TQueryBefore& before, bool)
    {
        out_.values.emplace_back(before.moment);
        return "time < ?";
    }

    std::string Of(const TQueryCount& count, bool)
    {
        out_.values.emplace_back(static_cast<int64_t>(count.value));
        return std::string(count.field == TQueryField::Votes ? "votes " : "agrees ")
            + CompareSign(count.compare) + " ?";
    }

    static std::string Join(const std::vector<std::string>& parts, const char* glue)
    {
        if (parts.size() == 1)
            return parts.front();
        std::string out;
        for (const std::string& part : parts)
            out += (out.empty() ? "(" : glue) + part;
        return out + ")";
    }

    TQuerySql& out_;
    const bool probe_;
    bool scan_ = false; // every word is tested on the row, none looked up
};

} // namespace

std::string SearchWord(const std::string& sjis)
{
    std::string word = NormaliseForSearch(sjis);
    std::replace(word.begin(), word.end(), '\n', ' ');
    return word;
}

TQuerySql QueryToSql(const TQuery& query, bool probeIndex)
{
    TQuerySql out;
    out.where = TBuilder(out, probeIndex).Condition(query.root, true);
    return out;
}
