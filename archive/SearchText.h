#pragma once

#include <string>
#include <string_view>

class TSsParser;

// The text a search looks in, and the tokens its index is made of. A message's talk is taken
// as a person reads it, normalised so that the ways of writing one word (full and half width,
// upper and lower case) become one, and cut into overlapping two-character tokens for a
// contentless FTS5 table that keeps no positions. The index finds a word of two characters
// exactly where a plain substring scan of the normalised text finds it; for a longer word it
// narrows the scan to the texts holding all of its tokens; a one-character word is for the scan.
//
// Normalised text is UTF-8 in which "\n" separates pieces that were apart in the script (text
// on either side of a tag): no word is ever found across one. Other white space is a single
// blank " ", never at either end of a piece, so a phrase with a blank matches exactly.

// The FTS5 table options that the tokens need, for "CREATE VIRTUAL TABLE ... USING fts5(text,
// content = '', <these>)": tokens are split on blanks only, every other character (punctuation
// and symbols too) stays in its token; no ranking, no token positions.
extern const char* const kBigramTableOptions;

// The talk of a script as the page shows it: the tags removed (each one a "\n" between the text
// runs it split), meta words and unknown tags kept as written, the escapes "\\\\", "\\%" and
// "\\]" as the characters they stand for, control characters as blanks. Program text
// (Shift_JIS). Tokenizes with the parser (replacing its tokens; its escape settings are the
// page's while it does, and are given back); throws what the parser throws.
std::string TalkText(const std::string& script, TSsParser& parser);

// Shift_JIS text (a talk, a name, a query word) as normalised UTF-8: NFKC and case folding,
// white space as described above. A byte that is not Shift_JIS becomes "?" and the rest is kept.
std::string NormaliseForSearch(std::string_view sjis);

// The index tokens of normalised text, joined by single blanks: every two neighbouring
// characters of a piece ("あり りが がと とう" for ありがとう), none across pieces. A blank inside
// a token is written U+3000, which normalised text never holds. A piece of one character gives
// no token. The second form writes them into out (emptied first), for a caller that reuses it.
std::string Bigrams(std::string_view normalisedUtf8);
void Bigrams(std::string_view normalisedUtf8, std::string& out);

// How the index finds a normalised word (no "\n" in it).
struct TBigramQuery
{
    // The FTS5 MATCH expression over a column of Bigrams(): every distinct token of the word,
    // quoted ('"' doubled), joined by AND. Empty for a word of fewer than two characters, which
    // only a scan of the normalised text can find.
    std::string match;
    // True when the index's hits are exactly the texts holding the word (a word of two
    // characters, one token). Otherwise they are the texts holding all of its tokens, anywhere:
    // the word must then be looked for in each of them.
    bool exact = false;
};
TBigramQuery QueryBigrams(std::string_view normalisedWord);
