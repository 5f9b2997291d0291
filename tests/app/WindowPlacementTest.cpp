#include "app/WindowPlacement.h"

#include <gtest/gtest.h>

namespace {

TEST(WindowPlacement, FirstWindowIsCentredAtSixtyByEightyPercent)
{
    EXPECT_EQ(FirstWindowRect({ 0, 0, 1280, 800 }), (TWindowRect { 256, 80, 768, 640 }));
    // A second screen to the right, with a panel at its top.
    EXPECT_EQ(FirstWindowRect({ 1920, 32, 1000, 500 }), (TWindowRect { 2120, 82, 600, 400 }));
}

TEST(WindowPlacement, SavedWindowIsBroughtOntoTheScreen)
{
    const TWindowRect screen { 0, 0, 1280, 800 };
    const struct
    {
        TWindowRect saved, placed;
    } cases[] = {
        { { 209, 145, 440, 351 }, { 209, 145, 440, 351 } }, // fits: kept
        { { 0, 0, 1280, 800 }, { 0, 0, 1280, 800 } }, // exactly the screen
        { { 100, 50, 2000, 1520 }, { 0, 0, 1280, 800 } }, // saved at scale 2: shrunk
        { { 1000, 600, 440, 351 }, { 840, 449, 440, 351 } }, // partly off the bottom right
        { { -300, -40, 440, 351 }, { 0, 0, 440, 351 } }, // partly off the top left
        { { 5000, 3000, 440, 351 }, { 840, 449, 440, 351 } }, // on a screen that is gone
        { { 10, 10, 1500, 300 }, { 0, 10, 1280, 300 } }, // too wide only
    };
    for (const auto& c : cases)
        EXPECT_EQ(FitWindowRect(c.saved, screen), c.placed)
            << c.saved.left << "," << c.saved.top << " " << c.saved.width << "x" << c.saved.height;
    // A screen area offset from the origin.
    EXPECT_EQ(FitWindowRect({ 0, 0, 300, 200 }, { 1280, 24, 1024, 744 }),
        (TWindowRect { 1280, 24, 300, 200 }));
}

} // namespace
