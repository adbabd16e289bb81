#include "log/debug_log.h"

#include "runtime/facilities.h"
#include "runtime/value.h"
#include "settings/file_places.h"
#include "settings/settings_file.h"

namespace tq {

std::string LogTimeStamp(double date_time) {
    const CivilTime t = CivilFromDateTime(date_time);
    return std::to_string(t.month) + "." + std::to_string(t.day) + "-" + std::to_string(t.hour) +
           "_" + std::to_string(t.minute) + "_" + std::to_string(t.second);
}

void OpenDebugLog() {
    if (!ReadFlag(keys::debug_mode)) {
        debug_enabled = 0;
        return;
    }
    debug_enabled = 1;
    log_stem = LogTimeStamp(Now());
    const std::string folder = PathToWrite(kLogFolderName);
    const std::string path = folder + "\\" + log_stem + ".log";
    CreateDirectoryAt(folder);  // an existing folder is fine
    WriteWholeFile(path, {"Debug ", log_stem, "\r\n"});
    // Others may read the log while the program runs but not write it. When the file
    // could not be made, the number stays 0 and every line is dropped.
    log_file = OpenFile(path, kOpenReadWrite, kShareDenyWrite);
}

void WriteLogLine(std::string_view text) {
    if (!debug_enabled) return;
    MoveToEnd(log_file);
    WriteText(log_file, {LogTimeStamp(Now()), "\t", text, "\r\n"});
}

}  // namespace tq
