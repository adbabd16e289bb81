// The live countdown on the real main window: which timer runs, start and pause, the
// stop at the deadline and its announcement, the pumping delay and the fades. The program's
// main window is loaded once in this process; each test writes its own setting.ini.
#include "countdown/countdown.h"

#include <gtest/gtest.h>

#include "app/globals.h"
#include "appearance/appearance.h"
#include "forms/forms.h"
#include "runtime/facilities.h"
#include "runtime/value.h"
#include "settings/settings_file.h"
#include "test_support.h"

namespace tq {
namespace {

// The notifications the program asks the notification area for (title and text), and
// whether it took them.
std::vector<std::string> balloons;
BOOL WINAPI RecordBalloons(DWORD message, NOTIFYICONDATAW* data) {
    const BOOL taken = ::Shell_NotifyIconW(message, data);
    if (data->uFlags & NIF_INFO) {
        EXPECT_TRUE(taken);
        balloons.push_back(Narrow(data->szInfoTitle) + "|" + Narrow(data->szInfo));
    }
    return taken;
}

// The deadline keys for a moment `offset_seconds` from now.
std::string DeadlineIni(int offset_seconds) {
    const CivilTime t = CivilFromDateTime(Now() + offset_seconds / 86400.0);
    return "[main]\r\ndeadline-date=" + std::to_string(t.year) + "年" + std::to_string(t.month) +
           "月" + std::to_string(t.day) + "日\r\ndeadline-hour=" + std::to_string(t.hour) +
           "\r\ndeadline-min=" + std::to_string(t.minute) +
           "\r\ndeadline-sec=" + std::to_string(t.second) + "\r\n";
}

class LiveCountdownTest : public ProgramFolderTest {
protected:
    void SetUp() override {
        ProgramFolderTest::SetUp();
        SetUpTrayIcon();
        PumpMessagesFor(50);
        balloons.clear();
        forms::lazy::shell_notify_icon_for_tests = RecordBalloons;
    }
    void TearDown() override {
        forms::lazy::shell_notify_icon_for_tests = nullptr;
        SetCountdownRunning(false);
        ProgramFolderTest::TearDown();
    }
    void Settings(const std::string& ini) { WriteFileBytes(SettingsFilePath(), ini); }
    static std::vector<int> Intervals() {
        return {main_window.倒计时_秒.interval(), main_window.倒计时_分.interval(),
                main_window.倒计时_时.interval(), main_window.倒计时_天.interval()};
    }
};

TEST_F(LiveCountdownTest, TheAccuracySelectsExactlyOneTimer) {
    ApplyCountdownSettings(true);
    EXPECT_EQ(Intervals(), (std::vector<int>{1000, 0, 0, 0}));
    EXPECT_EQ(running, 1);
    EXPECT_TRUE(tray_menu_window.开始_暂停.checked);
    Settings("[main]\r\naccuracy=1\r\nrefresh=5\r\n");
    ApplyCountdownSettings(true);
    EXPECT_EQ(Intervals(), (std::vector<int>{0, 60000, 0, 0})) << "refresh is ignored";
    Settings("[main]\r\naccuracy=2\r\n");
    ApplyCountdownSettings(true);
    EXPECT_EQ(Intervals(), (std::vector<int>{0, 0, 60000, 0}));
    Settings("[main]\r\naccuracy=3\r\n");
    ApplyCountdownSettings(true);
    EXPECT_EQ(Intervals(), (std::vector<int>{0, 0, 0, 60000}));
    Settings("[main]\r\naccuracy=0\r\nrefresh=0.5\r\n");
    ApplyCountdownSettings(true);
    EXPECT_EQ(Intervals(), (std::vector<int>{500, 0, 0, 0}));
}

TEST_F(LiveCountdownTest, UnreadableRefreshRunsWithoutATimer) {
    Settings("[main]\r\nrefresh=soon\r\n");
    ApplyCountdownSettings(true);
    EXPECT_EQ(Intervals(), (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(running, 1);
    EXPECT_TRUE(tray_menu_window.开始_暂停.checked);
}

TEST_F(LiveCountdownTest, AnUnknownAccuracyRefreshesNothingAndStartsNoTimer) {
    main_window.时间标签.SetCaption("unchanged");
    Settings("[main]\r\naccuracy=7\r\n");
    ApplyCountdownSettings(true);
    EXPECT_EQ(main_window.时间标签.caption(), "unchanged");
    EXPECT_EQ(Intervals(), (std::vector<int>{0, 0, 0, 0}));
}

TEST_F(LiveCountdownTest, ToggleRefreshesThenPausesAndResumes) {
    Settings(DeadlineIni(86400 + 2 * 3600 + 3 * 60 + 4));
    ApplyCountdownSettings(true);
    main_window.时间标签.SetCaption("stale");
    ToggleCountdown();
    EXPECT_EQ(running, 0);
    EXPECT_FALSE(tray_menu_window.开始_暂停.checked);
    EXPECT_EQ(Intervals(), (std::vector<int>{0, 0, 0, 0}));
    const std::string paused = main_window.时间标签.caption();
    EXPECT_TRUE(paused == "1天2小时3分4秒" || paused == "1天2小时3分3秒") << paused;
    PumpMessagesFor(1300);
    EXPECT_EQ(main_window.时间标签.caption(), paused) << "a paused label keeps its text";
    ToggleCountdown();
    EXPECT_EQ(running, 1);
    EXPECT_EQ(Intervals(), (std::vector<int>{1000, 0, 0, 0}));
}

TEST_F(LiveCountdownTest, AnExpiredDeadlineStopsAtTheNextTickWhenBelowZeroIsNotAllowed) {
    Settings(DeadlineIni(-3) + "limit=0\r\n");
    ApplyWindowSettings();  // reads limit
    ASSERT_FALSE(allow_below_zero);
    ApplyCountdownSettings(true);
    EXPECT_EQ(main_window.时间标签.caption(), "0天0小时0分0秒");
    EXPECT_EQ(running, 1) << "applying restarts the countdown after the refresh stopped it";
    PumpMessagesFor(1400);
    EXPECT_EQ(running, 0) << "the next tick stops it again";
    EXPECT_EQ(main_window.时间标签.caption(), "0天0小时0分0秒");
    EXPECT_EQ(Intervals(), (std::vector<int>{0, 0, 0, 0}));
    EXPECT_TRUE(balloons.empty()) << "a start past the deadline announces nothing";
}

// The tray icon tells once when the countdown reaches zero, and once more when a new deadline
// set in the settings window is reached.
TEST_F(LiveCountdownTest, ReachingZeroIsAnnouncedOnceFromTheTrayIcon) {
    Settings(DeadlineIni(1) + "[ui]\r\nwintitle=期末考试\r\n");
    ApplyWindowSettings();  // counting below zero is allowed
    ApplyCountdownSettings(true);
    EXPECT_TRUE(balloons.empty());
    PumpMessagesFor(2100);  // the refresh at zero and one below it
    ASSERT_EQ(balloons, std::vector<std::string>{"期末考试|时间到！倒计时已结束。"});

    OpenSettingsWindow();
    const CivilTime soon = CivilFromDateTime(Now() + 1 / 86400.0);
    settings_window.倒计时目标设置框.SetValue(DateTimeFromCivil({soon.year, soon.month, soon.day}));
    settings_window.小时单位_编辑框.SetContent(std::to_string(soon.hour));
    settings_window.分钟单位_编辑框.SetContent(std::to_string(soon.minute));
    settings_window.秒钟单位_编辑框.SetContent(std::to_string(soon.second));
    SendMessageW(settings_window.确定按钮.handle(), BM_CLICK, 0, 0);
    PumpMessagesFor(2100);
    EXPECT_FALSE(settings_window.loaded());
    EXPECT_EQ(balloons.size(), 2u);
}

TEST_F(LiveCountdownTest, BelowZeroCountsOnWhenAllowed) {
    Settings(DeadlineIni(-90));
    ApplyWindowSettings();
    ApplyCountdownSettings(true);
    const std::string text = main_window.时间标签.caption();
    EXPECT_TRUE(text == "0天0小时-1分-29秒" || text == "0天0小时-1分-30秒") << text;
    EXPECT_EQ(running, 1);
}

TEST_F(LiveCountdownTest, AClockChangeRefreshesARunningCountdownAtOnce) {
    Settings("[main]\r\naccuracy=1\r\n");
    ApplyCountdownSettings(true);
    main_window.时间标签.SetCaption("stale");
    SendMessageA(main_window.handle(), WM_TIMECHANGE, 0, 0);
    EXPECT_NE(main_window.时间标签.caption(), "stale");
    SetCountdownRunning(false);
    main_window.时间标签.SetCaption("stale");
    SendMessageA(main_window.handle(), WM_TIMECHANGE, 0, 0);
    EXPECT_EQ(main_window.时间标签.caption(), "stale") << "a paused countdown stays paused";

    // A deadline passed while the machine slept (no message handled; at hour accuracy the
    // next tick is far off) is announced at the wake, once.
    Settings(DeadlineIni(1) + "accuracy=2\r\n");
    ApplyWindowSettings();
    ApplyCountdownSettings(true);
    Sleep(1500);
    ASSERT_TRUE(balloons.empty());
    SendMessageA(main_window.handle(), WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    EXPECT_EQ(main_window.时间标签.caption(), "0天0小时");
    EXPECT_EQ(balloons.size(), 1u) << "announced at the wake";
    SendMessageA(main_window.handle(), WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0);
    EXPECT_EQ(balloons.size(), 1u) << "and only once";
}

TEST_F(LiveCountdownTest, FadesStepByTensAndEndAtTheLastStep) {
    Settings("[ui]\r\ntransparency=175\r\n");
    ApplyWindowSettings();
    const DWORD start = GetTickCount();
    FadeOut();
    EXPECT_GE(GetTickCount() - start, 17u * 10) << "17 steps of about 12 ms";
    EXPECT_FALSE(main_window.visible());
    BYTE alpha = 0;
    GetLayeredWindowAttributes(main_window.handle(), nullptr, &alpha, nullptr);
    EXPECT_EQ(alpha, 0);
    FadeIn();
    EXPECT_TRUE(main_window.visible());
    GetLayeredWindowAttributes(main_window.handle(), nullptr, &alpha, nullptr);
    EXPECT_EQ(alpha, 170) << "the window keeps 170 until the look is applied again";
}

TEST_F(LiveCountdownTest, BelowTenTheWindowIsOnlyHiddenAndShown) {
    Settings("[ui]\r\ntransparency=5\r\n");
    ApplyWindowSettings();
    FadeOut();
    EXPECT_FALSE(main_window.visible());
    FadeIn();
    EXPECT_TRUE(main_window.visible());
    BYTE alpha = 0;
    GetLayeredWindowAttributes(main_window.handle(), nullptr, &alpha, nullptr);
    EXPECT_EQ(alpha, 5) << "the opacity is not touched";
    Settings("");
    ApplyWindowSettings();
}

TEST(PumpingDelayTest, WaitsTheRequestedTimeWhileDispatchingMessages) {
    static int handled = 0;
    handled = 0;
    HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                  nullptr, nullptr);
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(+[](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
        if (m == WM_APP) ++handled;
        return DefWindowProcA(h, m, w, l);
    }));
    PostMessageA(window, WM_APP, 0, 0);
    DWORD start = GetTickCount();
    PumpingDelay(300, 0);
    DWORD elapsed = GetTickCount() - start;
    EXPECT_GE(elapsed, 280u);
    EXPECT_LT(elapsed, 1500u);
    EXPECT_EQ(handled, 1) << "messages are dispatched during the wait";

    start = GetTickCount();
    PumpingDelay(200000, 1);  // 200000 microseconds
    elapsed = GetTickCount() - start;
    EXPECT_GE(elapsed, 180u);
    EXPECT_LT(elapsed, 1500u);

    start = GetTickCount();
    PumpingDelay(50, 4 + 3);  // an unknown unit is the repeat count: 7 x 50 ms
    elapsed = GetTickCount() - start;
    EXPECT_GE(elapsed, 330u);
    start = GetTickCount();
    PumpingDelay(1000, -3);  // a negative repeat count waits not at all
    EXPECT_LT(GetTickCount() - start, 200u);
    DestroyWindow(window);
}

}  // namespace
}  // namespace tq
