// The forms of the program's windows, read side by side with their tables: each member
// is a control with its geometry, initial caption and state, and the handler each event
// runs. The logic addresses controls as members of the four window objects.
#pragma once

#include "app/startup.h"
#include "appearance/appearance.h"
#include "countdown/countdown.h"
#include "dialogs/dialogs.h"
#include "forms/model.h"
#include "tray/tray.h"

namespace tq {

using forms::Border;
using forms::FontSpec;
using forms::HAlign;
using forms::Menu;
using forms::MenuItem;
using forms::PictureMode;
using forms::Shape;
using forms::StartPosition;
using forms::Timer;
using forms::TransparentLabel;
using forms::VAlign;

inline constexpr COLORREF kLabelInitialColour = RGB(0, 0, 128);
// The countdown window's own class: the installer finds the running program by it (and
// checks the process's path) to close it before an upgrade or a removal.
inline constexpr wchar_t kMainWindowClass[] = L"TorvekQuindleCountdown";

// The countdown window: borderless, rounded, no taskbar button, two transparent labels
// over the stretched picture and one timer per accuracy.
struct MainForm : forms::Form {
    MainForm()
        : Form({
              .title = "窗口",
              .rect = {0, 50, 530, 200},
              .visible = true,
              .border = Border::None,
              .control_box = true,
              .position = StartPosition::Centred,
              .movable = false,
              .in_taskbar = false,
              .shape = Shape::RoundedRectangle,
              .picture_mode = PictureMode::Stretched,
              .never_activated = true,
              .topmost_gives_way_to = FullScreenWindowInFront,
              .on_created = InitializeMainWindow,
              .on_first_shown = ApplyWindowPosition,
              .on_destroying = ForcedClose,
              .on_clock_changed = RefreshAfterClockChange,
              .on_screens_changed = KeepMainWindowWithinReach,
              .on_colours_changed = ApplyColourScheme,
              .events = {.on_left_button_down = AvoidBlock},
              .window_class = kMainWindowClass,
          }) {}

    TransparentLabel 标题标签{this, {
        .rect = {0, 100, 530, 55},
        .caption = "标题标签-未读入数据",
        .font = {.height = -13, .weight = FW_NORMAL, .charset = GB2312_CHARSET, .face = ""},
        .colour = kLabelInitialColour,
        .align = HAlign::Centre,
        .word_wrap = true,
        .valign = VAlign::Centre,
        .events = {.on_left_button_down = AvoidBlock},
    }};
    TransparentLabel 时间标签{this, {
        .rect = {0, 140, 530, 40},
        .caption = "时间标签-未读入时间",
        .font = {.height = -13, .weight = FW_NORMAL, .charset = GB2312_CHARSET, .face = "宋体"},
        .colour = kLabelInitialColour,
        .align = HAlign::Centre,
        .word_wrap = true,
        .valign = VAlign::Centre,
        .events = {.on_left_button_down = AvoidBlock},
    }};
    Timer 倒计时_秒{this, {.interval = 0, .on_tick = RefreshBySecond, .placer = PlaceSecondTick}};
    Timer 倒计时_分{this, {.interval = 0, .on_tick = RefreshByMinute, .placer = PlaceMinuteTick}};
    Timer 倒计时_时{this, {.interval = 0, .on_tick = RefreshByHour, .placer = PlaceHourTick}};
    Timer 倒计时_天{this, {.interval = 0, .on_tick = RefreshByDay, .placer = PlaceDayTick}};
};

// Never shown: it owns the notification-area icon and holds the tray menu.
struct TrayMenuForm : forms::Form {
    TrayMenuForm()
        : Form({
              .title = "TorvekQuindle托盘菜单",
              .rect = {50, 50, 380, 250},
              .visible = false,
              .border = Border::Resizable,
              .control_box = true,
              .position = StartPosition::Centred,
              .movable = true,
              .in_taskbar = false,
              .esc_closes = true,
              .shape = Shape::Rectangle,
              .picture_mode = PictureMode::Tiled,
              .disabled = true,
              .on_message = OnTrayMenuWindowMessage,
          }) {}

    MenuItem 开始_暂停{{.caption = "开始/暂停", .checked = true, .on_selected = ToggleCountdown}};
    MenuItem 分隔线{{.caption = "-"}};
    MenuItem 设置{{.caption = "设置", .on_selected = OpenSettingsWindow}};
    MenuItem 咨询_反馈{{.caption = "咨询/反馈", .on_selected = OpenFeedbackPage}};
    MenuItem 关于{{.caption = "关于", .on_selected = OpenAboutWindow}};
    MenuItem 退出{{.caption = "退出", .on_selected = ConfirmExit}};
    Menu 菜单{"菜单", {&开始_暂停, &分隔线, &设置, &咨询_反馈, &关于, &退出}};
};

extern MainForm main_window;
extern TrayMenuForm tray_menu_window;

}  // namespace tq

#include "forms/dialog_forms.h"
