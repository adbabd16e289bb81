// The notification-area icon, its menu and the confirmed exit. The icon and the menu
// belong to the hidden tray menu window.
#pragma once

namespace tq {

inline int saved_topmost = 0;  // the main window's always-on-top state during the exit question

inline constexpr char kFeedbackAddress[] = "https://torvekquindle.example.org/feedback";

void SetUpTrayIcon();
// Sets the icon again with the stored title as tip; the existing icon is replaced.
void RefreshTrayIcon();
void OnTrayEvent(int action);
void ConfirmExit();
void OpenFeedbackPage();

}  // namespace tq
