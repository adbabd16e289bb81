// Program start-up and shutdown: the main window's created event runs the start-up
// sequence; every way the program ends leaves with exit code 0.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tq {

void InitializeMainWindow();
void CheckSingleInstance();
// The name of the mutex that marks a running copy in this user session: the executable's
// file name upper-cased, after a fixed prefix in the session's namespace, kept within the
// length a kernel object's name may have.
std::wstring SingleInstanceName(std::wstring_view exe_file_name);
inline constexpr std::wstring_view kSingleInstancePrefix = L"Local\\TorvekQuindle.";
inline constexpr std::size_t kMaxObjectName = 259;  // MAX_PATH less the terminating zero
void InitGlobals();
void ForcedClose();
void ProgramCleanup();

}  // namespace tq
