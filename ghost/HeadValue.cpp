#include "ghost/HeadValue.h"

#include "platform/Errors.h"
#include "platform/StrUtils.h"

void THeadValue::Parse(const std::string& text)
{
    pairs_.clear();
    for (const std::string& line : SplitLines(text)) {
        const size_t colon = line.find(':');
        if (colon == std::string::npos || colon == 0)
            continue;
        size_t start = colon + 1;
        while (start < line.size() && line[start] == ' ')
            ++start;
        pairs_.push_back(line.substr(0, colon));
        pairs_.push_back(line.substr(start));
    }
}

const std::string& THeadValue::Names(int i) const
{
    if (i < 0 || i >= Count())
        throw EListError::IndexOutOfBounds(2LL * i);
    return pairs_[static_cast<size_t>(2 * i)];
}

const std::string& THeadValue::Values(int i) const
{
    if (i < 0 || i >= Count())
        throw EListError::IndexOutOfBounds(2LL * i + 1);
    return pairs_[static_cast<size_t>(2 * i + 1)];
}

std::string THeadValue::ValueOf(const std::string& name) const
{
    for (size_t i = 0; i + 1 < pairs_.size(); i += 2)
        if (pairs_[i] == name)
            return pairs_[i + 1];
    return {};
}
