// Full-screen programs come first. While the countdown is always on top, a window of another
// program in front (the foreground window) that is full screen on the monitor the countdown
// is on (a game, a video, a slide show; IsFullScreenProgram: a maximised window is none)
// takes the top: the main window lies just below it, out of the topmost band, and goes back
// into the band once it is no longer in front or no longer full screen. The form keeps the user's
// choice (main_window.topmost()), so the settings window and the exit question, which switch
// always-on-top off and back, neither undo this nor store it; nothing is written.
//
// The foreground window is watched through WinEvents, out of context: they arrive through
// this thread's message loops, the program's own and those of its message boxes included.
// Where they do not arrive (Wine sends neither the foreground's nor a window's moves), and
// while a full-screen window is in front (so that a placement the platform did not keep is
// made again), the foreground window alone is looked at twice a second.
#include <cwchar>

#include <windows.h>

#include <shellapi.h>

#include "app/globals.h"
#include "appearance/appearance.h"
#include "appearance/placement.h"
#include "forms/forms.h"
#include "runtime/facilities.h"

namespace tq {

namespace {

constexpr UINT kLookAgainMs = 500;

bool watching = false;
HWINEVENTHOOK foreground_hook = nullptr;
HWINEVENTHOOK front_moves_hook = nullptr;  // moves and sizes on the foreground window's thread
DWORD front_thread = 0;
bool foreground_events_arrive = false;
UINT_PTR look_again_timer = 0;

// The desktop and the shell's own windows cover monitors without being a program in front.
bool IsShellWindow(HWND window) {
    if (window == GetDesktopWindow() || window == GetShellWindow()) return true;
    wchar_t name[32] = {};
    GetClassNameW(window, name, 32);
    for (const wchar_t* shell :
         {L"Progman", L"WorkerW", L"Shell_TrayWnd", L"Shell_SecondaryTrayWnd"})
        if (wcscmp(name, shell) == 0) return true;
    return false;
}

// Direct3D in exclusive mode owns the monitor whatever its window's rectangle says; the shell
// tells (Windows Vista and later).
bool ShellSeesExclusiveFullScreen() {
    using Query = HRESULT(WINAPI*)(QUERY_USER_NOTIFICATION_STATE*);
    static const auto query =
        LibraryFunction<Query>(L"shell32.dll", "SHQueryUserNotificationState");
    QUERY_USER_NOTIFICATION_STATE state{};
    return query && query(&state) == S_OK && state == QUNS_RUNNING_D3D_FULL_SCREEN;
}

Box BoxOf(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

static_assert(kStyleMaximised == WS_MAXIMIZE && kStyleCaption == WS_CAPTION &&
              kStyleSizingFrame == WS_THICKFRAME);

HWND FullScreenWindow() {
    HWND front = GetForegroundWindow();
    DWORD process = 0;
    // A window closed a moment ago may still be reported as the foreground one.
    if (!front || !GetWindowThreadProcessId(front, &process) || process == GetCurrentProcessId() ||
        !IsWindowVisible(front) || IsIconic(front) || IsShellWindow(front)) {
        return nullptr;
    }
    HMONITOR ours = MonitorFromWindow(main_window_handle, MONITOR_DEFAULTTONEAREST);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    if (!GetMonitorInfoW(ours, &monitor)) return nullptr;
    RECT window{}, client{};
    GetWindowRect(front, &window);
    GetClientRect(front, &client);
    MapWindowPoints(front, nullptr, reinterpret_cast<POINT*>(&client), 2);
    const FrontWindow seen{static_cast<uint32_t>(GetWindowLongW(front, GWL_STYLE)), BoxOf(window),
                           BoxOf(client)};
    const bool covers = IsFullScreenProgram(seen, BoxOf(monitor.rcMonitor), BoxOf(monitor.rcWork));
    const bool exclusive = !covers && MonitorFromWindow(front, MONITOR_DEFAULTTONULL) == ours &&
                           ShellSeesExclusiveFullScreen();
    return covers || exclusive ? front : nullptr;
}

// The main window placed anew: into the band, or below the window in front.
void PlaceMainWindowAgain() { main_window.SetTopmost(main_window.topmost()); }

// While always-on-top is switched off for a while (the settings window, the exit question)
// there is nothing to place: the switch back places the window and looks again.
void CALLBACK LookAgain(HWND, UINT, UINT_PTR, DWORD) {
    if (main_window.topmost()) {
        PlaceMainWindowAgain();
    } else {
        KillTimer(nullptr, look_again_timer);
        look_again_timer = 0;
    }
}

void WatchMovesOf(HWND front);

void CALLBACK OnWinEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD,
                         DWORD) {
    if (object != OBJID_WINDOW || child != CHILDID_SELF) return;
    if (event == EVENT_SYSTEM_FOREGROUND) {
        foreground_events_arrive = true;
        WatchMovesOf(window);
    } else if (window != GetForegroundWindow()) {
        return;  // a move of another window of the foreground's thread
    }
    PlaceMainWindowAgain();
}

// Moves and size changes come from the thread of the window that makes them: only the
// foreground window's thread is listened to.
void WatchMovesOf(HWND front) {
    DWORD process = 0;
    DWORD thread = GetWindowThreadProcessId(front, &process);
    if (process == GetCurrentProcessId()) thread = 0;
    if (thread == front_thread) return;
    if (front_moves_hook) UnhookWinEvent(front_moves_hook);
    front_moves_hook = nullptr;
    front_thread = thread;
    if (thread) {
        front_moves_hook = SetWinEventHook(EVENT_OBJECT_LOCATIONCHANGE, EVENT_OBJECT_LOCATIONCHANGE,
                                           nullptr, OnWinEvent, 0, thread, WINEVENT_OUTOFCONTEXT);
    }
}

void LookAgainEvery(UINT milliseconds) {
    if (look_again_timer) KillTimer(nullptr, look_again_timer);
    look_again_timer = milliseconds ? SetTimer(nullptr, 0, milliseconds, LookAgain) : 0;
}

}  // namespace

void WatchFullScreenPrograms(bool watch) {
    if (watch == watching) return;
    watching = watch;
    if (foreground_hook) UnhookWinEvent(foreground_hook);
    foreground_hook = watch ? SetWinEventHook(EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_FOREGROUND,
                                              nullptr, OnWinEvent, 0, 0, WINEVENT_OUTOFCONTEXT)
                            : nullptr;
    WatchMovesOf(watch ? GetForegroundWindow() : nullptr);
    if (!watch) LookAgainEvery(0);
}

HWND FullScreenWindowInFront() {
    HWND front = FullScreenWindow();
    const bool look_again = watching && (front || !foreground_events_arrive);
    if (look_again != (look_again_timer != 0)) LookAgainEvery(look_again ? kLookAgainMs : 0);
    return front;
}

}  // namespace tq
