// The value kinds the program computes with (GBK byte texts, reals, 32-bit whole numbers and
// date-time values) and every conversion and computation on them: text to number and back,
// text to date-time and back, byte slicing, whole division, the clock and time intervals.
// Everything here is pure computation apart from reading the local clock.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace tq {

// A date-time value counts days since 1899-12-30 00:00:00 local time; the fraction is the time
// of day. The count is linear on both sides of the epoch (-0.75 is 1899-12-29 06:00), so the
// difference of two date-times is a plain subtraction.
inline constexpr double kMinDateTime = -657434.0;  // 0100-01-01 00:00:00
inline constexpr double kMaxDate = 2958465.0;      // 9999-12-31 00:00:00
// The range covers the whole of its last day, so that 9999-12-31 23:59:59 survives being
// turned into text and back.
inline constexpr double kMaxDateTime = kMaxDate + 86399.0 / 86400.0;
// What a text that cannot be read as a date-time converts to. It is also a valid date-time
// (0100-01-01 00:00:00), so callers cannot tell the two apart and do not try to.
inline constexpr double kFailedDateTime = -657434.0;

// Replaces the full-width GBK forms of ASCII (A3A1..A3FE) by their ASCII characters and the
// ideographic space A1A1 by a space. The text is read in the units of GbkUnitAt, so a trail
// byte is never mistaken for the start of a character.
std::string NormalizeFullWidth(std::string_view text);

// Text to real as the C library's atof reads it, after NormalizeFullWidth: leading white
// space skipped, the longest valid prefix taken (decimal, hexadecimal, "inf", "infinity",
// "nan"), 0 when there is none. Independent of the current locale: the decimal point is
// always ".". Overflow gives an infinity; the result may also be NaN, which every conversion
// below accepts. The text ends at its first NUL byte.
double ToNumber(std::string_view text);

// Real to whole number: a fraction whose magnitude exceeds 0.999999999999 first moves x to
// the next whole number away from zero, then x is truncated toward zero and its low 32 bits
// are kept as a signed number (4294967297.5 gives 1). NaN and the infinities give 0.
int32_t ToInteger(double x);

// Truncation toward zero keeping the low 32 (or 16) bits as a signed number, as the settings
// readers convert numbers to whole numbers (70000 gives 4464 in 16 bits). NaN and the
// infinities give 0.
int32_t TruncateLow32(double x);
int16_t TruncateLow16(double x);

// Whole number as decimal text with a leading "-" when negative.
std::string IntegerToText(int64_t n);

// Real as printf "%.13g" formats it in the "C" locale; zero of either sign gives "0". The
// infinities give "inf" and "-inf" and NaN gives "nan", texts that ToNumber reads back.
std::string RealToText(double x);

// Date-time (clamped to the range) as "%d年%d月%d日", followed by "%d时%d分%d秒" when the
// seconds are not 0, else "%d时%d分" when the minutes are not 0, else "%d时" when the hour is
// not 0; nothing at midnight.
std::string DateTimeToText(double dt);

// Reads year, month, day, hour, minute and second (up to 4, 2, 2, 2, 2, 2 digits), each
// followed by an optional separator; what remains must be empty or begin with "秒". Every
// field is range checked (never corrected); failure gives kFailedDateTime.
double TextToDateTime(std::string_view text);

// A local calendar date and time of the proleptic Gregorian calendar.
struct CivilTime {
    int year;
    int month;
    int day;
    int hour;
    int minute;
    int second;
};

// Fields outside their usual ranges carry over arithmetically (month 13 is January of the
// next year, second 60 the next minute); callers that need validation do it first.
double DateTimeFromCivil(const CivilTime& civil);

// Clamps dt to the range (NaN counts as kFailedDateTime) and rounds it to the nearest whole
// second, so that a value a hair below 15:00:00 reads as 15:00:00.
CivilTime CivilFromDateTime(double dt);

// Clamps to [kMinDateTime, kMaxDateTime]; NaN gives kFailedDateTime.
double ClampDateTime(double dt);

// Seconds since 1970 converted to local calendar time, as a date-time value. A time the C
// library cannot convert gives kFailedDateTime.
double DateTimeFromTimeT(std::time_t t);

// The local clock with whole seconds.
double Now();

// Byte slicing: n <= 0 gives the empty text, otherwise the first (last) min(n, length) bytes.
// May split a two-byte GBK character.
std::string LeftPart(std::string_view text, int n);
std::string RightPart(std::string_view text, int n);
// The longest start of the text, at most `bytes` long, that ends between two units of
// GbkUnitAt (a GB18030 four-byte character is one) and before any lead byte that has no byte
// to take (at the end of the text or before a NUL).
std::string_view WholeCharactersWithin(std::string_view text, size_t bytes);

// Receives the GBK message of a runtime error. The default handler ignores it.
using RuntimeErrorHandler = void (*)(const char* gbk_message);
// nullptr restores the default handler.
void SetRuntimeErrorHandler(RuntimeErrorHandler handler);

// x / y truncated toward zero; a zero divisor reports "不能整除于零" and gives 0.
double WholeDivide(double x, double y);
// fmod(x, y), with the sign of x; a zero divisor reports "不能求余数于零" and gives 0.
double Remainder(double x, double y);

// Parts of a date-time for DatePart; values outside 1..10 are clamped.
enum DatePartKind : int {
    kPartYear = 1,
    kPartQuarter = 2,
    kPartMonth = 3,
    kPartWeekOfYear = 4,  // (day of year - 1) / 7 + 1
    kPartDay = 5,
    kPartHour = 6,
    kPartMinute = 7,
    kPartSecond = 8,
    kPartWeekday = 9,  // 1 Sunday .. 7 Saturday
    kPartDayOfYear = 10,
};
double DatePart(double t, int part);

// Units of TimeInterval; values above 8 give 8, values below 1 give 1.
enum IntervalUnit : int {
    kUnitYears = 1,
    kUnitQuarters = 2,
    kUnitMonths = 3,
    kUnitWeeks = 4,
    kUnitDays = 5,  // the real difference, with its fraction
    kUnitHours = 6,
    kUnitMinutes = 7,
    kUnitSeconds = 8,
};

// The constant added before truncating hours, minutes and seconds; it makes a difference of
// exactly -n units come out as -(n - 1).
inline constexpr double kIntervalNudge = 5.787037037037037e-6;

// t1 - t2 (both clamped first) in the given unit; 0 when they are equal. Weeks, hours,
// minutes and seconds keep the low 32 bits of their truncated value as a signed number.
double TimeInterval(double t1, double t2, int unit);

}  // namespace tq
