// End-to-end tests of the program as it lives on a desktop for months: its log ends with
// the closing line however it ends, its window cannot be lost off the screens, and its
// label changes together with the clock. The real program runs from a folder of its own
// under Wine and is watched from outside (see driver.h).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <windows.h>

#include <gtest/gtest.h>

#include "e2e/driver.h"

namespace e2e {
namespace {

constexpr char kExeName[] = "TorvekQuindle.exe";
constexpr char kSixLineEnds[] = "\r\n\r\n\r\n\r\n\r\n\r\n";
const SYSTEMTIME kDefaultDeadline = LocalTime(2049, 10, 1, 15, 0, 0);

class DesktopTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (auto it = runs_.rbegin(); it != runs_.rend(); ++it) (*it)->Kill();
    }

    // Writes the settings (when given), copies the program into the folder, starts it and
    // waits until it shows its countdown and its tray icon.
    ProgramRun* LaunchReady(const TempFolder& folder, const std::string& settings = "") {
        if (!settings.empty() && !WriteSettings(folder, settings)) {
            ADD_FAILURE() << "cannot write setting.ini";
            return nullptr;
        }
        if (!CopyFileA(ProgramUnderTest().c_str(), (folder / kExeName).c_str(), FALSE)) {
            ADD_FAILURE() << "cannot copy " << ProgramUnderTest();
            return nullptr;
        }
        runs_.push_back(ProgramRun::Start(folder.path(), kExeName));
        ProgramRun* run = runs_.back().get();
        if (!run || !run->WaitUntilReady()) {
            ADD_FAILURE() << "the program did not show its countdown and its icon";
            return nullptr;
        }
        return run;
    }

    std::vector<std::unique_ptr<ProgramRun>> runs_;
};

// ---- The closing line is the log's last -----------------------------------------------------

bool CloseThroughTheWindowManager(ProgramRun& run) {
    return PostMessageA(run.main_window(), WM_CLOSE, 0, 0) != FALSE;
}

bool ExitFromTheTrayMenu(ProgramRun& run) {
    if (!run.ChooseFromTrayMenu("退出")) return false;
    HWND box = run.WaitForMessageBox("警示信息 - 退出确认");
    return box && ClickMessageBoxButton(box, IDYES);
}

TEST_F(DesktopTest, ClosingMessageIsTheLogsLastBytesWhicheverWayTheProgramEnds) {
    struct Ending {
        const char* how;
        bool (*end)(ProgramRun&);
        std::string message;
    };
    const Ending endings[] = {
        {"closed through the window manager", CloseThroughTheWindowManager,
         "Countdown been forecd closed"},
        {"exit confirmed in the tray menu", ExitFromTheTrayMenu, "Countdown exited by user"},
    };
    for (const Ending& ending : endings) {
        SCOPED_TRACE(ending.how);
        TempFolder folder;
        // A refresh every 10 ms: ticks are due all through the closing routine, which lets
        // pending messages through before the process ends.
        ProgramRun* run = LaunchReady(folder, "[main]\r\nrefresh=0.01\r\n[debug]\r\nmode=1\r\n");
        ASSERT_NE(run, nullptr);
        ASSERT_TRUE(WaitFor([&] { return run->LogText().size() > 2000; }, Milliseconds(5000)))
            << "the countdown does not refresh every 10 ms";

        ASSERT_TRUE(ending.end(*run));
        ASSERT_EQ(run->WaitForExit(Milliseconds(20000)), std::optional<DWORD>(0));

        const std::string log = run->LogText();
        const std::string closing = "\t" + ending.message + kSixLineEnds + "\r\n";
        const size_t at = log.rfind(closing);
        ASSERT_NE(at, std::string::npos) << "no closing line";
        EXPECT_EQ(at + closing.size(), log.size())
            << "after the closing line: \"" << log.substr(at + closing.size(), 200) << "\"";
    }
}

// ---- The window is never lost off-screen ----------------------------------------------------

RECT WorkArea() {
    RECT area{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    return area;
}

TEST_F(DesktopTest, StoredPlaceOffTheScreenIsMovedWithinReachAndAGripOnItStays) {
    const RECT area = WorkArea();
    const int w = 530, h = 200;
    struct Case {
        const char* what;
        int left, top;                    // stored
        int expected_left, expected_top;  // where the window shows
    };
    const Case cases[] = {
        {"far beyond the screen", 5000, 5000, area.right - w, area.bottom - h},
        {"far before the screen", -3000, -3000, area.left, area.top},
        {"20 pixels left on screen", area.right - 20, 300, area.right - w, 300},
        {"a 60-pixel grip on screen", area.right - 60, 300, area.right - 60, 300},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder folder;
        const std::string settings = "[ui]\r\nwinmid=0\r\nwinleft=" + std::to_string(c.left) +
                                     "\r\nwintop=" + std::to_string(c.top) + "\r\n";
        ProgramRun* run = LaunchReady(folder, settings);
        ASSERT_NE(run, nullptr);
        // Placed at start-up and again at the first activation: the place holds after both.
        EXPECT_FALSE(WaitFor(
            [&] {
                const RECT r = run->WindowRect();
                return r.left != c.expected_left || r.top != c.expected_top;
            },
            Milliseconds(1500)));
        const RECT r = run->WindowRect();
        EXPECT_EQ(r.left, c.expected_left);
        EXPECT_EQ(r.top, c.expected_top);
        EXPECT_EQ(r.right - r.left, w);
        EXPECT_EQ(r.bottom - r.top, h);
        EXPECT_EQ(ReadFileBytes(folder / "setting.ini"), std::optional<std::string>(settings))
            << "the stored place must stay in the settings file";
        run->Kill();
    }
}

// Attaching a thread to a virtual desktop ties the whole process's X connection to that
// desktop's window, which is gone once the desktop closes: the steps run in a copy of this
// test program of their own, so the tests after them keep a working display.
constexpr char kScreenStepsHere[] = "TQ_E2E_SCREEN_STEPS";

// Runs this test alone in another process of this program; its exit code.
DWORD RunThisTestApart() {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string command = std::string("\"") + self +
                          "\" --gtest_filter=" + test->test_suite_name() + "." + test->name() +
                          " \"" + ProgramUnderTest() + "\"";
    char report[1024] = {};
    const bool had_report = GetEnvironmentVariableA("GTEST_OUTPUT", report, sizeof(report)) > 0;
    SetEnvironmentVariableA("GTEST_OUTPUT", nullptr);  // the report is this process's
    SetEnvironmentVariableA(kScreenStepsHere, "1");
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION info{};
    DWORD code = 1;
    if (CreateProcessA(self, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                       &info)) {
        CloseHandle(info.hThread);
        if (WaitForSingleObject(info.hProcess, 120000) != WAIT_OBJECT_0)
            TerminateProcess(info.hProcess, 1);
        GetExitCodeProcess(info.hProcess, &code);
        CloseHandle(info.hProcess);
    }
    SetEnvironmentVariableA(kScreenStepsHere, nullptr);
    if (had_report) SetEnvironmentVariableA("GTEST_OUTPUT", report);
    return code;
}

// The X display of the tests has a single mode, so the screen is made smaller in a virtual
// desktop of Wine's, where the display mode changes as on a real screen and every window of
// the desktop is told with WM_DISPLAYCHANGE.
TEST_F(DesktopTest, WindowFollowsTheScreenWhenItShrinksAndReturnsToItsPlaceWhenItGrows) {
    if (!std::getenv(kScreenStepsHere)) {
        EXPECT_EQ(RunThisTestApart(), 0u) << "the steps failed in their own process (see above)";
        return;
    }
    const std::string desktop = "TorvekQuindleScreens";
    ASSERT_TRUE(ConfigureVirtualDesktop(desktop, 1024, 768));
    TempFolder folder;
    const std::string settings = "[ui]\r\nwinmid=0\r\nwinleft=900\r\nwintop=300\r\n";
    ASSERT_TRUE(WriteSettings(folder, settings));
    ASSERT_TRUE(CopyFileA(ProgramUnderTest().c_str(), (folder / kExeName).c_str(), FALSE));
    const bool attached = RunOnDesktop(desktop, [&] {
        runs_.push_back(ProgramRun::Start(folder.path(), kExeName, desktop));
        ProgramRun* run = runs_.back().get();
        ASSERT_NE(run, nullptr);
        ASSERT_TRUE(
            WaitFor([&] { return run->main_window() && run->Visible(); }, Milliseconds(15000)));
        const auto at = [&](int left, int top) -> ::testing::AssertionResult {
            const bool there = WaitFor(
                [&] {
                    const RECT r = run->WindowRect();
                    return r.left == left && r.top == top && r.right - r.left == 530 &&
                           r.bottom - r.top == 200;
                },
                Milliseconds(5000));
            const RECT r = run->WindowRect();
            if (there) return ::testing::AssertionSuccess();
            return ::testing::AssertionFailure() << "the window is at (" << r.left << ", " << r.top
                                                 << ") to (" << r.right << ", " << r.bottom << ")";
        };
        // 124 pixels of its width on the 1024 × 768 screen: it stays where it is stored.
        EXPECT_TRUE(at(900, 300));
        // The display mode is the prefix's while the desktop lasts: the tests that follow
        // need the first size back, whatever happens here.
        struct FirstSizeBack {
            ~FirstSizeBack() { SetDisplaySize(1024, 768); }
        } first_size_back;
        ASSERT_TRUE(SetDisplaySize(800, 600));
        EXPECT_TRUE(at(800 - 530, 300)) << "the window was left off the smaller screen";
        // Back to the first size: the stored place is reachable again.
        ASSERT_TRUE(SetDisplaySize(1024, 768));
        EXPECT_TRUE(at(900, 300)) << "the window did not return to its place";
        run->Kill();
    });
    EXPECT_TRUE(attached) << "no thread could attach to the desktop " << desktop;
    EXPECT_EQ(ReadFileBytes(folder / "setting.ini"), std::optional<std::string>(settings));
}

// ---- Full-screen programs come first ---------------------------------------------------------

bool LiesBelow(HWND window, HWND above) {
    for (HWND w = GetWindow(above, GW_HWNDNEXT); w; w = GetWindow(w, GW_HWNDNEXT))
        if (w == window) return true;
    return false;
}

// A game, a video or a slide show: the test's own popup over the countdown's whole monitor.
TEST_F(DesktopTest, AlwaysOnTopGivesWayToAFullScreenProgramInFrontUntilItLeaves) {
    for (const bool top : {true, false}) {
        SCOPED_TRACE(top ? "top=1" : "top=0");
        TempFolder folder;
        const std::string settings = top ? "[main]\r\ntop=1\r\n" : "[main]\r\ntop=0\r\n";
        ProgramRun* run = LaunchReady(folder, settings);
        ASSERT_NE(run, nullptr);
        HWND main = run->main_window();
        MONITORINFO monitor{};
        monitor.cbSize = sizeof(monitor);
        GetMonitorInfoW(MonitorFromWindow(main, MONITOR_DEFAULTTONEAREST), &monitor);
        const RECT& m = monitor.rcMonitor;
        HWND popup = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, m.left, m.top, m.right - m.left,
                                     m.bottom - m.top, nullptr, nullptr, nullptr, nullptr);
        bool focus_taken = false;
        // Dispatches the popup's messages; true once `wanted` holds and then keeps holding for
        // 700 ms (a placement that the platform undoes does not count).
        const auto settles_at = [&](const std::function<bool()>& wanted) {
            const auto holds = [&] {
                MSG msg;
                while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
                focus_taken = focus_taken || GetForegroundWindow() == main;
                return wanted();
            };
            return WaitFor(holds, Milliseconds(2500), Milliseconds(20)) &&
                   !WaitFor([&] { return !holds(); }, Milliseconds(700), Milliseconds(20));
        };
        const auto below = [&] { return !run->Topmost() && LiesBelow(main, popup); };
        const auto in_band = [&] { return run->Topmost() == top; };
        ShowWindow(popup, SW_SHOW);
        SetForegroundWindow(popup);
        EXPECT_TRUE(settles_at(below)) << "with the popup in front";
        ShowWindow(popup, SW_MINIMIZE);
        EXPECT_TRUE(settles_at(in_band)) << "with the popup minimised";
        ShowWindow(popup, SW_RESTORE);
        SetForegroundWindow(popup);
        EXPECT_TRUE(settles_at(below)) << "with the popup in front again";
        SetWindowPos(popup, nullptr, m.left, m.top, 600, 400, SWP_NOZORDER | SWP_NOACTIVATE);
        EXPECT_TRUE(settles_at(in_band)) << "with the popup made smaller";
        DestroyWindow(popup);
        EXPECT_TRUE(settles_at(in_band)) << "with the popup closed";
        EXPECT_FALSE(focus_taken) << "the countdown took the focus";
        EXPECT_EQ(ReadFileBytes(folder / "setting.ini"), std::optional<std::string>(settings));
        run->Kill();
    }
}

// ---- The label ticks with the clock ---------------------------------------------------------

long long Median(std::vector<long long> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// TQ_E2E_TICK_SECONDS watches longer (for measuring); the figures are printed either way.
TEST_F(DesktopTest, LabelShowsEverySecondOnceWithinAFewHundredthsOfTheClock) {
    TempFolder folder;
    ProgramRun* run = LaunchReady(folder);
    ASSERT_NE(run, nullptr);
    HWND label = run->time_label();
    ASSERT_NE(label, nullptr);
    const char* seconds_text = std::getenv("TQ_E2E_TICK_SECONDS");
    const int seconds = seconds_text ? std::max(20, std::atoi(seconds_text)) : 20;

    const std::vector<TextChange> changes = WatchText(label, Milliseconds(seconds * 1000 + 500));
    ASSERT_GE(changes.size(), static_cast<size_t>(seconds));
    std::vector<long long> lags;
    long long previous_second = 0;
    // The first entry is the text the watch began with, not a change.
    for (size_t i = 1; i < changes.size(); ++i) {
        const auto since =
            TrueSince(changes[i].text, kDefaultDeadline, false, changes[i].seen_at_ms);
        ASSERT_TRUE(since.has_value()) << "\"" << changes[i].text << "\" is no remaining time";
        if (i > 1) {
            EXPECT_EQ(*since - previous_second, 1000)
                << "after \"" << changes[i - 1].text << "\" came \"" << changes[i].text << "\"";
        }
        previous_second = *since;
        lags.push_back(changes[i].seen_at_ms - *since);
    }
    const long long worst = *std::max_element(lags.begin(), lags.end());
    std::printf("%zu changes in %d s; lag behind the clock, ms: median %lld, worst %lld\n",
                lags.size(), seconds, Median(lags), worst);
    // The label must change within 50 ms of the clock: the median shows where the ticks
    // lie, and the worst is allowed five times that for a busy machine (a tick placed by the
    // start time alone lags by anything up to a second).
    EXPECT_LE(Median(lags), 50);
    EXPECT_LT(worst, 250);
    EXPECT_GE(*std::min_element(lags.begin(), lags.end()), 0) << "the label ran ahead of the clock";
}

}  // namespace
}  // namespace e2e
