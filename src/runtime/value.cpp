#include "runtime/value.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

#include "runtime/gbk.h"

namespace tq {

namespace {

// GBK bytes are spelled as escapes because Clang, which builds the fuzzers, knows no
// execution character set but UTF-8.
constexpr char kYear[] = "\xC4\xEA";    // 年
constexpr char kMonth[] = "\xD4\xC2";   // 月
constexpr char kDay[] = "\xC8\xD5";     // 日
constexpr char kHour[] = "\xCA\xB1";    // 时
constexpr char kMinute[] = "\xB7\xD6";  // 分
constexpr char kSecond[] = "\xC3\xEB";  // 秒
// 不能整除于零
constexpr char kWholeDivideByZero[] = "\xB2\xBB\xC4\xDC\xD5\xFB\xB3\xFD\xD3\xDA\xC1\xE3";
// 不能求余数于零
constexpr char kRemainderByZero[] = "\xB2\xBB\xC4\xDC\xC7\xF3\xD3\xE0\xCA\xFD\xD3\xDA\xC1\xE3";

constexpr int64_t kSecondsPerDay = 86400;
// 1970-01-01 is day 25569 after 1899-12-30.
constexpr int64_t kUnixEpochDay = 25569;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// White space as isspace sees it in the "C" locale, which is what atof skips.
bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// A text is zero-terminated: whatever a view holds after a NUL byte is not part of it.
std::string_view UpToNul(std::string_view text) { return text.substr(0, text.find('\0')); }

// Keeps the low `bits` bits of a whole-valued real as a signed number. Converting a double
// outside the target range straight to an integer is undefined, so the wrap is done in
// floating point, where fmod by a power of two is exact.
int64_t WrapWhole(double whole, int bits) {
    if (!std::isfinite(whole)) return 0;
    const double modulus = std::ldexp(1.0, bits);
    double low = std::fmod(whole, modulus);
    if (low < 0) low += modulus;
    if (low >= modulus / 2) low -= modulus;
    return static_cast<int64_t>(low);
}

// from_chars reports a value too large or too small for a double without giving one; atof
// gives an infinity or zero. Which one is decided by the order of magnitude of the matched
// text: the position of its first significant digit plus its exponent (both in digits of the
// radix, saturated so an absurd exponent cannot overflow).
bool MatchIsHuge(const char* p, const char* end, bool hex) {
    int64_t magnitude = 0;
    bool seen_point = false;
    bool seen_significant = false;
    for (; p != end; ++p) {
        if (*p == '.') {
            seen_point = true;
            continue;
        }
        if (!(hex ? IsHexDigit(*p) : IsDigit(*p))) break;
        const bool zero = *p == '0';
        if (!seen_point && (seen_significant || !zero)) ++magnitude;
        if (seen_point && !seen_significant) --magnitude;
        seen_significant = seen_significant || !zero;
    }
    int64_t exponent = 0;
    if (p != end && (*p == 'e' || *p == 'E' || *p == 'p' || *p == 'P')) {
        ++p;
        bool negative = false;
        if (p != end && (*p == '+' || *p == '-')) negative = *p++ == '-';
        for (; p != end && IsDigit(*p); ++p) {
            exponent = std::min<int64_t>(exponent * 10 + (*p - '0'), 1000000000);
        }
        if (negative) exponent = -exponent;
    }
    return (hex ? magnitude * 4 : magnitude) + exponent > 0;
}

// Day number (days since 1899-12-30) of a proleptic Gregorian date; month 1..12.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t year_of_era = year - era * 400;
    const int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t day_of_era =
        year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + day_of_era - 719468 + kUnixEpochDay;
}

struct Date {
    int year;
    int month;
    int day;
};

Date CivilFromDays(int64_t day_number) {
    const int64_t z = day_number - kUnixEpochDay + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t day_of_era = z - era * 146097;
    const int64_t year_of_era =
        (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const int64_t day_of_year =
        day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const int64_t mp = (5 * day_of_year + 2) / 153;
    const int64_t day = day_of_year - (153 * mp + 2) / 5 + 1;
    const int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const int64_t year = year_of_era + era * 400 + (month <= 2);
    return {static_cast<int>(year), static_cast<int>(month), static_cast<int>(day)};
}

// A clamped date-time rounded to whole seconds, as day number and second of the day.
struct DayAndSecond {
    int64_t day;
    int64_t second;
};

DayAndSecond SplitDateTime(double dt) {
    const auto total = static_cast<int64_t>(std::round(ClampDateTime(dt) * kSecondsPerDay));
    int64_t day = total / kSecondsPerDay;
    int64_t second = total % kSecondsPerDay;
    if (second < 0) {
        second += kSecondsPerDay;
        --day;
    }
    return {day, second};
}

// 1 Sunday .. 7 Saturday; day 0 (1899-12-30) was a Saturday.
int Weekday(int64_t day) {
    const int64_t from_sunday = ((day - 1) % 7 + 7) % 7;
    return static_cast<int>(from_sunday) + 1;
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
    constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Reads the date-time text left to right; every field and separator is optional.
class DateTimeReader {
public:
    explicit DateTimeReader(std::string_view text) : text_(text) {}

    int Digits(int max_count) {
        int value = 0;
        for (int count = 0; count < max_count && pos_ < text_.size() && IsDigit(text_[pos_]);
             ++count, ++pos_) {
            value = value * 10 + (text_[pos_] - '0');
        }
        return value;
    }

    void Separator(std::string_view single_bytes, std::string_view word) {
        if (pos_ < text_.size() && single_bytes.find(text_[pos_]) != std::string_view::npos) {
            ++pos_;
        } else if (LooksAt(word)) {
            pos_ += word.size();
        }
    }

    bool LooksAt(std::string_view word) const { return text_.substr(pos_, word.size()) == word; }
    bool AtEnd() const { return pos_ == text_.size(); }

private:
    std::string_view text_;
    size_t pos_ = 0;
};

void IgnoreRuntimeError(const char*) {}

// Zero divisors never arise from the program's own constants; a caller that wants to hear of
// one installs a handler.
RuntimeErrorHandler runtime_error_handler = IgnoreRuntimeError;

}  // namespace

std::string_view WholeCharactersWithin(std::string_view text, size_t bytes) {
    size_t whole = 0;
    for (size_t i = 0; i < text.size();) {
        const GbkUnit unit = GbkUnitAt(text, i);
        // A lead byte with no byte to take is half a character whose other half is missing.
        if (unit.kind == GbkUnitKind::LoneLead || i + unit.length > bytes) break;
        whole = i += unit.length;
    }
    return text.substr(0, whole);
}

std::string NormalizeFullWidth(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const GbkUnit unit = GbkUnitAt(text, i);
        const auto lead = static_cast<unsigned char>(text[i]);
        const auto trail = unit.length == 2 ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (lead == 0xA3 && trail >= 0xA1 && trail <= 0xFE) {
            out += static_cast<char>(trail - 0x80);
        } else if (lead == 0xA1 && trail == 0xA1) {
            out += ' ';
        } else {
            out.append(text.substr(i, unit.length));
        }
        i += unit.length;
    }
    return out;
}

double ToNumber(std::string_view text) {
    const std::string normal = NormalizeFullWidth(UpToNul(text));
    const char* p = normal.data();
    const char* const end = p + normal.size();
    while (p != end && IsSpace(*p)) ++p;
    bool negative = false;
    if (p != end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    // from_chars takes a minus sign of its own; atof allows only one sign.
    if (p == end || *p == '+' || *p == '-') return 0.0;

    double value = 0.0;
    const char* digits = p;
    bool hex = false;
    std::from_chars_result result{};
    // A hexadecimal number needs at least one hex digit after "0x"; otherwise the prefix is
    // just the decimal "0".
    if (end - p > 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') &&
        (IsHexDigit(p[2]) || (p[2] == '.' && end - p > 3 && IsHexDigit(p[3])))) {
        hex = true;
        digits = p + 2;
        result = std::from_chars(digits, end, value, std::chars_format::hex);
    } else {
        result = std::from_chars(p, end, value, std::chars_format::general);
    }
    if (result.ec == std::errc::invalid_argument) return 0.0;
    if (result.ec == std::errc::result_out_of_range) {
        value = MatchIsHuge(digits, result.ptr, hex) ? HUGE_VAL : 0.0;
    }
    return negative ? -value : value;
}

int32_t ToInteger(double x) {
    if (!std::isfinite(x)) return 0;
    double whole = std::trunc(x);
    // x - whole is exact, so the test sees the true fraction.
    if (std::fabs(x - whole) > 0.999999999999) whole += x >= 0 ? 1.0 : -1.0;
    return static_cast<int32_t>(WrapWhole(whole, 32));
}

int32_t TruncateLow32(double x) { return static_cast<int32_t>(WrapWhole(std::trunc(x), 32)); }

int16_t TruncateLow16(double x) { return static_cast<int16_t>(WrapWhole(std::trunc(x), 16)); }

std::string IntegerToText(int64_t n) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, n);
    return std::string(buffer, result.ptr);
}

std::string RealToText(double x) {
    if (x == 0) return "0";
    if (std::isnan(x)) return "nan";
    if (std::isinf(x)) return x > 0 ? "inf" : "-inf";
    // to_chars with a precision formats as printf does in the "C" locale, so a decimal
    // comma of the user's locale can never creep in.
    char buffer[40];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::general, 13);
    return std::string(buffer, result.ptr);
}

std::string DateTimeToText(double dt) {
    const CivilTime c = CivilFromDateTime(dt);
    std::string text = IntegerToText(c.year) + kYear + IntegerToText(c.month) + kMonth +
                       IntegerToText(c.day) + kDay;
    if (c.second != 0) {
        text += IntegerToText(c.hour) + kHour + IntegerToText(c.minute) + kMinute +
                IntegerToText(c.second) + kSecond;
    } else if (c.minute != 0) {
        text += IntegerToText(c.hour) + kHour + IntegerToText(c.minute) + kMinute;
    } else if (c.hour != 0) {
        text += IntegerToText(c.hour) + kHour;
    }
    return text;
}

double TextToDateTime(std::string_view text) {
    const std::string normal = NormalizeFullWidth(UpToNul(text));
    DateTimeReader reader(normal);
    constexpr std::string_view kPunctuation = "-./:";
    CivilTime c{};
    c.year = reader.Digits(4);
    reader.Separator(kPunctuation, kYear);
    c.month = reader.Digits(2);
    reader.Separator(kPunctuation, kMonth);
    c.day = reader.Digits(2);
    reader.Separator(" -./:", kDay);
    c.hour = reader.Digits(2);
    reader.Separator(kPunctuation, kHour);
    c.minute = reader.Digits(2);
    reader.Separator(kPunctuation, kMinute);
    c.second = reader.Digits(2);
    if (!reader.AtEnd() && !reader.LooksAt(kSecond)) return kFailedDateTime;

    const bool valid = c.year >= 100 && c.year <= 9999 && c.month >= 1 && c.month <= 12 &&
                       c.day >= 1 && c.day <= DaysInMonth(c.year, c.month) && c.hour <= 23 &&
                       c.minute <= 59 && c.second <= 59;
    return valid ? DateTimeFromCivil(c) : kFailedDateTime;
}

double DateTimeFromCivil(const CivilTime& civil) {
    // Carry the month into the year first: the day-number formula needs month 1..12.
    const int64_t months_from_january = static_cast<int64_t>(civil.month) - 1;
    const int64_t year_carry =
        months_from_january >= 0 ? months_from_january / 12 : (months_from_january - 11) / 12;
    const int64_t month = months_from_january - year_carry * 12 + 1;
    const int64_t day = DaysFromCivil(civil.year + year_carry, month, civil.day);
    const int64_t seconds = static_cast<int64_t>(civil.hour) * 3600 +
                            static_cast<int64_t>(civil.minute) * 60 + civil.second;
    return static_cast<double>(day) + static_cast<double>(seconds) / kSecondsPerDay;
}

CivilTime CivilFromDateTime(double dt) {
    const DayAndSecond split = SplitDateTime(dt);
    const Date date = CivilFromDays(split.day);
    const int second = static_cast<int>(split.second);
    return {date.year, date.month, date.day, second / 3600, second / 60 % 60, second % 60};
}

double ClampDateTime(double dt) {
    if (std::isnan(dt)) return kFailedDateTime;
    return std::clamp(dt, kMinDateTime, kMaxDateTime);
}

double DateTimeFromTimeT(std::time_t t) {
#ifdef _WIN32
    // The system's own time zone, not the C runtime's: the runtime reads a TZ variable
    // (Unix tools leave one behind) that it cannot parse and then counts in UTC.
    const int64_t ticks = (static_cast<int64_t>(t) + 11644473600LL) * 10000000LL;
    FILETIME utc_file{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME utc, local;
    if (t < 0 || !FileTimeToSystemTime(&utc_file, &utc) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
        return kFailedDateTime;
    }
    return DateTimeFromCivil({local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute,
                              local.wSecond});
#else
    std::tm local{};
    if (localtime_r(&t, &local) == nullptr) return kFailedDateTime;
    return DateTimeFromCivil({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                              local.tm_min, local.tm_sec});
#endif
}

double Now() {
#ifdef _WIN32
    // The same moment as time() in local time, read without converting time zones: it is
    // called on every refresh.
    SYSTEMTIME local;
    GetLocalTime(&local);
    return DateTimeFromCivil({local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute,
                              local.wSecond});
#else
    return DateTimeFromTimeT(std::time(nullptr));
#endif
}

std::string LeftPart(std::string_view text, int n) {
    if (n <= 0) return {};
    return std::string(text.substr(0, static_cast<size_t>(n)));
}

std::string RightPart(std::string_view text, int n) {
    if (n <= 0) return {};
    const size_t count = std::min(text.size(), static_cast<size_t>(n));
    return std::string(text.substr(text.size() - count));
}

void SetRuntimeErrorHandler(RuntimeErrorHandler handler) {
    runtime_error_handler = handler != nullptr ? handler : IgnoreRuntimeError;
}

double WholeDivide(double x, double y) {
    if (y == 0) {
        runtime_error_handler(kWholeDivideByZero);
        return 0.0;
    }
    return std::trunc(x / y);
}

double Remainder(double x, double y) {
    if (y == 0) {
        runtime_error_handler(kRemainderByZero);
        return 0.0;
    }
    return std::fmod(x, y);
}

double DatePart(double t, int part) {
    const DayAndSecond split = SplitDateTime(t);
    const CivilTime c = CivilFromDateTime(t);
    const int64_t day_of_year = split.day - DaysFromCivil(c.year, 1, 1) + 1;
    switch (std::clamp(part, 1, 10)) {
        case kPartYear:
            return c.year;
        case kPartQuarter:
            return (c.month - 1) / 3 + 1;
        case kPartMonth:
            return c.month;
        case kPartWeekOfYear:
            return static_cast<double>((day_of_year - 1) / 7 + 1);
        case kPartDay:
            return c.day;
        case kPartHour:
            return c.hour;
        case kPartMinute:
            return c.minute;
        case kPartSecond:
            return c.second;
        case kPartWeekday:
            return Weekday(split.day);
        default:
            return static_cast<double>(day_of_year);
    }
}

double TimeInterval(double t1, double t2, int unit) {
    t1 = ClampDateTime(t1);
    t2 = ClampDateTime(t2);
    if (t1 == t2) return 0.0;
    const double days = t1 - t2;
    const CivilTime c1 = CivilFromDateTime(t1);
    const CivilTime c2 = CivilFromDateTime(t2);
    switch (std::clamp(unit, 1, 8)) {
        case kUnitYears:
            return c1.year - c2.year;
        case kUnitQuarters:
            return (c1.month - 1) / 3 + (c1.year - c2.year) * 4 - (c2.month - 1) / 3;
        case kUnitMonths:
            return (c1.year - c2.year) * 12 + c1.month - c2.month;
        case kUnitWeeks: {
            double weeks = std::trunc(std::trunc(days) / 7);
            const int weekday1 = Weekday(SplitDateTime(t1).day);
            const int weekday2 = Weekday(SplitDateTime(t2).day);
            if (t1 > t2 && weekday1 < weekday2) weeks += 1;
            if (t1 < t2 && weekday2 < weekday1) weeks -= 1;
            return TruncateLow32(weeks);
        }
        case kUnitDays:
            return days;
        case kUnitHours:
            return TruncateLow32(days * 24 + kIntervalNudge);
        case kUnitMinutes:
            return TruncateLow32(days * 1440 + kIntervalNudge);
        default:
            return TruncateLow32(days * 86400 + kIntervalNudge);
    }
}

}  // namespace tq
