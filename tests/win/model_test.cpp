// The window and control model on the real platform: shapes, timers, transparent labels,
// events and menus.
#include "forms/model.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "test_support.h"

namespace tq::forms {
namespace {

int ticks = 0;
void CountTick() { ++ticks; }

struct ShapedForm : Form {
    explicit ShapedForm(Shape shape)
        : Form({.title = "model test",
                .rect = {100, 100, 530, 200},
                .border = Border::None,
                .position = StartPosition::AsStored,
                .in_taskbar = false,
                .shape = shape}) {}
    TransparentLabel label{this, {.rect = {10, 10, 120, 100}, .colour = RGB(255, 0, 0)}};
    Timer timer{this, {.interval = 0, .on_tick = CountTick}};
};


bool RegionEquals(HWND window, HRGN expected) {
    HRGN actual = CreateRectRgn(0, 0, 0, 0);
    const bool has_region = GetWindowRgn(window, actual) != ERROR;
    // Compared by area: the platform may split the same area into other rectangles.
    HRGN difference = CreateRectRgn(0, 0, 0, 0);
    const bool equal =
        has_region && CombineRgn(difference, actual, expected, RGN_XOR) == NULLREGION;
    DeleteObject(difference);
    DeleteObject(actual);
    DeleteObject(expected);
    return equal;
}

// Colours of the label's pixels as the label paints them (its own surface).
std::vector<COLORREF> LabelPixels(const TransparentLabel& label, int* width) {
    RECT r;
    GetClientRect(label.handle(), &r);
    HDC window_dc = GetDC(label.handle());
    HDC memory = CreateCompatibleDC(window_dc);
    HBITMAP bitmap = CreateCompatibleBitmap(window_dc, r.right, r.bottom);
    HGDIOBJ old = SelectObject(memory, bitmap);
    InvalidateRect(label.handle(), nullptr, FALSE);
    UpdateWindow(label.handle());
    BitBlt(memory, 0, 0, r.right, r.bottom, window_dc, 0, 0, SRCCOPY);
    std::vector<COLORREF> pixels;
    for (int y = 0; y < r.bottom; ++y) {
        for (int x = 0; x < r.right; ++x) pixels.push_back(GetPixel(memory, x, y));
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(label.handle(), window_dc);
    *width = r.right;
    return pixels;
}

TEST(FormShapeTest, RoundedCornersFollowTheWindowSize) {
    ShapedForm form(Shape::RoundedRectangle);
    form.Load();
    EXPECT_TRUE(RegionEquals(form.handle(), CreateRoundRectRgn(0, 0, 530, 200, 40, 40)));
    RECT box;
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    GetWindowRgn(form.handle(), region);
    GetRgnBox(region, &box);
    DeleteObject(region);
    EXPECT_EQ(box.right, 529);
    EXPECT_EQ(box.bottom, 199);

    form.SetRect({100, 100, 300, 100});
    EXPECT_TRUE(RegionEquals(form.handle(), CreateRoundRectRgn(0, 0, 300, 100, 20, 20)));
    DestroyWindow(form.handle());
}

// ---- Screen scale ----------------------------------------------------------------------------

TEST(ScreenScaleTest, UnitsBecomePixelsRoundedToTheNearestAndComeBackUnchanged) {
    struct Case {
        int units, dpi, pixels;
    };
    const Case cases[] = {
        {530, 96, 530}, {530, 120, 663}, {530, 144, 795}, {530, 192, 1060},
        {55, 144, 83},  {17, 120, 21},   {3, 120, 4},     {1, 120, 1},
        {0, 144, 0},    {-13, 144, -20}, {-45, 120, -56}, {247, 144, 371},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ToPixels(c.units, c.dpi), c.pixels) << c.units << " at " << c.dpi;
        EXPECT_EQ(ToUnits(c.pixels, c.dpi), c.units) << c.pixels << " at " << c.dpi;
    }
    EXPECT_EQ(ToPixels(Rect{17, 45, 530, 200}, 144), (Rect{26, 68, 795, 300}));
    EXPECT_EQ(ToUnits(Rect{26, 68, 795, 300}, 144), (Rect{17, 45, 530, 200}));
}

// A window dragged to a screen of another scale takes the rectangle the system suggests, and
// its labels, their fonts and its rounded corners follow; back at 100 % all is as it was.
TEST(ScreenScaleTest, DpiChangedTakesTheSuggestedPlaceAndRescalesLabelsFontsAndCorners) {
    ShapedForm form(Shape::RoundedRectangle);
    form.Load();
    ASSERT_EQ(form.dpi(), 96) << "the test prefix runs at 100 %";
    form.label.SetFontSize(17);
    struct Case {
        int dpi;
        RECT suggested;
        RECT label;  // in the window's client area
        int font_height, corner;
    };
    const Case cases[] = {
        {144, {150, 150, 945, 450}, {15, 15, 195, 165}, -34, 60},
        {120, {125, 125, 788, 375}, {13, 13, 163, 138}, -28, 50},
        {96, {100, 100, 630, 300}, {10, 10, 130, 110}, -23, 40},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dpi);
        SendMessageA(form.handle(), 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(c.dpi, c.dpi),
                     reinterpret_cast<LPARAM>(&c.suggested));
        EXPECT_EQ(form.dpi(), c.dpi);
        RECT window;
        GetWindowRect(form.handle(), &window);
        EXPECT_TRUE(EqualRect(&window, &c.suggested));
        EXPECT_EQ(form.rect(), ToUnits(Rect{c.suggested.left, c.suggested.top,
                                            c.suggested.right - c.suggested.left,
                                            c.suggested.bottom - c.suggested.top},
                                       c.dpi));
        EXPECT_EQ(form.rect().width, 530);
        RECT label;
        GetWindowRect(form.label.handle(), &label);
        MapWindowPoints(nullptr, form.handle(), reinterpret_cast<POINT*>(&label), 2);
        EXPECT_TRUE(EqualRect(&label, &c.label))
            << label.left << "," << label.top << "," << label.right << "," << label.bottom;
        EXPECT_EQ(form.label.rect(), (Rect{10, 10, 120, 100})) << "the form's units stay";
        EXPECT_EQ(form.label.font().lfHeight, c.font_height);
        const int w = c.suggested.right - c.suggested.left;
        const int h = c.suggested.bottom - c.suggested.top;
        EXPECT_TRUE(
            RegionEquals(form.handle(), CreateRoundRectRgn(0, 0, w, h, c.corner, c.corner)));
        // The size the window asks for at another scale: its size in units taken there.
        SIZE size{};
        EXPECT_TRUE(SendMessageA(form.handle(), 0x02E4 /* WM_GETDPISCALEDSIZE */, 192,
                                 reinterpret_cast<LPARAM>(&size)));
        EXPECT_EQ(size.cx, 1060);
        EXPECT_EQ(size.cy, 400);
    }
    DestroyWindow(form.handle());
}

TEST(FormShapeTest, EllipseRingAndRectangle) {
    ShapedForm ellipse(Shape::Ellipse);
    ellipse.Load();
    EXPECT_TRUE(RegionEquals(ellipse.handle(), CreateEllipticRgn(0, 0, 530, 200)));
    ellipse.SetShape(Shape::Rectangle);
    HRGN none = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(GetWindowRgn(ellipse.handle(), none), ERROR) << "a rectangle has no region";
    DeleteObject(none);
    DestroyWindow(ellipse.handle());

    ShapedForm ring(Shape::Ring);
    ring.Load();
    HRGN outer = CreateEllipticRgn(0, 0, 530, 200);
    HRGN inner = CreateEllipticRgn(132, 50, 530 - 132, 150);
    CombineRgn(outer, outer, inner, RGN_DIFF);
    DeleteObject(inner);
    EXPECT_TRUE(RegionEquals(ring.handle(), outer));
    DestroyWindow(ring.handle());
}

TEST(TimerTest, SettingAnIntervalRestartsTheFullPeriod) {
    ShapedForm form(Shape::Rectangle);
    form.Load();
    ticks = 0;
    form.timer.SetInterval(400);
    PumpMessagesFor(250);
    form.timer.SetInterval(400);  // restart: the first tick is now 400 ms away again
    PumpMessagesFor(250);
    EXPECT_EQ(ticks, 0) << "a restarted timer must not fire at its old due time";
    PumpMessagesFor(400);
    EXPECT_GE(ticks, 1);
    form.timer.SetInterval(0);
    const int stopped_at = ticks;
    PumpMessagesFor(500);
    EXPECT_EQ(ticks, stopped_at) << "interval 0 stops the timer";
    form.timer.SetInterval(-5);
    PumpMessagesFor(300);
    EXPECT_EQ(ticks, stopped_at) << "a negative interval leaves it stopped";
    EXPECT_EQ(form.timer.interval(), -5);
    DestroyWindow(form.handle());
}

TEST(TransparentLabelTest, EmptyCaptionDrawsNothingAndLongCaptionWraps) {
    ShapedForm form(Shape::Rectangle);
    form.Load();
    form.SetBackgroundColour(RGB(0, 0, 255));
    int width = 0;
    std::vector<COLORREF> pixels = LabelPixels(form.label, &width);
    ASSERT_FALSE(pixels.empty());
    for (COLORREF p : pixels) ASSERT_EQ(p, RGB(0, 0, 255)) << "only the form's background shows";

    form.label.SetWordWrap(true);
    form.label.SetCaption("WWW WWW WWW WWW WWW WWW WWW WWW");
    pixels = LabelPixels(form.label, &width);
    int lowest_red_row = -1;
    int red = 0;
    for (size_t i = 0; i < pixels.size(); ++i) {
        if (GetRValue(pixels[i]) > 128 && GetBValue(pixels[i]) < 128) {
            ++red;
            lowest_red_row = static_cast<int>(i) / width;
        }
    }
    EXPECT_GT(red, 0) << "the text is drawn in the label's colour";
    EXPECT_GT(lowest_red_row, 30) << "a caption wider than the label breaks into lines";
    EXPECT_EQ(pixels[0], RGB(0, 0, 255)) << "around the glyphs the background stays visible";
    DestroyWindow(form.handle());
}

}  // namespace
}  // namespace tq::forms

namespace tq::forms {
namespace {

std::vector<std::string> events;
int selected_item = 0;
void OnFirstItem() { selected_item = 1; }
void OnSecondItem() { selected_item = 2; }

struct EventForm : Form {
    EventForm()
        : Form({.title = "events",
                .rect = {50, 50, 300, 150},
                .border = Border::Fixed,
                .position = StartPosition::AsStored,
                .esc_closes = true,
                .on_created = std::function<void()>([] { events.push_back("created"); }),
                .on_first_activated = std::function<void()>([] { events.push_back("first activated"); }),
                .on_activated = std::function<void()>([] { events.push_back("activated"); }),
                .on_destroying = std::function<void()>([] { events.push_back("destroying"); })}) {}
    MenuItem first{{.caption = "first", .checked = true, .on_selected = OnFirstItem}};
    MenuItem line{{.caption = "-"}};
    MenuItem second{{.caption = "second", .on_selected = OnSecondItem}};
    MenuItem hidden{{.caption = "hidden", .visible = false}};
    Menu menu{"menu", {&first, &line, &second, &hidden}};
};

TEST(FormEventsTest, CreatedThenFirstActivatedOnceBeforeActivated) {
    events.clear();
    EventForm form;
    form.Load();
    SetForegroundWindow(form.handle());
    PumpMessagesFor(300);
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events[0], "created");
    EXPECT_EQ(events[1], "first activated");
    EXPECT_EQ(events[2], "activated");
    EXPECT_EQ(std::count(events.begin(), events.end(), "first activated"), 1);
    // Close is a request: the window goes once the loop runs again.
    form.Close();
    EXPECT_TRUE(IsWindow(form.handle()));
    for (int i = 0; i < 100 && form.loaded(); ++i) PumpMessagesFor(50);
    EXPECT_FALSE(form.loaded());
    EXPECT_EQ(events.back(), "destroying");
}

struct QuietForm : Form {
    QuietForm()
        : Form({.title = "quiet",
                .rect = {400, 300, 200, 100},
                .border = Border::None,
                .in_taskbar = false,
                .never_activated = true,
                .on_first_shown = std::function<void()>([this] {
                    events.push_back(IsWindowVisible(handle()) ? "first shown" : "not visible");
                })}) {}
};

TEST(FormEventsTest, ANeverActivatedFormLeavesTheActiveWindowAlone) {
    events.clear();
    EventForm front;
    front.Load();
    SetForegroundWindow(front.handle());
    PumpMessagesFor(200);
    ASSERT_EQ(GetForegroundWindow(), front.handle());

    QuietForm quiet;
    quiet.Load();
    PumpMessagesFor(100);
    EXPECT_EQ(std::count(events.begin(), events.end(), "first shown"), 1);
    const DWORD own = WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW;  // never active, not in Alt+Tab
    EXPECT_EQ(GetWindowLongW(quiet.handle(), GWL_EXSTYLE) & own, own);
    EXPECT_EQ(
        SendMessageW(quiet.handle(), WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(quiet.handle()),
                     MAKELPARAM(HTCLIENT, WM_LBUTTONDOWN)),
        MA_NOACTIVATE);
    quiet.SetVisible(false);
    quiet.SetVisible(true);
    quiet.SetLeft(420);
    quiet.SetBorder(Border::ToolResizable);
    quiet.SetBorder(Border::None);
    quiet.Restore();
    PumpMessagesFor(100);
    EXPECT_EQ(GetForegroundWindow(), front.handle())
        << "showing, hiding, moving and a change of look leave the active window";
    EXPECT_EQ(GetWindowLongW(quiet.handle(), GWL_EXSTYLE) & own, own);
    EXPECT_EQ(std::count(events.begin(), events.end(), "first shown"), 1);
    DestroyWindow(quiet.handle());
    DestroyWindow(front.handle());
}

HWND window_in_front = nullptr;

struct GivingWayForm : Form {
    GivingWayForm()
        : Form({.title = "giving way",
                .rect = {400, 300, 200, 100},
                .border = Border::None,
                .in_taskbar = false,
                .never_activated = true,
                .topmost_gives_way_to = [] { return window_in_front; }}) {}
};

// What the settings window, the exit question and the hide cycle do to an always-on-top form
// (off and on again, hidden and shown) neither undoes its giving way nor makes it the choice.
TEST(FormTopmostTest, AnAlwaysOnTopFormLiesJustBelowTheWindowItGivesWayToAndKeepsItsChoice) {
    HWND front = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 300, 300, nullptr,
                                 nullptr, nullptr, nullptr);
    GivingWayForm form;
    form.Load();
    const auto in_band = [&] {
        return (GetWindowLongW(form.handle(), GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    };
    const auto just_below = [&] { return GetWindow(front, GW_HWNDNEXT) == form.handle(); };
    form.SetTopmost(true);
    EXPECT_TRUE(in_band());
    window_in_front = front;
    form.SetTopmost(false);
    form.SetTopmost(true);
    EXPECT_TRUE(!in_band() && just_below() && form.topmost());
    form.SetVisible(false);
    form.SetVisible(true);
    EXPECT_TRUE(!in_band() && just_below() && form.topmost());
    window_in_front = nullptr;
    form.SetTopmost(form.topmost());
    EXPECT_TRUE(in_band());
    DestroyWindow(form.handle());
    DestroyWindow(front);
}

TEST(FormEventsTest, EscClosesAWindowThatAsksForIt) {
    EventForm form;
    form.Load();
    MSG msg{form.handle(), WM_KEYDOWN, VK_ESCAPE, 0};
    EXPECT_TRUE(Form::PreTranslate(msg));
    for (int i = 0; i < 100 && form.loaded(); ++i) PumpMessagesFor(50);
    EXPECT_FALSE(form.loaded());
}

// Finds the popup menu from a second thread, records where it stands, then picks the
// entry below the first one with the keyboard.
struct MenuProbe {
    RECT rect{};
    int items = -1;
    bool found = false;
};
DWORD WINAPI PickSecondEntry(void* param) {
    auto* probe = static_cast<MenuProbe*>(param);
    for (int i = 0; i < 200 && !probe->found; ++i) {
        HWND menu = FindWindowA("#32768", nullptr);
        if (menu && IsWindowVisible(menu)) {
            probe->found = true;
            GetWindowRect(menu, &probe->rect);
            HMENU handle = reinterpret_cast<HMENU>(SendMessageA(menu, MN_GETHMENU, 0, 0));
            probe->items = GetMenuItemCount(handle);
            // Down to "first", down again past the separator to "second", Enter.
            for (UINT key : {VK_DOWN, VK_DOWN, VK_RETURN}) {
                PostMessageA(menu, WM_KEYDOWN, key, 0);
                Sleep(100);
            }
        }
        Sleep(25);
    }
    return 0;
}

TEST(PopupMenuTest, OpensRightAlignedAtTheCursorAndRaisesTheChosenItem) {
    EventForm form;
    form.Load();
    SetCursorPos(400, 300);
    selected_item = 0;
    MenuProbe probe;
    HANDLE thread = CreateThread(nullptr, 0, PickSecondEntry, &probe, 0, nullptr);
    PopupMenu(form, form.menu);
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
    ASSERT_TRUE(probe.found);
    EXPECT_EQ(probe.items, 3) << "the invisible item is left out";
    EXPECT_EQ(probe.rect.right, 400 - 5);
    EXPECT_EQ(probe.rect.top, 300 - 5);
    EXPECT_EQ(selected_item, 2);
    MSG msg;
    bool null_posted = false;
    while (PeekMessageA(&msg, form.handle(), WM_NULL, WM_NULL, PM_REMOVE)) null_posted = true;
    EXPECT_TRUE(null_posted) << "an empty message follows the menu";
    DestroyWindow(form.handle());
}

}  // namespace
}  // namespace tq::forms

namespace tq::forms {
namespace {

int wheel_notches = 0;
int wheel_mask = 0;
int key_downs = 0;
void OnWheel(int notches, int mask) {
    wheel_notches = notches;
    wheel_mask = mask;
}
void OnKeyDown() { ++key_downs; }

struct InputForm : Form {
    InputForm()
        : Form({.title = "input",
                .rect = {60, 60, 200, 100},
                .border = Border::None,
                .position = StartPosition::AsStored,
                .in_taskbar = false,
                .events = {.on_wheel = OnWheel, .on_key_down = OnKeyDown}}) {}
    TransparentLabel label{this, {.rect = {0, 0, 100, 30}, .caption = "label"}};
};

TEST(FormInputTest, WheelPassesNotchesAndMaskAndKeysPassNothing) {
    InputForm form;
    form.Load();
    SendMessageA(form.handle(), WM_MOUSEWHEEL, MAKEWPARAM(MK_CONTROL | MK_SHIFT, -240), 0);
    EXPECT_EQ(wheel_notches, -2);
    EXPECT_EQ(wheel_mask, kCtrl | kShift);
    SendMessageA(form.handle(), WM_KEYDOWN, 'A', 0);
    EXPECT_EQ(key_downs, 1);
    DestroyWindow(form.handle());
}

// A visible label draws a new caption at once, without a paint message; a hidden one
// leaves it to the paint that showing it brings.
TEST(TransparentLabelTest, ANewCaptionIsDrawnAtOnceAndOnlyInTheLabel) {
    InputForm form;
    form.Load();
    form.SetBackgroundColour(RGB(0, 0, 255));
    form.label.SetColour(RGB(255, 0, 0));
    UpdateWindow(form.handle());
    UpdateWindow(form.label.handle());
    auto red_pixels = [&] {
        HDC dc = GetDC(form.label.handle());
        int red = 0;
        for (int y = 0; y < 30; ++y) {
            for (int x = 0; x < 100; ++x) red += GetPixel(dc, x, y) == RGB(255, 0, 0);
        }
        ReleaseDC(form.label.handle(), dc);
        return red;
    };
    form.label.SetCaption("");
    EXPECT_EQ(red_pixels(), 0);
    form.label.SetCaption("WWWW");
    RECT dirty{};
    EXPECT_FALSE(GetUpdateRect(form.handle(), &dirty, FALSE)) << "the window is not repainted";
    EXPECT_FALSE(GetUpdateRect(form.label.handle(), &dirty, FALSE)) << "nothing is left to paint";
    EXPECT_GT(red_pixels(), 0) << "the text is on the screen before any message is handled";
    char text[32] = {};
    GetWindowTextA(form.label.handle(), text, sizeof(text));
    EXPECT_STREQ(text, "WWWW") << "other programs can read what the label shows";
    wchar_t stored[32] = {};
    InternalGetWindowText(form.label.handle(), stored, 32);
    EXPECT_STREQ(stored, L"label")
        << "setting the window text would announce every new caption to screen readers";

    ShowWindow(form.handle(), SW_HIDE);
    form.label.SetCaption("");
    ShowWindow(form.handle(), SW_SHOWNOACTIVATE);
    UpdateWindow(form.label.handle());
    EXPECT_EQ(red_pixels(), 0) << "the hidden change is drawn when the window shows again";
    DestroyWindow(form.handle());
}

}  // namespace
}  // namespace tq::forms
