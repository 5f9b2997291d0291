#include "log/MessageList.h"

#include "TestSupport.h"
#include "platform/Errors.h"

namespace {

TEST(MessageList, IndexesFollowPositionsAfterClear)
{
    TMessageList list;
    for (int i = 0; i < 3; ++i)
        list.Add(std::make_unique<TBottleMessage>());
    list.Clear();
    EXPECT_TRUE(list.Empty());
    list.Add(std::make_unique<TBottleMessage>());
    TBottleMessage& second = list.Add(std::make_unique<TBottleMessage>());
    EXPECT_EQ(second.Index, 1);
    EXPECT_EQ(&list.Items(1), &second);
    EXPECT_EQ(&list.Last(), &second);
}

TEST(MessageList, IndexOutsideTheListIsTheListIndexError)
{
    TMessageList list;
    list.Add(std::make_unique<TBottleMessage>());
    for (int bad : { -1, 1, 1000 }) {
        try {
            list.Items(bad);
            ADD_FAILURE() << bad;
        } catch (const EListError& e) {
            EXPECT_EQ(e.what(),
                J("リストのインデックスが範囲を超えています (") + std::to_string(bad) + ")");
        }
    }
}

TEST(BottleMessage, NewMessageIsZeroed)
{
    const TBottleMessage m;
    EXPECT_TRUE(m.MID.empty() && m.Ghost.empty() && m.Script.empty() && m.Channel.empty());
    EXPECT_EQ(m.LogTime, 0);
    EXPECT_EQ(m.Connections + m.Votes + m.Agrees + m.Index, 0);
}

} // namespace
