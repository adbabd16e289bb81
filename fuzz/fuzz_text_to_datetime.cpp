// Fuzzes text-to-date-time and the countdown computed from its result. Whatever the text, the
// result agrees with a table-driven reading of the same fields, lies in the date-time range,
// has whole seconds, and survives the trip to text and back; the countdown text computed
// from it against any clock reading (including NaN and infinities) splits into hours,
// minutes and seconds that add up to the remaining seconds.
#include <cctype>
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

// A second reading of the date-time text, driven by a table of fields, so that a slip in
// either reading (a field width, a separator, a range) shows up as a disagreement.
struct Field {
    int max_digits;
    const char* separators;  // single bytes
    const char* word;        // GBK separator after the field
    int low;
    int high;
};
constexpr Field kFields[] = {
    {4, "-./:", "\xC4\xEA", 100, 9999},  // 年
    {2, "-./:", "\xD4\xC2", 1, 12},      // 月
    {2, " -./:", "\xC8\xD5", 1, 31},     // 日
    {2, "-./:", "\xCA\xB1", 0, 23},      // 时
    {2, "-./:", "\xB7\xD6", 0, 59},      // 分
    {2, "", "", 0, 59},
};

bool ReadFields(std::string text, int (&values)[6]) {
    text = tq::NormalizeFullWidth(text.substr(0, text.find('\0')));
    size_t pos = 0;
    for (int i = 0; i < 6; ++i) {
        values[i] = 0;
        for (int n = 0; n < kFields[i].max_digits && pos < text.size() &&
                        std::isdigit(static_cast<unsigned char>(text[pos]));
             ++n) {
            values[i] = values[i] * 10 + (text[pos++] - '0');
        }
        if (pos < text.size() && text[pos] != '\0' &&
            std::strchr(kFields[i].separators, text[pos])) {
            ++pos;
        } else if (*kFields[i].word && text.compare(pos, 2, kFields[i].word) == 0) {
            pos += 2;
        }
        if (values[i] < kFields[i].low || values[i] > kFields[i].high) return false;
    }
    if (pos != text.size() && text.compare(pos, 2, kSeconds) != 0) return false;
    const int year = values[0];
    const bool leap = year % 400 == 0 || (year % 4 == 0 && year % 100 != 0);
    const int month_days[] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return values[2] <= month_days[values[1] - 1];
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

bool SameSignOrZero(double part, double whole) { return part == 0 || (part < 0) == (whole < 0); }

void CheckCountdown(double deadline, double now, bool allow_below_zero) {
    const double span = tq::kMaxDateTime - tq::kMinDateTime;
    for (const tq::Accuracy accuracy :
         {tq::Accuracy::Second, tq::Accuracy::Minute, tq::Accuracy::Hour, tq::Accuracy::Day}) {
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

    int fields[6];
    if (ReadFields(std::string(text), fields)) {
        const tq::CivilTime c = tq::CivilFromDateTime(dt);
        Check(c.year == fields[0] && c.month == fields[1] && c.day == fields[2] &&
              c.hour == fields[3] && c.minute == fields[4] && c.second == fields[5]);
    } else {
        Check(dt == tq::kFailedDateTime);
    }

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
