#include "app/startup.h"

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

// A second process started from an executable of the same file name ends at once,
// silently, whatever folder it was started from.
void CheckSingleInstance() {
    const std::string own_name = ExecutableFileName();
    int count = 0;
    for (const ProcessRecord& process : ListProcesses()) {
        if (process.exe_file == own_name && ++count == 2) EndProgram(0);
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
