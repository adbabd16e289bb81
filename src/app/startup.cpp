#include "app/startup.h"

#include <cstdint>
#include <cwchar>

#include <windows.h>

#include "app/globals.h"
#include "appearance/appearance.h"
#include "countdown/countdown.h"
#include "forms/forms.h"
#include "log/debug_log.h"
#include "runtime/facilities.h"
#include "settings/schema.h"
#include "tray/tray.h"

namespace tq {

void InitializeMainWindow() {
    CheckSingleInstance();
    InitGlobals();
    OpenDebugLog();
    ApplyLabelSettings();
    ApplyWindowSettings();
    ApplyCountdownSettings(true);
    SetUpTrayIcon();
    WriteLogLine(kLogInitialized);
}

std::wstring SingleInstanceName(std::wstring_view exe_file_name) {
    // Upper-cased as Windows compares file names: one character for one, whatever the
    // user's language (an invariant mapping, so no Turkish dotted I).
    std::wstring upper(exe_file_name);
    const int length = static_cast<int>(upper.size());
    if (length > 0 && LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, upper.data(), length,
                                    upper.data(), length, nullptr, nullptr, 0) == 0) {
        CharUpperBuffW(upper.data(), static_cast<DWORD>(length));
    }
    std::wstring name = std::wstring(kSingleInstancePrefix) + upper;
    // A kernel object's name holds at most MAX_PATH characters: a longer file name keeps
    // its beginning and ends in a hash of the whole, so two long names still differ.
    if (name.size() > kMaxObjectName) {
        uint32_t hash = 2166136261u;  // FNV-1a
        for (wchar_t c : upper) hash = (hash ^ static_cast<uint16_t>(c)) * 16777619u;
        wchar_t tail[10];
        swprintf(tail, 10, L"#%08X", hash);
        name.resize(kMaxObjectName - 9);
        name += tail;
    }
    return name;
}

// A second process started from an executable of the same file name in this user session
// ends at once, silently, whatever folder it was started from. The mutex is created
// atomically by the kernel, so of copies started in the same instant exactly one goes on;
// it stays open until the process ends, which removes it.
void CheckSingleInstance() {
    const std::wstring name = SingleInstanceName(Widen(ExecutableFileName()));
    HANDLE instance = CreateMutexW(nullptr, FALSE, name.c_str());
    const DWORD error = GetLastError();
    // Access denied: a copy started by another account in this session (an elevated one)
    // made it. Any other failure leaves the program running rather than none.
    if ((instance && error == ERROR_ALREADY_EXISTS) ||
        (!instance && error == ERROR_ACCESS_DENIED)) {
        EndProgram(0);
    }
}

void InitGlobals() {
    run_dir = RunDirectory();
    main_window_handle = main_window.handle();
    version_text = kVersionText;
}

void ForcedClose() {
    tray_menu_window.Close();
    StopRefreshTimers();
    WriteLogLine(kLogForcedClose);
    ProcessPendingMessages();
    EndProgram(0);
}

void ProgramCleanup() {
    run_dir.clear();
    version_text.clear();
    log_stem.clear();
}

}  // namespace tq
