// The notification-area icon of a window: adding it once the message loop runs, offering it
// again while the taskbar refuses it and whenever a taskbar starts, the icon at the scale of
// the moment, the tip, and the icon's mouse and keyboard events. The window that owns the
// icon hands its messages to HandleMessage before its form handles them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <windows.h>

#include <shellapi.h>

#include "forms/model.h"

namespace tq {

// Answers in place of GetTickCount64 when set (tests: a notification waiting a minute).
inline ULONGLONG (*tray_clock_for_tests)() = nullptr;

class TrayIcon {
public:
    // `on_event` hears the gestures on the icon: 1 a left click, 2 a double click, 3 the menu
    // (a right click, or the keyboard on the icon).
    explicit TrayIcon(forms::Handler<int> on_event) : on_event_(std::move(on_event)) {}
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    // The icon (identifier 100) of `window`: put in place or replaced, never shown twice; the
    // tip is cut to the whole characters within its first 62 bytes. The icon comes as the bytes of
    // an icon file. Closing the window removes it. The notification area is told from the message
    // loop: the call waits for the shell, and at start-up that wait would otherwise come before the
    // main window's first paint. The icon is drawn at the small-icon size of the window's scale,
    // again whenever the scale or the taskbar changes, so the bytes must live as long as the
    // window (the program's embedded icon does). An icon the notification area refuses is
    // offered again for a few minutes, and whenever a taskbar starts. False when there is no
    // window.
    bool Set(HWND window, std::string_view icon_file_bytes, std::string_view tip);
    void Remove();
    // A notification from the icon (a balloon) with the icon's picture, its title and text cut
    // at whole characters to what the notification area holds. One asked for before the
    // notification area has the icon comes once it has it, within a minute; later it is
    // dropped. It takes no focus, and the shell drops it when it cannot show it at once
    // (presentation mode, a full-screen program, the user's quiet time).
    void ShowBalloon(std::string_view title, std::string_view text);
    bool added() const { return added_; }
    const std::string& tip() const { return tip_; }
    // Where the notification area placed the icon that raised the last event (the pointer,
    // or the icon chosen with the keyboard); none when the shell does not say.
    std::optional<POINT> anchor() const { return anchor_; }

    // One message of the window that owns the icon, before its form sees it: true when it
    // was the icon's alone, with its result in `result`.
    bool HandleMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result);

private:
    NOTIFYICONDATAW IconData() const;  // the stored icon and tip
    void Notify();                     // hands the stored icon and tip to the notification area
    void ShowPendingBalloon();
    void MakeIcon();  // the icon at the size the notification area wants now
    void Retry();
    void StopRetries();
    void OnCallback(WPARAM wparam, LPARAM lparam);

    forms::Handler<int> on_event_;
    HWND window_ = nullptr;
    bool added_ = false;
    bool update_posted_ = false;
    bool version_4_ = false;   // the shell speaks NOTIFYICON_VERSION_4 with this icon
    bool left_click_ = false;  // a left click's NIN_SELECT is still to come
    std::optional<POINT> anchor_;
    HICON icon_ = nullptr;
    std::string_view icon_file_;
    std::string tip_;
    int retries_left_ = 0;  // above 0 while the retry timer runs
    bool balloon_pending_ = false;
    ULONGLONG balloon_asked_at_ = 0;
    std::string balloon_title_;
    std::string balloon_text_;
    HICON balloon_icon_ = nullptr;  // kept while the shell may still draw it
};

}  // namespace tq
