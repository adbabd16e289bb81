// The notification-area icon, its menu and the confirmed exit. The icon and the menu
// belong to the hidden tray menu window.
#pragma once

#include <windows.h>

namespace tq {

inline int saved_topmost = 0;  // the main window's always-on-top state during the exit question

inline constexpr char kFeedbackAddress[] = "https://torvekquindle.example.org/feedback";

void SetUpTrayIcon();
// Sets the icon again with the stored title as tip; the existing icon is replaced.
void RefreshTrayIcon();
void OnTrayEvent(int action);
// The tray menu window's messages, before its form sees them: the icon's own.
bool OnTrayMenuWindowMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result);
// The countdown has reached zero: a notification from the icon, titled with the stored title.
void AnnounceDeadline();
void ConfirmExit();
void OpenFeedbackPage();

}  // namespace tq
