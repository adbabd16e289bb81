// What a user waits for in the settings window, timed in the program's own code under Wine,
// each against a baseline measured in the same run, the two alternating:
//
//   opening  the tray item 设置 until every control is filled and the window is shown
//            (OpenSettingsWindow), against the same form created empty: the opening less
//            the three loaders, timed again on the open window with the font lists emptied
//   应用      the Apply button's handler, against the same private-profile writes done bare
//            (every key and value of setting.ini, one WritePrivateProfileStringA each) plus
//            one re-application of the main window's settings (labels, window, countdown,
//            tray tip)
//
//   font list  a minimal program's part that only lists the installed fonts into one combo
//            box (one enumeration, one CB_ADDSTRING per family, in a window of its own): what
//            the settings window's opening is compared with when fonts are added (make bench
//            runs this program with the standard fonts and with about 1,000 families)
//
// For each: the median wall-clock time over the rounds, the CPU time (/proc/self/schedstat,
// ns) and the write system calls (/proc/self/io syscw: requests to the wineserver and flushes
// to the X server) of Wine's server, which opens /proc/self for the program and so reads its
// own: the server's work on the program's behalf, which hardly depends on the machine's load;
// and the program's own CPU time (GetThreadTimes, in Wine's 10 ms ticks, as a mean over the
// rounds). The program's folder is a fresh temporary one with the setting.ini a first Apply
// writes; with a stored font name given, both labels' fontname is that name at every opening
// (the first opening, which may read the fonts' name tables, is reported on its own). The
// last line is the figures for scripts: "fonts=N first_opening_cpu_ms=... opening_cpu_ms=...
// font_list_cpu_ms=... first_opening_ms=... opening_ms=... font_list_ms=... opening_writes=...
// font_list_writes=... first_opening_own_cpu_ms=... opening_own_cpu_ms=...
// font_list_own_cpu_ms=...". Usage: settings_bench.exe [rounds [stored font name]]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <windows.h>

#include "app/globals.h"
#include "appearance/appearance.h"
#include "countdown/countdown.h"
#include "dialogs/dialogs.h"
#include "forms/forms.h"
#include "runtime/facilities.h"
#include "settings/settings_file.h"
#include "tray/tray.h"

namespace tq {
namespace {

struct Cost {
    double ms = 0;
    double cpu_ms = 0;
    double writes = 0;
    double own_cpu_ms = 0;
};

// A number from a /proc file of Wine's server (Wine maps the Unix root to Z:). The server opens
// files for its programs, so /proc/self is its own: the CPU time and write calls read here are
// the server's work, which the program's requests make. Such files report no size, so they are
// read to their end.
long long ProcNumber(const char* file, const char* label) {
    std::string text;
    HANDLE h = CreateFileA((std::string("Z:\\proc\\self\\") + file).c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 0;
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(h, buffer, sizeof buffer, &n, nullptr) && n > 0) text.append(buffer, n);
    CloseHandle(h);
    if (!*label) return std::atoll(text.c_str());
    const size_t at = text.find(label);
    return at == std::string::npos ? 0 : std::atoll(text.c_str() + at + std::string(label).size());
}

// The program's own thread's CPU time: Wine counts it in the system's ticks (10 ms), so single
// figures are coarse and means over rounds are given.
double OwnCpuMs() {
    FILETIME created, ended, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &ended, &kernel, &user);
    const auto ms = [](FILETIME t) {
        return (static_cast<double>(t.dwHighDateTime) * 4294967296.0 + t.dwLowDateTime) / 1e4;
    };
    return ms(kernel) + ms(user);
}

Cost Measure(const std::function<void()>& work) {
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    const double own0 = OwnCpuMs();
    const long long cpu0 = ProcNumber("schedstat", ""), writes0 = ProcNumber("io", "syscw: ");
    QueryPerformanceCounter(&start);
    work();
    QueryPerformanceCounter(&end);
    const long long cpu1 = ProcNumber("schedstat", ""), writes1 = ProcNumber("io", "syscw: ");
    // Reading the two files costs one read each time; the baseline pays the same.
    return {(end.QuadPart - start.QuadPart) * 1000.0 / frequency.QuadPart, (cpu1 - cpu0) / 1e6,
            static_cast<double>(writes1 - writes0), OwnCpuMs() - own0};
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// Dispatches messages until `done` holds, or for `limit` milliseconds at most.
void PumpUntil(const std::function<bool()>& done, DWORD limit = 10000) {
    for (const DWORD end = GetTickCount() + limit;
         !done() && static_cast<int>(end - GetTickCount()) > 0;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

// Every section, key and value of an INI text, in order.
struct Entry {
    std::string section, key, value;
};
std::vector<Entry> Entries(const std::string& ini) {
    std::vector<Entry> entries;
    std::string section;
    size_t at = 0;
    while (at < ini.size()) {
        size_t end = ini.find("\r\n", at);
        if (end == std::string::npos) end = ini.size();
        const std::string line = ini.substr(at, end - at);
        at = end + 2;
        if (line.size() > 2 && line.front() == '[') {
            section = line.substr(1, line.size() - 2);
        } else if (const size_t eq = line.find('='); eq != std::string::npos) {
            entries.push_back({section, line.substr(0, eq), line.substr(eq + 1)});
        }
    }
    return entries;
}

void Report(const char* name, const std::vector<Cost>& program, const std::vector<Cost>& baseline) {
    auto median = [](const std::vector<Cost>& costs, double Cost::*field) {
        std::vector<double> values;
        for (const Cost& c : costs) values.push_back(c.*field);
        return Median(values);
    };
    const double ms = median(program, &Cost::ms), base_ms = median(baseline, &Cost::ms);
    const double cpu = median(program, &Cost::cpu_ms), base_cpu = median(baseline, &Cost::cpu_ms);
    const double w = median(program, &Cost::writes), base_w = median(baseline, &Cost::writes);
    std::printf(
        "| %s | %.1f ms | %.1f ms | %.2fx | %.1f ms / %.1f ms (%.2fx) | %.0f / %.0f (%.2fx) |\n",
        name, ms, base_ms, ms / base_ms, cpu, base_cpu, cpu / base_cpu, w, base_w,
        base_w > 0 ? w / base_w : 0.0);
}

int CALLBACK AddFamily(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM combo) {
    SendMessageW(reinterpret_cast<HWND>(combo), CB_ADDSTRING, 0,
                 reinterpret_cast<LPARAM>(font->lfFaceName));
    return 1;
}

// The least a program does to show the installed fonts in a list: a window with one combo
// box, every family of every character set added as the platform reports it.
void ListFontsIntoComboBox() {
    HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 200, 200, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    HWND combo = CreateWindowExW(0, L"COMBOBOX", L"", WS_CHILD | WS_VSCROLL | CBS_DROPDOWNLIST, 0,
                                 0, 200, 200, window, nullptr, GetModuleHandleW(nullptr), nullptr);
    HDC screen = GetDC(nullptr);
    LOGFONTW all{};
    all.lfCharSet = DEFAULT_CHARSET;
    EnumFontFamiliesExW(screen, &all, AddFamily, reinterpret_cast<LPARAM>(combo), 0);
    ReleaseDC(nullptr, screen);
    DestroyWindow(window);
}

// Both labels' stored font name, written over what an Apply wrote.
void StoreFontName(const std::string& name) {
    if (name.empty()) return;
    for (const char* section : {"mtfont", "ttfont"})
        WritePrivateProfileStringA(section, "fontname", name.c_str(), SettingsFilePath().c_str());
}

int Run(int rounds, const std::string& stored_font) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string folder =
        std::string(temp) + "tq_settings_bench_" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), nullptr);
    main_window.Load();
    run_dir = folder;
    ApplyLabelSettings();
    ApplyWindowSettings();
    PumpUntil([] { return false; }, 1000);  // the start-up settles (tray icon, first paint)

    // The first Apply writes the file every later opening and Apply reads.
    StoreFontName(stored_font);
    const Cost first_opening = Measure([] { OpenSettingsWindow(); });
    ApplySettings();
    StoreFontName(stored_font);
    const std::vector<Entry> entries =
        Entries(ReadWholeFile(SettingsFilePath(), 32 << 20).value_or(""));
    const std::string ini_path = SettingsFilePath();

    std::vector<Cost> opening, empty_form, apply, bare, font_list;
    for (int round = 0; round < rounds; ++round) {
        if (settings_window.loaded()) {
            settings_window.Close();
            PumpUntil([] { return !settings_window.loaded(); });
        }
        const Cost open = Measure([] { OpenSettingsWindow(); });
        const Cost loaders = Measure([] {
            settings_window.标题标签字体组合框.ClearItems();
            settings_window.时间标签字体组合框.ClearItems();
            LoadTextPage();
            LoadWindowPage();
            LoadTimeSettings();
        });
        opening.push_back(open);
        empty_form.push_back(
            {open.ms - loaders.ms, open.cpu_ms - loaders.cpu_ms, open.writes - loaders.writes});
        PumpUntil([] { return false; }, 50);

        const auto measure_bare = [&] {
            bare.push_back(Measure([&] {
                for (const Entry& e : entries) {
                    WritePrivateProfileStringA(e.section.c_str(), e.key.c_str(), e.value.c_str(),
                                               ini_path.c_str());
                }
                ApplyLabelSettings();
                ApplyWindowSettings();
                ApplyCountdownSettings(true);
                RefreshTrayIcon();
            }));
        };
        if (round % 2) measure_bare();
        apply.push_back(Measure([] { ApplySettings(); }));
        if (round % 2 == 0) measure_bare();
        StoreFontName(stored_font);
        font_list.push_back(Measure(ListFontsIntoComboBox));
    }
    std::printf("settings window, %d rounds, %zu keys written per Apply, %d fonts listed\n", rounds,
                entries.size(), settings_window.标题标签字体组合框.count());
    std::printf(
        "| what | program | baseline | ratio | CPU time (ratio) | write system calls (ratio) |\n");
    std::printf("|---|---|---|---|---|---|\n");
    Report("opening (tray item to every control filled)", opening, empty_form);
    Report("Apply (button to main window re-applied)", apply, bare);
    const auto median = [](const std::vector<Cost>& costs, double Cost::*field) {
        std::vector<double> values;
        for (const Cost& c : costs) values.push_back(c.*field);
        return Median(values);
    };
    const auto mean = [](const std::vector<Cost>& costs, double Cost::*field) {
        double sum = 0;
        for (const Cost& c : costs) sum += c.*field;
        return costs.empty() ? 0 : sum / costs.size();
    };
    std::printf(
        "fonts=%d first_opening_cpu_ms=%.1f opening_cpu_ms=%.1f font_list_cpu_ms=%.1f "
        "first_opening_ms=%.1f opening_ms=%.1f font_list_ms=%.1f opening_writes=%.0f "
        "font_list_writes=%.0f first_opening_own_cpu_ms=%.0f opening_own_cpu_ms=%.1f "
        "font_list_own_cpu_ms=%.1f\n",
        settings_window.标题标签字体组合框.count(), first_opening.cpu_ms,
        median(opening, &Cost::cpu_ms), median(font_list, &Cost::cpu_ms), first_opening.ms,
        median(opening, &Cost::ms), median(font_list, &Cost::ms), median(opening, &Cost::writes),
        median(font_list, &Cost::writes), first_opening.own_cpu_ms,
        mean(opening, &Cost::own_cpu_ms), mean(font_list, &Cost::own_cpu_ms));
    std::fflush(stdout);
    DeleteFileA((folder + "\\setting.ini").c_str());
    RemoveDirectoryA(folder.c_str());
    EndProgram(0);
}

}  // namespace
}  // namespace tq

int main(int argc, char** argv) {
    return tq::Run(argc > 1 ? std::atoi(argv[1]) : 15, argc > 2 ? argv[2] : "");
}
