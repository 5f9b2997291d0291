#pragma once

#include <string>
#include <vector>

// Name/value lines ("Name: value") read into ordered pairs: a server's answer to a command.
// A line without ":" or whose ":" comes first is skipped; spaces (not TABs) after the ":" are
// not part of the value; trailing spaces are. Names compare case-sensitively; a name may repeat.
class THeadValue
{
public:
    THeadValue() = default;
    explicit THeadValue(const std::string& text) { Parse(text); }

    // Replaces all pairs with those of the text.
    void Parse(const std::string& text);
    int Count() const { return static_cast<int>(pairs_.size() / 2); }
    // Pair i (0-based); an index outside the pairs throws EListError.
    const std::string& Names(int i) const;
    const std::string& Values(int i) const;
    // The value of the first pair with exactly this name; empty when there is none.
    std::string ValueOf(const std::string& name) const;
    void Assign(const THeadValue& source) { pairs_ = source.pairs_; }

private:
    std::vector<std::string> pairs_; // name, value, name, value, ...
};
