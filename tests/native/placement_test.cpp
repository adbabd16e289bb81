// Where the countdown window goes when its place is off the screens: a grip of 48 × 48
// pixels must lie inside a monitor's work area, or else the window moves into the nearest
// work area as little as it can.
#include "appearance/placement.h"

#include <gtest/gtest.h>

namespace tq {
namespace {

Box Window(int left, int top, int width = 530, int height = 200) {
    return {left, top, left + width, top + height};
}

const Box kScreen{0, 0, 1024, 768};
const Box kRightScreen{1024, 100, 2944, 1180};  // a second monitor, lower and to the right

TEST(PlacementTest, WindowMovesOnlyWhenNoGripOfItIsOnAScreen) {
    struct Case {
        const char* what;
        Box window;
        std::vector<Box> areas;
        Box expected;
    };
    // One screen's cases are run end to end under Wine (desktop_test.cpp); these are the
    // edges and the monitors Wine's single virtual screen cannot show.
    const Case cases[] = {
        {"48 pixels exactly", Window(976, 720), {kScreen}, Window(976, 720)},
        {"47 pixels high", Window(100, 721), {kScreen}, Window(100, 568)},
        {"on the second monitor", Window(2000, 500), {kScreen, kRightScreen}, Window(2000, 500)},
        {"off both, nearer the second",
         Window(3500, 1500),
         {kScreen, kRightScreen},
         Window(2414, 980)},
        {"across both, a grip on neither",
         Window(1000, 80, 40, 40),
         {kScreen, kRightScreen},
         Window(984, 80, 40, 40)},
        {"larger than the screen",
         Window(-5000, 10, 2000, 100),
         {kScreen},
         Window(0, 10, 2000, 100)},
        {"no monitors known", Window(5000, 5000), {}, Window(5000, 5000)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReachablePlace(c.window, c.areas), c.expected) << c.what;
        EXPECT_EQ(GripReachable(c.window, c.areas), c.window == c.expected && !c.areas.empty())
            << c.what;
    }
}

}  // namespace
}  // namespace tq
