// The window and control model on the real platform: shapes, timers, transparent labels
// and the notification-area icon.
#include "forms/model.h"

#include <gtest/gtest.h>

#include <shellapi.h>

#include "resources/resources.h"

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

// Dispatches messages for a while, as the program's loop would.
void PumpFor(DWORD milliseconds) {
    const DWORD end = GetTickCount() + milliseconds;
    while (static_cast<int>(end - GetTickCount()) > 0) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

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
    PumpFor(250);
    form.timer.SetInterval(400);  // restart: the first tick is now 400 ms away again
    PumpFor(250);
    EXPECT_EQ(ticks, 0) << "a restarted timer must not fire at its old due time";
    PumpFor(400);
    EXPECT_GE(ticks, 1);
    form.timer.SetInterval(0);
    const int stopped_at = ticks;
    PumpFor(500);
    EXPECT_EQ(ticks, stopped_at) << "interval 0 stops the timer";
    form.timer.SetInterval(-5);
    PumpFor(300);
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

TEST(TrayIconTest, TipIsCutTo62BytesAndReplacingKeepsOneIcon) {
    ShapedForm form(Shape::Rectangle);
    form.Load();
    const std::string_view icon(reinterpret_cast<const char*>(kProgramIcon), kProgramIconSize);
    const std::string tip(70, 'a');
    ASSERT_TRUE(form.SetTrayIcon(icon, tip));
    EXPECT_EQ(form.tray_tip(), std::string(62, 'a'));
    ASSERT_TRUE(form.SetTrayIcon(icon, "second"));
    EXPECT_EQ(form.tray_tip(), "second");
    // A second icon with the same identifier would make NIM_ADD succeed again; the icon
    // exists, so adding must fail while modifying works.
    NOTIFYICONDATAA data{};
    data.cbSize = sizeof(data);
    data.hWnd = form.handle();
    data.uID = 100;
    EXPECT_FALSE(Shell_NotifyIconA(NIM_ADD, &data));
    DestroyWindow(form.handle());
    EXPECT_FALSE(form.has_tray_icon()) << "closing the window removes the icon";
    EXPECT_FALSE(Shell_NotifyIconA(NIM_DELETE, &data));
}

}  // namespace
}  // namespace tq::forms
