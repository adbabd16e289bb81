// The live countdown: reading the deadline and accuracy, the refresh operations that the
// four timers of the main window run (the one that reaches zero has it announced from the
// tray icon), starting and pausing, and the hide-and-return cycle with its fades and the
// message-pumping delay.
#pragma once

#include <cstdint>

namespace tq {

inline double deadline = 0;           // date-time value of the target moment
inline double now = 0;                // the clock as the last refresh read it
inline double remaining_days = 0;     // deadline - now, in days
inline double remaining_seconds = 0;  // whole seconds left; not updated at day accuracy
inline bool allow_below_zero = true;  // set from main/limit when the look is applied
inline int running = 0;               // 1 while one of the timers runs

// Reads deadline and accuracy, refreshes the label once, then starts or stops.
void ApplyCountdownSettings(bool start);
void RefreshBySecond();
void RefreshByMinute();
void RefreshByHour();
void RefreshByDay();
// After the system clock changed or the machine woke up a running countdown shows the
// new time at once rather than at its next tick, and its ticks are placed afresh.
void RefreshAfterClockChange();

void SetCountdownRunning(bool on);
void ToggleCountdown();
// The program is ending: the timers stop without a change of the running state and without
// a log line, so that the closing message stays the log's last.
void StopRefreshTimers();

// Where each timer's next tick belongs (milliseconds from now): just after the clock second
// in which the label's text at that accuracy changes.
int64_t PlaceSecondTick(int interval, bool starting);
int64_t PlaceMinuteTick(int interval, bool starting);
int64_t PlaceHourTick(int interval, bool starting);
int64_t PlaceDayTick(int interval, bool starting);

void AvoidBlock();
void FadeOut();
void FadeIn();
// Waits while dispatching window messages. unit: 0 ms, 1 us, 2 s, 3 min, 4 h, 5 days;
// any other unit is itself the repeat count of an amount-millisecond wait.
void PumpingDelay(int32_t amount, int32_t unit, int32_t unused = 0);

}  // namespace tq
