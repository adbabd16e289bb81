#include "countdown/arithmetic.h"

#include <cmath>

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
