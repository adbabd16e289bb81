#include "tray/tray_icon.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include <shellapi.h>

#include "runtime/facilities.h"
#include "runtime/value.h"

namespace tq {

namespace {

constexpr UINT kIconId = 100;
constexpr size_t kTipBytes = 62;
// At logon the program may start before the taskbar can take icons: a refused icon is
// offered again every two seconds for five minutes; after that a taskbar that starts late
// announces itself with TaskbarCreated. The form keeps timer 1 for itself; controls' timers
// have the controls' ids, from 1000 up.
constexpr UINT_PTR kRetryTimer = 2;
constexpr UINT kRetryMs = 2000;
constexpr int kRetries = 150;
// A notification tells of the moment it was asked for: one still waiting for the icon after
// this long (a taskbar that refused it, Explorer restarting after a crash) is dropped.
constexpr ULONGLONG kBalloonMaxAgeMs = 60000;

ULONGLONG Milliseconds() {
    return tray_clock_for_tests ? tray_clock_for_tests() : GetTickCount64();
}

// A text in one of the notification area's fixed buffers, cut to the whole characters that
// fit with the terminating NUL: the half of a surrogate pair that would end it goes too.
template <size_t N>
void CopyWholeCharacters(wchar_t (&buffer)[N], std::wstring_view text) {
    size_t length = std::min(text.size(), N - 1);
    if (length < text.size() && length > 0 && IS_HIGH_SURROGATE(text[length - 1])) --length;
    std::copy_n(text.data(), length, buffer);
    buffer[length] = L'\0';
}

UINT TaskbarCreatedMessage() {
    static const UINT message = RegisterWindowMessageW(L"TaskbarCreated");
    return message;
}

// An elevated copy would not hear TaskbarCreated from the user's Explorer otherwise. Windows 7
// has the function, the headers for it do not.
void LetTaskbarCreatedThrough(HWND window) {
    constexpr DWORD kAllow = 1;  // MSGFLT_ALLOW
    static const auto change_filter = LibraryFunction<BOOL(WINAPI*)(HWND, UINT, DWORD, void*)>(
        L"user32.dll", "ChangeWindowMessageFilterEx");
    if (change_filter) change_filter(window, TaskbarCreatedMessage(), kAllow, nullptr);
}

// An icon size at the window's scale: the small icon's (SM_CXSMICON) is the one the
// notification area draws, the large one's (SM_CXICON) the one a notification shows.
int IconSize(HWND window, int metric) {
    static const auto metric_for_dpi =
        LibraryFunction<int(WINAPI*)(int, UINT)>(L"user32.dll", "GetSystemMetricsForDpi");
    const int size = metric_for_dpi ? metric_for_dpi(metric, forms::DpiOfWindow(window)) : 0;
    return size > 0 ? size : GetSystemMetrics(metric);
}

HICON IconFromFile(std::string_view bytes, int size) {
    // An icon file: a 6-byte header, 16-byte entries (width, height, ..., bytes, offset).
    const auto* data = reinterpret_cast<const BYTE*>(bytes.data());
    if (bytes.size() < 6) return nullptr;
    const int count = data[4] | (data[5] << 8);
    int best = -1;
    int best_width = 0;
    for (int i = 0; i < count && 6 + 16 * (i + 1) <= static_cast<int>(bytes.size()); ++i) {
        const BYTE* entry = data + 6 + 16 * i;
        const int width = entry[0] == 0 ? 256 : entry[0];
        // The smallest image not below the wanted size, else the largest.
        const bool better = best < 0 ||
                            (width >= size && (best_width < size || width < best_width)) ||
                            (width < size && best_width < size && width > best_width);
        if (better) {
            best = i;
            best_width = width;
        }
    }
    if (best < 0) return nullptr;
    const BYTE* entry = data + 6 + 16 * best;
    DWORD length, offset;
    std::memcpy(&length, entry + 8, 4);
    std::memcpy(&offset, entry + 12, 4);
    if (offset > bytes.size() || length > bytes.size() - offset) return nullptr;
    return CreateIconFromResourceEx(const_cast<BYTE*>(data + offset), length, TRUE, 0x00030000,
                                    size, size, LR_DEFAULTCOLOR);
}

}  // namespace

bool TrayIcon::Set(HWND window, std::string_view icon_file_bytes, std::string_view tip) {
    if (!window) return false;
    window_ = window;
    if (!icon_) LetTaskbarCreatedThrough(window_);
    icon_file_ = icon_file_bytes;
    MakeIcon();
    tip_.assign(WholeCharactersWithin(tip, kTipBytes));
    if (!update_posted_) {
        update_posted_ = PostMessageW(window_, forms::kTrayUpdateMessage, 0, 0) != FALSE;
    }
    return true;
}

void TrayIcon::MakeIcon() {
    HICON icon = IconFromFile(icon_file_, IconSize(window_, SM_CXSMICON));
    if (icon_) DestroyIcon(icon_);
    icon_ = icon;
}

NOTIFYICONDATAW TrayIcon::IconData() const {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof(data);
    data.hWnd = window_;
    data.uID = kIconId;
    // Under NOTIFYICON_VERSION_4 the shell shows the tip only when the add and each modify ask
    // for it; under earlier versions the flag changes nothing.
    data.uFlags = NIF_ICON | NIF_TIP | NIF_MESSAGE | NIF_SHOWTIP;
    data.uCallbackMessage = forms::kTrayCallbackMessage;
    data.hIcon = icon_;
    CopyWholeCharacters(data.szTip, Widen(tip_));
    return data;
}

void TrayIcon::Notify() {
    update_posted_ = false;
    if (!window_ || !icon_) return;
    NOTIFYICONDATAW data = IconData();
    // Replacing an icon that is already there keeps one icon in the notification area.
    if (!added_ || !forms::lazy::Shell_NotifyIconW(NIM_MODIFY, &data)) {
        added_ = forms::lazy::Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
        // The icon's events then tell the keyboard from the mouse and say where the icon is.
        data.uVersion = NOTIFYICON_VERSION_4;
        version_4_ = added_ && forms::lazy::Shell_NotifyIconW(NIM_SETVERSION, &data);
        if (!added_ && retries_left_ == 0) {
            retries_left_ = kRetries;
            SetTimer(window_, kRetryTimer, kRetryMs, nullptr);
        }
    }
    if (added_ && balloon_pending_) ShowPendingBalloon();
}

void TrayIcon::ShowBalloon(std::string_view title, std::string_view text) {
    balloon_title_.assign(title);
    balloon_text_.assign(text);
    balloon_pending_ = true;
    balloon_asked_at_ = Milliseconds();
    if (added_) ShowPendingBalloon();
}

// With NIIF_USER, Windows Vista and later draw hBalloonIcon (Windows XP drew hIcon), with
// NIIF_LARGE_ICON at the large-icon size. Windows 7 and later drop a balloon asked for with
// NIIF_RESPECT_QUIET_TIME during the user's quiet time. NIF_REALTIME (Windows Vista and later)
// has the shell discard a balloon it cannot show at once, where it would otherwise queue it
// behind others or hold it back while a full-screen program or a presentation runs, to show
// it when the moment it tells of has long passed. Windows 10 and 11 show the balloon as a
// notification.
void TrayIcon::ShowPendingBalloon() {
    // Asked for once the icon is there: one the shell refuses is not shown later, at some
    // unrelated update of the icon, when the moment it told of has long passed.
    balloon_pending_ = false;
    if (Milliseconds() - balloon_asked_at_ > kBalloonMaxAgeMs) return;
    NOTIFYICONDATAW data = IconData();
    data.uFlags |= NIF_INFO | NIF_REALTIME;
    CopyWholeCharacters(data.szInfoTitle, Widen(balloon_title_));
    CopyWholeCharacters(data.szInfo, Widen(balloon_text_));
    data.dwInfoFlags = NIIF_USER | NIIF_LARGE_ICON | NIIF_RESPECT_QUIET_TIME;
    if (balloon_icon_) DestroyIcon(balloon_icon_);
    balloon_icon_ = IconFromFile(icon_file_, IconSize(window_, SM_CXICON));
    data.hBalloonIcon = balloon_icon_;
    forms::lazy::Shell_NotifyIconW(NIM_MODIFY, &data);
}

void TrayIcon::Retry() {
    if (icon_) {
        // A shell that gave up waiting may have added the icon all the same: modify first.
        added_ = true;
        Notify();
    }
    if (!icon_ || added_ || --retries_left_ <= 0) StopRetries();
}

void TrayIcon::StopRetries() {
    if (retries_left_ > 0 && window_) KillTimer(window_, kRetryTimer);
    retries_left_ = 0;
}

void TrayIcon::Remove() {
    if (added_ && window_) {
        NOTIFYICONDATAW data{};
        data.cbSize = sizeof(data);
        data.hWnd = window_;
        data.uID = kIconId;
        forms::lazy::Shell_NotifyIconW(NIM_DELETE, &data);
    }
    StopRetries();
    added_ = false;
    update_posted_ = false;
    version_4_ = false;
    left_click_ = false;
    anchor_.reset();
    if (icon_) DestroyIcon(icon_);
    icon_ = nullptr;  // an update still posted finds no icon and does nothing
    if (balloon_icon_) DestroyIcon(balloon_icon_);
    balloon_icon_ = nullptr;
}

bool TrayIcon::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result) {
    *result = 0;
    switch (message) {
        case forms::kTrayUpdateMessage:
            Notify();
            return true;
        case forms::kTrayCallbackMessage:
            OnCallback(wparam, lparam);
            return true;
        case WM_TIMER:
            if (wparam != kRetryTimer) return false;
            Retry();
            return true;
        case forms::kDpiChangedMessage:
            if (icon_) {
                MakeIcon();
                Notify();
            }
            return false;  // the form takes its new scale too
        case WM_DESTROY:
            Remove();
            return false;
        default:
            // A notification area has started (Explorer started late, restarted, or the
            // scale changed): it has no icon of ours, whether or not one was added before.
            if (message != TaskbarCreatedMessage() || !icon_) return false;
            MakeIcon();
            added_ = false;
            Notify();
            return true;
    }
}

// With NOTIFYICON_VERSION_4 the event is the low word of lParam and wParam holds the icon's
// anchor: where the mouse was, or where the icon chosen with the keyboard (Win+B, the arrow
// keys) lies. A right click brings WM_RBUTTONUP and then WM_CONTEXTMENU, a left click
// WM_LBUTTONUP and then NIN_SELECT; Enter or Space on the icon bring NIN_KEYSELECT, the menu
// key WM_CONTEXTMENU. Each gesture gives one event: the right click's menu opens on
// WM_CONTEXTMENU, and a left click stays a left click. An earlier shell sends the mouse's
// messages alone, for the keyboard too.
void TrayIcon::OnCallback(WPARAM wparam, LPARAM lparam) {
    anchor_.reset();
    if (version_4_) {
        anchor_ = POINT{static_cast<short>(LOWORD(wparam)), static_cast<short>(HIWORD(wparam))};
    }
    switch (LOWORD(lparam)) {
        case WM_LBUTTONUP:
            left_click_ = version_4_;
            on_event_(1);
            break;
        case WM_LBUTTONDBLCLK:
            on_event_(2);
            break;
        case WM_RBUTTONUP:
            if (!version_4_) on_event_(3);
            break;
        case NIN_SELECT:
            if (!std::exchange(left_click_, false)) on_event_(3);
            break;
        case NIN_KEYSELECT:
        case WM_CONTEXTMENU:
            on_event_(3);
            break;
    }
}

}  // namespace tq
