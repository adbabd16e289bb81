// The settings that live outside setting.ini's keys: the start-with-Windows entry in the
// registry, and the factory state that restoring the defaults returns to.
#pragma once

namespace tq {

// The machine-wide Run key and the entry's value name, split at the last backslash.
inline constexpr char kStartupEntry[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\Countdown";
inline constexpr int kStartupRoot = 4;  // HKEY_LOCAL_MACHINE

// Writes or removes the start-up entry as the settings window's check box says and mirrors
// the outcome in main/startup; a refused write is told and unticks the box.
void RegisterStartup();
// 默认设置: after the user agrees, deletes setting.ini and background.pic, shows the
// defaults on the main window and closes the settings window.
void RestoreDefaults();

}  // namespace tq
