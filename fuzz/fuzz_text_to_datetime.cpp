// Fuzzes text-to-date-time and the countdown computed from its result. Whatever the text, the
// result lies in the date-time range, has whole seconds, and survives the trip to text and
// back; the countdown text computed from it against any clock reading (including NaN and
// infinities) splits into hours, minutes and seconds that add up to the remaining seconds.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "countdown/arithmetic.h"
#include "runtime/value.h"

namespace {

constexpr char kDays[] = "\xCC\xEC";           // 天
constexpr char kHours[] = "\xD0\xA1\xCA\xB1";  // 小时
constexpr char kMinutes[] = "\xB7\xD6";        // 分
constexpr char kSeconds[] = "\xC3\xEB";        // 秒

void Check(bool condition) {
    if (!condition) std::abort();
}

// Reads the number in front of `mark` at `pos` and moves past the mark.
double ReadPart(const std::string& text, size_t& pos, const char* mark) {
    const size_t end = text.find(mark, pos);
    Check(end != std::string::npos && end > pos);
    const std::string number = text.substr(pos, end - pos);
    Check(number != "-0");
    char* stop = nullptr;
    const double value = std::strtod(number.c_str(), &stop);
    Check(*stop == '\0' && value == std::trunc(value));
    pos = end + std::strlen(mark);
    return value;
}

bool SameSignOrZero(double part, double whole) {
    return part == 0 || (part < 0) == (whole < 0);
}

void CheckCountdown(double deadline, double now, bool allow_below_zero) {
    const double span = tq::kMaxDateTime - tq::kMinDateTime;
    for (const tq::Accuracy accuracy : {tq::Accuracy::Second, tq::Accuracy::Minute,
                                        tq::Accuracy::Hour, tq::Accuracy::Day}) {
        const tq::CountdownReading reading =
            tq::ComputeCountdown(accuracy, deadline, now, allow_below_zero, 7.0);
        const double days = reading.remaining_days;
        const double seconds = reading.remaining_seconds;
        Check(std::fabs(days) <= span);
        const double tested = accuracy == tq::Accuracy::Day ? days : seconds;
        Check(reading.stop == (tested < -1e-7 && !allow_below_zero));

        size_t pos = 0;
        Check(ReadPart(reading.text, pos, kDays) == tq::ToInteger(days));
        if (accuracy == tq::Accuracy::Day) {
            Check(seconds == 7.0 && pos == reading.text.size());
            continue;
        }
        Check(seconds == std::trunc(seconds) && std::fabs(seconds - days * 86400) < 1.001);
        if (std::fabs(seconds) < 2147483648.0) {
            Check(seconds == tq::TimeInterval(deadline, now, tq::kUnitSeconds));
        }
        const double within_day = std::fmod(seconds, 86400);
        const double hours = ReadPart(reading.text, pos, kHours);
        Check(std::fabs(hours) < 24 && SameSignOrZero(hours, seconds));
        Check(hours == std::trunc(within_day / 3600));
        if (accuracy == tq::Accuracy::Hour) {
            Check(pos == reading.text.size());
            continue;
        }
        const double minutes = ReadPart(reading.text, pos, kMinutes);
        Check(std::fabs(minutes) < 60 && SameSignOrZero(minutes, seconds));
        if (accuracy == tq::Accuracy::Minute) {
            Check(pos == reading.text.size());
            continue;
        }
        const double secs = ReadPart(reading.text, pos, kSeconds);
        Check(std::fabs(secs) < 60 && SameSignOrZero(secs, seconds));
        Check(pos == reading.text.size());
        Check(hours * 3600 + minutes * 60 + secs == within_day);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const double dt = tq::TextToDateTime(text);

    Check(dt >= tq::kMinDateTime && dt <= tq::kMaxDateTime);
    Check(std::fabs(dt * 86400 - std::round(dt * 86400)) < 1e-3);
    const std::string back = tq::DateTimeToText(dt);
    Check(tq::TextToDateTime(back) == dt);
    Check(tq::TextToDateTime(back + kSeconds + "x") == dt);
    Check(tq::DateTimeFromCivil(tq::CivilFromDateTime(dt)) == dt);
    const double weekday = tq::DatePart(dt, tq::kPartWeekday);
    Check(weekday >= 1 && weekday <= 7);
    const double day_of_year = tq::DatePart(dt, tq::kPartDayOfYear);
    Check(day_of_year >= 1 && day_of_year <= 366);
    Check(tq::DatePart(dt, tq::kPartWeekOfYear) == std::trunc((day_of_year - 1) / 7) + 1);

    // The last eight bytes, read as a double, are any clock reading at all.
    double now = tq::DateTimeFromCivil({2049, 10, 1, 15, 0, 0});
    if (size >= sizeof(double)) std::memcpy(&now, data + size - sizeof now, sizeof now);
    const bool allow_below_zero = size % 2 == 0;
    CheckCountdown(dt, now, allow_below_zero);
    CheckCountdown(now, dt, allow_below_zero);
    return 0;
}
