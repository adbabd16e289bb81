// The debug log: when setting.ini asks for it, one file per run in the folder Log (beside
// the executable, or in the user's folder: settings/file_places.h), a time-stamped line for every
// start, stop, refresh and exit. Every failure while logging is silent: the log must never disturb
// the countdown.
#pragma once

#include <string>
#include <string_view>

namespace tq {

inline int debug_enabled = 0;
inline std::string log_stem;  // month.day-hour_minute_second of the start
inline int log_file = 0;      // file number, open for the whole run

#define TQ_SIX_LINE_ENDS "\r\n\r\n\r\n\r\n\r\n\r\n"
inline constexpr char kLogInitialized[] = "Countdown initialized" TQ_SIX_LINE_ENDS;
inline constexpr char kLogCountdownStarted[] = "Countdown started" TQ_SIX_LINE_ENDS;
inline constexpr char kLogCountdownStopped[] = "Countdown stopped" TQ_SIX_LINE_ENDS;
inline constexpr char kLogAvoidBlock[] = "Countdown avoid block" TQ_SIX_LINE_ENDS;
inline constexpr char kLogExitedByUser[] = "Countdown exited by user" TQ_SIX_LINE_ENDS;
inline constexpr char kLogForcedClose[] = "Countdown been forecd closed" TQ_SIX_LINE_ENDS;
#undef TQ_SIX_LINE_ENDS

// The time stamp of a date-time value: month.day-hour_minute_second, no leading zeros.
std::string LogTimeStamp(double date_time);

void OpenDebugLog();
void WriteLogLine(std::string_view text);

}  // namespace tq
