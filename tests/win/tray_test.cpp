// The notification-area icon on the real platform's notification area (Wine's): adding,
// replacing, the taskbar's restart, refusals and the icon's events.
#include "tray/tray_icon.h"

#include <gtest/gtest.h>

#include <shellapi.h>

#include "resources/resources.h"
#include "test_support.h"

namespace tq {
namespace {

std::vector<int> tray_actions;

// The notification area's own answer about the program's icon (identifier 100) of `window`:
// NIM_ADD fails while the icon is there, NIM_DELETE succeeds only then.
bool ShellIcon(DWORD message, HWND window) {
    NOTIFYICONDATAA data{};
    data.cbSize = sizeof(data);
    data.hWnd = window;
    data.uID = 100;
    return Shell_NotifyIconA(message, &data) != FALSE;
}

// A hidden window that owns an icon, as the tray menu window does.
struct TrayForm : forms::Form {
    TrayForm()
        : Form({.title = "tray",
                .visible = false,
                .on_message = [this](UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result) {
                    return icon.HandleMessage(message, wparam, lparam, result);
                }}) {}
    bool Set(std::string_view tip) {
        return icon.Set(handle(), {reinterpret_cast<const char*>(kProgramIcon), kProgramIconSize},
                        tip);
    }
    TrayIcon icon{std::function<void(int)>([](int a) { tray_actions.push_back(a); })};
};

TEST(TrayIconTest, TipIsCutTo62BytesAndReplacingKeepsOneIcon) {
    TrayForm form;
    form.Load();
    const std::string tip(70, 'a');
    ASSERT_TRUE(form.Set(tip));
    EXPECT_EQ(form.icon.tip(), std::string(62, 'a'));
    ASSERT_TRUE(form.Set(std::string(61, 'a') + "中"));
    EXPECT_EQ(form.icon.tip(), std::string(61, 'a')) << "no half of a character";
    EXPECT_FALSE(form.icon.added()) << "the notification area is told from the message loop";
    PumpMessagesFor(50);
    EXPECT_TRUE(form.icon.added());
    ASSERT_TRUE(form.Set("second"));
    ASSERT_TRUE(form.Set("third"));
    PumpMessagesFor(50);
    EXPECT_EQ(form.icon.tip(), "third");
    // A second icon with the same identifier would make NIM_ADD succeed again; the icon
    // exists, so adding must fail while modifying works.
    HWND window = form.handle();
    EXPECT_FALSE(ShellIcon(NIM_ADD, window));
    DestroyWindow(window);
    EXPECT_FALSE(form.icon.added()) << "closing the window removes the icon";
    EXPECT_FALSE(ShellIcon(NIM_DELETE, window));

    form.Load();
    window = form.handle();
    ASSERT_TRUE(form.Set("closed before the loop runs"));
    DestroyWindow(window);
    PumpMessagesFor(50);
    EXPECT_FALSE(ShellIcon(NIM_DELETE, window)) << "no icon outlives its window";
    form.Load();
    ASSERT_TRUE(form.Set("loaded again"));
    PumpMessagesFor(50);
    EXPECT_TRUE(ShellIcon(NIM_DELETE, form.handle())) << "a new window gets its icon";
    DestroyWindow(form.handle());
}

// With NOTIFYICON_VERSION_4 each gesture on the icon raises one tray event, and the event
// carries the icon's place: a right click sends WM_RBUTTONUP and WM_CONTEXTMENU, a left click
// WM_LBUTTONUP and NIN_SELECT, Enter or Space NIN_KEYSELECT, the menu key WM_CONTEXTMENU.
TEST(TrayIconTest, EachGestureOfTheMouseOrTheKeyboardRaisesOneEventAtTheIcon) {
    TrayForm form;
    form.Load();
    ASSERT_TRUE(form.Set("tip"));
    PumpMessagesFor(50);
    const struct {
        std::vector<UINT> messages;
        std::vector<int> actions;
    } gestures[] = {
        {{WM_RBUTTONDOWN, WM_RBUTTONUP, WM_CONTEXTMENU}, {3}},
        {{WM_LBUTTONDOWN, WM_LBUTTONUP, NIN_SELECT}, {1}},
        {{WM_LBUTTONDBLCLK, WM_LBUTTONUP, NIN_SELECT}, {2, 1}},
        {{NIN_KEYSELECT}, {3}},
        {{WM_CONTEXTMENU}, {3}},
        {{NIN_SELECT}, {3}},  // chosen with the mouse, opened with Enter
    };
    for (const auto& gesture : gestures) {
        tray_actions.clear();
        for (const UINT message : gesture.messages) {
            SendMessageW(form.handle(), forms::kTrayCallbackMessage, MAKEWPARAM(321, 654),
                         MAKELPARAM(message, 100));
        }
        EXPECT_EQ(tray_actions, gesture.actions) << "first message " << gesture.messages[0];
        ASSERT_TRUE(form.icon.anchor().has_value());
        EXPECT_EQ(form.icon.anchor()->x, 321);
        EXPECT_EQ(form.icon.anchor()->y, 654);
    }
    DestroyWindow(form.handle());
}

TEST(TrayIconTest, TheIconComesBackWhenTheTaskbarIsCreatedAgain) {
    TrayForm form;
    form.Load();
    ASSERT_TRUE(form.Set("tip"));
    PumpMessagesFor(50);
    ASSERT_TRUE(ShellIcon(NIM_DELETE, form.handle()));  // as if Explorer had restarted
    SendMessageA(form.handle(), RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_TRUE(ShellIcon(NIM_DELETE, form.handle())) << "the icon was added again";
    DestroyWindow(form.handle());
}

// A notification area that refuses icons, as at logon before the taskbar is ready: it
// refuses the first `refusals` adds, and records the size and flags of every icon offered and
// the title of every notification.
int refusals = 0;
int adds = 0;
std::vector<int> icon_widths;
std::vector<UINT> icon_flags;
std::vector<std::wstring> balloon_titles;
ULONGLONG fake_clock = 0;
BOOL WINAPI RefusingNotificationArea(DWORD message, NOTIFYICONDATAW* data) {
    if (message == NIM_ADD || message == NIM_MODIFY) {
        icon_flags.push_back(data->uFlags);
        if (data->uFlags & NIF_INFO) balloon_titles.push_back(data->szInfoTitle);
        ICONINFO info{};
        BITMAP bitmap{};
        GetIconInfo(data->hIcon, &info);
        GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
        icon_widths.push_back(bitmap.bmWidth);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
    }
    if (message == NIM_ADD && ++adds <= refusals) return FALSE;
    return ::Shell_NotifyIconW(message, data);
}

TEST(TrayIconTest, ARefusedIconIsOfferedAgainAndEveryNewTaskbarGetsIt) {
    forms::lazy::shell_notify_icon_for_tests = RefusingNotificationArea;
    refusals = 2;
    adds = 0;
    icon_widths.clear();
    icon_flags.clear();
    balloon_titles.clear();
    TrayForm form;
    form.Load();
    ASSERT_TRUE(form.Set("tip"));
    PumpMessagesFor(50);
    EXPECT_FALSE(form.icon.added());
    // Kept until the icon is there. The title holds 63 characters in 64 UTF-16 units (an emoji
    // of GB18030's four bytes last), one more than the notification area's 63 and a NUL.
    form.icon.ShowBalloon(std::string(62, 't') + "\x94\x39\xFC\x36", "text");
    // Offered again every two seconds: the third add is taken.
    const DWORD start = GetTickCount();
    while (!form.icon.added() && GetTickCount() - start < 10000) PumpMessagesFor(50);
    EXPECT_TRUE(form.icon.added());
    EXPECT_EQ(adds, 3);
    EXPECT_GE(GetTickCount() - start, 3500u);
    EXPECT_TRUE(ShellIcon(NIM_DELETE, form.handle())) << "the icon is in the notification area";

    // A taskbar that starts adds the icon even when no add ever succeeded.
    refusals = 1000;
    form.icon.Remove();
    ASSERT_TRUE(form.Set("tip"));
    PumpMessagesFor(50);
    ASSERT_FALSE(form.icon.added());
    // Explorer restarts more than a minute after the deadline: its notification is dropped.
    tray_clock_for_tests = [] { return fake_clock; };
    fake_clock = 1000000;
    form.icon.ShowBalloon("late", "text");
    fake_clock += 60001;
    refusals = 0;
    SendMessageA(form.handle(), RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    tray_clock_for_tests = nullptr;
    EXPECT_TRUE(form.icon.added());
    EXPECT_TRUE(ShellIcon(NIM_DELETE, form.handle())) << "the new taskbar has the icon";

    ASSERT_TRUE(form.Set("modified"));
    PumpMessagesFor(50);

    // Drawn at the small-icon size of the window's scale (16 pixels at 100 %).
    ASSERT_FALSE(icon_widths.empty());
    for (int width : icon_widths) EXPECT_EQ(width, GetSystemMetrics(SM_CXSMICON));
    // Under NOTIFYICON_VERSION_4 the shell shows the tip only when each call asks for it.
    // A notification is discarded when the shell cannot show it at once.
    for (UINT flags : icon_flags) {
        EXPECT_TRUE(flags & NIF_SHOWTIP);
        EXPECT_TRUE(!(flags & NIF_INFO) || (flags & NIF_REALTIME));
    }
    EXPECT_EQ(balloon_titles, std::vector<std::wstring>{std::wstring(62, L't')})
        << "the balloon shows once the icon is added, and only then, without half an emoji";
    forms::lazy::shell_notify_icon_for_tests = nullptr;
    DestroyWindow(form.handle());
}

}  // namespace
}  // namespace tq
