// The countdown's arithmetic: from the deadline and a clock reading to the remaining days and
// seconds, the time label's text at each accuracy and whether the countdown has to stop. It
// reads no clock and no settings of its own, so every case can be computed directly.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

namespace tq {

struct CivilTime;

// The item indexes of the accuracy combo box, as stored in the settings.
enum class Accuracy { Second = 0, Minute = 1, Hour = 2, Day = 3 };

// The deadline text built from the stored date, hour, minute and second texts:
// date + hour + "时" + minute + "分" + second.
std::string DeadlineText(std::string_view date, std::string_view hour, std::string_view minute,
                         std::string_view second);

// The stored accuracy text as a number: truncated toward zero, low 16 bits, signed. Values
// other than 0..3 name no accuracy.
int16_t AccuracyNumber(std::string_view accuracy_text);

struct CountdownReading {
    double remaining_days;     // deadline - now in days, with the fraction
    double remaining_seconds;  // whole seconds toward zero; the previous value at day accuracy
    std::string text;          // the time label's text (never the stopped text)
    bool stop;                 // the deadline has passed and counting below zero is not allowed
};

// One refresh at the given accuracy. `previous_remaining_seconds` is carried over at day
// accuracy, which does not update the seconds. Hours, minutes and seconds come from the full
// second count, so they stay right for deadlines more than 68 years away.
CountdownReading ComputeCountdown(Accuracy accuracy, double deadline, double now,
                                  bool allow_below_zero, double previous_remaining_seconds);

// Whether a refresh announces that the countdown has reached zero: the first refresh at or
// past the deadline after one that found the same deadline still ahead, or the first refresh
// for a deadline that falls in its very second (a start or a new deadline at that moment).
// A start or a new deadline already past, and the refreshes below zero, announce nothing.
// `watch` carries what the last refresh found.
struct DeadlineWatch {
    double deadline = std::numeric_limits<double>::quiet_NaN();  // the last refresh's
    bool ahead = false;  // that refresh found it still ahead
};
bool ReachesDeadline(DeadlineWatch& watch, double deadline, double remaining_days);

// What the time label shows once the countdown has stopped at the deadline.
const char* StoppedText(Accuracy accuracy);

// A reading of the local clock: whole seconds since 1899-12-30 00:00:00 and the milliseconds
// into the current second. Its date-time value is the one the clock gives the refresh.
struct ClockMoment {
    int64_t second;
    int millisecond;
};
ClockMoment ClockMomentOf(const CivilTime& local, int millisecond);
double DateTimeOfSecond(int64_t second);

// How long after the clock second in which the label's text changes its refresh tick comes:
// late enough that the clock reads the new second, early enough that the new value shows
// within a few hundredths of a second.
inline constexpr int kTickMarginMs = 10;

// Milliseconds from `now` to the tick that shows the label's next value. Ticks of a
// whole-second interval come just after the clock second in which the text at `accuracy`
// changes: for a starting timer the first such change, afterwards the change one interval
// on (or the coming change, when this tick came a little before the one it was for). Hour
// and day texts change at the seconds where the minute text does, so without a change of
// their own in reach their ticks keep the minute text's phase. Other intervals keep their
// fixed rhythm: the result is the interval itself.
int64_t NextTickDelay(Accuracy accuracy, int interval_ms, double deadline, ClockMoment now,
                      bool starting);

}  // namespace tq
