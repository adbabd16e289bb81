// Where the countdown window goes when its place is off the screens: a grip of 48 × 48
// pixels must lie inside a monitor's work area, or else the window moves into the nearest
// work area as little as it can.
#include "appearance/placement.h"

#include <cstdint>

#include <gtest/gtest.h>

namespace tq {
namespace {

Box Window(int64_t left, int64_t top, int64_t width = 530, int64_t height = 200) {
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

// A stored place is a point of the virtual screen in pixels: a 150 % laptop screen beside a
// 100 % monitor does not move it. Only the size follows the scale of the monitor it lands on.
TEST(PlacementTest, StoredPlaceIsAScreenPointAndOnlyTheSizeFollowsTheMonitorsScale) {
    const MonitorScale laptop{{0, 0, 1920, 1080}, 144};         // 150 %, the primary screen
    const MonitorScale monitor{{1920, -200, 3840, 880}, 96};    // 100 %, to its right
    const MonitorScale left_monitor{{-1280, 0, 0, 1024}, 120};  // 125 %, to its left
    const std::vector<MonitorScale> all = {laptop, monitor, left_monitor};
    struct Case {
        const char* what;
        int left, top, width, height;
        std::vector<MonitorScale> monitors;
        Box expected;
    };
    const Case cases[] = {
        {"100 % everywhere: as stored",
         17,
         45,
         530,
         200,
         {{{0, 0, 1024, 768}, 96}},
         Window(17, 45, 530, 200)},
        {"on the 150 % screen", 17, 45, 530, 200, all, Window(17, 45, 795, 300)},
        {"on the 100 % monitor", 2000, 100, 530, 200, all, Window(2000, 100, 530, 200)},
        {"above the laptop, on the monitor", 1920, -200, 530, 200, all,
         Window(1920, -200, 530, 200)},
        {"on the 125 % monitor, left of zero", -1000, 10, 530, 200, all,
         Window(-1000, 10, 663, 250)},
        {"off every screen: the nearest one's scale", 5000, 300, 530, 200, all,
         Window(5000, 300, 530, 200)},
        {"halves round away from zero", 0, 0, 3, -3, {laptop}, Window(0, 0, 5, -5)},
        {"125 %, a half pixel up", -1280, 0, 530, 1, {left_monitor}, Window(-1280, 0, 663, 1)},
        {"no monitors known: 96 DPI", 40, 60, 530, 200, {}, Window(40, 60, 530, 200)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StoredPlace(c.left, c.top, c.width, c.height, c.monitors), c.expected) << c.what;
    }
}

// Any 32-bit place and size in setting.ini: the window comes back as from any other place off
// the screens, with no sum overflowing on the way (the sanitizers stop at any that does).
TEST(PlacementTest, PlacesAndSizesAtTheEndsOfThe32BitRangeComeBackWithinReach) {
    const MonitorScale screen{kScreen, 96};
    const MonitorScale right{kRightScreen, 96};
    const MonitorScale laptop{{0, 0, 1920, 1080}, 144};
    struct Case {
        const char* what;
        int left, top, width, height;
        std::vector<MonitorScale> monitors;
        Box expected;
    };
    const int lo = INT32_MIN, hi = INT32_MAX;
    const Case cases[] = {
        {"right end", 2147483000, 45, 1000, 200, {screen}, Window(24, 45, 1000, 200)},
        {"lowest corner", lo, lo, 530, 200, {screen}, Window(0, 0)},
        {"highest, nearer the 2nd", hi, hi, 530, 200, {screen, right}, Window(2414, 980)},
        {"widest at 150 %", 0, 0, hi, hi, {laptop}, Window(0, 0, 3221225471, 3221225471)},
        {"widest from lowest", lo, 0, hi, 200, {screen}, Window(0, 0, hi, 200)},
    };
    for (const Case& c : cases) {
        std::vector<Box> areas;
        for (const MonitorScale& m : c.monitors) areas.push_back(m.area);
        EXPECT_EQ(ReachablePlace(StoredPlace(c.left, c.top, c.width, c.height, c.monitors), areas),
                  c.expected)
            << c.what;
    }
}

// The always-on-top countdown gives way to a full-screen program in front, not to a maximised
// window: on a 1920 x 1080 monitor whose taskbar hides itself (work area = monitor) or takes
// its bottom 40 pixels, with frames of 8 pixels and a caption of 23.
TEST(PlacementTest, AFullScreenProgramCoversTheMonitorWithoutBeingAMaximisedWindow) {
    const Box monitor{0, 0, 1920, 1080};
    const Box taskbar_shown{0, 0, 1920, 1040};
    const Box maximised{-8, -8, 1928, 1088};  // the platform's place for a maximised window
    const Box inner{0, 0, 1920, 1080};        // its client area without a drawn caption
    const uint32_t overlapped = kStyleCaption | kStyleSizingFrame;
    const uint32_t popup = 0x80000000;  // WS_POPUP
    struct Case {
        const char* what;
        FrontWindow front;
        Box work_area;
        bool full_screen;
    };
    const Case cases[] = {
        {"borderless popup on the monitor", {popup, monitor, monitor}, monitor, true},
        {"borderless popup, maximised", {popup | kStyleMaximised, monitor, monitor}, monitor, true},
        {"the same beside a shown taskbar", {popup, monitor, monitor}, taskbar_shown, true},
        {"popup smaller than the monitor",
         {popup, {0, 0, 1920, 1079}, {0, 0, 1920, 1079}},
         monitor,
         false},
        {"popup on another monitor",
         {popup, {1920, 0, 3840, 1080}, {1920, 0, 3840, 1080}},
         monitor,
         false},
        {"maximised, drawing its own caption",
         {overlapped | kStyleMaximised, maximised, inner},
         monitor,
         false},
        {"maximised, sizing frame only",
         {kStyleSizingFrame | kStyleMaximised, maximised, inner},
         monitor,
         false},
        {"maximised, caption only",
         {kStyleCaption | kStyleMaximised, maximised, inner},
         monitor,
         false},
        {"maximised with the system's caption",
         {overlapped | kStyleMaximised, maximised, {0, 23, 1920, 1080}},
         monitor,
         false},
        {"maximised, its client area over its whole frame",
         {overlapped | kStyleMaximised, maximised, maximised},
         monitor,
         false},
        {"maximising itself without the style", {overlapped, maximised, inner}, monitor, false},
        {"its frame and caption moved off the monitor",
         {overlapped, {-8, -31, 1928, 1088}, inner},
         monitor,
         true},
        {"dialog frame without border is no caption",
         {0x00400000 | kStyleMaximised, monitor, monitor},
         monitor,
         true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsFullScreenProgram(c.front, monitor, c.work_area), c.full_screen) << c.what;
    }
}

}  // namespace
}  // namespace tq
