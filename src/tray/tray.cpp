#include "tray/tray.h"

#include <string_view>

#include <windows.h>

#include "countdown/countdown.h"
#include "forms/forms.h"
#include "log/debug_log.h"
#include "resources/resources.h"
#include "runtime/facilities.h"
#include "settings/settings_file.h"
#include "tray/tray_icon.h"

namespace tq {

namespace {
TrayIcon tray_icon{OnTrayEvent};
}  // namespace

void SetUpTrayIcon() {
    tray_menu_window.Load();
    RefreshTrayIcon();
}

void RefreshTrayIcon() {
    const std::string_view icon(reinterpret_cast<const char*>(kProgramIcon), kProgramIconSize);
    tray_icon.Set(tray_menu_window.handle(), icon, ReadSetting(keys::wintitle));
}

void OnTrayEvent(int action) {
    // At the icon: the pointer, or where the icon chosen with the keyboard lies.
    if (action == 3) forms::PopupMenu(tray_menu_window, tray_menu_window.菜单, tray_icon.anchor());
}

bool OnTrayMenuWindowMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result) {
    return tray_icon.HandleMessage(message, wparam, lparam, result);
}

void AnnounceDeadline() {
    tray_icon.ShowBalloon(ReadSetting(keys::wintitle), "时间到！倒计时已结束。");
}

void ConfirmExit() {
    saved_topmost = main_window.topmost();
    main_window.SetTopmost(false);
    constexpr int kNo = 6;
    const int answer = ShowMessageBox("您确认要退出TorvekQuindle吗？", MB_YESNO | MB_ICONQUESTION,
                                      "警示信息 - 退出确认");
    if (answer == kNo) {
        if (saved_topmost) main_window.SetTopmost(true);
        return;
    }
    FadeOut();
    StopRefreshTimers();
    WriteLogLine(kLogExitedByUser);
    tray_menu_window.Close();
    ProcessPendingMessages();  // the close takes effect here and removes the icon
    EndProgram(0);
}

void OpenFeedbackPage() { OpenWebAddress(kFeedbackAddress); }

}  // namespace tq
