// Baseline for the whole-process benchmarks: the least a Win32 countdown can be. One
// 530 x 200 window, one STATIC label, and a one-second timer that writes a countdown text
// into the label. Built with the same compiler, flags and static linking as the program,
// so that a ratio against it measures the program's own cost rather than Wine's.
#include <windows.h>

#include <cstdio>

namespace {

constexpr UINT_PTR kTimerId = 1;
constexpr int kLabelId = 100;
HWND label = nullptr;

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
            PostQuitMessage(0);
            return 0;
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
    HWND window = CreateWindowExA(0, wc.lpszClassName, "Minimal countdown", WS_POPUP, x, y, 530,
                                  200, nullptr, nullptr, instance, nullptr);
    if (!window) return 1;
    ShowWindow(window, show);
    UpdateWindow(window);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}
