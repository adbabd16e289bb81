// Helper of bench/wine_bench.sh, run under Wine in the same prefix and display as the
// programs it measures. Each command prints one line of key=value pairs.
//
//   probe start <exe> <timeout-ms>
//       Starts <exe> (a Windows path) with its own folder as working directory and waits
//       for its first painted countdown: a visible child window of class
//       TorvekQuindleTransparentLabel or Static whose text is a countdown
//       ("<n>天<n>小时<n>分<n>秒", or to the minute "<n>天<n>小时<n>分"), with no update
//       region left in that label or in its top-level window, i.e. the text has been set
//       and every pending WM_PAINT of the window has run. Prints the milliseconds from just
//       before CreateProcess to that moment, and the process id. The started process keeps
//       running.
//       Exit status 0 when found, 2 on timeout, 3 when the process ended first.
//
//   probe tray
//       Puts an icon in the notification area and keeps it there until the process is
//       ended. Wine's system tray window (top left of a display without a window manager)
//       is hidden when its last icon goes, and hiding it there holds explorer.exe, and
//       every program starting meanwhile, for about 1.5 s (an X wait that times out).
//       Each killed TorvekQuindle takes its icon with it; a second, lasting icon keeps
//       the tray as a desktop has it, so that one run does not slow the next one's start.
//
//   probe ticks <pid> <seconds> <accuracy>
//       Reads the countdown label of a running process every 2 ms for <seconds>, at second
//       accuracy (0) or minute accuracy (1), with the default deadline, and compares every
//       change with the clock: the lag from the local second in which the new text became
//       true to the moment it was seen (median, 95th percentile, largest, smallest, ms), and
//       the values skipped or repeated.
//
//   probe gui <pid>
//       GDI objects, USER objects and kernel handles of a process. GetGuiResources is
//       asked first; Wine 8 implements it as a stub (0, ERROR_CALL_NOT_IMPLEMENTED), and
//       then the figures are counted instead:
//         GDI objects: the in-use, non-stock entries of the process's GDI handle table,
//           which Wine keeps, like Windows, at PEB->GdiSharedHandleTable (read with
//           ReadProcessMemory), with a breakdown by object type;
//         USER objects: the windows the process owns (top-level, child and message-only).
//       Also prints the process's countdown label text, UTF-8.
#define _WIN32_WINNT 0x0601
#include <windows.h>
#include <shellapi.h>
#include <winternl.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

void Print(const char* format, ...) {
    char line[2048];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (n <= 0) return;
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line,
              static_cast<DWORD>(n < static_cast<int>(sizeof line) ? n : sizeof line - 1), &written,
              nullptr);
}

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    for (char& c : out) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') c = '_';
    }
    return out;
}

// "<n>天<n>小时<n>分<n>秒" (without "<n>秒" at minute accuracy when `minutes`), each number
// optionally negative.
bool IsCountdown(const std::wstring& text, bool minutes = false) {
    static const wchar_t* const kUnits[] = {L"\u5929", L"\u5C0F\u65F6", L"\u5206", L"\u79D2"};
    size_t i = 0;
    for (const wchar_t* unit : kUnits) {
        if (minutes && unit == kUnits[3]) break;
        if (i < text.size() && text[i] == L'-') ++i;
        const size_t digits = i;
        while (i < text.size() && text[i] >= L'0' && text[i] <= L'9') ++i;
        if (i == digits) return false;
        const size_t n = std::wcslen(unit);
        if (text.compare(i, n, unit) != 0) return false;
        i += n;
    }
    return i == text.size();
}

// Asks a label for its text (WM_GETTEXT). The program's labels answer with what they show
// but keep their window text as created, so that a screen reader is not told of a new name at
// every tick; the baselines' static labels answer the same message, so every measured program
// runs the same small share of the polling.
std::wstring WindowText(HWND hwnd) {
    wchar_t buffer[512];
    DWORD_PTR n = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(buffer),
                             SMTO_ABORTIFHUNG, 1000, &n))
        n = 0;
    return std::wstring(buffer, n);
}

bool IsLabelClass(HWND hwnd) {
    char name[64];
    if (!GetClassNameA(hwnd, name, sizeof name)) return false;
    return std::strcmp(name, "TorvekQuindleTransparentLabel") == 0 || lstrcmpiA(name, "Static") == 0;
}

struct Windows {
    DWORD pid;
    std::vector<HWND> list;
};

BOOL CALLBACK CollectOwned(HWND hwnd, LPARAM param) {
    auto* windows = reinterpret_cast<Windows*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == windows->pid) windows->list.push_back(hwnd);
    return TRUE;
}

std::vector<HWND> TopLevelWindows(DWORD pid) {
    Windows windows{pid, {}};
    EnumWindows(CollectOwned, reinterpret_cast<LPARAM>(&windows));
    return windows.list;
}

std::vector<HWND> Descendants(HWND parent) {
    Windows windows{0, {}};
    GetWindowThreadProcessId(parent, &windows.pid);
    EnumChildWindows(parent, CollectOwned, reinterpret_cast<LPARAM>(&windows));
    return windows.list;
}

// The countdown label of a process: a visible label window whose text is a countdown to the
// second or to the minute.
HWND FindCountdownLabel(DWORD pid, HWND* top_out) {
    for (HWND top : TopLevelWindows(pid)) {
        if (!IsWindowVisible(top)) continue;
        for (HWND child : Descendants(top)) {
            const std::wstring text = WindowText(child);
            if (IsLabelClass(child) && IsWindowVisible(child) &&
                (IsCountdown(text) || IsCountdown(text, true))) {
                if (top_out) *top_out = top;
                return child;
            }
        }
    }
    return nullptr;
}

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to, LARGE_INTEGER frequency) {
    return static_cast<double>(to.QuadPart - from.QuadPart) * 1000.0 /
           static_cast<double>(frequency.QuadPart);
}

int Start(const char* exe, int timeout_ms) {
    std::string folder(exe);
    const size_t slash = folder.find_last_of("\\/");
    folder = slash == std::string::npos ? std::string(".") : folder.substr(0, slash);
    std::string command = std::string("\"") + exe + "\"";

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    LARGE_INTEGER frequency, started, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&started);
    if (!CreateProcessA(exe, command.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, &process)) {
        Print("error=CreateProcess:%lu\n", GetLastError());
        return 1;
    }
    CloseHandle(process.hThread);
    LARGE_INTEGER created;
    QueryPerformanceCounter(&created);
    const double create_ms = Milliseconds(started, created, frequency);
    int polls = 0;
    int pending = 0;  // polls that saw the text but a paint still to come
    double longest_poll_ms = 0;  // a long poll means the probe, not the program, was held up
    for (;;) {
        ++polls;
        LARGE_INTEGER poll_start;
        QueryPerformanceCounter(&poll_start);
        HWND top = nullptr;
        HWND label = FindCountdownLabel(process.dwProcessId, &top);
        if (label) {
            if (!GetUpdateRect(label, nullptr, FALSE) && !GetUpdateRect(top, nullptr, FALSE)) {
                QueryPerformanceCounter(&now);
                Print("first_paint_ms=%.1f pid=%lu create_ms=%.1f polls=%d pending=%d "
                      "longest_poll_ms=%.1f text=%s\n",
                      Milliseconds(started, now, frequency), process.dwProcessId, create_ms, polls,
                      pending, longest_poll_ms, Utf8(WindowText(label)).c_str());
                CloseHandle(process.hProcess);
                return 0;
            }
            ++pending;
        }
        QueryPerformanceCounter(&now);
        if (Milliseconds(poll_start, now, frequency) > longest_poll_ms) {
            longest_poll_ms = Milliseconds(poll_start, now, frequency);
        }
        if (WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0) {
            Print("error=exited pid=%lu ms=%.1f\n", process.dwProcessId,
                  Milliseconds(started, now, frequency));
            CloseHandle(process.hProcess);
            return 3;
        }
        if (Milliseconds(started, now, frequency) > timeout_ms) {
            Print("error=timeout pid=%lu polls=%d\n", process.dwProcessId, polls);
            CloseHandle(process.hProcess);
            return 2;
        }
        Sleep(2);
    }
}

// Wine's GDI handle table entry (the Windows layout of GDI_HANDLE_ENTRY, 24 bytes).
#pragma pack(push, 1)
struct GdiEntry {
    ULONGLONG object;
    ULONG owner;
    UCHAR ext_type;  // bits 0-6 the extended type, bit 7 the stock flag
    UCHAR generation;
    UCHAR type;  // 0: free
    UCHAR flags;
    ULONGLONG user_pointer;
};
#pragma pack(pop)
static_assert(sizeof(GdiEntry) == 24);
constexpr size_t kGdiEntries = 0x10000;
constexpr size_t kFirstGdiHandle = 32;  // the stock white brush
// Where PEB->GdiSharedHandleTable may be: the 32-bit PEB (offset 0x94), or the 64-bit PEB
// that Wine keeps beside a 32-bit process's PEB in a 64-bit prefix (offset 0xF8), one page
// after or before it depending on the Wine version. The first that passes the sanity check
// below is used.
constexpr LONG kPebGdiTableOffsets[] = {0x94, 0x1000 + 0xF8, -0x1000 + 0xF8};

struct GdiCount {
    long total = -1;
    long dc = 0, bitmap = 0, font = 0, brush = 0, pen = 0, region = 0, other = 0;
};

GdiCount CountGdiObjects(HANDLE process) {
    GdiCount count;
    using QueryFn = LONG(WINAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<QueryFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess")));
    PROCESS_BASIC_INFORMATION basic{};
    if (!query || query(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0) {
        return count;
    }
    const auto* peb = static_cast<const char*>(static_cast<const void*>(basic.PebBaseAddress));
    std::vector<GdiEntry> entries(kGdiEntries);
    bool found = false;
    for (LONG offset : kPebGdiTableOffsets) {
        ULONG table = 0;
        SIZE_T read = 0;
        if (!ReadProcessMemory(process, peb + offset, &table, sizeof table, &read) || !table) {
            continue;
        }
        if (!ReadProcessMemory(process,
                               reinterpret_cast<const void*>(static_cast<ULONG_PTR>(table)),
                               entries.data(), entries.size() * sizeof(GdiEntry), &read) ||
            read != entries.size() * sizeof(GdiEntry)) {
            continue;
        }
        // Sanity check of the layout: the first handle is the stock white brush.
        const GdiEntry& first = entries[kFirstGdiHandle];
        if (first.type == 0x10 && (first.ext_type & 0x80)) {
            found = true;
            break;
        }
    }
    if (!found) return count;
    count.total = 0;
    for (const GdiEntry& e : entries) {
        if (!e.type || (e.ext_type & 0x80)) continue;  // free or stock
        ++count.total;
        switch (e.ext_type & 0x7f) {
            case 0x01: case 0x41: ++count.dc; break;  // DC, memory DC
            case 0x05: case 0x09: ++count.bitmap; break;
            case 0x0a: ++count.font; break;
            case 0x10: ++count.brush; break;
            case 0x30: case 0x50: ++count.pen; break;
            case 0x04: ++count.region; break;
            default: ++count.other; break;
        }
    }
    return count;
}

// Kernel handles of a process from the system-wide handle list (GetProcessHandleCount
// answers 0 under Wine 8).
long CountHandles(DWORD pid) {
    struct Entry {  // SYSTEM_HANDLE_ENTRY, 32-bit layout
        ULONG owner_pid;
        UCHAR object_type;
        UCHAR flags;
        USHORT value;
        PVOID object;
        ULONG access;
    };
    using QueryFn = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<QueryFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) return -1;
    constexpr ULONG kSystemHandleInformation = 16;
    constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
    std::vector<char> buffer(1 << 16);
    for (int attempt = 0; attempt < 8; ++attempt) {
        ULONG needed = 0;
        const LONG status = query(kSystemHandleInformation, buffer.data(),
                                  static_cast<ULONG>(buffer.size()), &needed);
        if (status == kInfoLengthMismatch) {
            buffer.resize(needed > buffer.size() ? needed + 4096 : buffer.size() * 2);
            continue;
        }
        if (status != 0) return -1;
        ULONG n = 0;
        std::memcpy(&n, buffer.data(), sizeof n);
        const auto* entries = reinterpret_cast<const Entry*>(buffer.data() + sizeof(ULONG_PTR));
        long count = 0;
        for (ULONG i = 0; i < n; ++i) count += entries[i].owner_pid == pid;
        return count;
    }
    return -1;
}

long CountWindows(DWORD pid) {
    long n = 0;
    for (HWND top : TopLevelWindows(pid)) n += 1 + static_cast<long>(Descendants(top).size());
    for (HWND h = FindWindowExA(HWND_MESSAGE, nullptr, nullptr, nullptr); h;
         h = FindWindowExA(HWND_MESSAGE, h, nullptr, nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(h, &owner);
        if (owner == pid) n += 1 + static_cast<long>(Descendants(h).size());
    }
    return n;
}

int Gui(DWORD pid) {
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (!process) {
        Print("error=OpenProcess:%lu\n", GetLastError());
        return 1;
    }
    SetLastError(0);
    long gdi = static_cast<long>(GetGuiResources(process, GR_GDIOBJECTS));
    const DWORD gdi_error = GetLastError();
    long user = static_cast<long>(GetGuiResources(process, GR_USEROBJECTS));
    const char* gdi_source = "GetGuiResources";
    const char* user_source = "GetGuiResources";
    GdiCount table = CountGdiObjects(process);
    if (gdi == 0 && gdi_error == ERROR_CALL_NOT_IMPLEMENTED) {
        gdi = table.total;
        gdi_source = "handle-table";
    }
    const long windows = CountWindows(pid);
    if (user == 0) {
        user = windows;
        user_source = "windows";
    }
    DWORD counted = 0;
    long handles = GetProcessHandleCount(process, &counted) && counted ? static_cast<long>(counted)
                                                                      : CountHandles(pid);
    HWND label = FindCountdownLabel(pid, nullptr);
    Print("gdi=%ld user=%ld handles=%ld windows=%ld gdi_source=%s user_source=%s dc=%ld "
          "bitmap=%ld font=%ld brush=%ld pen=%ld region=%ld other=%ld text=%s\n",
          gdi, user, handles, windows, gdi_source, user_source, table.dc, table.bitmap, table.font,
          table.brush, table.pen, table.region, table.other,
          label ? Utf8(WindowText(label)).c_str() : "-");
    CloseHandle(process);
    return 0;
}

// The local clock in milliseconds since 1601, as the programs read it.
long long LocalMilliseconds() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    FILETIME f;
    SystemTimeToFileTime(&t, &f);
    return static_cast<long long>((static_cast<unsigned long long>(f.dwHighDateTime) << 32) |
                                  f.dwLowDateTime) / 10000;
}

// The label's text at local second `second` (since 1601) for the default deadline,
// 2049-10-01 15:00:00 local time.
std::wstring ExpectedText(long long second, bool minutes) {
    SYSTEMTIME deadline{};
    deadline.wYear = 2049;
    deadline.wMonth = 10;
    deadline.wDay = 1;
    deadline.wHour = 15;
    FILETIME f;
    SystemTimeToFileTime(&deadline, &f);
    const long long end =
        static_cast<long long>((static_cast<unsigned long long>(f.dwHighDateTime) << 32) |
                               f.dwLowDateTime) / 10000000;
    const long long s = end - second;
    wchar_t text[96];
    if (minutes) {
        std::swprintf(text, 96, L"%lld\u5929%lld\u5C0F\u65F6%lld\u5206", s / 86400, s / 3600 % 24,
                      s / 60 % 60);
    } else {
        std::swprintf(text, 96, L"%lld\u5929%lld\u5C0F\u65F6%lld\u5206%lld\u79D2", s / 86400,
                      s / 3600 % 24, s / 60 % 60, s % 60);
    }
    return text;
}

// Watches the countdown label of a running process for `seconds`, reading its text every
// 2 ms, and compares each change with the clock: the lag is the time from the local second
// in which the new text became true (for the default deadline) to the moment it was first
// seen; a change that is not to the next value skips or repeats one.
int Ticks(DWORD pid, int seconds, bool minutes) {
    HWND label = FindCountdownLabel(pid, nullptr);
    if (!label) {
        Print("error=no-label\n");
        return 1;
    }
    const long long step = minutes ? 60 : 1;
    std::vector<long long> lags;
    long long previous = 0;
    int skipped = 0, repeated = 0, unknown = 0;
    std::wstring shown = WindowText(label);
    const long long end = LocalMilliseconds() + seconds * 1000LL;
    for (long long now = LocalMilliseconds(); now < end; now = LocalMilliseconds()) {
        std::wstring text = WindowText(label);
        if (text != shown) {
            shown = text;
            long long since = 0;
            for (long long second = now / 1000 + 2; second > now / 1000 - 130; --second) {
                if (ExpectedText(second, minutes) == text &&
                    ExpectedText(second - 1, minutes) != text) {
                    since = second;
                    break;
                }
            }
            if (!since) {
                ++unknown;
            } else {
                lags.push_back(now - since * 1000);
                if (previous && since - previous > step) skipped += static_cast<int>((since - previous) / step - 1);
                if (previous && since - previous <= 0) ++repeated;
                previous = since;
            }
        }
        Sleep(2);
    }
    std::vector<long long> sorted = lags;
    std::sort(sorted.begin(), sorted.end());
    const auto at = [&](double q) {
        return sorted.empty() ? -1 : sorted[static_cast<size_t>(q * (sorted.size() - 1) + 0.5)];
    };
    Print("changes=%zu lag_median_ms=%lld lag_p95_ms=%lld lag_max_ms=%lld lag_min_ms=%lld "
          "skipped=%d repeated=%d unknown=%d\n",
          lags.size(), at(0.5), at(0.95), at(1.0), at(0.0), skipped, repeated, unknown);
    return 0;
}

}  // namespace

LRESULT CALLBACK TrayWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    return DefWindowProcA(hwnd, message, wparam, lparam);
}

int Tray() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = TrayWindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "BenchTrayHolder";
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowExA(0, wc.lpszClassName, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                wc.hInstance, nullptr);
    NOTIFYICONDATAA icon{};
    icon.cbSize = sizeof icon;
    icon.hWnd = hwnd;
    icon.uID = 1;
    icon.uFlags = NIF_ICON | NIF_TIP;
    icon.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    lstrcpynA(icon.szTip, "benchmark", sizeof icon.szTip);
    if (!hwnd || !Shell_NotifyIconA(NIM_ADD, &icon)) {
        Print("error=tray\n");
        return 1;
    }
    Print("tray=ready\n");
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    return 0;
}

// Ends a program the way closing its window does, so that it takes its notification-area
// icon with it: a program killed outright leaves a dead icon in Wine's tray, and every later
// start then waits longer for the tray. Exit status 0 when the process ended within 5 s.
int Close(DWORD pid) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!process) return 1;
    for (HWND top : TopLevelWindows(pid)) {
        if (IsWindowVisible(top)) PostMessageA(top, WM_CLOSE, 0, 0);
    }
    const bool ended = WaitForSingleObject(process, 5000) == WAIT_OBJECT_0;
    CloseHandle(process);
    Print(ended ? "closed=yes\n" : "closed=no\n");
    return ended ? 0 : 1;
}

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "tray") == 0) return Tray();
    if (argc >= 4 && std::strcmp(argv[1], "start") == 0) return Start(argv[2], std::atoi(argv[3]));
    if (argc >= 3 && std::strcmp(argv[1], "close") == 0) {
        return Close(static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)));
    }
    if (argc >= 5 && std::strcmp(argv[1], "ticks") == 0) {
        return Ticks(static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)), std::atoi(argv[3]),
                     std::strcmp(argv[4], "1") == 0);
    }
    if (argc >= 3 && std::strcmp(argv[1], "gui") == 0) {
        return Gui(static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)));
    }
    Print("usage: probe start <exe> <timeout-ms> | probe gui <pid> | probe close <pid> | probe tray"
          " | probe ticks <pid> <seconds> <accuracy 0|1>\n");
    return 64;
}
