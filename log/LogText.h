#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <string_view>

// A downloaded log as it arrived, kept in pieces of about 1 MiB, so that a reader can free each
// piece as soon as it has read it: the text and the messages made from it are never both held
// whole. Bytes are kept as received.
class TLogText
{
public:
    static constexpr size_t kPieceBytes = size_t(1) << 20;

    void Append(std::string_view bytes);
    void Clear() { pieces_.clear(); }
    bool Empty() const { return pieces_.empty(); }
    // The first piece: the whole text when it is short, else its first MiB.
    std::string_view Head() const
    {
        return pieces_.empty() ? std::string_view() : std::string_view(pieces_.front());
    }
    // The whole text in one string (for small texts and tests).
    std::string Text() const;

    // Hands the pieces to the reader in order and frees each one after its call; the text is
    // empty afterwards.
    void Consume(const std::function<void(std::string_view piece)>& reader);

private:
    std::deque<std::string> pieces_;
};
