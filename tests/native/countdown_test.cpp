// Behaviour of the countdown arithmetic: the time label's text at each accuracy before, at and
// after the deadline, when the countdown stops, and how the stored deadline and accuracy texts
// are read. Text literals here are GBK bytes (the test sources are compiled to GBK).
#include "countdown/arithmetic.h"

#include <limits>

#include <gtest/gtest.h>

#include "runtime/value.h"

namespace tq {
namespace {

constexpr bool kAllowBelowZero = true;
constexpr bool kStopAtZero = false;

double At(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    return DateTimeFromCivil({year, month, day, hour, minute, second});
}

const double kDeadline = At(2049, 10, 1, 15);

CountdownReading Refresh(Accuracy accuracy, double now, bool allow_below_zero = kStopAtZero,
                         double previous_seconds = 0) {
    return ComputeCountdown(accuracy, kDeadline, now, allow_below_zero, previous_seconds);
}

// ---- Before the deadline ------------------------------------------------------------------

TEST(CountdownTest, ShowsRemainingTimeDownToEachAccuracy) {
    const double now = At(2049, 9, 30, 12, 56, 56);  // 1 day 2 h 3 min 4 s before
    EXPECT_EQ(Refresh(Accuracy::Second, now).text, "1天2小时3分4秒");
    EXPECT_EQ(Refresh(Accuracy::Minute, now).text, "1天2小时3分");
    EXPECT_EQ(Refresh(Accuracy::Hour, now).text, "1天2小时");
    EXPECT_EQ(Refresh(Accuracy::Day, now).text, "1天");
}

TEST(CountdownTest, RemainingValuesBeforeTheDeadlineAreExact) {
    const CountdownReading reading = Refresh(Accuracy::Second, At(2049, 9, 30, 12, 56, 56));
    EXPECT_EQ(reading.remaining_seconds, 93784);
    EXPECT_NEAR(reading.remaining_days, 93784.0 / 86400, 1e-9);
    EXPECT_FALSE(reading.stop);
}

TEST(CountdownTest, DeadlineMoreThan68YearsAwayShowsCorrectHoursMinutesSeconds) {
    const CountdownReading reading = Refresh(Accuracy::Second, At(1969, 9, 30, 12, 56, 56));
    EXPECT_EQ(reading.text, "29221天2小时3分4秒");
    EXPECT_EQ(reading.remaining_seconds, 29221.0 * 86400 + 7384);
}

TEST(CountdownTest, SecondsMatchTheTimeIntervalWithin68Years) {
    for (const double now : {At(1981, 9, 13, 11, 45, 53), At(2117, 10, 20, 18, 14, 9),
                             At(2049, 10, 1, 14, 59, 59), At(2049, 10, 1, 15, 0, 2)}) {
        EXPECT_EQ(Refresh(Accuracy::Second, now).remaining_seconds,
                  TimeInterval(kDeadline, now, kUnitSeconds));
    }
}

// ---- At and just after the deadline --------------------------------------------------------

TEST(CountdownTest, ExactlyAtTheDeadlineShowsZeroAndKeepsRunning) {
    const CountdownReading reading = Refresh(Accuracy::Second, kDeadline);
    EXPECT_EQ(reading.text, "0天0小时0分0秒");
    EXPECT_EQ(reading.remaining_days, 0);
    EXPECT_EQ(reading.remaining_seconds, 0);
    EXPECT_FALSE(reading.stop);
}

TEST(CountdownTest, OneSecondAfterTheDeadlineStillShowsZeroAndKeepsRunning) {
    const CountdownReading reading = Refresh(Accuracy::Second, At(2049, 10, 1, 15, 0, 1));
    EXPECT_EQ(reading.text, "0天0小时0分0秒");
    EXPECT_EQ(reading.remaining_seconds, 0);
    EXPECT_FALSE(reading.stop);
}

TEST(CountdownTest, TwoSecondsAfterTheDeadlineStopsWhenBelowZeroIsNotAllowed) {
    const CountdownReading reading = Refresh(Accuracy::Second, At(2049, 10, 1, 15, 0, 2));
    EXPECT_EQ(reading.remaining_seconds, -1);
    EXPECT_TRUE(reading.stop);
    EXPECT_STREQ(StoppedText(Accuracy::Second), "0天0小时0分0秒");
}

TEST(CountdownTest, MinuteAndHourAccuracyStopOnTheSecondsToo) {
    const double now = At(2049, 10, 1, 15, 0, 2);
    EXPECT_TRUE(Refresh(Accuracy::Minute, now).stop);
    EXPECT_TRUE(Refresh(Accuracy::Hour, now).stop);
    EXPECT_FALSE(Refresh(Accuracy::Hour, At(2049, 10, 1, 15, 0, 1)).stop);
}

TEST(CountdownTest, TwoSecondsAfterTheDeadlineCountsOnWhenBelowZeroIsAllowed) {
    const CountdownReading reading =
        Refresh(Accuracy::Second, At(2049, 10, 1, 15, 0, 2), kAllowBelowZero);
    EXPECT_EQ(reading.text, "0天0小时0分-1秒");
    EXPECT_FALSE(reading.stop);
}

// ---- Counting below zero --------------------------------------------------------------------

TEST(CountdownTest, NinetySecondsAfterShowsOneSecondLessWithSignedParts) {
    const CountdownReading reading =
        Refresh(Accuracy::Second, At(2049, 10, 1, 15, 1, 30), kAllowBelowZero);
    EXPECT_EQ(reading.text, "0天0小时-1分-29秒");
    EXPECT_EQ(reading.remaining_seconds, -89);
}

TEST(CountdownTest, OneDayTwoHoursAfterGivesEveryPartItsOwnSign) {
    const CountdownReading reading =
        Refresh(Accuracy::Second, At(2049, 10, 2, 17), kAllowBelowZero);
    EXPECT_EQ(reading.text, "-1天-1小时-59分-59秒");
}

TEST(CountdownTest, FailedDeadlineCountsFromYear100WithCorrectParts) {
    const CountdownReading reading =
        ComputeCountdown(Accuracy::Second, kFailedDateTime, At(2049, 10, 1), kAllowBelowZero, 0);
    EXPECT_EQ(reading.text, "-712131天-23小时-59分-59秒");
    EXPECT_FALSE(reading.stop);
    EXPECT_TRUE(
        ComputeCountdown(Accuracy::Second, kFailedDateTime, At(2049, 10, 1), kStopAtZero, 0).stop);
}

TEST(CountdownTest, NonFiniteDeadlineOrClockIsClampedToTheRange) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const double now = At(2049, 10, 1);
    EXPECT_EQ(ComputeCountdown(Accuracy::Second, nan, now, kAllowBelowZero, 0).text,
              ComputeCountdown(Accuracy::Second, kFailedDateTime, now, kAllowBelowZero, 0).text);
    EXPECT_EQ(ComputeCountdown(Accuracy::Second, inf, kMaxDateTime, kAllowBelowZero, 0).text,
              "0天0小时0分0秒");
    EXPECT_EQ(ComputeCountdown(Accuracy::Minute, 1e300, -1e300, kStopAtZero, 0).text,
              "3615899天23小时59分");
}

// ---- Day accuracy ---------------------------------------------------------------------------

TEST(CountdownTest, DayAccuracyStopsOneSecondAfterTheDeadline) {
    const CountdownReading reading = Refresh(Accuracy::Day, At(2049, 10, 1, 15, 0, 1));
    EXPECT_EQ(reading.text, "0天");
    EXPECT_TRUE(reading.stop);
    EXPECT_STREQ(StoppedText(Accuracy::Day), "0天");
}

TEST(CountdownTest, DayAccuracyShowsZeroForTheWholeFirstDayAfter) {
    const CountdownReading reading = Refresh(Accuracy::Day, At(2049, 10, 2, 3), kAllowBelowZero);
    EXPECT_EQ(reading.text, "0天");
    EXPECT_FALSE(reading.stop);
}

TEST(CountdownTest, DayAccuracyLeavesRemainingSecondsAsTheyWere) {
    const CountdownReading reading =
        Refresh(Accuracy::Day, At(2049, 10, 1, 16), kAllowBelowZero, 1234);
    EXPECT_EQ(reading.remaining_seconds, 1234);
}

TEST(CountdownTest, StoppedTextsEndAtTheirAccuracy) {
    EXPECT_STREQ(StoppedText(Accuracy::Minute), "0天0小时0分");
    EXPECT_STREQ(StoppedText(Accuracy::Hour), "0天0小时");
}

// ---- Stored settings texts ------------------------------------------------------------------

TEST(DeadlineTextTest, DefaultsBuildTheDefaultDeadline) {
    const std::string text = DeadlineText("2049年10月1日", "15", "0", "0");
    EXPECT_EQ(text, "2049年10月1日15时0分0");
    EXPECT_EQ(TextToDateTime(text), kDeadline);
}

TEST(DeadlineTextTest, JoinsNumericDateAndTimeTexts) {
    EXPECT_EQ(TextToDateTime(DeadlineText("2049-10-01 ", "8", "5", "9")), At(2049, 10, 1, 8, 5, 9));
}

TEST(AccuracyNumberTest, ReadsStoredTextAsNumber) {
    EXPECT_EQ(AccuracyNumber("0"), 0);
    EXPECT_EQ(AccuracyNumber("3"), 3);
    EXPECT_EQ(AccuracyNumber("7"), 7);
    EXPECT_EQ(AccuracyNumber("１"), 1);
}

TEST(AccuracyNumberTest, TruncatesAndKeepsLow16Bits) {
    EXPECT_EQ(AccuracyNumber("1.9"), 1);
    EXPECT_EQ(AccuracyNumber("-0.5"), 0);
    EXPECT_EQ(AccuracyNumber("65538"), 2);
    EXPECT_EQ(AccuracyNumber("word"), 0);
    EXPECT_EQ(AccuracyNumber("1e309"), 0);
}

// ---- Where the refresh ticks come ----------------------------------------------------------

ClockMoment Moment(int year, int month, int day, int hour, int minute, int second, int ms) {
    return ClockMomentOf({year, month, day, hour, minute, second}, ms);
}

TEST(TickPlacementTest, ClockMomentGivesTheClocksDateTimeValue) {
    const ClockMoment moment = Moment(2049, 9, 30, 12, 56, 56, 250);
    EXPECT_EQ(DateTimeOfSecond(moment.second), At(2049, 9, 30, 12, 56, 56));
    EXPECT_EQ(moment.millisecond, 250);
    EXPECT_EQ(DateTimeOfSecond(Moment(1899, 12, 29, 23, 59, 59, 0).second),
              At(1899, 12, 29, 23, 59, 59));
}

// The default deadline has 0 seconds, so the minute text changes one second into each
// minute (at 12:01:01 the remaining time drops below 1 day 2 h 59 min).
TEST(TickPlacementTest, TicksComeJustAfterTheSecondInWhichTheTextChanges) {
    struct Case {
        const char* what;
        Accuracy accuracy;
        int interval;
        ClockMoment now;
        bool starting;
        int64_t delay;
    };
    const Case cases[] = {
        {"second, starting", Accuracy::Second, 1000, Moment(2049, 9, 30, 12, 0, 0, 400), true, 610},
        {"second, on time", Accuracy::Second, 1000, Moment(2049, 9, 30, 12, 0, 0, 12), false, 998},
        {"second, late", Accuracy::Second, 1000, Moment(2049, 9, 30, 12, 0, 0, 600), false, 410},
        {"second, early", Accuracy::Second, 1000, Moment(2049, 9, 30, 12, 0, 0, 995), false, 15},
        {"two seconds", Accuracy::Second, 2000, Moment(2049, 9, 30, 12, 0, 0, 12), false, 1998},
        {"half a second", Accuracy::Second, 500, Moment(2049, 9, 30, 12, 0, 0, 300), true, 500},
        {"minute, starting", Accuracy::Minute, 60000, Moment(2049, 9, 30, 12, 0, 30, 0), true,
         31010},
        {"minute, on time", Accuracy::Minute, 60000, Moment(2049, 9, 30, 12, 1, 1, 13), false,
         59997},
        {"minute, early", Accuracy::Minute, 60000, Moment(2049, 9, 30, 12, 1, 0, 995), false, 15},
        {"hour, starting", Accuracy::Hour, 60000, Moment(2049, 9, 30, 12, 0, 30, 0), true, 31010},
        {"day, starting", Accuracy::Day, 60000, Moment(2049, 9, 30, 12, 0, 30, 0), true, 31010},
        // A day past the deadline the day text changes a second before the minute text.
        {"day, own change", Accuracy::Day, 60000, Moment(2049, 10, 2, 14, 59, 30, 0), true, 30010},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NextTickDelay(c.accuracy, c.interval, kDeadline, c.now, c.starting), c.delay)
            << c.what;
    }
}

}  // namespace
}  // namespace tq
