// The debug log written through the real file functions under Wine.
#include "log/debug_log.h"

#include <gtest/gtest.h>

#include <windows.h>

#include "app/globals.h"
#include "runtime/facilities.h"
#include "runtime/value.h"
#include "settings/settings_file.h"
#include "test_support.h"

namespace tq {
namespace {

class DebugLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = MakeTempFolder();
        run_dir = dir_;
    }
    void TearDown() override {
        CloseFile(log_file);
        debug_enabled = 0;
        log_file = 0;
        RemoveFolder(dir_);
    }
    std::string LogPath() const { return dir_ + "\\Log\\" + log_stem + ".log"; }

    std::string dir_;
};

TEST(LogTimeStampTest, MonthDayHourMinuteSecondWithoutLeadingZeros) {
    EXPECT_EQ(LogTimeStamp(DateTimeFromCivil({2026, 6, 4, 11, 15, 9})), "6.4-11_15_9");
    EXPECT_EQ(LogTimeStamp(DateTimeFromCivil({2026, 12, 31, 0, 0, 0})), "12.31-0_0_0");
    EXPECT_EQ(LogTimeStamp(DateTimeFromCivil({2026, 1, 1, 23, 59, 59})), "1.1-23_59_59");
}

TEST_F(DebugLogTest, LoggingIsOffUnlessModeIsExactlyOne) {
    for (const char* ini : {"", "[debug]\r\nmode=0\r\n", "[debug]\r\nmode=yes\r\n"}) {
        DeleteFileA(SettingsFilePath().c_str());
        if (*ini) WriteFileBytes(SettingsFilePath(), ini);
        OpenDebugLog();
        EXPECT_EQ(debug_enabled, 0) << ini;
        WriteLogLine("nothing");
        EXPECT_FALSE(FileExistsForTest(dir_ + "\\Log")) << "no folder without logging: " << ini;
    }
}

TEST_F(DebugLogTest, FileStartsWithItsHeaderAndTakesStampedLines) {
    WriteFileBytes(SettingsFilePath(), "[debug]\r\nmode=1\r\n");
    const double before = Now();
    OpenDebugLog();
    ASSERT_EQ(debug_enabled, 1);
    EXPECT_TRUE(log_stem == LogTimeStamp(before) || log_stem == LogTimeStamp(Now())) << log_stem;
    WriteLogLine("1天2小时3分4秒");
    WriteLogLine(kLogCountdownStarted);

    const std::string text = ReadFileBytes(LogPath());
    const std::string header = "Debug " + log_stem + "\r\n";
    ASSERT_EQ(text.substr(0, header.size()), header);
    const std::vector<std::string> lines = SplitLines(text.substr(header.size()));
    ASSERT_GE(lines.size(), 8u);
    const size_t tab = lines[0].find('\t');
    ASSERT_NE(tab, std::string::npos);
    EXPECT_EQ(lines[0].substr(tab + 1), "1天2小时3分4秒");
    EXPECT_EQ(lines[1].substr(lines[1].find('\t') + 1), "Countdown started");
    for (int i = 2; i < 8; ++i) EXPECT_EQ(lines[i], "") << "six empty lines follow a fixed message";
    EXPECT_EQ(text.substr(text.size() - 21), "started\r\n\r\n\r\n\r\n\r\n\r\n\r\n");
}

TEST_F(DebugLogTest, OthersMayReadTheOpenLogButNotWriteIt) {
    WriteFileBytes(SettingsFilePath(), "[debug]\r\nmode=1\r\n");
    OpenDebugLog();
    HANDLE reader = CreateFileA(LogPath().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(reader, INVALID_HANDLE_VALUE);
    if (reader != INVALID_HANDLE_VALUE) CloseHandle(reader);
    HANDLE writer = CreateFileA(LogPath().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
}

TEST_F(DebugLogTest, FailuresAreSilentAndLinesAreDropped) {
    // A file named Log where the folder should be: the folder and the log cannot be made.
    WriteFileBytes(dir_ + "\\Log", "in the way");
    WriteFileBytes(SettingsFilePath(), "[debug]\r\nmode=1\r\n");
    OpenDebugLog();
    EXPECT_EQ(debug_enabled, 1);
    EXPECT_EQ(log_file, 0);
    WriteLogLine("dropped");
    EXPECT_EQ(ReadFileBytes(dir_ + "\\Log"), "in the way");
}

}  // namespace
}  // namespace tq
