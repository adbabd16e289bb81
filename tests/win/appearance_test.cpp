// The stored look applied to the real main window under Wine: the program's own main
// window is loaded once in this process (its start-up runs on defaults), then each test
// writes a setting.ini into a folder of its own and applies it.
#include "appearance/appearance.h"

#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

#include "app/globals.h"
#include "appearance/picture.h"
#include "countdown/countdown.h"
#include "forms/forms.h"
#include "resources/resources.h"
#include "settings/settings_file.h"
#include "test_support.h"

// libjpeg-turbo's choice for its accurate inverse DCT, made once per process from what the
// processor has and from JSIMD_FORCENONE (1 forces its plain C code): 1 when SIMD code runs.
extern "C" int jsimd_can_idct_islow(void);

namespace tq {
namespace {

class AppearanceTest : public ProgramFolderTest {
protected:
    void Apply(const std::string& ini) {
        DeleteFileA(SettingsFilePath().c_str());
        if (!ini.empty()) WriteFileBytes(SettingsFilePath(), ini);
        ApplyLabelSettings();
        ApplyWindowSettings();
        UpdateWindow(main_window.handle());
    }

    static HWND Window() { return main_window.handle(); }
    static DWORD ExStyle() { return GetWindowLongA(Window(), GWL_EXSTYLE); }
    static forms::Rect Outer() { return main_window.rect(); }

    struct Layered {
        COLORREF key = 0;
        BYTE alpha = 0;
        DWORD flags = 0;
    };
    static Layered LayeredAttributes() {
        Layered l;
        GetLayeredWindowAttributes(Window(), &l.key, &l.alpha, &l.flags);
        return l;
    }

    // The window's client pixels as painted.
    static COLORREF PixelAt(int x, int y) {
        HDC dc = GetDC(Window());
        const COLORREF c = GetPixel(dc, x, y);
        ReleaseDC(Window(), dc);
        return c;
    }
};

TEST_F(AppearanceTest, WithoutSettingsTheDefaultLookIsShown) {
    Apply("");
    const forms::Rect r = Outer();
    EXPECT_EQ(r.width, 530);
    EXPECT_EQ(r.height, 200);
    EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - 530) / 2);
    EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - 200) / 2);
    if (GetSystemMetrics(SM_CXSCREEN) == 1024 && GetSystemMetrics(SM_CYSCREEN) == 768) {
        EXPECT_EQ(r.left, 247);
        EXPECT_EQ(r.top, 284);
    }
    EXPECT_EQ(main_window.title(), "TorvekQuindle 2.0");
    const Layered l = LayeredAttributes();
    EXPECT_EQ(l.alpha, 175);
    EXPECT_TRUE(l.flags & LWA_ALPHA);
    EXPECT_EQ(ExStyle() & ~WS_EX_TOPMOST,
              static_cast<DWORD>(WS_EX_LAYERED | WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW |
                                 WS_EX_CONTROLPARENT))
        << "layered, never activated and out of Alt+Tab; the borderless look adds nothing";
    EXPECT_FALSE(main_window.topmost());
    EXPECT_EQ(GetWindowLongA(Window(), GWL_STYLE) & (WS_CAPTION | WS_THICKFRAME), 0);

    HRGN region = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(GetWindowRgn(Window(), region), ERROR);
    EXPECT_FALSE(PtInRegion(region, 1, 1)) << "the corners lie outside the rounded region";
    EXPECT_FALSE(PtInRegion(region, 528, 198));
    EXPECT_TRUE(PtInRegion(region, 20, 20));
    DeleteObject(region);
    // On the screen the corner shows what lies beneath, a point inside shows the picture.
    HDC screen_dc = GetDC(nullptr);
    const COLORREF corner = GetPixel(screen_dc, r.left + 1, r.top + 1);
    const COLORREF inside = GetPixel(screen_dc, r.left + 30, r.top + 30);
    ReleaseDC(nullptr, screen_dc);
    EXPECT_EQ(inside, PixelAt(30, 30));
    Bitmap picture = ScaleBitmap(DecodePicture(kDefaultPicture, kDefaultPictureSize), 530, 200);
    const uint32_t picture_corner = picture.pixels[1 * 530 + 1];
    EXPECT_NE(corner, RGB((picture_corner >> 16) & 0xFF, (picture_corner >> 8) & 0xFF,
                          picture_corner & 0xFF));

    auto& title = main_window.标题标签;
    auto& time = main_window.时间标签;
    EXPECT_EQ(title.caption(), "距中华人民共和国成立100周年还有");
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    for (auto* label : {&title, &time}) {
        EXPECT_STREQ(label->font().lfFaceName, "宋体");
        EXPECT_EQ(label->font().lfHeight, -MulDiv(17, dpi, 72));
        EXPECT_EQ(label->font().lfWeight, FW_BOLD);
        EXPECT_FALSE(label->font().lfItalic);
        EXPECT_EQ(label->colour(), static_cast<COLORREF>(0x800000));
        EXPECT_EQ(label->align(), forms::HAlign::Centre);
    }
    const forms::Rect t = title.rect();
    const forms::Rect s = time.rect();
    EXPECT_EQ((std::vector<int>{t.left, t.top, t.width, t.height}), (std::vector<int>{0, 100, 530, 55}));
    EXPECT_EQ((std::vector<int>{s.left, s.top, s.width, s.height}), (std::vector<int>{0, 140, 530, 40}));
}

TEST_F(AppearanceTest, TheBuiltInPictureFillsTheClientArea) {
    Apply("");
    Bitmap expected = DecodePicture(kDefaultPicture, kDefaultPictureSize, 530, 200);
    ASSERT_FALSE(expected.empty());
    expected = ScaleBitmap(expected, 530, 200);
    // Points away from the labels' text: the corners' insides and the middle of the top.
    for (POINT p : {POINT{30, 30}, POINT{500, 30}, POINT{265, 10}, POINT{30, 185}, POINT{500, 185}}) {
        const uint32_t want = expected.pixels[p.y * 530 + p.x];
        const COLORREF got = PixelAt(p.x, p.y);
        EXPECT_NEAR(GetRValue(got), (want >> 16) & 0xFF, 2) << p.x << "," << p.y;
        EXPECT_NEAR(GetGValue(got), (want >> 8) & 0xFF, 2) << p.x << "," << p.y;
        EXPECT_NEAR(GetBValue(got), want & 0xFF, 2) << p.x << "," << p.y;
    }
}

// A 24-bit bottom-up BMP file of one colour.
std::string SolidBmp(int width, int height, COLORREF colour) {
    const int stride = (width * 3 + 3) & ~3;
    const uint32_t pixels_size = static_cast<uint32_t>(stride * height);
    std::string file(54 + pixels_size, '\0');
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) file[at + i] = static_cast<char>(v >> (8 * i));
    };
    file[0] = 'B';
    file[1] = 'M';
    put32(2, static_cast<uint32_t>(file.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(width));
    put32(22, static_cast<uint32_t>(height));
    file[26] = 1;
    file[28] = 24;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const size_t at = 54 + static_cast<size_t>(y) * stride + x * 3;
            file[at] = static_cast<char>(GetBValue(colour));
            file[at + 1] = static_cast<char>(GetGValue(colour));
            file[at + 2] = static_cast<char>(GetRValue(colour));
        }
    }
    return file;
}

// The window keeps a large picture only as its bitmap and reads background.pic again when
// it must draw the picture at another size; a small picture stays in memory. Changing the
// file behind the window's back shows which of the two happened.
TEST_F(AppearanceTest, ALargePictureIsReadAgainFromItsFileOnResize) {
    const std::string pic = dir_ + "\\background.pic";
    for (const bool large : {true, false}) {
        const int side = large ? 400 : 40;  // 480 kB or 4.8 kB
        WriteFileBytes(pic, SolidBmp(side, side, RGB(200, 30, 30)));
        Apply("");
        EXPECT_EQ(PixelAt(30, 30), RGB(200, 30, 30));
        WriteFileBytes(pic, SolidBmp(side, side, RGB(30, 30, 200)));
        InvalidateRect(Window(), nullptr, FALSE);
        UpdateWindow(Window());
        EXPECT_EQ(PixelAt(30, 30), RGB(200, 30, 30)) << "the bitmap is kept while the size holds";
        main_window.SetWidth(560);
        UpdateWindow(Window());
        EXPECT_EQ(PixelAt(30, 30), large ? RGB(30, 30, 200) : RGB(200, 30, 30)) << side;
    }
    DeleteFileA(pic.c_str());
    Apply("");
}

TEST_F(AppearanceTest, LabelTextIsDrawnInItsConfiguredColour) {
    Apply("[ttfont]\r\ncolor=255\r\n[mtfont]\r\ncolor=65280\r\n");
    // The default title label (100..155) overlaps the time label (140..180): count only
    // the rows that belong to one label alone.
    auto count = [](const forms::TransparentLabel& label, COLORREF colour) {
        RECT r = label.ClientRect();
        if (&label == &main_window.标题标签) r.bottom = main_window.时间标签.ClientRect().top;
        HDC dc = GetDC(main_window.handle());
        int n = 0;
        for (int y = r.top; y < r.bottom; ++y) {
            for (int x = r.left; x < r.right; x += 2) n += GetPixel(dc, x, y) == colour;
        }
        ReleaseDC(main_window.handle(), dc);
        return n;
    };
    RedrawWindow(Window(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    EXPECT_GT(count(main_window.时间标签, RGB(255, 0, 0)), 20);
    EXPECT_GT(count(main_window.标题标签, RGB(0, 255, 0)), 20);
    EXPECT_EQ(count(main_window.标题标签, RGB(255, 0, 0)), 0);
}

TEST_F(AppearanceTest, OpacityBelowTwoKeysOutTheBackgroundAvoidingTheLabelColours) {
    Apply("[ui]\r\ntransparency=1\r\n[mtfont]\r\ncolor=0\r\n[ttfont]\r\ncolor=1\r\n");
    EXPECT_EQ(opacity_setting, 1);
    EXPECT_TRUE(main_window.picture_removed());
    EXPECT_EQ(main_window.background_colour(), static_cast<COLORREF>(2));
    const Layered l = LayeredAttributes();
    EXPECT_EQ(l.key, static_cast<COLORREF>(2));
    EXPECT_TRUE(l.flags & LWA_COLORKEY);
    EXPECT_TRUE(ExStyle() & WS_EX_LAYERED);
    EXPECT_EQ(PixelAt(30, 30), static_cast<COLORREF>(2)) << "no picture, only the key colour";

    Apply("[ui]\r\ntransparency=100\r\n");
    EXPECT_FALSE(main_window.picture_removed()) << "alpha mode brings the picture back";
    EXPECT_EQ(LayeredAttributes().alpha, 100);
}

TEST_F(AppearanceTest, ColourKeyedTextHasNoFringeOfBlendedPixels) {
    Apply("[ui]\r\ntransparency=0\r\n[ttfont]\r\ncolor=16777215\r\nsize=30\r\n");
    const COLORREF key = main_window.background_colour();
    const RECT r = main_window.时间标签.ClientRect();
    RedrawWindow(Window(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    // Only what the window shows counts: the rounded region leaves out the last column, and
    // the surface may keep anything there.
    HRGN shown = CreateRectRgn(0, 0, 0, 0);
    GetWindowRgn(Window(), shown);
    HDC dc = GetDC(Window());
    int text = 0;
    int blended = 0;
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) {
            if (!PtInRegion(shown, x, y)) continue;
            const COLORREF c = GetPixel(dc, x, y);
            if (c == RGB(255, 255, 255)) {
                ++text;
            } else if (c != key) {
                ++blended;
            }
        }
    }
    ReleaseDC(Window(), dc);
    DeleteObject(shown);
    EXPECT_GT(text, 50);
    EXPECT_EQ(blended, 0) << "every pixel is either the key colour or the text colour";
}

TEST_F(AppearanceTest, OpacityAbove255IsOpaque) {
    for (const char* value : {"256", "255", "70000"}) {
        Apply(std::string("[ui]\r\ntransparency=") + value + "\r\n");
        EXPECT_EQ(LayeredAttributes().alpha, 255) << value;
    }
    EXPECT_EQ(opacity_setting, 4464);
}

// Wine always reports high contrast off, so the mode is switched through the probe; the
// window hears of each switch as it would from the system, by WM_SETTINGCHANGE.
TEST_F(AppearanceTest, HighContrastShowsTheWindowOpaqueInTheWindowColoursUntilItGoesOff) {
    static bool high_contrast = false;
    high_contrast_probe = [] { return high_contrast; };
    const auto switch_to = [](bool on) {
        high_contrast = on;
        SendMessageW(Window(), WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, 0);
        RedrawWindow(Window(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    };
    for (const char* transparency : {"120", "1"}) {  // alpha and colour-key mode
        const std::string ini =
            std::string("[ui]\r\ntransparency=") + transparency + "\r\n[ttfont]\r\ncolor=255\r\n";
        Apply(ini);
        switch_to(true);
        Apply(ini);  // 应用 and 取消 keep the mode's look
        EXPECT_TRUE(main_window.picture_removed()) << transparency;
        EXPECT_EQ(PixelAt(30, 30), GetSysColor(COLOR_WINDOW));
        EXPECT_EQ(LayeredAttributes().flags, static_cast<DWORD>(LWA_ALPHA));
        EXPECT_EQ(LayeredAttributes().alpha, 255);
        EXPECT_EQ(main_window.时间标签.colour(), GetSysColor(COLOR_WINDOWTEXT));
        FadeIn();  // the end of a click's hide-and-return cycle
        EXPECT_EQ(LayeredAttributes().alpha, 255) << transparency;

        switch_to(false);
        EXPECT_EQ(main_window.时间标签.colour(), RGB(255, 0, 0));
        const bool alpha_mode = opacity_setting > 1;
        EXPECT_EQ(LayeredAttributes().flags,
                  static_cast<DWORD>(alpha_mode ? LWA_ALPHA : LWA_COLORKEY));
        if (alpha_mode) {
            EXPECT_EQ(LayeredAttributes().alpha, 120);
        }
        EXPECT_EQ(main_window.picture_removed(), !alpha_mode);
        EXPECT_EQ(ReadFileBytes(SettingsFilePath()), ini) << "nothing written for the mode";
    }
    high_contrast_probe = nullptr;
    Apply("");
}

TEST_F(AppearanceTest, AnyShapeOtherThanZeroGivesTheFramedWindow) {
    for (const char* shape : {"1", "2"}) {
        Apply(std::string("[ui]\r\nwinshape=") + shape + "\r\nwintitle=Framed\r\n");
        HRGN region = CreateRectRgn(0, 0, 0, 0);
        EXPECT_EQ(GetWindowRgn(Window(), region), ERROR) << "a rectangle has no region";
        DeleteObject(region);
        const DWORD style = GetWindowLongA(Window(), GWL_STYLE);
        EXPECT_TRUE(style & WS_THICKFRAME);
        EXPECT_EQ(style & WS_CAPTION, static_cast<DWORD>(WS_CAPTION));
        EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
        EXPECT_TRUE(ExStyle() & WS_EX_TOOLWINDOW);
        char caption[64] = {};
        GetWindowTextA(Window(), caption, sizeof(caption));
        EXPECT_STREQ(caption, "Framed");
    }
    Apply("");
    EXPECT_EQ(ExStyle() & (WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE | WS_EX_LAYERED),
              static_cast<DWORD>(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE | WS_EX_LAYERED))
        << "a change of look keeps the bits it does not own";
    EXPECT_EQ(GetWindowLongA(Window(), GWL_STYLE) & WS_CAPTION, 0);
}

TEST_F(AppearanceTest, OnlyWinmidZeroUsesTheStoredPosition) {
    Apply("[ui]\r\nwinmid=0\r\n");
    EXPECT_EQ(Outer().left, 17);
    EXPECT_EQ(Outer().top, 45);
    Apply("[ui]\r\nwinmid=0\r\nwinleft=-5\r\nwintop=300\r\n");
    EXPECT_EQ(Outer().left, -5);
    EXPECT_EQ(Outer().top, 300);
    // A place at the end of the 32-bit range plus the width must not wrap round to a place
    // that looks reachable.
    Apply("[ui]\r\nwinmid=0\r\nwinleft=2147483000\r\nwinwidth=1000\r\n");
    RECT area{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    EXPECT_EQ(Outer().left, area.right - 1000);
    Apply("[ui]\r\nwinmid=\r\n");
    EXPECT_EQ(Outer().left, (GetSystemMetrics(SM_CXSCREEN) - 530) / 2);
}

TEST_F(AppearanceTest, OnlyTopOneKeepsTheWindowOnTop) {
    Apply("[main]\r\ntop=yes\r\n");
    EXPECT_FALSE(main_window.topmost());
    EXPECT_FALSE(ExStyle() & WS_EX_TOPMOST);
    Apply("[main]\r\ntop=1\r\n");
    EXPECT_TRUE(main_window.topmost());
    EXPECT_TRUE(ExStyle() & WS_EX_TOPMOST);
    Apply("");
    EXPECT_FALSE(ExStyle() & WS_EX_TOPMOST);
}

TEST_F(AppearanceTest, EmptySizeGivesAZeroHeightFont) {
    Apply("[mtfont]\r\nsize=\r\n");
    EXPECT_EQ(main_window.标题标签.font().lfHeight, 0);
    EXPECT_NE(main_window.时间标签.font().lfHeight, 0);
}

TEST_F(AppearanceTest, TheStoredTitleLosesItsFirstAndLastByte) {
    const std::pair<const char*, const char*> cases[] = {
        {"_", ""}, {"\"_ abc _\"", " abc "}, {"abc", "b"}, {"_距今还有_", "距今还有"}};
    for (const auto& [stored, shown] : cases) {
        Apply(std::string("[ui]\r\nmaintitle=") + stored + "\r\n");
        EXPECT_EQ(main_window.标题标签.caption(), shown) << stored;
    }
}

TEST_F(AppearanceTest, LimitSetsWhetherTheCountdownMayGoBelowZero) {
    Apply("[main]\r\nlimit=0\r\n");
    EXPECT_FALSE(allow_below_zero);
    Apply("");
    EXPECT_TRUE(allow_below_zero);
}

}  // namespace
}  // namespace tq

namespace tq {
namespace {

// The form as declared, before any setting is applied over it.
TEST(MainFormTest, FreshFormHoldsTheInitialLabelsAndStoppedTimers) {
    MainForm form;
    EXPECT_EQ(form.标题标签.caption(), "标题标签-未读入数据");
    EXPECT_EQ(form.时间标签.caption(), "时间标签-未读入时间");
    for (const forms::TransparentLabel* label : {&form.标题标签, &form.时间标签}) {
        EXPECT_EQ(label->colour(), RGB(0, 0, 128));
        EXPECT_EQ(label->font().lfHeight, -13);
        EXPECT_EQ(label->font().lfWeight, FW_NORMAL);
        EXPECT_EQ(label->font().lfCharSet, GB2312_CHARSET);
        EXPECT_EQ(label->align(), forms::HAlign::Centre);
    }
    EXPECT_STREQ(form.标题标签.font().lfFaceName, "");
    EXPECT_STREQ(form.时间标签.font().lfFaceName, "宋体");
    for (const forms::Timer* timer : {&form.倒计时_秒, &form.倒计时_分, &form.倒计时_时, &form.倒计时_天}) {
        EXPECT_EQ(timer->interval(), 0);
    }
}

TEST(MainFormTest, TrayMenuWindowIsHiddenDisabledAndHoldsTheSixEntries) {
    if (!tray_menu_window.loaded()) tray_menu_window.Load();
    EXPECT_FALSE(IsWindowVisible(tray_menu_window.handle()));
    EXPECT_FALSE(IsWindowEnabled(tray_menu_window.handle()));
    std::vector<std::string> captions;
    for (const forms::MenuItem* item : tray_menu_window.菜单.items()) captions.push_back(item->caption);
    EXPECT_EQ(captions, (std::vector<std::string>{"开始/暂停", "-", "设置", "咨询/反馈", "关于", "退出"}));
}

// The program decodes JPEG through libjpeg-turbo's SIMD code, and with the accurate integer
// DCT that code gives exactly the pixels of the plain C code. Decodes at full size and at
// 1/2 (a reduced inverse DCT) are repeated in a second run of this test with SIMD forced
// off, which hands back its pixels through a file.
TEST(JpegSimdTest, DecodesThroughSimdToThePixelsOfThePlainCode) {
    std::string pixels = std::to_string(jsimd_can_idct_islow()) + ":";
    for (int want_width : {0, 261}) {
        const Bitmap bitmap = DecodePicture(kDefaultPicture, kDefaultPictureSize, want_width, 0);
        pixels.append(reinterpret_cast<const char*>(bitmap.pixels.data()),
                      bitmap.pixels.size() * 4);
    }
    if (const char* out = std::getenv("TQ_PLAIN_JPEG_PIXELS")) {  // the second run
        WriteFileBytes(out, pixels);
        return;
    }
    ASSERT_EQ(pixels.substr(0, 2), "1:");

    const std::string dir = MakeTempFolder();
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string command =
        std::string("\"") + exe + "\" --gtest_brief=1 --gtest_filter=JpegSimdTest.*";
    // This process's environment without GoogleTest's report setting, which the second run
    // must not write over.
    std::string environment;
    char* block = GetEnvironmentStringsA();
    for (const char* v = block; *v; v += std::strlen(v) + 1) {
        if (std::strncmp(v, "GTEST_", 6) != 0) environment.append(v).push_back('\0');
    }
    FreeEnvironmentStringsA(block);
    environment.append("JSIMD_FORCENONE=1").push_back('\0');
    environment.append("TQ_PLAIN_JPEG_PIXELS=" + dir + "\\plain.bin").push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessA(exe, command.data(), nullptr, nullptr, FALSE, 0, environment.data(),
                               nullptr, &startup, &process));
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    const std::string plain = ReadFileBytes(dir + "\\plain.bin");
    RemoveFolder(dir);
    ASSERT_EQ(plain.substr(0, 2), "0:");  // SIMD was off there
    EXPECT_EQ(plain.size(), pixels.size());
    EXPECT_TRUE(plain.compare(1, std::string::npos, pixels, 1) == 0) << "the pixels differ";
}

}  // namespace
}  // namespace tq
