#include "log/LogText.h"

#include <algorithm>

void TLogText::Append(std::string_view bytes)
{
    while (!bytes.empty()) {
        if (pieces_.empty() || pieces_.back().size() >= kPieceBytes) {
            pieces_.emplace_back();
            pieces_.back().reserve(kPieceBytes); // pages never touched cost nothing
        }
        std::string& piece = pieces_.back();
        const size_t take = std::min(bytes.size(), kPieceBytes - piece.size());
        piece.append(bytes.substr(0, take));
        bytes.remove_prefix(take);
    }
}

std::string TLogText::Text() const
{
    std::string text;
    for (const std::string& piece : pieces_)
        text += piece;
    return text;
}

void TLogText::Consume(const std::function<void(std::string_view piece)>& reader)
{
    while (!pieces_.empty()) {
        const std::string piece = std::move(pieces_.front());
        pieces_.pop_front();
        reader(piece);
    }
}
