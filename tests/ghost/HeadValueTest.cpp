#include "ghost/HeadValue.h"

#include "platform/Errors.h"

#include <gtest/gtest.h>

namespace {

TEST(HeadValue, ReadsNameValueLines)
{
    const THeadValue h(
        "Result: Err\r\nExtraMessage:   no  such \r\nno colon here\n:starts with colon\rEmpty:\r\n"
        "Tab:\tkept\r\nResult: second\r\n");
    ASSERT_EQ(h.Count(), 5);
    const std::pair<std::string, std::string> pairs[]
        = { { "Result", "Err" }, { "ExtraMessage", "no  such " }, { "Empty", "" },
              { "Tab", "\tkept" }, { "Result", "second" } };
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(h.Names(i), pairs[i].first);
        EXPECT_EQ(h.Values(i), pairs[i].second);
    }
    EXPECT_EQ(h.ValueOf("Result"), "Err");
    EXPECT_EQ(h.ValueOf("result"), "");
    EXPECT_EQ(h.ValueOf("Missing"), "");
    EXPECT_THROW(h.Names(5), EListError);
    EXPECT_EQ(THeadValue("Time: 12:30").ValueOf("Time"), "12:30");
}

TEST(HeadValue, ParseReplacesAndAssignCopies)
{
    THeadValue h("A: 1\r\nB: 2\r\n");
    h.Parse("C: 3");
    EXPECT_EQ(h.Count(), 1);
    THeadValue copy;
    copy.Assign(h);
    EXPECT_EQ(copy.ValueOf("C"), "3");
    EXPECT_EQ(copy.ValueOf("A"), "");
}

} // namespace
