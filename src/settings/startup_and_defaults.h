// The settings that live outside setting.ini's keys: the start-with-Windows entry in the
// registry, and the factory state that restoring the defaults returns to.
#pragma once

namespace tq {

// The machine-wide Run key and the entry's value name, split at the last backslash.
inline constexpr char kStartupEntry[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\Countdown";
inline constexpr int kStartupRoot = 4;  // HKEY_LOCAL_MACHINE
// Only administrators may write the machine-wide key; a standard user's entry goes under
// the same key of HKEY_CURRENT_USER instead.
inline constexpr int kStartupUserRoot = 3;  // HKEY_CURRENT_USER

// Writes or removes the start-up entry as the settings window's check box says and mirrors
// the outcome in main/startup. The entry is written machine-wide, or for the user when that
// is refused; only a write refused in both places is told, and it unticks the box.
// Removing takes the entry from both places; an entry that stays (the user may not delete
// it) is told, and the box stays ticked.
void RegisterStartup();
// 默认设置: after the user agrees, deletes setting.ini and background.pic in the folder in
// use, shows the defaults on the main window and closes the settings window.
void RestoreDefaults();

}  // namespace tq
