// Behaviour of the value kinds and conversions: text to number and back, real to whole
// number, date-time text in both directions, slicing, whole division, the clock and time
// intervals. Text literals here are GBK bytes (the test sources are compiled to GBK).
#include "runtime/value.h"

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace tq {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

double At(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    return DateTimeFromCivil({year, month, day, hour, minute, second});
}

// ---- Full-width normalisation and text to number ------------------------------------------

TEST(NormalizeFullWidthTest, MapsFullWidthAsciiAndIdeographicSpace) {
    EXPECT_EQ(NormalizeFullWidth("\xA3\xA1\xA3\xFE\xA1\xA1"), "!~ ");
    EXPECT_EQ(NormalizeFullWidth("－１２．５"), "-12.5");
}

TEST(NormalizeFullWidthTest, KeepsOtherCharactersWhole) {
    EXPECT_EQ(NormalizeFullWidth("年abc"), "年abc");
    // B0 A3 is one character; the A3 that ends it does not start a full-width "1".
    EXPECT_EQ(NormalizeFullWidth("\xB0\xA3\xB1"), "\xB0\xA3\xB1");
    EXPECT_EQ(NormalizeFullWidth("\xB0\xA3\xA3\xB1"), std::string("\xB0\xA3") + "1");
}

TEST(NormalizeFullWidthTest, KeepsLoneLeadByteAtEnd) {
    EXPECT_EQ(NormalizeFullWidth("7\xA3"), "7\xA3");
}

TEST(ToNumberTest, ReadsFullWidthDigitsMinusAndPoint) {
    EXPECT_EQ(ToNumber("－１２．５"), -12.5);
    EXPECT_EQ(ToNumber("３"), 3.0);
}

TEST(ToNumberTest, SkipsLeadingWhiteSpaceIncludingIdeographicSpace) {
    EXPECT_EQ(ToNumber("　42"), 42.0);
    EXPECT_EQ(ToNumber(" \t\n-7.25"), -7.25);
}

TEST(ToNumberTest, TakesTheLongestNumericPrefix) {
    EXPECT_EQ(ToNumber("12abc"), 12.0);
    EXPECT_EQ(ToNumber("3.5e2x"), 350.0);
    EXPECT_EQ(ToNumber("1e"), 1.0);
    EXPECT_EQ(ToNumber("1e+"), 1.0);
    EXPECT_EQ(ToNumber(".5."), 0.5);
    EXPECT_EQ(ToNumber("15时"), 15.0);
}

TEST(ToNumberTest, TextWithoutLeadingNumberGivesZero) {
    EXPECT_EQ(ToNumber(""), 0.0);
    EXPECT_EQ(ToNumber("abc"), 0.0);
    EXPECT_EQ(ToNumber("-"), 0.0);
    EXPECT_EQ(ToNumber("."), 0.0);
    EXPECT_EQ(ToNumber(" 年1"), 0.0);
}

TEST(ToNumberTest, AcceptsOneSignOnly) {
    EXPECT_EQ(ToNumber("+5"), 5.0);
    EXPECT_EQ(ToNumber("--5"), 0.0);
    EXPECT_EQ(ToNumber("+-5"), 0.0);
    EXPECT_EQ(ToNumber("-+5"), 0.0);
}

TEST(ToNumberTest, TextEndsAtNulByte) { EXPECT_EQ(ToNumber(std::string_view("12\0x5", 5)), 12.0); }

TEST(ToNumberTest, ReadsHexadecimalLikeAtof) {
    EXPECT_EQ(ToNumber("0x1A"), 26.0);
    EXPECT_EQ(ToNumber("-0X.8p1"), -1.0);
    EXPECT_EQ(ToNumber("0x"), 0.0);
    EXPECT_EQ(ToNumber("0xg"), 0.0);
    EXPECT_EQ(ToNumber("0x-5"), 0.0);
}

TEST(ToNumberTest, InfinityAndNanWordsAndOverflowGiveNonFiniteValues) {
    EXPECT_EQ(ToNumber("inf"), kInf);
    EXPECT_EQ(ToNumber("-Infinity"), -kInf);
    EXPECT_TRUE(std::isnan(ToNumber("nan")));
    EXPECT_EQ(ToNumber("1e309"), kInf);
    EXPECT_EQ(ToNumber("-1e309"), -kInf);
    EXPECT_EQ(ToNumber("0x1p99999"), kInf);
    EXPECT_EQ(ToNumber("1" + std::string(400, '0')), kInf);
    // Each hex digit is four bits: 1000 digits outweigh a binary exponent of -1100.
    EXPECT_EQ(ToNumber("0x" + std::string(1000, '1') + "p-1100"), kInf);
}

TEST(ToNumberTest, UnderflowGivesZero) {
    EXPECT_EQ(ToNumber("1e-400"), 0.0);
    EXPECT_EQ(ToNumber("0." + std::string(400, '0') + "1"), 0.0);
    EXPECT_TRUE(std::signbit(ToNumber("-1e-400")));
    EXPECT_EQ(ToNumber("4e-320"), 4e-320);
}

// ---- Real to whole number -------------------------------------------------------------------

TEST(ToIntegerTest, FractionBeyondTwelveNinesMovesToNextWholeNumber) {
    EXPECT_EQ(ToInteger(2.9999999999995), 3);
    EXPECT_EQ(ToInteger(-3.9999999999995), -4);
}

TEST(ToIntegerTest, SmallerFractionTruncatesTowardZero) {
    EXPECT_EQ(ToInteger(2.99999999999), 2);
    EXPECT_EQ(ToInteger(-0.5), 0);
    EXPECT_EQ(ToInteger(-2.7), -2);
}

TEST(ToIntegerTest, KeepsLow32BitsAsSigned) {
    EXPECT_EQ(ToInteger(4294967297.0), 1);
    EXPECT_EQ(ToInteger(2147483648.0), -2147483647 - 1);
    EXPECT_EQ(ToInteger(-2147483649.0), 2147483647);
    EXPECT_EQ(ToInteger(2147483647.5), 2147483647);
}

TEST(ToIntegerTest, NonFiniteAndHugeValuesGiveZero) {
    EXPECT_EQ(ToInteger(kNaN), 0);
    EXPECT_EQ(ToInteger(kInf), 0);
    EXPECT_EQ(ToInteger(-kInf), 0);
    EXPECT_EQ(ToInteger(1e300), 0);
    EXPECT_EQ(ToInteger(ToNumber("1e309")), 0);
}

TEST(TruncateTest, Low32BitsTruncateWithoutTheNinesRule) {
    EXPECT_EQ(TruncateLow32(2.9999999999995), 2);
    EXPECT_EQ(TruncateLow32(-1.9), -1);
    EXPECT_EQ(TruncateLow32(2147483648.7), -2147483647 - 1);
    EXPECT_EQ(TruncateLow32(kNaN), 0);
    EXPECT_EQ(TruncateLow32(-kInf), 0);
}

TEST(TruncateTest, Low16BitsWrapAsSigned) {
    EXPECT_EQ(TruncateLow16(70000), 4464);
    EXPECT_EQ(TruncateLow16(32768), -32768);
    EXPECT_EQ(TruncateLow16(-1.5), -1);
    EXPECT_EQ(TruncateLow16(1e300), 0);
    EXPECT_EQ(TruncateLow16(kNaN), 0);
}

// ---- Numbers to text -------------------------------------------------------------------------

TEST(IntegerToTextTest, WritesPlainDecimal) {
    EXPECT_EQ(IntegerToText(0), "0");
    EXPECT_EQ(IntegerToText(-42), "-42");
    EXPECT_EQ(IntegerToText(std::numeric_limits<int64_t>::min()), "-9223372036854775808");
}

TEST(RealToTextTest, WritesThirteenSignificantDigits) {
    EXPECT_EQ(RealToText(15), "15");
    EXPECT_EQ(RealToText(0.1 + 0.2), "0.3");
    EXPECT_EQ(RealToText(-2.5), "-2.5");
    EXPECT_EQ(RealToText(1.0 / 3), "0.3333333333333");
    EXPECT_EQ(RealToText(1234567890123.0), "1234567890123");
    EXPECT_EQ(RealToText(12345678901234.0), "1.234567890123e+13");
    EXPECT_EQ(RealToText(0.0001), "0.0001");
    EXPECT_EQ(RealToText(0.00001), "1e-05");
}

TEST(RealToTextTest, NegativeZeroHasNoSign) { EXPECT_EQ(RealToText(-0.0), "0"); }

TEST(RealToTextTest, NonFiniteValuesReadBack) {
    EXPECT_EQ(RealToText(kInf), "inf");
    EXPECT_EQ(RealToText(-kInf), "-inf");
    EXPECT_EQ(RealToText(-kNaN), "nan");
    EXPECT_EQ(ToNumber(RealToText(-kInf)), -kInf);
    EXPECT_TRUE(std::isnan(ToNumber(RealToText(kNaN))));
}

// ---- Date-time values --------------------------------------------------------------------------

TEST(DateTimeValueTest, CountsDaysSince18991230WithTimeAsFraction) {
    EXPECT_EQ(At(1899, 12, 30), 0.0);
    EXPECT_EQ(At(1899, 12, 30, 6), 0.25);
    EXPECT_EQ(At(2049, 10, 1), 54697.0);
    EXPECT_EQ(At(100, 1, 1), kFailedDateTime);
    EXPECT_EQ(At(9999, 12, 31), kMaxDate);
}

TEST(DateTimeValueTest, IsLinearBeforeTheEpoch) {
    EXPECT_EQ(At(1899, 12, 29, 6), -0.75);
    const CivilTime c = CivilFromDateTime(-0.75);
    EXPECT_EQ(c.year, 1899);
    EXPECT_EQ(c.day, 29);
    EXPECT_EQ(c.hour, 6);
}

TEST(DateTimeValueTest, OutOfRangeCivilFieldsCarryOver) {
    EXPECT_EQ(At(2049, 13, 1), At(2050, 1, 1));
    EXPECT_EQ(At(2049, 0, 1), At(2048, 12, 1));
    EXPECT_EQ(At(2049, 10, 1, 23, 59, 60), At(2049, 10, 2));
}

TEST(DateTimeValueTest, BreakingIntoPartsRoundsToNearestSecond) {
    const CivilTime c = CivilFromDateTime(At(2049, 10, 1, 15) - 1e-9);
    EXPECT_EQ(c.hour, 15);
    EXPECT_EQ(c.minute, 0);
    EXPECT_EQ(c.second, 0);
    const CivilTime midnight = CivilFromDateTime(At(2049, 10, 2) - 1e-9);
    EXPECT_EQ(midnight.day, 2);
    EXPECT_EQ(midnight.hour, 0);
}

TEST(DateTimeValueTest, ClampsToRangeAndTreatsNanAsFailure) {
    EXPECT_EQ(ClampDateTime(1e300), kMaxDateTime);
    EXPECT_EQ(ClampDateTime(-kInf), kMinDateTime);
    EXPECT_EQ(ClampDateTime(kNaN), kFailedDateTime);
    EXPECT_EQ(ClampDateTime(123.5), 123.5);
}

// ---- Date-time to text -----------------------------------------------------------------------

TEST(DateTimeToTextTest, MidnightShowsOnlyTheDate) {
    EXPECT_EQ(DateTimeToText(At(2049, 10, 1)), "2049年10月1日");
}

TEST(DateTimeToTextTest, ShowsTimeDownToTheLastNonZeroPart) {
    EXPECT_EQ(DateTimeToText(At(2049, 10, 1, 15)), "2049年10月1日15时");
    EXPECT_EQ(DateTimeToText(At(2049, 10, 1, 15, 30)), "2049年10月1日15时30分");
    EXPECT_EQ(DateTimeToText(At(2049, 10, 1, 15, 0, 5)), "2049年10月1日15时0分5秒");
    EXPECT_EQ(DateTimeToText(At(2049, 10, 1, 0, 5)), "2049年10月1日0时5分");
}

TEST(DateTimeToTextTest, ClampsValuesOutsideTheRange) {
    EXPECT_EQ(DateTimeToText(1e300), "9999年12月31日23时59分59秒");
    EXPECT_EQ(DateTimeToText(-1e300), "100年1月1日");
    EXPECT_EQ(DateTimeToText(kNaN), "100年1月1日");
}

// ---- Text to date-time -----------------------------------------------------------------------

TEST(TextToDateTimeTest, ReadsDefaultDeadlineDate) {
    EXPECT_EQ(TextToDateTime("2049年10月1日"), At(2049, 10, 1));
}

TEST(TextToDateTimeTest, ReadsDateWithTimeWithOrWithoutSecondMark) {
    EXPECT_EQ(TextToDateTime("2049年10月1日15时0分0秒"), At(2049, 10, 1, 15));
    EXPECT_EQ(TextToDateTime("2049年10月1日15时0分0"), At(2049, 10, 1, 15));
    EXPECT_EQ(TextToDateTime("2049-10-01 15:30"), At(2049, 10, 1, 15, 30));
}

TEST(TextToDateTimeTest, AcceptsEveryPunctuationSeparator) {
    const double expected = At(2049, 10, 1, 15, 30, 45);
    for (const char* text : {"2049-10-01-15-30-45", "2049.10.01.15.30.45", "2049/10/01/15/30/45",
                             "2049:10:01:15:30:45", "2049-10-01 15:30:45"}) {
        EXPECT_EQ(TextToDateTime(text), expected) << text;
    }
}

TEST(TextToDateTimeTest, SeparatorsAreOptional) {
    EXPECT_EQ(TextToDateTime("20491001153045"), At(2049, 10, 1, 15, 30, 45));
    EXPECT_EQ(TextToDateTime("2049年10.1日15:30"), At(2049, 10, 1, 15, 30));
}

TEST(TextToDateTimeTest, SpaceSeparatesOnlyDayFromHour) {
    EXPECT_EQ(TextToDateTime("2049 10-01"), kFailedDateTime);
    EXPECT_EQ(TextToDateTime("2049-10-01 15 30"), kFailedDateTime);
}

TEST(TextToDateTimeTest, ReadsFullWidthDigitsAndSeparators) {
    EXPECT_EQ(TextToDateTime("２０４９－１０－０１　１５：３０"), At(2049, 10, 1, 15, 30));
}

TEST(TextToDateTimeTest, MissingFieldsReadAsZero) {
    EXPECT_EQ(TextToDateTime("2049-10-01"), At(2049, 10, 1));
    EXPECT_EQ(TextToDateTime("2049-10"), kFailedDateTime);  // day 0
    EXPECT_EQ(TextToDateTime(""), kFailedDateTime);         // year 0
}

TEST(TextToDateTimeTest, DayBeyondMonthLengthFails) {
    EXPECT_EQ(TextToDateTime("2049年2月30日"), kFailedDateTime);
    EXPECT_EQ(TextToDateTime("2049-04-31"), kFailedDateTime);
    EXPECT_EQ(TextToDateTime("2049-01-00"), kFailedDateTime);
}

TEST(TextToDateTimeTest, FebruaryTwentyNinthFollowsLeapYearRules) {
    EXPECT_EQ(TextToDateTime("1900-02-29"), kFailedDateTime);
    EXPECT_EQ(TextToDateTime("2049-02-29"), kFailedDateTime);
    EXPECT_EQ(TextToDateTime("2000-02-29"), 36585.0);
    EXPECT_EQ(TextToDateTime("2048-02-29"), At(2048, 2, 29));
}

TEST(TextToDateTimeTest, FieldsOutsideTheirRangeFail) {
    EXPECT_EQ(TextToDateTime("2049-13-01"), kFailedDateTime);
    EXPECT_EQ(TextToDateTime("2049-00-01"), kFailedDateTime);
    EXPECT_EQ(TextToDateTime("2049-10-01 24:00"), kFailedDateTime);
    EXPECT_EQ(TextToDateTime("2049-10-01 23:60"), kFailedDateTime);
    EXPECT_EQ(TextToDateTime("2049-10-01 23:59:60"), kFailedDateTime);
    EXPECT_EQ(TextToDateTime("99-10-01"), kFailedDateTime);
}

TEST(TextToDateTimeTest, AcceptsBothEndsOfTheRange) {
    EXPECT_EQ(TextToDateTime("100-01-01"), kMinDateTime);
    EXPECT_EQ(TextToDateTime("9999-12-31 23:59:59"), kMaxDateTime);
}

TEST(TextToDateTimeTest, YearReadsAtMostFourDigits) {
    // The fifth digit starts the month, which shifts every later field.
    EXPECT_EQ(TextToDateTime("20491年10月1日"), kFailedDateTime);
    EXPECT_EQ(TextToDateTime("20491-10-01"), At(2049, 1, 10, 1));
}

TEST(TextToDateTimeTest, AnythingMayFollowTheSecondMark) {
    EXPECT_EQ(TextToDateTime("2049年10月1日15时0分0秒 garbage"), At(2049, 10, 1, 15));
    EXPECT_EQ(TextToDateTime("2049-10-01 15:30秒x"), At(2049, 10, 1, 15, 30));
}

TEST(TextToDateTimeTest, OtherTrailingTextFails) {
    EXPECT_EQ(TextToDateTime("2049年10月1日x"), kFailedDateTime);
    EXPECT_EQ(TextToDateTime("2049-10-01 15:30 "), kFailedDateTime);
    EXPECT_EQ(TextToDateTime("2049-10-01 15:30:456"), kFailedDateTime);
    EXPECT_EQ(TextToDateTime(" 2049-10-01"), kFailedDateTime);
}

TEST(TextToDateTimeTest, TextEndsAtNulByte) {
    EXPECT_EQ(TextToDateTime(std::string_view("2049-10-01\0x", 12)), At(2049, 10, 1));
}

TEST(TextToDateTimeTest, DateTextRoundTrips) {
    for (const char* text :
         {"2049年10月1日", "2049年10月1日15时", "2049年10月1日15时30分", "100年1月1日",
          "9999年12月31日23时59分59秒", "2000年2月29日0时0分1秒"}) {
        EXPECT_EQ(DateTimeToText(TextToDateTime(text)), text);
    }
}

// ---- Clock ------------------------------------------------------------------------------------

class ClockTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        had_tz_ = tz != nullptr;
        if (had_tz_) saved_tz_ = tz;
    }
    void TearDown() override {
        if (had_tz_) {
            setenv("TZ", saved_tz_.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }
    static void UseZone(const char* tz) {
        setenv("TZ", tz, 1);
        tzset();
    }

private:
    bool had_tz_ = false;
    std::string saved_tz_;
};

TEST_F(ClockTest, ConvertsSecondsSince1970ToLocalDateTime) {
    UseZone("UTC0");
    EXPECT_EQ(DateTimeFromTimeT(0), 25569.0);
    UseZone("CST-8");  // eight hours east of UTC
    EXPECT_EQ(DateTimeFromTimeT(0), At(1970, 1, 1, 8));
    EXPECT_EQ(DateTimeFromTimeT(2516684400), At(2049, 10, 1, 15));
}

TEST_F(ClockTest, NowHasWholeSeconds) {
    UseZone("CST-8");
    const double before = DateTimeFromTimeT(std::time(nullptr));
    const double now = Now();
    const double seconds = now * 86400;
    EXPECT_NEAR(seconds, std::round(seconds), 1e-4);
    EXPECT_GE(now, before);
    EXPECT_LE(now - before, 2.0 / 86400);
}

// ---- Text slicing -----------------------------------------------------------------------------

TEST(SlicingTest, RemovesOneByteMarkersAtBothEnds) {
    const std::string title = "_距中华人民共和国成立100周年还有_";
    const std::string left = LeftPart(title, static_cast<int>(title.size()) - 1);
    EXPECT_EQ(left, "_距中华人民共和国成立100周年还有");
    EXPECT_EQ(RightPart(left, static_cast<int>(left.size()) - 1),
              "距中华人民共和国成立100周年还有");
}

TEST(SlicingTest, NonPositiveCountGivesEmptyAndLargeCountGivesAll) {
    EXPECT_EQ(LeftPart("abc", 0), "");
    EXPECT_EQ(RightPart("abc", -3), "");
    EXPECT_EQ(LeftPart("abc", 10), "abc");
    EXPECT_EQ(RightPart("abc", 10), "abc");
    EXPECT_EQ(RightPart("abc", 2), "bc");
}

TEST(SlicingTest, WholeCharactersStopBeforeACharacterThatWouldNotFit) {
    const std::string_view text = "a\xC4\xEA\x83\x36\x84\x33z";  // a, 年, a four-byte one, z
    const size_t ends[] = {0, 1, 1, 3, 3, 3, 3, 7, 8, 8};
    for (size_t bytes = 0; bytes < std::size(ends); ++bytes)
        EXPECT_EQ(WholeCharactersWithin(text, bytes), text.substr(0, ends[bytes])) << bytes;
}

TEST(SlicingTest, CutsBytesEvenInsideACharacter) {
    EXPECT_EQ(LeftPart("年", 1), "\xC4");
    EXPECT_EQ(RightPart("年", 1), "\xEA");
}

// ---- Whole division and remainder --------------------------------------------------------------

std::string last_runtime_error;
void RecordRuntimeError(const char* message) { last_runtime_error = message; }

class DivisionTest : public ::testing::Test {
protected:
    void SetUp() override {
        last_runtime_error.clear();
        SetRuntimeErrorHandler(RecordRuntimeError);
    }
    void TearDown() override { SetRuntimeErrorHandler(nullptr); }
};

TEST_F(DivisionTest, WholeDivisionTruncatesTowardZero) {
    EXPECT_EQ(WholeDivide(7, 2), 3.0);
    EXPECT_EQ(WholeDivide(-7, 2), -3.0);
    EXPECT_EQ(WholeDivide(7.5, 2.5), 3.0);
}

TEST_F(DivisionTest, RemainderTakesTheDividendsSign) {
    EXPECT_EQ(Remainder(-7, 3), -1.0);
    EXPECT_EQ(Remainder(7, -3), 1.0);
    EXPECT_EQ(Remainder(7.5, 2), 1.5);
}

TEST_F(DivisionTest, ZeroDivisorIsReportedAndGivesZero) {
    EXPECT_EQ(WholeDivide(7, 0), 0.0);
    EXPECT_EQ(last_runtime_error, "不能整除于零");
    EXPECT_EQ(Remainder(7, 0), 0.0);
    EXPECT_EQ(last_runtime_error, "不能求余数于零");
    EXPECT_EQ(Remainder(7, -0.0), 0.0);
}

TEST_F(DivisionTest, DefaultHandlerIgnoresTheError) {
    SetRuntimeErrorHandler(nullptr);
    EXPECT_EQ(WholeDivide(1, 0), 0.0);
    EXPECT_EQ(last_runtime_error, "");
}

// ---- Date parts -------------------------------------------------------------------------------

TEST(DatePartTest, GivesEachPartOfADateTime) {
    const double t = At(2049, 10, 1, 15, 30, 45);  // a Friday, day 274 of the year
    EXPECT_EQ(DatePart(t, kPartYear), 2049);
    EXPECT_EQ(DatePart(t, kPartQuarter), 4);
    EXPECT_EQ(DatePart(t, kPartMonth), 10);
    EXPECT_EQ(DatePart(t, kPartWeekOfYear), 40);
    EXPECT_EQ(DatePart(t, kPartDay), 1);
    EXPECT_EQ(DatePart(t, kPartHour), 15);
    EXPECT_EQ(DatePart(t, kPartMinute), 30);
    EXPECT_EQ(DatePart(t, kPartSecond), 45);
    EXPECT_EQ(DatePart(t, kPartWeekday), 6);
    EXPECT_EQ(DatePart(t, kPartDayOfYear), 274);
}

TEST(DatePartTest, WeekdayRunsFromSundayToSaturday) {
    EXPECT_EQ(DatePart(At(1899, 12, 30), kPartWeekday), 7);
    EXPECT_EQ(DatePart(At(1899, 12, 31), kPartWeekday), 1);
    EXPECT_EQ(DatePart(At(100, 1, 1), kPartWeekday), 6);
}

TEST(DatePartTest, PartNumberIsClamped) {
    const double t = At(2049, 10, 1);
    EXPECT_EQ(DatePart(t, 0), 2049);
    EXPECT_EQ(DatePart(t, 11), 274);
}

TEST(DatePartTest, NonFiniteValuesAreClamped) {
    EXPECT_EQ(DatePart(kNaN, kPartYear), 100);
    EXPECT_EQ(DatePart(kInf, kPartSecond), 59);
}

// ---- Time intervals ---------------------------------------------------------------------------

TEST(TimeIntervalTest, OneSecondBeforeGivesOne) {
    EXPECT_EQ(TimeInterval(At(2049, 10, 1, 15), At(2049, 10, 1, 14, 59, 59), kUnitSeconds), 1);
}

TEST(TimeIntervalTest, NegativeDifferenceIsOneUnitShortOfTheTrueCount) {
    const double t = At(2049, 10, 1, 15);
    EXPECT_EQ(TimeInterval(At(2049, 10, 1, 14, 59, 59), t, kUnitSeconds), 0);
    EXPECT_EQ(TimeInterval(At(2049, 10, 1, 14, 59, 58), t, kUnitSeconds), -1);
    EXPECT_EQ(TimeInterval(At(2049, 10, 1, 14, 59), t, kUnitSeconds), -59);
    EXPECT_EQ(TimeInterval(At(2049, 10, 1, 12), t, kUnitHours), -2);
    EXPECT_EQ(TimeInterval(At(2049, 10, 1, 12), t, kUnitMinutes), -179);
}

TEST(TimeIntervalTest, PositiveDifferenceInHoursAndMinutesIsExact) {
    const double t = At(2049, 10, 1, 15);
    EXPECT_EQ(TimeInterval(t, At(2049, 10, 1, 12), kUnitHours), 3);
    EXPECT_EQ(TimeInterval(t, At(2049, 10, 1, 12), kUnitMinutes), 180);
}

TEST(TimeIntervalTest, EqualDateTimesGiveZeroInEveryUnit) {
    const double t = At(2049, 10, 1, 15);
    for (int unit = kUnitYears; unit <= kUnitSeconds; ++unit) {
        EXPECT_EQ(TimeInterval(t, t, unit), 0) << unit;
    }
}

TEST(TimeIntervalTest, DaysKeepTheirFraction) {
    EXPECT_EQ(TimeInterval(At(2049, 10, 2, 3), At(2049, 10, 1, 15), kUnitDays), 0.5);
}

TEST(TimeIntervalTest, CalendarUnitsCountBoundariesCrossed) {
    const double t1 = At(2050, 1, 1);
    const double t2 = At(2049, 12, 31, 23, 59, 59);
    EXPECT_EQ(TimeInterval(t1, t2, kUnitYears), 1);
    EXPECT_EQ(TimeInterval(t1, t2, kUnitQuarters), 1);
    EXPECT_EQ(TimeInterval(t1, t2, kUnitMonths), 1);
    EXPECT_EQ(TimeInterval(t2, t1, kUnitMonths), -1);
    EXPECT_EQ(TimeInterval(At(2049, 8, 1), At(2049, 3, 31), kUnitQuarters), 2);
}

TEST(TimeIntervalTest, WeeksCountCrossingIntoAnEarlierWeekday) {
    const double friday = At(2049, 10, 1);
    const double monday = At(2049, 10, 4);
    EXPECT_EQ(TimeInterval(monday, friday, kUnitWeeks), 1);
    EXPECT_EQ(TimeInterval(friday, monday, kUnitWeeks), -1);
    EXPECT_EQ(TimeInterval(At(2049, 10, 15), friday, kUnitWeeks), 2);
    EXPECT_EQ(TimeInterval(At(2049, 10, 16), friday, kUnitWeeks), 2);  // Saturday
    EXPECT_EQ(TimeInterval(At(2049, 10, 17), friday, kUnitWeeks), 3);  // Sunday
}

TEST(TimeIntervalTest, UnitIsClamped) {
    const double t1 = At(2050, 1, 1);
    const double t2 = At(2049, 12, 31, 23, 59, 59);
    EXPECT_EQ(TimeInterval(t1, t2, 0), 1);
    EXPECT_EQ(TimeInterval(t1, t2, 9), 1);
    EXPECT_EQ(TimeInterval(t1, At(2049, 12, 31, 23, 59, 58), 99), 2);
}

TEST(TimeIntervalTest, HugeSecondCountKeepsLow32Bits) {
    EXPECT_EQ(TimeInterval(kMaxDate, kMinDateTime, kUnitSeconds), -1118939008);
}

TEST(TimeIntervalTest, NonFiniteDateTimesAreClamped) {
    EXPECT_EQ(TimeInterval(kInf, 1e300, kUnitSeconds), 0);
    EXPECT_EQ(TimeInterval(kNaN, kFailedDateTime, kUnitDays), 0);
    EXPECT_EQ(TimeInterval(kNaN, -kInf, kUnitHours), 0);
    EXPECT_EQ(TimeInterval(kInf, kNaN, kUnitYears), 9899);
}

}  // namespace
}  // namespace tq
