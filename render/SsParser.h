#pragma once

#include "platform/Errors.h"

#include <array>
#include <cstdint>
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
// previous tokens; after an error the tokens made so far stay. A parse takes time linear in the
// script for any patterns of bounded length, whatever brackets the script leaves open.
// GUI thread only; OnParse must not parse again or change the patterns of the parser it is given.
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

    // Throws ESsParserError "正しいエレメントタイプを返してください",
    // "TagPattern表記ミス %d 行目", or "解析中は ParseScript もパターンの設定もできません" when
    // called from its own OnParse.
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

    // For a bracketed argument starting anywhere in one script, where its first unescaped "]" is.
    // Every position a scan steps on keeps the answer, so no byte is scanned twice in a parse
    // however many brackets stay open.
    class BracketIndex
    {
    public:
        explicit BracketIndex(std::string_view script);
        // Over another script, keeping the memo's room.
        void Reset(std::string_view script);
        // The index of the first unescaped "]" at or after i, or the script's size.
        size_t ClosingFrom(size_t i);

    private:
        std::string_view s_;
        std::vector<uint32_t> memo_; // filled on first use
    };

    // Matching over a script that holds no NUL (the stored script is cut at its first one).
    static int Match(
        std::string_view script, size_t position, std::string_view pattern, BracketIndex& brackets);
    void RefuseWhileParsing() const;
    int MatchTag(size_t pos, TSsMarkUpType& kind) const;
    int MatchMeta(size_t pos) const;
    bool Claim(size_t pos, bool atTag, int& len, TSsMarkUpType& kind, std::string& extra);
    void EmitText(std::string& buffer);

    std::vector<std::string> tagPattern_;
    std::vector<std::string> metaPattern_;
    PatternIndex tagIndex_;
    PatternIndex metaIndex_;
    std::string script_;
    mutable BracketIndex brackets_ { {} }; // over script_
    std::vector<TSsMarkUp> tokens_;
    bool parsing_ = false;
};

// Tokenizes the script with the parser and returns the text of every error tag, in script order,
// joined with ","; empty when there is none. Replaces the parser's tokens.
std::string GetErrorTags(const std::string& script, TSsParser& parser);
