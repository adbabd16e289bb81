// The settings that live outside setting.ini's keys: the start-with-Windows entry in the
// registry, and the factory state that restoring the defaults returns to.
#pragma once

namespace tq {

// The Run key and the entry's value name, split at the last backslash. The entry goes under
// the user's own key: a machine-wide one would start, at every account's logon, an executable
// that usually sits in a folder one user may replace, or in a profile other accounts cannot
// read.
inline constexpr char kStartupEntry[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\Countdown";
inline constexpr int kStartupUserRoot = 3;  // HKEY_CURRENT_USER
// Where earlier versions wrote the entry when they could: an entry there that names this
// executable is taken away.
inline constexpr int kStartupMachineRoot = 4;  // HKEY_LOCAL_MACHINE

// Writes or removes the start-up entry as the settings window's check box says and mirrors
// the outcome in main/startup. Ticked: the entry is written for the user; a refused write is
// told and unticks the box. Unticked: the user's entry is removed. Either way a machine-wide
// entry that names this executable is removed where the process may; one that stays while
// the box is unticked (the user may not delete it) is told, and the box stays ticked.
void RegisterStartup();
// 默认设置: after the user agrees, deletes setting.ini and background.pic in the folder in
// use, shows the defaults on the main window and closes the settings window.
void RestoreDefaults();

}  // namespace tq
