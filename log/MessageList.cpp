#include "log/MessageList.h"

#include "platform/Errors.h"

void TMessageList::Clear()
{
    items_.clear();
}

TBottleMessage& TMessageList::Add(TBottleMessage message)
{
    message.Index = Count();
    items_.push_back(std::move(message));
    return items_.back();
}

TBottleMessage& TMessageList::Items(int32_t index) const
{
    if (index < 0 || index >= Count())
        throw EListError::IndexOutOfBounds(index);
    return items_[static_cast<size_t>(index)];
}
