#include "countdown/arithmetic.h"

#include <cmath>
#include <utility>

#include "runtime/value.h"

namespace tq {

namespace {

// GBK bytes are spelled as escapes because Clang, which builds the fuzzers, knows no
// execution character set but UTF-8. Adjacent literals keep a following digit out of the
// last escape.
constexpr char kDays[] = "\xCC\xEC";           // 天
constexpr char kHours[] = "\xD0\xA1\xCA\xB1";  // 小时
constexpr char kHourMark[] = "\xCA\xB1";       // 时
constexpr char kMinutes[] = "\xB7\xD6";        // 分
constexpr char kSeconds[] = "\xC3\xEB";        // 秒
// 0天0小时0分0秒, 0天0小时0分, 0天0小时, 0天
constexpr char kStoppedAtSecond[] =
    "0\xCC\xEC"
    "0\xD0\xA1\xCA\xB1"
    "0\xB7\xD6"
    "0\xC3\xEB";
constexpr char kStoppedAtMinute[] =
    "0\xCC\xEC"
    "0\xD0\xA1\xCA\xB1"
    "0\xB7\xD6";
constexpr char kStoppedAtHour[] =
    "0\xCC\xEC"
    "0\xD0\xA1\xCA\xB1";
constexpr char kStoppedAtDay[] = "0\xCC\xEC";

// The whole seconds toward zero of a day difference, with the same nudge as the time
// interval in seconds but without cutting the count to 32 bits: a cut count would make
// hours, minutes and seconds meaningless for deadlines more than 68 years away. Day
// differences come from clamped date-times, so the count is always exact in a double.
double WholeSeconds(double days) { return std::trunc(days * 86400 + kIntervalNudge); }

int64_t FloorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

}  // namespace

std::string DeadlineText(std::string_view date, std::string_view hour, std::string_view minute,
                         std::string_view second) {
    std::string text(date);
    text.append(hour).append(kHourMark).append(minute).append(kMinutes).append(second);
    return text;
}

int16_t AccuracyNumber(std::string_view accuracy_text) {
    return TruncateLow16(ToNumber(accuracy_text));
}

CountdownReading ComputeCountdown(Accuracy accuracy, double deadline, double now,
                                  bool allow_below_zero, double previous_remaining_seconds) {
    CountdownReading reading{};
    reading.remaining_days = TimeInterval(deadline, now, kUnitDays);
    reading.remaining_seconds = accuracy == Accuracy::Day ? previous_remaining_seconds
                                                          : WholeSeconds(reading.remaining_days);

    // Days come from the real day difference, the smaller parts from the whole seconds; the
    // parts are real arithmetic, so below zero each part carries its own minus sign.
    const double seconds = reading.remaining_seconds;
    reading.text = IntegerToText(ToInteger(reading.remaining_days)) + kDays;
    if (accuracy != Accuracy::Day) {
        reading.text += RealToText(Remainder(WholeDivide(seconds, 3600), 24)) + kHours;
    }
    if (accuracy == Accuracy::Second || accuracy == Accuracy::Minute) {
        reading.text += RealToText(Remainder(WholeDivide(seconds, 60), 60)) + kMinutes;
    }
    if (accuracy == Accuracy::Second) {
        reading.text += RealToText(Remainder(seconds, 60)) + kSeconds;
    }

    const double tested = accuracy == Accuracy::Day ? reading.remaining_days : seconds;
    reading.stop = tested < -1e-7 && !allow_below_zero;
    return reading;
}

ClockMoment ClockMomentOf(const CivilTime& local, int millisecond) {
    const auto day = static_cast<int64_t>(
        std::floor(DateTimeFromCivil({local.year, local.month, local.day, 0, 0, 0})));
    return {day * 86400 + local.hour * 3600 + local.minute * 60 + local.second, millisecond};
}

double DateTimeOfSecond(int64_t second) {
    const int64_t day = FloorDiv(second, 86400);
    return static_cast<double>(day) + static_cast<double>(second - day * 86400) / 86400;
}

namespace {

std::string TextAt(Accuracy accuracy, double deadline, int64_t second) {
    return ComputeCountdown(accuracy, deadline, DateTimeOfSecond(second), true, 0).text;
}

// The first second in (after, after + span] at which the text changes, or 0 when none.
int64_t FirstChange(Accuracy accuracy, double deadline, int64_t after, int64_t span) {
    std::string previous = TextAt(accuracy, deadline, after);
    for (int64_t second = after + 1; second <= after + span; ++second) {
        std::string text = TextAt(accuracy, deadline, second);
        if (text != previous) return second;
        previous = std::move(text);
    }
    return 0;
}

// The second at which the label's next value becomes true, after `after`.
int64_t NextValueSecond(Accuracy accuracy, double deadline, int64_t after, int64_t span) {
    if (accuracy == Accuracy::Second) return after + 1;
    if (const int64_t change = FirstChange(accuracy, deadline, after, span)) return change;
    if (const int64_t change = FirstChange(Accuracy::Minute, deadline, after, span)) return change;
    return after + 1;
}

}  // namespace

int64_t NextTickDelay(Accuracy accuracy, int interval_ms, double deadline, ClockMoment now,
                      bool starting) {
    if (interval_ms <= 0 || interval_ms % 1000 != 0) return interval_ms;
    const int64_t span = interval_ms / 1000;
    const int64_t now_ms = now.second * 1000 + now.millisecond;
    const auto delay_to = [&](int64_t second) { return second * 1000 + kTickMarginMs - now_ms; };
    // A tick that came a little before the change it was meant for showed the old value:
    // the next one comes right after that change.
    constexpr int64_t kEarlyTickMs = 250;
    const int64_t next = NextValueSecond(accuracy, deadline, now.second, span);
    if (starting || delay_to(next) < kEarlyTickMs) return delay_to(next);
    const int64_t one_interval_on = FloorDiv(now_ms + interval_ms - 1000, 1000);
    return delay_to(NextValueSecond(accuracy, deadline, one_interval_on, span));
}

bool ReachesDeadline(DeadlineWatch& watch, double deadline, double remaining_days) {
    // The clock and the stored deadline are whole seconds: the seconds left, rounded.
    const double seconds_left = std::round(remaining_days * 86400);
    const bool first = watch.deadline != deadline;
    const bool was_ahead = !first && watch.ahead;
    watch = {deadline, seconds_left > 0};
    return seconds_left <= 0 && (was_ahead || (first && seconds_left == 0));
}

const char* StoppedText(Accuracy accuracy) {
    switch (accuracy) {
        case Accuracy::Second:
            return kStoppedAtSecond;
        case Accuracy::Minute:
            return kStoppedAtMinute;
        case Accuracy::Hour:
            return kStoppedAtHour;
        case Accuracy::Day:
            break;
    }
    return kStoppedAtDay;
}

}  // namespace tq
