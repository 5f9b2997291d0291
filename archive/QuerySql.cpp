#include "archive/QuerySql.h"

#include "archive/Query.h"
#include "archive/SearchText.h"

#include <algorithm>
#include <optional>

namespace {

// The index expression of a node the index answers alone: a word of two or more characters,
// or an And or Or of such nodes (an And may also exclude some, as long as one item is found).
std::optional<std::string> IndexExpression(const TQueryNode& node);

// "(a) AND (b) ... NOT (n) NOT (m)": FTS5's NOT takes what is on its left away from it.
std::optional<std::string> AndExpression(
    const std::vector<std::string>& found, const std::vector<std::string>& excluded)
{
    if (found.empty())
        return std::nullopt;
    std::string out = "(" + found.front() + ")";
    for (size_t i = 1; i < found.size(); ++i)
        out = "(" + out + " AND (" + found[i] + "))";
    for (const std::string& x : excluded)
        out = "(" + out + " NOT (" + x + "))";
    return out;
}

// Sorts the items of an And into those the index answers (found, or excluded when negated)
// and the rest.
void SplitAnd(const TQueryAnd& all, std::vector<std::string>& found,
    std::vector<std::string>& excluded, std::vector<const TQueryNode*>& rest)
{
    for (const TQueryNode& item : all.items) {
        const auto* negated = std::get_if<TQueryNot>(&item.value);
        std::optional<std::string> expression = IndexExpression(negated ? *negated->item : item);
        if (!expression)
            rest.push_back(&item);
        else
            (negated ? excluded : found).push_back(std::move(*expression));
    }
}

std::optional<std::string> IndexExpression(const TQueryNode& node)
{
    if (const auto* text = std::get_if<TQueryText>(&node.value)) {
        std::string expression = QueryBigrams(SearchWord(text->value));
        if (expression.empty())
            return std::nullopt;
        return expression;
    }
    if (const auto* any = std::get_if<TQueryOr>(&node.value)) {
        std::string out;
        for (const TQueryNode& item : any->items) {
            const std::optional<std::string> expression = IndexExpression(item);
            if (!expression)
                return std::nullopt;
            out += (out.empty() ? "(" : " OR (") + *expression + ")";
        }
        return out;
    }
    if (const auto* all = std::get_if<TQueryAnd>(&node.value)) {
        std::vector<std::string> found;
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
        if (std::optional<std::string> expression = IndexExpression(node)) {
            if (top) {
                out_.leading = *expression;
                out_.indexOnly = true;
            }
            return Lookup(std::move(*expression));
        }
        return std::visit([&](const auto& item) { return Of(item, top); }, node.value);
    }

private:
    std::string Lookup(std::string expression)
    {
        out_.values.emplace_back(std::move(expression));
        return std::string(probe_ ? "+id" : "id") + " IN (SELECT rowid FROM " + kTextTable
            + " WHERE " + kTextTable + " MATCH ?)";
    }

    std::string Of(const TQueryAnd& all, bool top)
    {
        if (all.items.empty())
            return "1";
        std::vector<std::string> found;
        std::vector<std::string> excluded;
        std::vector<const TQueryNode*> rest;
        SplitAnd(all, found, excluded, rest);
        std::vector<std::string> parts;
        if (std::optional<std::string> expression = AndExpression(found, excluded)) {
            if (top)
                out_.leading = *expression;
            parts.push_back(Lookup(std::move(*expression)));
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

    // Only a word that gives no index token comes here: one character (or none) once
    // normalised, which no piece can hold across a separator.
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
