#include "forms/model.h"

#include "forms/internal.h"
#include "runtime/facilities.h"
#include "runtime/value.h"

namespace tq::forms {

// ---- Timer ------------------------------------------------------------------------------

Timer::Timer(Form* form, Args args) : Control(form, nullptr, {}, false, false), args_(std::move(args)) {
    interval_ = args_.interval;
}

void Timer::Create(HWND form_window) {
    interval_ = 0;
    hwnd_ = nullptr;
    (void)form_window;
    SetInterval(args_.interval);
}

void Timer::SetInterval(int milliseconds) {
    interval_ = milliseconds;
    ++starts_;
    HWND window = form_->handle();
    if (!window) return;
    KillTimer(window, id());
    armed_ = 0;
    if (milliseconds > 0) Arm(args_.placer ? args_.placer(milliseconds, true) : milliseconds);
}

void Timer::Arm(int64_t delay) {
    armed_ = static_cast<int>(std::clamp<int64_t>(delay, USER_TIMER_MINIMUM, USER_TIMER_MAXIMUM));
    SetTimer(form_->handle(), id(), static_cast<UINT>(armed_), nullptr);
}

// A tick that comes up to 20 ms after its place, or 8 ms before it, keeps the running
// rhythm: the platform timer is armed again only when the ticks have drifted out of place or
// a single corrected wait has just run, so a steady timer costs no more than a plain one.
void Timer::OnPlatformTick() {
    if (interval_ <= 0) return;
    const int starts = starts_;
    args_.on_tick();
    if (!args_.placer || starts_ != starts || !form_->handle()) return;
    const int64_t delay = args_.placer(interval_, false);
    const int64_t drift = delay - interval_;
    if (drift >= -20 && drift <= 8) {
        if (armed_ != interval_) Arm(interval_);
    } else {
        Arm(delay);
    }
}

// ---- Menu -------------------------------------------------------------------------------

MenuItem::MenuItem(Args args)
    : caption(args.caption),
      checked(args.checked),
      disabled(args.disabled),
      visible(args.visible),
      args_(std::move(args)) {}

Menu::Menu(const char* caption, std::vector<MenuItem*> items)
    : caption_(caption), items_(std::move(items)) {}

void PopupMenu(Form& window, Menu& menu, std::optional<POINT> at) {
    HMENU popup = CreatePopupMenu();
    const auto& items = menu.items();
    for (size_t i = 0; i < items.size(); ++i) {
        const MenuItem& item = *items[i];
        if (!item.visible) continue;
        if (item.caption == "-") {
            AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        UINT flags = MF_STRING;
        if (item.checked) flags |= MF_CHECKED;
        if (item.disabled) flags |= MF_GRAYED;
        AppendMenuW(popup, flags, i + 1, Widen(item.caption).c_str());
    }
    POINT place{};
    if (at) {
        place = *at;
    } else {
        GetCursorPos(&place);
    }
    SetForegroundWindow(window.handle());
    const int chosen = TrackPopupMenu(popup, TPM_RIGHTALIGN | TPM_TOPALIGN | TPM_RETURNCMD,
                                      place.x - 5, place.y - 5, 0, window.handle(), nullptr);
    // Without this message the menu would not close when the user clicks elsewhere.
    PostMessageW(window.handle(), WM_NULL, 0, 0);
    DestroyMenu(popup);
    if (chosen <= 0 || static_cast<size_t>(chosen) > items.size()) return;
    // The windows and message boxes a command opens look like the settings window's.
    CommonControlsScope themed;
    items[chosen - 1]->Select();
}

}  // namespace tq::forms
