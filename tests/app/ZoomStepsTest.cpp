#include "app/ZoomSteps.h"

#include <gtest/gtest.h>

namespace {

TEST(ZoomSteps, ValidZoomHoldsTheLadderEnds)
{
    const struct
    {
        int32_t in, out;
    } cases[] = { { 100, 100 }, { 137, 137 }, { 0, 100 }, { -50, 100 }, { 10, 25 }, { 25, 25 },
        { 500, 500 }, { 100000, 500 } };
    for (const auto& c : cases)
        EXPECT_EQ(ValidZoom(c.in), c.out) << c.in;
}

// Off-step values (a hand-edited file) go to the neighbouring step, never past it.
TEST(ZoomSteps, NextZoomWalksTheLadderAndStopsAtItsEnds)
{
    const struct
    {
        int32_t from;
        int direction;
        int32_t to;
    } cases[] = { { 100, 1, 110 }, { 100, -1, 90 }, { 110, -1, 100 }, { 120, 1, 125 },
        { 120, -1, 110 }, { 25, -1, 25 }, { 25, 1, 33 }, { 500, 1, 500 }, { 500, -1, 400 },
        { 0, 1, 110 }, { 9999, -1, 400 }, { 175, 0, 100 } };
    for (const auto& c : cases)
        EXPECT_EQ(NextZoom(c.from, c.direction), c.to) << c.from << " " << c.direction;
}

} // namespace
