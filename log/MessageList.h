#pragma once

#include "log/BottleMessage.h"

#include <deque>
#include <memory>

// The current log: an owning list of messages in input order. It is only ever cleared and
// appended to, so every message's Index equals its position. GUI thread only.
class TMessageList
{
public:
    // Frees every message.
    void Clear();

    // Takes the message (moved into the list), sets its Index to its position and returns it.
    TBottleMessage& Add(TBottleMessage message);
    TBottleMessage& Add(std::unique_ptr<TBottleMessage> message)
    {
        return Add(std::move(*message));
    }

    int32_t Count() const { return static_cast<int32_t>(items_.size()); }
    bool Empty() const { return items_.empty(); }

    // Throws EListError with the list-index message for an index outside the list.
    TBottleMessage& Items(int32_t index) const;

    const TBottleMessage& Last() const { return items_.back(); }

private:
    // The messages themselves, in blocks: no allocation of its own per message (a long log holds
    // hundreds of thousands), and a message never moves once added. Items hands out messages
    // for change from a const list, as the list's users expect, hence mutable.
    mutable std::deque<TBottleMessage> items_;
};
