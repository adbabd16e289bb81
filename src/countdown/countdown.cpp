#include "countdown/countdown.h"

#include <windows.h>

#include "app/globals.h"
#include "appearance/appearance.h"
#include "countdown/arithmetic.h"
#include "forms/forms.h"
#include "log/debug_log.h"
#include "runtime/facilities.h"
#include "runtime/value.h"
#include "settings/settings_file.h"

namespace tq {

namespace {

DeadlineWatch deadline_watch;

void Refresh(Accuracy accuracy) {
    now = Now();
    const CountdownReading reading =
        ComputeCountdown(accuracy, deadline, now, allow_below_zero, remaining_seconds);
    remaining_days = reading.remaining_days;
    remaining_seconds = reading.remaining_seconds;
    auto& label = main_window.时间标签;
    label.SetCaption(reading.text);
    if (reading.stop) {
        SetCountdownRunning(false);
        label.SetCaption(StoppedText(accuracy));
    }
    if (ReachesDeadline(deadline_watch, deadline, reading.remaining_days)) AnnounceDeadline();
    WriteLogLine(label.caption());
}

int64_t PlaceTick(Accuracy accuracy, int interval, bool starting) {
    SYSTEMTIME local;
    GetLocalTime(&local);
    const ClockMoment moment = ClockMomentOf(
        {local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond},
        local.wMilliseconds);
    return NextTickDelay(accuracy, interval, deadline, moment, starting);
}

// Steps of ten from the configured opacity; below 10 there are none and the window is
// simply hidden and shown.
int FadeSteps() { return static_cast<int>(opacity_setting / 10.0); }

// Waits for one due time (100-ns units, negative for relative) while dispatching
// messages. Without a usable waitable timer it still returns after the time has passed.
void WaitOnce(int64_t due) {
    HANDLE timer = CreateWaitableTimerW(nullptr, FALSE, nullptr);
    LARGE_INTEGER when;
    when.QuadPart = due;
    if (timer && SetWaitableTimer(timer, &when, 0, nullptr, nullptr, FALSE)) {
        for (;;) {
            const DWORD result = MsgWaitForMultipleObjects(1, &timer, FALSE, INFINITE, 0xFF);
            if (result == WAIT_OBJECT_0 || result == WAIT_FAILED) break;
            ProcessPendingMessages();
        }
        CloseHandle(timer);
        return;
    }
    if (timer) CloseHandle(timer);
    const ULONGLONG milliseconds = due < 0 ? static_cast<ULONGLONG>(-due) / 10000 : 0;
    const ULONGLONG end = GetTickCount64() + milliseconds;
    for (ULONGLONG t = GetTickCount64(); t < end; t = GetTickCount64()) {
        if (MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - t), 0xFF) !=
            WAIT_TIMEOUT) {
            ProcessPendingMessages();
        }
    }
}

}  // namespace

void ApplyCountdownSettings(bool start) {
    deadline = TextToDateTime(DeadlineText(ReadSetting(keys::deadline_date),
                                           ReadSetting(keys::deadline_hour),
                                           ReadSetting(keys::deadline_min),
                                           ReadSetting(keys::deadline_sec)));
    switch (AccuracyNumber(ReadSetting(keys::accuracy))) {
        case 0: RefreshBySecond(); break;
        case 1: RefreshByMinute(); break;
        case 2: RefreshByHour(); break;
        case 3: RefreshByDay(); break;
        default: break;  // the label keeps its text
    }
    SetCountdownRunning(start);
}

void RefreshBySecond() { Refresh(Accuracy::Second); }
void RefreshByMinute() { Refresh(Accuracy::Minute); }
void RefreshByHour() { Refresh(Accuracy::Hour); }
void RefreshByDay() { Refresh(Accuracy::Day); }

int64_t PlaceSecondTick(int interval, bool starting) {
    return PlaceTick(Accuracy::Second, interval, starting);
}
int64_t PlaceMinuteTick(int interval, bool starting) {
    return PlaceTick(Accuracy::Minute, interval, starting);
}
int64_t PlaceHourTick(int interval, bool starting) {
    return PlaceTick(Accuracy::Hour, interval, starting);
}
int64_t PlaceDayTick(int interval, bool starting) {
    return PlaceTick(Accuracy::Day, interval, starting);
}

// The running timer is started again as well: its ticks belong just after the changes of
// the new clock.
void RefreshAfterClockChange() {
    if (!running) return;
    const auto refresh = [](forms::Timer& timer, void (*refresh_now)()) {
        if (timer.interval() <= 0) return;
        refresh_now();
        if (timer.interval() > 0) timer.SetInterval(timer.interval());
    };
    refresh(main_window.倒计时_秒, RefreshBySecond);
    refresh(main_window.倒计时_分, RefreshByMinute);
    refresh(main_window.倒计时_时, RefreshByHour);
    refresh(main_window.倒计时_天, RefreshByDay);
}

void SetCountdownRunning(bool on) {
    StopRefreshTimers();
    if (!on) {
        tray_menu_window.开始_暂停.checked = false;
        running = 0;
        WriteLogLine(kLogCountdownStopped);
        return;
    }
    // The stored text itself decides the timer: "1.0" refreshes by minutes once but
    // starts no timer.
    const std::string accuracy = ReadSetting(keys::accuracy);
    if (accuracy == "0") {
        main_window.倒计时_秒.SetInterval(TruncateLow32(ToNumber(ReadSetting(keys::refresh)) * 1000));
    } else if (accuracy == "1") {
        main_window.倒计时_分.SetInterval(60000);
    } else if (accuracy == "2") {
        main_window.倒计时_时.SetInterval(60000);
    } else if (accuracy == "3") {
        main_window.倒计时_天.SetInterval(60000);
    }
    tray_menu_window.开始_暂停.checked = true;
    WriteLogLine(kLogCountdownStarted);
    running = 1;
}

void ToggleCountdown() { ApplyCountdownSettings(!running); }

void StopRefreshTimers() {
    main_window.倒计时_秒.SetInterval(0);
    main_window.倒计时_分.SetInterval(0);
    main_window.倒计时_时.SetInterval(0);
    main_window.倒计时_天.SetInterval(0);
}

void AvoidBlock() {
    // A press while the window is still fading out is ignored: one cycle at a time.
    static bool in_cycle = false;
    if (in_cycle) return;
    in_cycle = true;
    FadeOut();
    PumpingDelay(10000, 0);
    FadeIn();
    WriteLogLine(kLogAvoidBlock);
    in_cycle = false;
}

void FadeOut() {
    const int n = FadeSteps();
    for (int i = 1; i <= n; ++i) {
        SetWindowTransparency(main_window_handle, (n - i) * 10);
        PumpingDelay(12, 0);
    }
    main_window.SetVisible(false);
}

void FadeIn() {
    main_window.SetVisible(true);
    const int n = FadeSteps();
    for (int i = 1; i <= n; ++i) {
        SetWindowTransparency(main_window_handle, i * 10);
        PumpingDelay(12, 0);
    }
    // Under high contrast the window is opaque whatever the stored transparency.
    if (HighContrastOn()) SetWindowTransparency(main_window_handle, 255);
}

void PumpingDelay(int32_t amount, int32_t unit, int32_t /*unused*/) {
    if (unit == 1) {
        WaitOnce(static_cast<int64_t>(amount) * -10);
        return;
    }
    int64_t repeat;
    switch (unit) {
        case 0: repeat = 1; break;
        case 2: repeat = 1000; break;
        case 3: repeat = 60000; break;
        case 4: repeat = 3600000; break;
        case 5: repeat = 86400000; break;
        default: repeat = unit; break;
    }
    for (int64_t i = 0; i < repeat; ++i) WaitOnce(static_cast<int64_t>(amount) * -10000);
}

}  // namespace tq
