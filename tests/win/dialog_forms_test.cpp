// The settings and about windows under Wine: every control of both forms at its place with
// its caption, style and font, their initial state, focus order and keys; and the control
// types with real controls: typed input, content events, combo selection, check boxes,
// slider, spinner, date picker, colour and file dialogs, and page switching.
#include "forms/dialog_forms.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>
#include <commctrl.h>
#include <oleacc.h>

#include "app/globals.h"
#include "forms/accessible.h"
#include "forms/forms.h"
#include "runtime/value.h"
#include "settings/schema.h"
#include "test_support.h"

namespace tq {
namespace {

using forms::Control;
using forms::Form;

// ---- Helpers ---------------------------------------------------------------------------------

void Pump(DWORD milliseconds = 30) { PumpMessagesFor(milliseconds); }

bool PumpUntil(const std::function<bool()>& done, DWORD timeout = 5000) {
    const DWORD end = GetTickCount() + timeout;
    while (!done()) {
        if (static_cast<int>(end - GetTickCount()) <= 0) return false;
        Pump(10);
    }
    return true;
}

void CloseAndWait(Form& form) {
    if (!form.loaded()) return;
    form.Close();
    PumpUntil([&] { return !form.loaded(); });
}

std::string TextOf(HWND hwnd) {
    char text[512] = {};
    GetWindowTextA(hwnd, text, sizeof(text));
    return text;
}

RECT RectInForm(HWND control, HWND form) {
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

LOGFONTA FontOf(HWND hwnd) {
    LOGFONTA font{};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(hwnd, WM_GETFONT, 0, 0)), sizeof(font), &font);
    return font;
}

bool UsesDefaultGuiFont(HWND hwnd) {
    return reinterpret_cast<HGDIOBJ>(SendMessageA(hwnd, WM_GETFONT, 0, 0)) ==
           GetStockObject(DEFAULT_GUI_FONT);
}

std::vector<std::string> ComboItems(HWND combo) {
    std::vector<std::string> items;
    const int count = static_cast<int>(SendMessageA(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        char text[128] = {};
        SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        items.emplace_back(text);
    }
    return items;
}

bool Checked(HWND hwnd) { return SendMessageA(hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED; }

// Keys as the keyboard delivers them: through the input queue to the focused control, then
// through the program's message loop.
void PressKeys(std::initializer_list<WORD> held, WORD key) {
    std::vector<INPUT> inputs;
    auto add = [&](WORD vk, bool up) {
        INPUT in{};
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = vk;
        in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        inputs.push_back(in);
    };
    for (WORD vk : held) add(vk, false);
    add(key, false);
    add(key, true);
    for (auto it = std::rbegin(held); it != std::rend(held); ++it) add(*it, true);
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    Pump(60);
}

void FocusOn(Form& form, HWND control) {
    SetForegroundWindow(form.handle());
    SetActiveWindow(form.handle());
    SetFocus(control);
    Pump(30);
}

// Writes what the screen shows of a window as a 24-bit BMP file.
void SaveScreenshot(HWND window, const std::string& path) {
    RECT r;
    GetWindowRect(window, &r);
    const int w = r.right - r.left;
    const int h = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFOHEADER info{};
    info.biSize = sizeof(info);
    info.biWidth = w;
    info.biHeight = h;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const int stride = (w * 3 + 3) & ~3;
    std::string pixels(static_cast<size_t>(stride) * h, '\0');
    GetDIBits(memory, bitmap, 0, h, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
              DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    WriteFileBytes(path, std::string(reinterpret_cast<const char*>(&file), sizeof(file)) +
                             std::string(reinterpret_cast<const char*>(&info), sizeof(info)) +
                             pixels);
}

// ---- The forms' tables -----------------------------------------------------------------------

struct Placed {
    const char* name;
    const Control& control;
    POINT origin;         // the container's place in the window's client area
    forms::Rect rect;     // relative to the container, as the form gives it
    const char* caption;  // nullptr: the logic replaces it when the window is filled
};

// Where the containers lie in the settings window's client area.
constexpr POINT kWindow{0, 0};
constexpr POINT kPages{8, 14};
constexpr POINT kTitleGroup{8 + 18, 14 + 34};
constexpr POINT kTimeGroup{8 + 273, 14 + 34};
constexpr POINT kDisplayGroup{8 + 21, 14 + 34};
constexpr POINT kTimeSettingsGroup{8 + 21, 14 + 266};

std::vector<Placed> SettingsTable(SettingsForm& f) {
    // clang-format off
    return {
        {"设置选择夹", f.设置选择夹, kWindow, {8, 14, 536, 402}, ""},
        {"标题标签设置", f.标题标签设置, kPages, {18, 34, 245, 345}, "主标题设置"},
        {"标题标签内容", f.标题标签内容, kTitleGroup, {20, 30, 64, 20}, "主标题内容"},
        {"标题标签内容设置框", f.标题标签内容设置框, kTitleGroup, {86, 30, 136, 20}, nullptr},
        {"标题标签字体", f.标题标签字体, kTitleGroup, {20, 60, 48, 20}, "字体"},
        {"标题标签字体组合框", f.标题标签字体组合框, kTitleGroup, {133, 60, 90, 20}, nullptr},
        {"标题标签字体颜色", f.标题标签字体颜色, kTitleGroup, {20, 90, 64, 20}, "字体颜色"},
        {"标题标签颜色选择", f.标题标签颜色选择, kTitleGroup, {133, 90, 90, 20}, ""},
        {"标题标签字号", f.标题标签字号, kTitleGroup, {20, 120, 48, 20}, "字号"},
        {"标题标签字号设置框", f.标题标签字号设置框, kTitleGroup, {133, 120, 90, 20}, nullptr},
        {"标题标签字体加粗勾选框", f.标题标签字体加粗勾选框, kTitleGroup, {20, 150, 112, 20}, "字体加粗"},
        {"标题标签字体倾斜勾选框", f.标题标签字体倾斜勾选框, kTitleGroup, {149, 150, 75, 20}, "字体倾斜"},
        {"标题标签左位置", f.标题标签左位置, kTitleGroup, {20, 180, 72, 20}, "标题左位置"},
        {"标题标签左位置设置框", f.标题标签左位置设置框, kTitleGroup, {133, 180, 90, 20}, nullptr},
        {"标题标签上位置", f.标题标签上位置, kTitleGroup, {20, 210, 72, 20}, "标题上位置"},
        {"标题标签上位置设置框", f.标题标签上位置设置框, kTitleGroup, {133, 210, 90, 20}, nullptr},
        {"标题标签宽度", f.标题标签宽度, kTitleGroup, {20, 240, 72, 20}, "标题宽度"},
        {"标题标签宽度设置框", f.标题标签宽度设置框, kTitleGroup, {133, 240, 90, 20}, nullptr},
        {"标题标签高度", f.标题标签高度, kTitleGroup, {20, 270, 72, 20}, "标题高度"},
        {"标题标签高度设置框", f.标题标签高度设置框, kTitleGroup, {133, 270, 90, 20}, nullptr},
        {"标题标签文字对齐方式标签", f.标题标签文字对齐方式标签, kTitleGroup, {20, 300, 96, 20}, "标题文字对齐方式"},
        {"标题标签对齐方式设置框", f.标题标签对齐方式设置框, kTitleGroup, {133, 300, 90, 20}, nullptr},

        {"时间标签设置", f.时间标签设置, kPages, {273, 34, 245, 345}, "时间标题设置"},
        {"时间标签内容", f.时间标签内容, kTimeGroup, {20, 30, 81, 20}, "时间标题内容"},
        {"标题标签内容设置框1", f.标题标签内容设置框1, kTimeGroup, {133, 30, 80, 20}, "当前系统时间"},
        {"时间标签字体", f.时间标签字体, kTimeGroup, {20, 60, 48, 20}, "字体"},
        {"时间标签字体组合框", f.时间标签字体组合框, kTimeGroup, {133, 60, 90, 20}, nullptr},
        {"时间标签字体颜色", f.时间标签字体颜色, kTimeGroup, {20, 90, 64, 20}, "字体颜色"},
        {"时间标签颜色选择", f.时间标签颜色选择, kTimeGroup, {133, 90, 90, 20}, ""},
        {"时间标签字号", f.时间标签字号, kTimeGroup, {20, 120, 48, 20}, "字号"},
        {"时间标签字号设置框", f.时间标签字号设置框, kTimeGroup, {133, 120, 90, 20}, nullptr},
        {"时间标签字体加粗勾选框", f.时间标签字体加粗勾选框, kTimeGroup, {15, 150, 144, 20}, "字体加粗"},
        {"时间标签字体倾斜勾选框", f.时间标签字体倾斜勾选框, kTimeGroup, {133, 150, 77, 20}, "字体倾斜"},
        {"时间标签左位置", f.时间标签左位置, kTimeGroup, {20, 180, 72, 20}, "标题左位置"},
        {"时间标签左位置设置框", f.时间标签左位置设置框, kTimeGroup, {133, 180, 90, 20}, nullptr},
        {"时间标签上位置", f.时间标签上位置, kTimeGroup, {20, 210, 72, 20}, "标题上位置"},
        {"时间标签上位置设置框", f.时间标签上位置设置框, kTimeGroup, {133, 210, 90, 20}, nullptr},
        {"时间标签宽度", f.时间标签宽度, kTimeGroup, {20, 240, 72, 20}, "标题宽度"},
        {"时间标签宽度设置框", f.时间标签宽度设置框, kTimeGroup, {133, 240, 90, 20}, nullptr},
        {"时间标签高度", f.时间标签高度, kTimeGroup, {20, 270, 72, 20}, "标题高度"},
        {"时间标签高度设置框", f.时间标签高度设置框, kTimeGroup, {133, 270, 90, 20}, nullptr},
        {"时间标签文字对齐方式标签", f.时间标签文字对齐方式标签, kTimeGroup, {20, 300, 96, 20}, "标题文字对齐方式"},
        {"时间标签对齐方式设置框", f.时间标签对齐方式设置框, kTimeGroup, {133, 300, 90, 20}, nullptr},

        {"窗口显示设置", f.窗口显示设置, kPages, {21, 34, 500, 224}, "窗口显示设置"},
        {"主窗口透明度设置", f.主窗口透明度设置, kDisplayGroup, {20, 19, 71, 24}, "窗口透明度"},
        {"主窗口透明度滑块条", f.主窗口透明度滑块条, kDisplayGroup, {96, 20, 368, 24}, nullptr},
        {"窗口居中勾选框", f.窗口居中勾选框, kDisplayGroup, {28, 45, 79, 20}, "窗口居中"},
        {"总在最上_勾选框", f.总在最上_勾选框, kDisplayGroup, {201, 45, 95, 20}, "窗口总在最上"},
        {"开机启动_勾选框", f.开机启动_勾选框, kDisplayGroup, {401, 45, 82, 20}, "开机自启动"},
        {"主窗口左位置", f.主窗口左位置, kDisplayGroup, {17, 68, 72, 20}, "主窗口左位置"},
        {"主窗口左位置设置框", f.主窗口左位置设置框, kDisplayGroup, {137, 68, 75, 20}, nullptr},
        {"主窗口左位置调节器", f.主窗口左位置调节器, kDisplayGroup, {191, 68, 20, 20}, nullptr},
        {"主窗口宽度", f.主窗口宽度, kDisplayGroup, {258, 68, 72, 20}, "主窗口宽度"},
        {"主窗口宽度设置框", f.主窗口宽度设置框, kDisplayGroup, {407, 68, 75, 20}, nullptr},
        {"主窗口宽度调节器", f.主窗口宽度调节器, kDisplayGroup, {462, 68, 20, 20}, nullptr},
        {"主窗口上位置", f.主窗口上位置, kDisplayGroup, {17, 98, 72, 20}, "主窗口上位置"},
        {"主窗口上位置设置框", f.主窗口上位置设置框, kDisplayGroup, {137, 98, 75, 20}, nullptr},
        {"主窗口上位置调节器", f.主窗口上位置调节器, kDisplayGroup, {191, 97, 20, 20}, nullptr},
        {"主窗口高度", f.主窗口高度, kDisplayGroup, {258, 98, 72, 20}, "主窗口高度"},
        {"主窗口高度设置框", f.主窗口高度设置框, kDisplayGroup, {407, 98, 75, 20}, nullptr},
        {"主窗口高度调节器", f.主窗口高度调节器, kDisplayGroup, {462, 97, 20, 20}, nullptr},
        {"主界面外观_标签", f.主界面外观_标签, kDisplayGroup, {17, 128, 80, 20}, "主界面外观"},
        {"主界面外观_组合框", f.主界面外观_组合框, kDisplayGroup, {150, 128, 64, 20}, nullptr},
        {"窗口托盘标题_标签", f.窗口托盘标题_标签, kDisplayGroup, {257, 128, 83, 20}, "窗口/托盘文字"},
        {"窗口托盘标题文字_编辑框", f.窗口托盘标题文字_编辑框, kDisplayGroup, {347, 128, 137, 20}, nullptr},
        {"背景图片", f.背景图片, kDisplayGroup, {16, 158, 115, 20}, nullptr},
        {"浏览图片", f.浏览图片, kDisplayGroup, {147, 158, 80, 22}, "浏览"},
        {"恢复默认图片", f.恢复默认图片, kDisplayGroup, {147, 187, 80, 22}, "恢复默认"},
        {"背景图片提示", f.背景图片提示, kDisplayGroup, {235, 158, 240, 48}, nullptr},

        {"时间设置分组框", f.时间设置分组框, kPages, {21, 266, 500, 120}, "时间设置"},
        {"刷新显示时间间隔_标签", f.刷新显示时间间隔_标签, kTimeSettingsGroup, {9, 30, 243, 20},
         "刷新显示时间间隔                    秒"},
        {"刷新时间间隔_编辑框", f.刷新时间间隔_编辑框, kTimeSettingsGroup, {145, 30, 63, 20}, nullptr},
        {"时间显示精度标签", f.时间显示精度标签, kTimeSettingsGroup, {272, 30, 88, 20}, "时间显示精度"},
        {"精确度", f.精确度, kTimeSettingsGroup, {374, 30, 97, 20}, nullptr},
        {"倒计时目标时间设置_标签", f.倒计时目标时间设置_标签, kTimeSettingsGroup, {9, 60, 112, 20}, "倒计时目标时间设置"},
        {"倒计时目标设置框", f.倒计时目标设置框, kTimeSettingsGroup, {145, 60, 146, 20}, nullptr},
        {"小时单位_编辑框", f.小时单位_编辑框, kTimeSettingsGroup, {305, 60, 30, 20}, nullptr},
        {"小时单位_标签", f.小时单位_标签, kTimeSettingsGroup, {338, 60, 16, 20}, "时"},
        {"分钟单位_编辑框", f.分钟单位_编辑框, kTimeSettingsGroup, {362, 60, 30, 20}, nullptr},
        {"分钟单位_标签", f.分钟单位_标签, kTimeSettingsGroup, {397, 60, 16, 20}, "分"},
        {"秒钟单位_编辑框", f.秒钟单位_编辑框, kTimeSettingsGroup, {420, 60, 30, 20}, nullptr},
        {"分钟单位_标签1", f.分钟单位_标签1, kTimeSettingsGroup, {457, 60, 16, 20}, "秒"},
        {"倒计时数值限制_勾选框", f.倒计时数值限制_勾选框, kTimeSettingsGroup, {11, 90, 168, 20}, "允许倒计时数值小于零"},

        {"恢复默认设置按钮", f.恢复默认设置按钮, kWindow, {156, 421, 87, 27}, "默认设置"},
        {"应用按钮", f.应用按钮, kWindow, {256, 421, 87, 27}, "应用"},
        {"确定按钮", f.确定按钮, kWindow, {357, 421, 87, 27}, "确定"},
        {"取消按钮", f.取消按钮, kWindow, {457, 420, 87, 27}, "取消"},
    };
    // clang-format on
}

std::vector<Placed> AboutTable(AboutForm& f) {
    return {
        {"关于窗口主标签", f.关于窗口主标签, kWindow, {0, 16, 376, 40}, nullptr},
        {"关于_内容", f.关于_内容, kWindow, {16, 64, 344, 40}, nullptr},
        {"Email",
         f.Email,
         kWindow,
         {16, 111, 348, 36},
         "torvekquindle@example.org\r\nQQ: 10000\r\n前进！同志，从一个胜利走向另一个胜利！"},
        {"打开博客", f.打开博客, kWindow, {149, 157, 88, 26}, "Torvek博客"},
        {"确定", f.确定, kWindow, {266, 157, 88, 26}, "确定"},
    };
}

void ExpectPlacedAsTheFormSays(const std::vector<Placed>& table, HWND form) {
    for (const Placed& row : table) {
        SCOPED_TRACE(row.name);
        const HWND hwnd = row.control.handle();
        ASSERT_NE(hwnd, nullptr);
        const RECT r = RectInForm(hwnd, form);
        EXPECT_EQ(r.left, row.origin.x + row.rect.left);
        EXPECT_EQ(r.top, row.origin.y + row.rect.top);
        EXPECT_EQ(r.right - r.left, row.rect.width);
        EXPECT_EQ(r.bottom - r.top, row.rect.height);
        if (row.caption) {
            EXPECT_EQ(TextOf(hwnd), row.caption);
        }
    }
}

// ---- Settings window -------------------------------------------------------------------------

class SettingsWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        settings_window.Load();
        Pump(100);
    }
    static void TearDownTestSuite() { CloseAndWait(settings_window); }
    void SetUp() override {
        ASSERT_TRUE(settings_window.loaded());
        settings_window.设置选择夹.SetCurrent(0);
    }
    SettingsForm& f = settings_window;
};

TEST_F(SettingsWindow, IsAFixedCentredWindowWithMinimiseBoxInTheTaskbar) {
    const HWND w = f.handle();
    EXPECT_EQ(TextOf(w), "TorvekQuindle设置");
    const LONG style = GetWindowLongA(w, GWL_STYLE);
    EXPECT_TRUE(style & WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME);
    EXPECT_TRUE(GetWindowLongA(w, GWL_EXSTYLE) & WS_EX_APPWINDOW);
    RECT r;
    GetWindowRect(w, &r);
    EXPECT_EQ(r.right - r.left, 564);
    EXPECT_EQ(r.bottom - r.top, 488);
    EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - 564) / 2);
    EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - 488) / 2);
}

TEST_F(SettingsWindow, EveryControlLiesWhereTheFormPutsItWithItsCaption) {
    ExpectPlacedAsTheFormSays(SettingsTable(f), f.handle());
}

TEST_F(SettingsWindow, PagesHaveTheirTabCaptionsAndHints) {
    const HWND tabs = f.设置选择夹.handle();
    ASSERT_EQ(SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0), 2);
    const char* captions[] = {"文字设置", "主窗口设置"};
    const char* hints[] = {"设置提示文字、时间文字显示效果", "对窗口界面布局进行设置"};
    for (int i = 0; i < 2; ++i) {
        char text[64] = {};
        TCITEMA item{};
        item.mask = TCIF_TEXT;
        item.pszText = text;
        item.cchTextMax = sizeof(text);
        SendMessageA(tabs, TCM_GETITEMA, i, reinterpret_cast<LPARAM>(&item));
        EXPECT_STREQ(text, captions[i]);

        char hint[128] = {};
        TOOLINFOA tool{};
        tool.cbSize = TTTOOLINFOA_V2_SIZE;
        tool.hwnd = tabs;
        tool.uId = i;
        tool.lpszText = hint;
        SendMessageA(f.设置选择夹.tooltip(), TTM_GETTEXTA, sizeof(hint),
                     reinterpret_cast<LPARAM>(&tool));
        EXPECT_STREQ(hint, hints[i]);
    }
}

TEST_F(SettingsWindow, ComboBoxesListTheirItemsAsDropDownLists) {
    EXPECT_EQ(ComboItems(f.标题标签对齐方式设置框.handle()),
              (std::vector<std::string>{"左对齐", "居中", "右对齐"}));
    EXPECT_EQ(ComboItems(f.时间标签对齐方式设置框.handle()),
              (std::vector<std::string>{"左对齐", "居中", "右对齐"}));
    EXPECT_EQ(ComboItems(f.主界面外观_组合框.handle()), (std::vector<std::string>{"默认", "正常"}));
    EXPECT_EQ(ComboItems(f.精确度.handle()),
              (std::vector<std::string>{"精确到秒", "精确到分钟", "精确到小时", "精确到天"}));
    for (const ComboBox* combo :
         {&f.标题标签字体组合框, &f.时间标签字体组合框, &f.标题标签对齐方式设置框,
          &f.时间标签对齐方式设置框, &f.主界面外观_组合框, &f.精确度}) {
        EXPECT_EQ(GetWindowLongA(combo->handle(), GWL_STYLE) & 3, CBS_DROPDOWNLIST);
        // The list drops at least 160 pixels below the selection field.
        COMBOBOXINFO info{};
        info.cbSize = sizeof(info);
        GetComboBoxInfo(combo->handle(), &info);
        RECT dropped;
        SendMessageA(combo->handle(), CB_GETDROPPEDCONTROLRECT, 0,
                     reinterpret_cast<LPARAM>(&dropped));
        RECT field;
        GetWindowRect(combo->handle(), &field);
        EXPECT_GE(dropped.bottom - field.bottom, 160);
    }
}

TEST_F(SettingsWindow, TimeContentBoxIsReadOnlyOnSilver) {
    const HWND box = f.标题标签内容设置框1.handle();
    EXPECT_TRUE(GetWindowLongA(box, GWL_STYLE) & ES_READONLY);
    EXPECT_EQ(TextOf(box), "当前系统时间");
    ASSERT_TRUE(f.标题标签内容设置框1.background().has_value());
    EXPECT_EQ(*f.标题标签内容设置框1.background(), RGB(192, 192, 192));
    // The colour the box asks its window for is silver.
    HDC dc = GetDC(box);
    const HBRUSH brush = reinterpret_cast<HBRUSH>(SendMessageA(f.handle(), WM_CTLCOLORSTATIC,
                                                               reinterpret_cast<WPARAM>(dc),
                                                               reinterpret_cast<LPARAM>(box)));
    EXPECT_EQ(GetBkColor(dc), RGB(192, 192, 192));
    ReleaseDC(box, dc);
    LOGBRUSH logbrush{};
    GetObjectA(brush, sizeof(logbrush), &logbrush);
    EXPECT_EQ(logbrush.lbColor, RGB(192, 192, 192));
}

TEST_F(SettingsWindow, BoxesLimitWhatCanBeTyped) {
    struct Box {
        const char* name;
        const EditBox& box;
        int max_length;
        bool digits;
    };
    const Box boxes[] = {
        {"标题标签内容设置框", f.标题标签内容设置框, 123456789, false},
        {"标题标签字号设置框", f.标题标签字号设置框, 3, true},
        {"标题标签左位置设置框", f.标题标签左位置设置框, 4, true},
        {"标题标签上位置设置框", f.标题标签上位置设置框, 4, true},
        {"标题标签宽度设置框", f.标题标签宽度设置框, 4, true},
        {"标题标签高度设置框", f.标题标签高度设置框, 4, true},
        {"时间标签字号设置框", f.时间标签字号设置框, 3, true},
        {"时间标签左位置设置框", f.时间标签左位置设置框, 4, true},
        {"时间标签上位置设置框", f.时间标签上位置设置框, 4, true},
        {"时间标签宽度设置框", f.时间标签宽度设置框, 4, true},
        {"时间标签高度设置框", f.时间标签高度设置框, 4, true},
        {"主窗口左位置设置框", f.主窗口左位置设置框, 4, true},
        {"主窗口宽度设置框", f.主窗口宽度设置框, 4, true},
        {"主窗口上位置设置框", f.主窗口上位置设置框, 4, true},
        {"主窗口高度设置框", f.主窗口高度设置框, 4, true},
        {"窗口托盘标题文字_编辑框", f.窗口托盘标题文字_编辑框, 0, false},
        {"刷新时间间隔_编辑框", f.刷新时间间隔_编辑框, 4, true},
        {"小时单位_编辑框", f.小时单位_编辑框, 2, true},
        {"分钟单位_编辑框", f.分钟单位_编辑框, 2, true},
        {"秒钟单位_编辑框", f.秒钟单位_编辑框, 2, true},
    };
    for (const Box& b : boxes) {
        SCOPED_TRACE(b.name);
        EXPECT_EQ(b.box.max_length(), b.max_length);
        EXPECT_EQ(b.box.input() == EditBox::Input::DigitsAndMinus, b.digits);
        if (b.max_length > 0) {
            EXPECT_EQ(SendMessageA(b.box.handle(), EM_GETLIMITTEXT, 0, 0), b.max_length);
        }
        EXPECT_TRUE(GetWindowLongA(b.box.handle(), GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
        EXPECT_FALSE(GetWindowLongA(b.box.handle(), GWL_STYLE) & ES_READONLY);
    }
}

TEST_F(SettingsWindow, TypingALetterIntoANumberBoxLeavesItUnchanged) {
    for (EditBox* box : {&f.标题标签字号设置框, &f.时间标签宽度设置框, &f.刷新时间间隔_编辑框,
                         &f.小时单位_编辑框}) {
        box->SetContent("12");
        SendMessageA(box->handle(), WM_CHAR, 'x', 0);
        SendMessageA(box->handle(), WM_CHAR, '.', 0);
        SendMessageA(box->handle(), WM_CHAR, ' ', 0);
        EXPECT_EQ(box->content(), "12");
        box->SetContent("");
    }
}

TEST_F(SettingsWindow, InitialStateIsTheFormsBeforeLoading) {
    // The form's own values, as a second, never loaded instance holds them.
    SettingsForm fresh;
    EXPECT_TRUE(fresh.主窗口左位置设置框.disabled());
    EXPECT_TRUE(fresh.主窗口上位置设置框.disabled());
    EXPECT_TRUE(fresh.窗口居中勾选框.checked());
    EXPECT_TRUE(fresh.开机启动_勾选框.checked());
    EXPECT_FALSE(fresh.总在最上_勾选框.checked());
    EXPECT_EQ(fresh.精确度.index(), 0);
    EXPECT_EQ(fresh.精确度.content(), "精确到秒");
    EXPECT_EQ(fresh.主窗口透明度滑块条.minimum(), 1);
    EXPECT_EQ(fresh.主窗口透明度滑块条.maximum(), 256);
    EXPECT_EQ(fresh.主窗口透明度滑块条.position(), 1);
    EXPECT_EQ(fresh.通用对话框.file_name(), "");
}

TEST_F(SettingsWindow, SliderRunsFrom1To256WithTicksBelowAndSteps5And1) {
    const HWND slider = f.主窗口透明度滑块条.handle();
    EXPECT_EQ(SendMessageA(slider, TBM_GETRANGEMIN, 0, 0), 1);
    EXPECT_EQ(SendMessageA(slider, TBM_GETRANGEMAX, 0, 0), 256);
    EXPECT_EQ(SendMessageA(slider, TBM_GETPAGESIZE, 0, 0), 5);
    EXPECT_EQ(SendMessageA(slider, TBM_GETLINESIZE, 0, 0), 1);
    const LONG style = GetWindowLongA(slider, GWL_STYLE);
    EXPECT_TRUE(style & TBS_AUTOTICKS);
    // Horizontal with the ticks below: neither vertical, nor ticks on top or both sides.
    EXPECT_FALSE(style & (TBS_VERT | TBS_TOP | TBS_BOTH | TBS_NOTICKS));
    EXPECT_FALSE(style & WS_BORDER);
    EXPECT_FALSE(GetWindowLongA(slider, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    // A tick at every unit between the ends.
    EXPECT_EQ(SendMessageA(slider, TBM_GETNUMTICS, 0, 0), 256);
}

TEST_F(SettingsWindow, FontsAreTheFormsOrTheDefaultGuiFont) {
    const LOGFONTA tabs = FontOf(f.设置选择夹.handle());
    EXPECT_EQ(tabs.lfHeight, -12);
    EXPECT_EQ(tabs.lfWeight, FW_NORMAL);
    EXPECT_EQ(tabs.lfCharSet, GB2312_CHARSET);
    EXPECT_STREQ(tabs.lfFaceName, "宋体");
    const LOGFONTA refresh = FontOf(f.刷新显示时间间隔_标签.handle());
    EXPECT_EQ(refresh.lfHeight, -12);
    EXPECT_EQ(refresh.lfCharSet, GB2312_CHARSET);
    for (const Control* c :
         {static_cast<const Control*>(&f.标题标签内容),
          static_cast<const Control*>(&f.标题标签设置),
          static_cast<const Control*>(&f.标题标签内容设置框),
          static_cast<const Control*>(&f.精确度), static_cast<const Control*>(&f.窗口居中勾选框),
          static_cast<const Control*>(&f.应用按钮),
          static_cast<const Control*>(&f.倒计时目标设置框)}) {
        EXPECT_TRUE(UsesDefaultGuiFont(c->handle())) << TextOf(c->handle());
    }
}

TEST_F(SettingsWindow, OnlyInputControlsAreTabStops) {
    auto tab_stop = [](const Control& c) {
        return (GetWindowLongA(c.handle(), GWL_STYLE) & WS_TABSTOP) != 0;
    };
    EXPECT_TRUE(tab_stop(f.标题标签内容设置框));
    EXPECT_TRUE(tab_stop(f.标题标签字体加粗勾选框));
    EXPECT_TRUE(tab_stop(f.标题标签字体组合框));
    EXPECT_TRUE(tab_stop(f.应用按钮));
    EXPECT_TRUE(tab_stop(f.倒计时目标设置框));
    EXPECT_TRUE(tab_stop(f.标题标签颜色选择));
    EXPECT_TRUE(tab_stop(f.主窗口透明度滑块条));
    EXPECT_FALSE(tab_stop(f.标题标签内容));
    EXPECT_FALSE(tab_stop(f.标题标签设置));
    EXPECT_FALSE(tab_stop(f.主窗口左位置调节器));
    EXPECT_TRUE(tab_stop(f.设置选择夹));  // the arrow keys choose the page
}

TEST_F(SettingsWindow, SwitchingPagesShowsOnlyThatPagesControls) {
    auto shown = [](const Control& c) { return IsWindowVisible(c.handle()) != FALSE; };
    EXPECT_TRUE(shown(f.标题标签设置));
    EXPECT_TRUE(shown(f.标题标签内容设置框));
    EXPECT_TRUE(shown(f.时间标签对齐方式设置框));
    EXPECT_FALSE(shown(f.窗口显示设置));
    EXPECT_FALSE(shown(f.主窗口透明度滑块条));
    EXPECT_FALSE(shown(f.倒计时目标设置框));

    // As a click on the second tab does: the tab control selects it and tells its window.
    const HWND tabs = f.设置选择夹.handle();
    SendMessageA(tabs, TCM_SETCURFOCUS, 1, 0);
    Pump();
    EXPECT_EQ(SendMessageA(tabs, TCM_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(f.设置选择夹.current(), 1);
    EXPECT_FALSE(shown(f.标题标签设置));
    EXPECT_FALSE(shown(f.标题标签内容设置框));
    EXPECT_FALSE(shown(f.时间标签对齐方式设置框));
    EXPECT_TRUE(shown(f.窗口显示设置));
    EXPECT_TRUE(shown(f.主窗口透明度滑块条));
    EXPECT_TRUE(shown(f.主窗口左位置调节器));
    EXPECT_TRUE(shown(f.倒计时目标设置框));
    EXPECT_TRUE(shown(f.分钟单位_标签1));
    // Controls outside the pages stay.
    EXPECT_TRUE(shown(f.确定按钮));
    EXPECT_TRUE(shown(f.设置选择夹));
}

TEST_F(SettingsWindow, CtrlTabStepsThroughThePages) {
    FocusOn(f, f.标题标签内容设置框.handle());
    PressKeys({VK_CONTROL}, VK_TAB);
    EXPECT_EQ(f.设置选择夹.current(), 1);
    EXPECT_EQ(SendMessageA(f.设置选择夹.handle(), TCM_GETCURSEL, 0, 0), 1);
    EXPECT_TRUE(IsWindowVisible(f.主窗口透明度滑块条.handle()));
    // The focus left the hidden page for the first control of the shown one.
    EXPECT_EQ(GetFocus(), f.主窗口透明度滑块条.handle());
    PressKeys({VK_CONTROL}, VK_TAB);
    EXPECT_EQ(f.设置选择夹.current(), 0);
    PressKeys({VK_CONTROL, VK_SHIFT}, VK_TAB);
    EXPECT_EQ(f.设置选择夹.current(), 1);
}

std::vector<HWND> TabSequence(Form& form, HWND first, int presses) {
    FocusOn(form, first);
    std::vector<HWND> visited{GetFocus()};
    for (int i = 0; i < presses; ++i) {
        PressKeys({}, VK_TAB);
        visited.push_back(GetFocus());
    }
    return visited;
}

TEST_F(SettingsWindow, TabVisitsTheFirstPageThenTheButtonsThenTheTabStrip) {
    f.恢复默认设置按钮.SetDisabled(false);
    const std::vector<HWND> expected = {
        f.标题标签内容设置框.handle(),
        f.标题标签字体组合框.handle(),
        f.标题标签颜色选择.handle(),
        f.标题标签字号设置框.handle(),
        f.标题标签字体加粗勾选框.handle(),
        f.标题标签字体倾斜勾选框.handle(),
        f.标题标签左位置设置框.handle(),
        f.标题标签上位置设置框.handle(),
        f.标题标签宽度设置框.handle(),
        f.标题标签高度设置框.handle(),
        f.标题标签对齐方式设置框.handle(),
        f.标题标签内容设置框1.handle(),
        f.时间标签字体组合框.handle(),
        f.时间标签颜色选择.handle(),
        f.时间标签字号设置框.handle(),
        f.时间标签字体加粗勾选框.handle(),
        f.时间标签字体倾斜勾选框.handle(),
        f.时间标签左位置设置框.handle(),
        f.时间标签上位置设置框.handle(),
        f.时间标签宽度设置框.handle(),
        f.时间标签高度设置框.handle(),
        f.时间标签对齐方式设置框.handle(),
        f.恢复默认设置按钮.handle(),
        f.应用按钮.handle(),
        f.确定按钮.handle(),
        f.取消按钮.handle(),
        f.设置选择夹.handle(),
        f.标题标签内容设置框.handle(),
    };
    EXPECT_EQ(TabSequence(f, expected.front(), static_cast<int>(expected.size()) - 1), expected);
}

TEST_F(SettingsWindow, TabOnTheSecondPageSkipsDisabledBoxes) {
    f.设置选择夹.SetCurrent(1);
    f.恢复默认设置按钮.SetDisabled(false);
    f.主窗口左位置设置框.SetDisabled(true);
    f.主窗口上位置设置框.SetDisabled(true);
    f.刷新时间间隔_编辑框.SetDisabled(false);
    const std::vector<HWND> expected = {
        f.主窗口透明度滑块条.handle(),
        f.窗口居中勾选框.handle(),
        f.总在最上_勾选框.handle(),
        f.开机启动_勾选框.handle(),
        f.主窗口宽度设置框.handle(),
        f.主窗口高度设置框.handle(),
        f.主界面外观_组合框.handle(),
        f.窗口托盘标题文字_编辑框.handle(),
        f.浏览图片.handle(),
        f.恢复默认图片.handle(),
        f.刷新时间间隔_编辑框.handle(),
        f.精确度.handle(),
        f.倒计时目标设置框.handle(),
        f.小时单位_编辑框.handle(),
        f.分钟单位_编辑框.handle(),
        f.秒钟单位_编辑框.handle(),
        f.倒计时数值限制_勾选框.handle(),
        f.恢复默认设置按钮.handle(),
        f.应用按钮.handle(),
        f.确定按钮.handle(),
        f.取消按钮.handle(),
        f.设置选择夹.handle(),
        f.主窗口透明度滑块条.handle(),
    };
    EXPECT_EQ(TabSequence(f, expected.front(), static_cast<int>(expected.size()) - 1), expected);
}

// Esc is 取消 (the end-to-end tests press it); Enter presses only a button that has the focus.
TEST_F(SettingsWindow, EnterInABoxOrAListDoesNotCloseIt) {
    FocusOn(f, f.小时单位_编辑框.handle());
    PressKeys({}, VK_RETURN);
    FocusOn(f, f.精确度.handle());
    PressKeys({}, VK_RETURN);
    Pump(200);
    EXPECT_TRUE(f.loaded());
    EXPECT_TRUE(IsWindowVisible(f.handle()));
}

TEST_F(SettingsWindow, FileDialogHasNoWindow) { EXPECT_EQ(f.通用对话框.handle(), nullptr); }

// ---- About window ----------------------------------------------------------------------------

class AboutWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        version_text = kVersionText;
        OpenAboutWindow();
        Pump(100);
    }
    static void TearDownTestSuite() { CloseAndWait(about_window); }
    AboutForm& f = about_window;
};

TEST_F(AboutWindow, IsAFixedCentredWindowWithoutMinimiseBox) {
    const HWND w = f.handle();
    ASSERT_NE(w, nullptr);
    const LONG style = GetWindowLongA(w, GWL_STYLE);
    EXPECT_TRUE(style & WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_FALSE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME);
    RECT r;
    GetWindowRect(w, &r);
    EXPECT_EQ(r.right - r.left, 378);
    EXPECT_EQ(r.bottom - r.top, 224);
    EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - 378) / 2);
}

TEST_F(AboutWindow, EveryControlLiesWhereTheFormPutsItWithItsCaption) {
    ExpectPlacedAsTheFormSays(AboutTable(f), f.handle());
}

TEST_F(AboutWindow, HeadingIsCentredInA20PixelFont) {
    EXPECT_EQ(f.关于窗口主标签.align(), forms::HAlign::Centre);
    const LOGFONTA heading = FontOf(f.关于窗口主标签.handle());
    EXPECT_EQ(heading.lfHeight, -20);
    EXPECT_EQ(heading.lfWeight, FW_NORMAL);
    EXPECT_EQ(heading.lfCharSet, GB2312_CHARSET);
    EXPECT_TRUE(f.关于_内容.word_wrap());
    EXPECT_EQ(f.关于_内容.valign(), forms::VAlign::Top);
    EXPECT_TRUE(f.Email.word_wrap());
    EXPECT_TRUE(UsesDefaultGuiFont(f.Email.handle()));
}

TEST_F(AboutWindow, EscClosesIt) {
    FocusOn(f, f.确定.handle());
    PressKeys({}, VK_ESCAPE);
    EXPECT_TRUE(PumpUntil([&] { return !f.loaded(); }));
}

// ---- Control behaviour -----------------------------------------------------------------------

// A window class of the test's own that answers for its accessible object itself, as the
// date picker of the common controls' version 6 does; it counts its answers.
int own_object_answers = 0;
LRESULT CALLBACK OwnObjectProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    IAccessible* object = nullptr;
    if (message != WM_GETOBJECT || static_cast<LONG>(lparam) != OBJID_CLIENT ||
        FAILED(CreateStdAccessibleObject(hwnd, OBJID_CLIENT, IID_IAccessible,
                                         reinterpret_cast<void**>(&object)))) {
        return DefWindowProcW(hwnd, message, wparam, lparam);
    }
    ++own_object_answers;
    const LRESULT answer = LresultFromObject(IID_IAccessible, wparam, object);
    object->Release();
    return answer;
}
struct OwnObjectControl : Control {
    OwnObjectControl(Form* form, const forms::Label* label)
        : Control(form, nullptr, {110, 300, 90, 20}, true, false) {
        label_ = label;
    }
    void Create(HWND form_window) override {
        const WNDCLASSW wc{.lpfnWndProc = OwnObjectProc,
                           .hInstance = GetModuleHandleW(nullptr),
                           .lpszClassName = L"TestOwnObject"};
        RegisterClassW(&wc);  // refused harmlessly at a second load
        hwnd_ = CreateChild(form_window, wc.lpszClassName, "", 0);
    }
};

// One control of each kind, with handlers that record what they see.
struct ControlsForm : Form {
    ControlsForm()
        : Form({.title = "控件",
                .rect = {0, 0, 620, 360},
                .border = forms::Border::Fixed,
                .position = forms::StartPosition::Centred}) {}

    int digits_changes = 0;
    std::string digits_seen;
    int free_changes = 0;
    int left_changes = 0;
    std::string left_seen;
    int selections = 0;
    int clicks = 0;
    bool checked_seen = false;
    int moves = 0;
    std::vector<int> steps;
    int colour_changes = 0;

    EditBox digits{this,
                   {.rect = {10, 10, 90, 20},
                    .input = EditBox::Input::DigitsAndMinus,
                    .max_length = 4,
                    .on_content_changed = std::function<void()>([this] {
                        ++digits_changes;
                        digits_seen = digits.content();
                    })}};
    EditBox free_text{this,
                      {.rect = {110, 10, 90, 20},
                       .max_length = 5,
                       .on_content_changed = std::function<void()>([this] { ++free_changes; })}};
    EditBox left_box{this,
                     {.rect = {210, 10, 75, 20},
                      .input = EditBox::Input::DigitsAndMinus,
                      .max_length = 4,
                      .disabled = true,
                      .on_content_changed = std::function<void()>([this] {
                          ++left_changes;
                          left_seen = left_box.content();
                      })}};
    ComboBox combo{this,
                   {.rect = {10, 40, 90, 20},
                    .items = {"甲", "乙", "丙"},
                    .on_selection_changed = std::function<void()>([this] { ++selections; })}};
    CheckBox check{
        this,
        {.rect = {110, 40, 90, 20}, .caption = "勾选", .on_clicked = std::function<void()>([this] {
                                                           ++clicks;
                                                           checked_seen = check.checked();
                                                       })}};
    Slider slider{this,
                  {.rect = {10, 70, 368, 24},
                   .minimum = 1,
                   .maximum = 256,
                   .position = 1,
                   .on_position_changed = std::function<void()>([this] { ++moves; })}};
    Spinner spinner{
        this, {.rect = {400, 70, 20, 20}, .on_arrow = std::function<void(int)>([this](int step) {
                                              steps.push_back(step);
                                          })}};
    DatePicker now_picker{this, {.rect = {10, 110, 146, 20}}};
    DatePicker picker{
        this, {.rect = {170, 110, 146, 20}, .value = DateTimeFromCivil({2000, 5, 10, 15, 30, 20})}};
    ColourPicker colour{this,
                        {.rect = {330, 110, 90, 20},
                         .colour = RGB(1, 2, 3),
                         .on_colour_changed = std::function<void()>([this] { ++colour_changes; })}};
    FileDialog files{this, {.filter = "文本|*.txt|所有文件|*.*"}};
    forms::Label own_label{this, {.rect = {10, 300, 80, 20}, .caption = "名字"}};
    OwnObjectControl own_object{this, &own_label};
};

class DialogControls : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        form = new ControlsForm;
        form->Load();
        Pump(100);
    }
    static void TearDownTestSuite() {
        CloseAndWait(*form);
        delete form;
        form = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(form->loaded()); }
    static ControlsForm* form;
};
ControlsForm* DialogControls::form = nullptr;

void Type(const EditBox& box, const std::string& keys) {
    for (char c : keys) SendMessageA(box.handle(), WM_CHAR, static_cast<unsigned char>(c), 0);
}

TEST_F(DialogControls, DigitsBoxIgnoresLettersButTakesDigitsMinusAndBackspace) {
    EditBox& box = form->digits;
    box.SetContent("");
    form->digits_changes = 0;
    Type(box, "a");
    EXPECT_EQ(box.content(), "");
    EXPECT_EQ(form->digits_changes, 0);
    Type(box, "-1x2");
    EXPECT_EQ(box.content(), "-12");
    EXPECT_EQ(form->digits_changes, 3);  // one change per accepted character
    Type(box, "\b");
    EXPECT_EQ(box.content(), "-1");
    EXPECT_EQ(form->digits_changes, 4);
    // GBK bytes of a Chinese character are not digits either.
    Type(box, "\xD6\xD0");
    EXPECT_EQ(box.content(), "-1");
}

TEST_F(DialogControls, MaximumLengthStopsTyping) {
    form->digits.SetContent("");
    Type(form->digits, "123456");
    EXPECT_EQ(form->digits.content(), "1234");
    form->free_text.SetContent("");
    Type(form->free_text, "abcdefg");
    EXPECT_EQ(form->free_text.content(), "abcde");
    // The program itself may set longer texts.
    form->free_text.SetContent("abcdefgh");
    EXPECT_EQ(form->free_text.content(), "abcdefgh");
    form->free_text.SetMaxLength(0);
    SendMessageA(form->free_text.handle(), EM_SETSEL, 8, 8);
    Type(form->free_text, "ij");
    EXPECT_EQ(form->free_text.content(), "abcdefghij");
}

TEST_F(DialogControls, SetContentRaisesContentChangedOnceWithTheNewTextInPlace) {
    EditBox& box = form->left_box;  // disabled, as the main window's left box is at first
    form->left_changes = 0;
    box.SetContent("120");
    Pump();
    EXPECT_EQ(form->left_changes, 1);
    EXPECT_EQ(form->left_seen, "120");
    EXPECT_EQ(TextOf(box.handle()), "120");
    box.SetContent("120");
    Pump();
    EXPECT_EQ(form->left_changes, 2);
    box.SetContent("");
    Pump();
    EXPECT_EQ(form->left_changes, 3);
    EXPECT_EQ(form->left_seen, "");
}

TEST_F(DialogControls, ComboIndexFromTheProgramRaisesNothing) {
    ComboBox& combo = form->combo;
    form->selections = 0;
    combo.SetIndex(-1);
    EXPECT_EQ(combo.index(), -1);
    EXPECT_EQ(combo.content(), "");
    EXPECT_EQ(SendMessageA(combo.handle(), CB_GETCURSEL, 0, 0), CB_ERR);
    combo.SetIndex(1);
    EXPECT_EQ(combo.index(), 1);
    EXPECT_EQ(combo.content(), "乙");
    combo.SetIndex(7);
    EXPECT_EQ(combo.index(), 2);
    EXPECT_EQ(combo.content(), "丙");
    EXPECT_EQ(TextOf(combo.handle()), "丙");
    Pump();
    EXPECT_EQ(form->selections, 0);
}

TEST_F(DialogControls, ComboSelectionByTheUserRaisesSelectionChanged) {
    ComboBox& combo = form->combo;
    combo.SetIndex(0);
    form->selections = 0;
    FocusOn(*form, combo.handle());
    PressKeys({}, VK_DOWN);
    EXPECT_EQ(combo.index(), 1);
    EXPECT_EQ(combo.content(), "乙");
    EXPECT_EQ(form->selections, 1);
}

TEST_F(DialogControls, ComboItemsCanBeAddedAndCleared) {
    ComboBox& combo = form->combo;
    combo.ClearItems();
    EXPECT_EQ(combo.count(), 0);
    EXPECT_EQ(combo.index(), -1);
    combo.SetIndex(0);
    EXPECT_EQ(combo.index(), -1);
    for (const char* name : {"宋体", "黑体", "Arial"}) combo.AddItem(name);
    EXPECT_EQ(ComboItems(combo.handle()), (std::vector<std::string>{"宋体", "黑体", "Arial"}));
    combo.SetIndex(2);
    EXPECT_EQ(combo.content(), "Arial");
}

TEST_F(DialogControls, CheckBoxClickTogglesThenRaisesClicked) {
    CheckBox& check = form->check;
    check.SetChecked(false);
    form->clicks = 0;
    SendMessageA(check.handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(form->clicks, 1);
    EXPECT_TRUE(form->checked_seen);
    EXPECT_TRUE(check.checked());
    SendMessageA(check.handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(form->clicks, 2);
    EXPECT_FALSE(form->checked_seen);
    check.SetChecked(true);
    EXPECT_EQ(form->clicks, 2);
    EXPECT_TRUE(Checked(check.handle()));
}

TEST_F(DialogControls, SliderKeepsItsPositionInRange) {
    Slider& slider = form->slider;
    form->moves = 0;
    slider.SetPosition(0);
    EXPECT_EQ(slider.position(), 1);
    slider.SetPosition(300);
    EXPECT_EQ(slider.position(), 256);
    slider.SetPosition(175);
    EXPECT_EQ(slider.position(), 175);
    EXPECT_EQ(SendMessageA(slider.handle(), TBM_GETPOS, 0, 0), 175);
    slider.SetMaximum(100);
    EXPECT_EQ(slider.position(), 100);
    slider.SetMaximum(256);
    slider.SetMinimum(120);
    EXPECT_EQ(slider.position(), 120);
    slider.SetMinimum(1);
    Pump();
    EXPECT_EQ(form->moves, 0);  // the program's own settings raise nothing
}

TEST_F(DialogControls, MovingTheThumbRaisesPositionChangedAtEveryMove) {
    Slider& slider = form->slider;
    slider.SetPosition(100);
    form->moves = 0;
    FocusOn(*form, slider.handle());
    PressKeys({}, VK_RIGHT);
    EXPECT_EQ(slider.position(), 101);
    EXPECT_EQ(form->moves, 1);
    PressKeys({}, VK_NEXT);
    EXPECT_EQ(slider.position(), 106);
    EXPECT_EQ(form->moves, 2);
    PressKeys({}, VK_END);
    EXPECT_EQ(slider.position(), 256);
    PressKeys({}, VK_RIGHT);  // already at the end: no move
    EXPECT_EQ(slider.position(), 256);
    EXPECT_EQ(form->moves, 3);
}

TEST_F(DialogControls, SpinnerReportsPlusOneForTheUpperArrowAndMinusOneForTheLower) {
    const HWND spinner = form->spinner.handle();
    RECT r;
    GetClientRect(spinner, &r);
    EXPECT_EQ(r.right, 20);
    EXPECT_EQ(r.bottom, 20);
    EXPECT_EQ(SendMessageA(spinner, UDM_GETBUDDY, 0, 0), 0);
    form->steps.clear();
    auto click = [&](int y) {
        SendMessageA(spinner, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, y));
        SendMessageA(spinner, WM_LBUTTONUP, 0, MAKELPARAM(10, y));
    };
    click(4);
    click(4);
    click(16);
    click(4);
    Pump();
    EXPECT_EQ(form->steps, (std::vector<int>{1, 1, -1, 1}));
    // Many presses the same way never run into an end.
    form->steps.clear();
    for (int i = 0; i < 150; ++i) click(16);
    EXPECT_EQ(form->steps.size(), 150u);
    EXPECT_EQ(form->steps.back(), -1);
}

TEST_F(DialogControls, DatePickerStartsAtNowWhenItsValueIsZero) {
    const double shown = form->now_picker.value();
    EXPECT_NEAR(shown, Now(), 60.0 / 86400.0);
    const LONG style = GetWindowLongA(form->now_picker.handle(), GWL_STYLE);
    EXPECT_TRUE(style & DTS_LONGDATEFORMAT);
    EXPECT_TRUE(GetWindowLongA(form->now_picker.handle(), GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
}

TEST_F(DialogControls, DatePickerKeepsTheTimeOfDayWhenTheUserChangesTheDate) {
    DatePicker& picker = form->picker;
    picker.SetValue(DateTimeFromCivil({2000, 5, 10, 15, 30, 20}));
    EXPECT_DOUBLE_EQ(picker.value(), DateTimeFromCivil({2000, 5, 10, 15, 30, 20}));
    SYSTEMTIME st{};
    SendMessageA(picker.handle(), DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st));
    EXPECT_EQ(st.wYear, 2000);
    EXPECT_EQ(st.wMonth, 5);
    EXPECT_EQ(st.wDay, 10);
    // The user steps the year field up with the keyboard.
    // The user selects the first field of the date and steps it up with the keyboard.
    FocusOn(*form, picker.handle());
    PressKeys({}, VK_RIGHT);
    PressKeys({}, VK_UP);
    const CivilTime after = CivilFromDateTime(picker.value());
    EXPECT_NE(DateTimeFromCivil({after.year, after.month, after.day, 0, 0, 0}),
              DateTimeFromCivil({2000, 5, 10, 0, 0, 0}));
    EXPECT_EQ(after.hour, 15);
    EXPECT_EQ(after.minute, 30);
    EXPECT_EQ(after.second, 20);
}

TEST_F(DialogControls, DatePickerStaysWithin1949_10_01And2049_10_07) {
    DatePicker& picker = form->picker;
    SYSTEMTIME range[2] = {};
    ASSERT_EQ(SendMessageA(picker.handle(), DTM_GETRANGE, 0, reinterpret_cast<LPARAM>(range)),
              GDTR_MIN | GDTR_MAX);
    EXPECT_EQ(range[0].wYear, 1949);
    EXPECT_EQ(range[0].wMonth, 10);
    EXPECT_EQ(range[0].wDay, 1);
    EXPECT_EQ(range[1].wYear, 2049);
    EXPECT_EQ(range[1].wMonth, 10);
    EXPECT_EQ(range[1].wDay, 7);
    picker.SetValue(DateTimeFromCivil({2060, 1, 1, 8, 0, 0}));
    EXPECT_DOUBLE_EQ(picker.value(), DateTimeFromCivil({2049, 10, 7, 8, 0, 0}));
    picker.SetValue(DateTimeFromCivil({1900, 1, 1, 0, 0, 0}));
    EXPECT_DOUBLE_EQ(picker.value(), DateTimeFromCivil({1949, 10, 1, 0, 0, 0}));
    picker.SetValue(DateTimeFromCivil({2049, 10, 1, 15, 0, 0}));
    EXPECT_DOUBLE_EQ(picker.value(), DateTimeFromCivil({2049, 10, 1, 15, 0, 0}));
    // Stepping the year beyond the end is refused.
    FocusOn(*form, picker.handle());
    PressKeys({}, VK_RIGHT);
    PressKeys({}, VK_UP);
    EXPECT_LE(picker.value(), DateTimeFromCivil({2049, 10, 7, 23, 59, 59}));
}

TEST_F(DialogControls, ColourPickerChoosesThroughTheColourDialog) {
    ColourPicker& picker = form->colour;
    picker.SetColour(RGB(1, 2, 3));
    form->colour_changes = 0;
    const DWORD ui_thread = GetCurrentThreadId();
    std::atomic<bool> answered{false};
    std::thread answer([&] {
        HWND dialog = WaitForDialog(ui_thread);
        if (!dialog) return;
        // The red, green and blue boxes of the opened dialog.
        SetDlgItemInt(dialog, 706, 10, FALSE);
        SetDlgItemInt(dialog, 707, 20, FALSE);
        SetDlgItemInt(dialog, 708, 30, FALSE);
        SendMessageA(dialog, WM_COMMAND, IDOK, 0);
        answered = true;
    });
    SendMessageA(picker.handle(), BM_CLICK, 0, 0);
    answer.join();
    ASSERT_TRUE(answered);
    EXPECT_EQ(picker.colour(), RGB(10, 20, 30));
    EXPECT_EQ(form->colour_changes, 1);

    std::thread cancel([&] {
        if (HWND dialog = WaitForDialog(ui_thread)) SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_FALSE(picker.Choose());
    cancel.join();
    EXPECT_EQ(picker.colour(), RGB(10, 20, 30));
    EXPECT_EQ(form->colour_changes, 1);
}

// A labelled control that gives its own accessible object keeps it (the end-to-end keyboard
// test hears the boxes that have none by their labels).
TEST_F(DialogControls, AControlsOwnAccessibleObjectIsKept) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    own_object_answers = 0;
    IAccessible* object = nullptr;
    ASSERT_EQ(
        AccessibleObjectFromWindow(form->own_object.handle(), static_cast<DWORD>(OBJID_CLIENT),
                                   IID_IAccessible, reinterpret_cast<void**>(&object)),
        S_OK);
    object->Release();
    EXPECT_EQ(own_object_answers, 1) << "the control's own answer was replaced";
}

// A labelled control is named for screen readers when it is made and again when its label's
// caption changes, not at each request of a reader: they ask often.
TEST_F(DialogControls, AControlIsNamedAgainOnlyWhenItsLabelsCaptionChanges) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    static std::vector<std::wstring> names;
    names.clear();
    forms::annotate_name_for_tests = [](HWND control, const std::wstring& name) {
        EXPECT_EQ(control, form->own_object.handle());
        names.push_back(name);
        return true;
    };
    form->own_label.SetCaption("新的  名字");
    for (int i = 0; i < 3; ++i) {
        IAccessible* object = nullptr;
        ASSERT_EQ(
            AccessibleObjectFromWindow(form->own_object.handle(), static_cast<DWORD>(OBJID_CLIENT),
                                       IID_IAccessible, reinterpret_cast<void**>(&object)),
            S_OK);
        object->Release();
    }
    form->own_label.SetCaption("新的  名字");
    EXPECT_EQ(names, std::vector<std::wstring>{L"新的 名字"});
    forms::annotate_name_for_tests = nullptr;
    form->own_label.SetCaption("名字");
}

TEST_F(DialogControls, FileDialogFilterBecomesTheDoubleZeroForm) {
    using namespace std::string_literals;
    EXPECT_EQ(FileDialog::DialogFilter("文本|*.txt|所有文件|*.*"),
              "文本\0*.txt\0所有文件\0*.*\0\0"s);
    EXPECT_EQ(FileDialog::DialogFilter("a|b"), "a\0b\0\0"s);
    EXPECT_EQ(FileDialog::DialogFilter(""), ""s);
    // 陛 is the GBK bytes B1 7C: its second byte is no separator.
    EXPECT_EQ(FileDialog::DialogFilter("\xB1\x7C|*.x"), "\xB1\x7C\0*.x\0\0"s);
}

TEST_F(DialogControls, FileDialogSetsTheFileNameOnlyWhenTheUserChoseAFile) {
    const std::string folder = MakeTempFolder();
    const std::string chosen = folder + "\\chosen.txt";
    WriteFileBytes(chosen, "x");
    FileDialog& files = form->files;
    files.SetFileName("before");
    const DWORD ui_thread = GetCurrentThreadId();

    std::thread cancel([&] {
        if (HWND dialog = WaitForDialog(ui_thread)) PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_FALSE(files.Open());
    cancel.join();
    EXPECT_EQ(files.file_name(), "before");

    std::thread choose([&] {
        if (HWND dialog = WaitForDialog(ui_thread)) {
            // The file name box of the dialog.
            SetDlgItemTextA(dialog, 0x47C, chosen.c_str());
            PostMessageA(dialog, WM_COMMAND, IDOK, 0);
        }
    });
    EXPECT_TRUE(files.Open());
    choose.join();
    EXPECT_EQ(lstrcmpiA(files.file_name().c_str(), chosen.c_str()), 0) << files.file_name();
    RemoveFolder(folder);
}

// ---- Screenshots -----------------------------------------------------------------------------

// Pictures of both settings pages and the about window for a person to look at; taken only
// when TQ_SCREENSHOT_DIR names a folder (scripts/form_screenshots.sh sets it).
TEST(DialogFormScreenshots, SettingsPagesAndAboutWindow) {
    const char* folder = std::getenv("TQ_SCREENSHOT_DIR");
    if (!folder || !*folder) GTEST_SKIP() << "TQ_SCREENSHOT_DIR not set";
    const std::string dir = folder;
    version_text = kVersionText;
    settings_window.Load();  // filled from the defaults: no setting.ini where run_dir points
    SettingsForm& f = settings_window;
    for (int page = 0; page < 2; ++page) {
        f.设置选择夹.SetCurrent(page);
        SetForegroundWindow(f.handle());
        RedrawWindow(f.handle(), nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        Pump(300);
        SaveScreenshot(f.handle(), dir + "\\settings_page" + std::to_string(page + 1) + ".bmp");
    }
    CloseAndWait(settings_window);
    OpenAboutWindow();
    SetForegroundWindow(about_window.handle());
    Pump(300);
    SaveScreenshot(about_window.handle(), dir + "\\about.bmp");
    CloseAndWait(about_window);
}

}  // namespace
}  // namespace tq
