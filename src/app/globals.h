// Program-wide values set at start-up and read by every subsystem. Values that belong
// to one subsystem (the countdown's deadline, the log's file number, ...) live in that
// subsystem's header instead.
#pragma once

#include <string>

#include <windows.h>

namespace tq {

// The executable's directory without a trailing backslash; every file the program uses
// is run_dir followed by a name that begins with a backslash.
inline std::string run_dir;
inline HWND main_window_handle = nullptr;
inline std::string version_text;

}  // namespace tq
