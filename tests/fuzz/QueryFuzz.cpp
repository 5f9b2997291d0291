// The search query parser on arbitrary bytes, and on queries put together from pieces of the
// language (the first byte chooses): it either refuses the query with a message that says where,
// or gives a tree of the documented shape whose canonical form reads back to itself. Never a crash,
// never a deep recursion, whatever the nesting.

#include "archive/Query.h"
#include "platform/Encoding.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void Require(bool condition)
{
    if (!condition)
        std::abort();
}

// No And directly in an And, no Or directly in an Or, Or of two or more, no double negation,
// no empty text, the empty And only as the whole query.
void CheckShape(const TQueryNode& node, bool root)
{
    if (const auto* all = std::get_if<TQueryAnd>(&node.value)) {
        Require(all->items.size() >= 2 || (root && all->items.empty()));
        for (const TQueryNode& item : all->items) {
            Require(!std::holds_alternative<TQueryAnd>(item.value));
            CheckShape(item, false);
        }
    } else if (const auto* any = std::get_if<TQueryOr>(&node.value)) {
        Require(any->items.size() >= 2);
        for (const TQueryNode& item : any->items) {
            Require(!std::holds_alternative<TQueryOr>(item.value));
            CheckShape(item, false);
        }
    } else if (const auto* negation = std::get_if<TQueryNot>(&node.value)) {
        Require(negation->item && !std::holds_alternative<TQueryNot>(negation->item->value));
        CheckShape(*negation->item, false);
    } else if (const auto* text = std::get_if<TQueryText>(&node.value)) {
        Require(!text->value.empty());
    } else if (const auto* ghost = std::get_if<TQueryGhost>(&node.value)) {
        Require(!ghost->name.empty());
    } else if (const auto* channel = std::get_if<TQueryChannel>(&node.value)) {
        Require(!channel->name.empty());
    } else if (const auto* count = std::get_if<TQueryCount>(&node.value)) {
        Require(count->value >= 0);
    }
}

// Pieces of the language, half-width and full-width, for building queries byte by byte.
const char* const kPieces[] = { "a", "xy", "OR", " ", "(", ")", "|", "-", "\"", "\"\"",
    "ghost:", "Ch:", "after:", "before:", "votes>=", "agrees<", "votes=", "2004/06/01",
    "\"2004/6/2 9:05\"", "3", "007", "\t", "\xe3\x80\x80" /*　*/, "\xef\xbc\x88" /*（*/,
    "\xef\xbc\x89" /*）*/, "\xef\xbd\x9c" /*｜*/, "\xef\xbc\x8d" /*－*/, "\xef\xbc\x9a" /*：*/,
    "\xe2\x89\xa7" /*≧*/, "\xef\xbc\x93" /*３*/, "\xe3\x83\x9d" /*ポ*/, "\xe8\xa1\xa8" /*表*/,
    "\xef\xbe\x83" /*ﾃ*/ };

std::string Assemble(const uint8_t* data, size_t size)
{
    std::string query;
    for (size_t i = 0; i < size; ++i)
        query += Sjis(kPieces[data[i] % (sizeof kPieces / sizeof kPieces[0])]);
    return query;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const std::string query = data[0] & 1
        ? Assemble(data + 1, size - 1)
        : std::string(reinterpret_cast<const char*>(data + 1), size - 1);
    TQuery parsed;
    try {
        parsed = ParseQuery(query);
    } catch (const EQueryError& error) {
        // A place in the query (or just past its end, where a value is missing), or the query as a
        // whole.
        Require(error.Position() >= 0 && static_cast<size_t>(error.Position()) <= query.size() + 1);
        return 0;
    }
    CheckShape(parsed.root, true);
    const std::string canonical = DescribeQuery(parsed);
    try {
        Require(DescribeQuery(ParseQuery(canonical)) == canonical);
    } catch (const EQueryError& error) {
        // The canonical form is longer (" | " for "|"), so it alone may pass the length limit.
        Require(error.Position() == 0 && canonical.size() > static_cast<size_t>(kMaxQueryChars));
    }
    return 0;
}
