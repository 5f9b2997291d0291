#pragma once

#include "platform/Errors.h"

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The tokenizer's own failures: a claim of the wrong kind by OnParse, a malformed tag pattern
// reached during a parse, an index out of range.
class ESsParserError : public EVelmoError
{
public:
    using EVelmoError::EVelmoError;
};

enum class TSsMarkUpType {
    smTag,
    smMeta,
    smErrorTag,
    smText,
};

// One token: its kind, its exact script bytes (for text, the run after escape handling) and the
// extra text an OnParse handler gave it.
struct TSsMarkUp
{
    TSsMarkUpType MarkType = TSsMarkUpType::smText;
    std::string Text;
    std::string Extra;
};

class TSsParser;

// Called at every tag and meta position before the pattern lists. script is the rest of the
// script from the "\" or "%"; a handler claims a token by setting len (bytes from the "\" or
// "%") above 0 and markType (smTag or smErrorTag at "\", smMeta at "%"); extra is stored in the
// token.
using TSsParseEvent = std::function<void(TSsParser& sender, std::string_view script, int& len,
    TSsMarkUpType& markType, std::string& extra)>;

// Cuts SakuraScript (Shift_JIS bytes) into tags, meta words, error tags and text runs, driven by
// two lists of patterns. A double-byte character is never split, so a second byte 0x5C, 0x5B or
// 0x5D is never a backslash or bracket; a NUL byte ends the script. Each parse replaces the
// previous tokens; after an error the tokens made so far stay. GUI thread only.
class TSsParser
{
public:
    // Setting a list copies it. An empty line is never tried; a tag pattern starts with "\" or
    // "!" (an error tag when it matches), and a meta pattern is matched after the "%".
    const std::vector<std::string>& TagPattern() const { return tagPattern_; }
    void SetTagPattern(std::vector<std::string> lines);
    const std::vector<std::string>& MetaPattern() const { return metaPattern_; }
    void SetMetaPattern(std::vector<std::string> lines);

    // "\\" and "\%" stay two characters in the text (true) or become one.
    bool LeaveEscape = true;
    // A "%" that starts no meta word goes into the text as "\%" (true) or "%".
    bool EscapeInvalidMeta = false;
    TSsParseEvent OnParse;

    // Throws ESsParserError "正しいエレメントタイプを返してください" or
    // "TagPattern表記ミス %d 行目".
    void ParseScript(std::string_view script);

    int TokenCount() const { return static_cast<int>(tokens_.size()); }
    // Throws ESsParserError "インデックスが範囲をこえています" outside 0..TokenCount()-1.
    TSsMarkUpType MarkTypeAt(int index) const;
    // Empty outside 0..TokenCount()-1.
    std::string TextAt(int index) const;
    const std::vector<TSsMarkUp>& Tokens() const { return tokens_; }

    // Bytes of the last script that the whole pattern matches at position, or 0.
    int MatchPattern(size_t position, std::string_view pattern) const;
    // The same over any script (a NUL in it ends it).
    static int MatchPatternIn(std::string_view script, size_t position, std::string_view pattern);

    // A pattern file's lines, empty lines kept. Throws EFileError naming the file.
    static std::vector<std::string> LoadPatternFile(const std::string& path);

private:
    // For each byte that can follow "\" (or "%"), the pattern lines that can match there, in list
    // order: the lines whose first character after the "\" is that byte, plus every line that
    // could match anything (a directive first, or a malformed line, which must fail when reached).
    using PatternIndex = std::array<std::vector<int>, 256>;
    static PatternIndex BuildIndex(
        const std::vector<std::string>& lines, size_t keyOffset, bool tag);

    // Matching over a script that holds no NUL (the stored script is cut at its first one).
    static int Match(std::string_view script, size_t position, std::string_view pattern);
    int MatchTag(size_t pos, TSsMarkUpType& kind) const;
    int MatchMeta(size_t pos) const;
    bool Claim(size_t pos, bool atTag, int& len, TSsMarkUpType& kind, std::string& extra);
    void EmitText(std::string& buffer);

    std::vector<std::string> tagPattern_;
    std::vector<std::string> metaPattern_;
    PatternIndex tagIndex_;
    PatternIndex metaIndex_;
    std::string script_;
    std::vector<TSsMarkUp> tokens_;
};
