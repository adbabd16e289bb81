// Baselines for the whole-process benchmarks. Built plain (minimal_window), the least a
// Win32 countdown can be: one 530 x 200 window, one STATIC label, and a one-second timer
// that writes a countdown text into the label. Built with TQ_STRUCTURAL_BASELINE
// (structural_window), the same window with the structure the program must have and nothing
// of its own: a hidden owner (no taskbar button), the layered style at alpha 175, the
// rounded region, the named mutex of the single-instance check, and a hidden tray
// window whose notification-area icon is handed over after the first paint, with shell32
// loaded then, as the program does. Both are built with the same compiler, flags and static
// linking as the program, so that a ratio against them measures the program's own cost
// rather than Wine's.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <cwchar>

namespace {

constexpr UINT_PTR kTimerId = 1;
constexpr int kLabelId = 100;
HWND label = nullptr;

#ifdef TQ_STRUCTURAL_BASELINE
constexpr UINT kAddIconMessage = WM_APP + 2;
HWND tray = nullptr;

// The single-instance check: a mutex in the session's namespace named after this
// executable's file name, upper-cased.
bool AnotherCopyRuns() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    const wchar_t* name = std::wcsrchr(path, L'\\') ? std::wcsrchr(path, L'\\') + 1 : path;
    wchar_t mutex_name[MAX_PATH] = L"Local\\TorvekQuindle.";
    const size_t prefix = std::wcslen(mutex_name);
    lstrcpynW(mutex_name + prefix, name, static_cast<int>(MAX_PATH - prefix));
    const int length = static_cast<int>(std::wcslen(mutex_name + prefix));
    LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, mutex_name + prefix, length,
                  mutex_name + prefix, length, nullptr, nullptr, 0);
    return CreateMutexW(nullptr, FALSE, mutex_name) && GetLastError() == ERROR_ALREADY_EXISTS;
}

BOOL NotifyIcon(DWORD message) {
    using Function = BOOL(WINAPI*)(DWORD, NOTIFYICONDATAA*);
    static const auto notify = reinterpret_cast<Function>(reinterpret_cast<void*>(
        GetProcAddress(LoadLibraryA("shell32.dll"), "Shell_NotifyIconA")));
    NOTIFYICONDATAA data{};
    data.cbSize = sizeof data;
    data.hWnd = tray;
    data.uID = 100;
    data.uFlags = NIF_ICON | NIF_TIP;
    data.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    lstrcpynA(data.szTip, "Structural countdown", sizeof data.szTip);
    return notify && notify(message, &data);
}
#endif

// Seconds from now to 2049-10-01 15:00:00 local time, the program's default deadline. Both
// times are local wall-clock times, as the program computes them.
long long SecondsLeft() {
    SYSTEMTIME deadline{};
    deadline.wYear = 2049;
    deadline.wMonth = 10;
    deadline.wDay = 1;
    deadline.wHour = 15;
    SYSTEMTIME now;
    GetLocalTime(&now);
    FILETIME end_time, now_time;
    SystemTimeToFileTime(&deadline, &end_time);
    SystemTimeToFileTime(&now, &now_time);
    const auto ticks = [](FILETIME t) {
        return static_cast<long long>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) |
                                      t.dwLowDateTime);
    };
    return (ticks(end_time) - ticks(now_time)) / 10000000;
}

// Same shape as the program's text at second accuracy: 天 小时 分 秒 (GBK bytes).
void ShowCountdown() {
    const long long s = SecondsLeft();
    char text[96];
    std::snprintf(text, sizeof text, "%lld天%lld小时%lld分%lld秒", s / 86400, s / 3600 % 24,
                  s / 60 % 60, s % 60);
    SetWindowTextA(label, text);
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_CREATE:
            label = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE | SS_CENTER, 0, 140,
                                    530, 40, hwnd, reinterpret_cast<HMENU>(kLabelId),
                                    reinterpret_cast<CREATESTRUCTA*>(lparam)->hInstance, nullptr);
            ShowCountdown();
            SetTimer(hwnd, kTimerId, 1000, nullptr);
            return 0;
        case WM_TIMER:
            if (wparam == kTimerId) ShowCountdown();
            return 0;
        case WM_DESTROY:
            KillTimer(hwnd, kTimerId);
#ifdef TQ_STRUCTURAL_BASELINE
            NotifyIcon(NIM_DELETE);
#endif
            PostQuitMessage(0);
            return 0;
#ifdef TQ_STRUCTURAL_BASELINE
        case kAddIconMessage:
            NotifyIcon(NIM_ADD);
            return 0;
#endif
        default:
            return DefWindowProcA(hwnd, message, wparam, lparam);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = "MinimalCountdownWindow";
    if (!RegisterClassExA(&wc)) return 1;
    // Centred, without a frame, like the program's default look.
    const int x = (GetSystemMetrics(SM_CXSCREEN) - 530) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - 200) / 2;
#ifdef TQ_STRUCTURAL_BASELINE
    HWND owner = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                 instance, nullptr);
#else
    HWND owner = nullptr;
#endif
    HWND window = CreateWindowExA(0, wc.lpszClassName, "Minimal countdown", WS_POPUP, x, y, 530,
                                  200, owner, nullptr, instance, nullptr);
    if (!window) return 1;
#ifdef TQ_STRUCTURAL_BASELINE
    if (AnotherCopyRuns()) return 0;
    SetWindowLongA(window, GWL_EXSTYLE, GetWindowLongA(window, GWL_EXSTYLE) | WS_EX_LAYERED);
    SetLayeredWindowAttributes(window, 0, 175, LWA_ALPHA);
    SetWindowRgn(window, CreateRoundRectRgn(0, 0, 530, 200, 40, 40), TRUE);
    tray = CreateWindowExA(0, wc.lpszClassName, "tray", WS_OVERLAPPEDWINDOW | WS_DISABLED, 0, 0,
                           380, 250, nullptr, nullptr, instance, nullptr);
#endif
    ShowWindow(window, show);
    UpdateWindow(window);
#ifdef TQ_STRUCTURAL_BASELINE
    PostMessageA(tray, kAddIconMessage, 0, 0);
#endif
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}
