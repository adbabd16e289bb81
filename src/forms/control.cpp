#include "forms/model.h"

#include "forms/accessible.h"
#include "forms/controls.h"
#include "forms/internal.h"
#include "runtime/facilities.h"

namespace tq::forms {

namespace {

constexpr UINT_PTR kChildSubclassId = 1;

int KeyMask(WPARAM mouse_keys) {
    int mask = 0;
    if (mouse_keys & MK_CONTROL) mask |= kCtrl;
    if (mouse_keys & MK_SHIFT) mask |= kShift;
    if (GetKeyState(VK_MENU) < 0) mask |= kAlt;
    return mask;
}

// Overlapping controls paint in layers, from the top: spinners (they sit on the right end
// of their edit boxes), the controls that take input (in form order, which is also the
// focus order), captions, group boxes, page controls. Every control clips its siblings, so
// each pixel is painted by the topmost control covering it.
enum Layer { kOverlay, kInput, kCaption, kFrame, kPages };

Layer LayerOf(HWND hwnd) {
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, ARRAYSIZE(name));
    if (lstrcmpiW(name, UPDOWN_CLASSW) == 0) return kOverlay;
    if (lstrcmpiW(name, kLabelClass) == 0) return kCaption;
    if (lstrcmpiW(name, kGroupBoxClass) == 0) return kFrame;
    if (lstrcmpiW(name, WC_TABCONTROLW) == 0) return kPages;
    return kInput;
}

void PlaceInLayer(HWND hwnd) {
    const Layer layer = LayerOf(hwnd);
    HWND after = HWND_TOP;
    for (HWND sibling = GetWindow(hwnd, GW_HWNDFIRST); sibling;
         sibling = GetWindow(sibling, GW_HWNDNEXT)) {
        if (sibling == hwnd) continue;
        if (LayerOf(sibling) > layer) break;
        after = sibling;
    }
    SetWindowPos(hwnd, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

}  // namespace

bool RaiseInputMessage(const InputHandlers& handlers, UINT message, WPARAM wparam, LPARAM lparam) {
    auto mouse = [&] {
        return MouseEvent{static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam)),
                          KeyMask(wparam)};
    };
    switch (message) {
        case WM_LBUTTONDOWN: handlers.on_left_button_down(mouse()); return true;
        case WM_LBUTTONUP: handlers.on_left_button_up(mouse()); return true;
        case WM_RBUTTONDOWN: handlers.on_right_button_down(mouse()); return true;
        case WM_RBUTTONUP: handlers.on_right_button_up(mouse()); return true;
        case WM_LBUTTONDBLCLK: handlers.on_double_click(mouse()); return true;
        case WM_MOUSEMOVE:
            if (handlers.on_mouse_move) handlers.on_mouse_move(mouse());
            return true;
        case WM_MOUSEWHEEL:
            handlers.on_wheel(GET_WHEEL_DELTA_WPARAM(wparam) / WHEEL_DELTA, KeyMask(LOWORD(wparam)));
            return true;
        case WM_KEYDOWN: handlers.on_key_down(); return true;
        case WM_KEYUP: handlers.on_key_up(); return true;
        case WM_CHAR: handlers.on_character(); return true;
        default: return false;
    }
}

void EnsureCommonControls() {
    static const bool done = [] {
        INITCOMMONCONTROLSEX init{
            sizeof(init), ICC_DATE_CLASSES | ICC_TAB_CLASSES | ICC_BAR_CLASSES | ICC_UPDOWN_CLASS};
        return lazy::InitCommonControlsEx(&init) != FALSE;
    }();
    (void)done;
}

void RegisterClassOnce(const wchar_t* name, WNDPROC procedure) {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof(existing);
    if (GetClassInfoExW(Instance(), name, &existing)) return;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = procedure;
    wc.hInstance = Instance();
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<const wchar_t*>(IDC_ARROW));
    wc.lpszClassName = name;
    RegisterClassExW(&wc);
}

// What every control does once its window exists.
void FinishChild(HWND hwnd, HFONT font) {
    if (!hwnd) return;
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    PlaceInLayer(hwnd);
}

// The first control in focus order that can take the focus now.
HWND FirstTabStop(HWND window) {
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        const LONG style = GetWindowLongW(child, GWL_STYLE);
        if ((style & (WS_TABSTOP | WS_VISIBLE | WS_DISABLED)) == (WS_TABSTOP | WS_VISIBLE))
            return child;
    }
    return nullptr;
}

std::string WindowText(HWND hwnd) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return Narrow(text);
}

void SetGbkWindowText(HWND hwnd, std::string_view text) {
    SetWindowTextW(hwnd, Widen(text).c_str());
}

// Draws a GBK text with DrawTextW; the flags are DrawText's.
int DrawGbkText(HDC dc, std::string_view text, RECT* at, UINT flags) {
    const std::wstring wide = Widen(text);
    return DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), at, flags);
}

// Paints what the form shows beneath `part` (client coordinates of the control whose form
// rectangle is `area`) into a DC whose origin is the control's.
void PaintFormBackground(Form& form, HDC dc, const RECT& area, const RECT& part) {
    POINT old;
    SetViewportOrgEx(dc, -area.left, -area.top, &old);
    RECT in_form = part;
    OffsetRect(&in_form, area.left, area.top);
    form.PaintBackground(dc, in_form);
    SetViewportOrgEx(dc, old.x, old.y, nullptr);
}

// ---- Control ----------------------------------------------------------------------------

Control::Control(Form* form, Control* container, Rect rect, bool visible, bool disabled)
    : form_(form),
      container_(container),
      initial_rect_(rect),
      initial_visible_(visible),
      initial_disabled_(disabled),
      rect_(rect),
      visible_(visible),
      disabled_(disabled),
      id_(form->NextControlId()) {
    form->Register(this);
}

void Control::ResetCommonState() {
    rect_ = initial_rect_;
    visible_ = initial_visible_;
    disabled_ = initial_disabled_;
    tag.clear();
    platform_proc_ = nullptr;
}

RECT Control::ClientRect() const {
    const RECT units = UnitClientRect();
    const int dpi = form_->dpi();
    const int left = ToPixels(units.left, dpi);
    const int top = ToPixels(units.top, dpi);
    return {left, top, left + ToPixels(rect_.width, dpi), top + ToPixels(rect_.height, dpi)};
}

RECT Control::UnitClientRect() const {
    int x = rect_.left;
    int y = rect_.top;
    for (const Control* c = container_; c; c = c->container_) {
        x += c->rect_.left;
        y += c->rect_.top;
    }
    return {x, y, x + rect_.width, y + rect_.height};
}

bool Control::EffectivelyVisible() const {
    for (const Control* c = this; c; c = c->container_) {
        if (!c->visible_) return false;
    }
    return true;
}

// Setting the place a control already has costs nothing: the look is applied property by
// property, mostly with the values the form data started with.
void Control::SetRect(Rect rect) {
    if (hwnd_ && rect == rect_) return;
    rect_ = rect;
    ApplyRect();
}

void Control::ApplyRect() {
    if (!hwnd_) return;
    PlaceWindow();
    for (Control* c : form_->controls_) {
        if (c->container_ == this) c->ApplyRect();
    }
}

void Control::PlaceWindow() {
    if (!hwnd_) return;
    const RECT r = ClientRect();
    SetWindowPos(hwnd_, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void Control::ApplyVisibility() {
    if (hwnd_) ShowWindow(hwnd_, EffectivelyVisible() ? SW_SHOWNA : SW_HIDE);
    for (Control* c : form_->controls_) {
        if (c->container_ == this) c->OnContainerVisibilityChanged();
    }
}

void Control::SetVisible(bool visible) {
    visible_ = visible;
    ApplyVisibility();
}

void Control::SetDisabled(bool disabled) {
    disabled_ = disabled;
    if (hwnd_) EnableWindow(hwnd_, !disabled);
}

HWND Control::CreateChild(HWND form_window, const wchar_t* window_class, std::string_view text,
                          DWORD style, DWORD ex_style, bool route_input) {
    const RECT r = ClientRect();
    if (EffectivelyVisible()) style |= WS_VISIBLE;
    if (disabled_) style |= WS_DISABLED;
    std::optional<CommonControlsScope> themed;
    if (route_input) {
        themed.emplace();  // a class of the platform's: version 6 where declared
        form_->common_controls_ = true;
    }
    HWND hwnd =
        CreateWindowExW(ex_style, window_class, Widen(text).c_str(), WS_CHILD | style, r.left,
                        r.top, r.right - r.left, r.bottom - r.top, form_window,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id_)), Instance(), nullptr);
    if (hwnd && route_input) {
        platform_proc_ = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_WNDPROC));
        lazy::SetWindowSubclass(hwnd, ChildProc, kChildSubclassId, reinterpret_cast<DWORD_PTR>(this));
        // Named as soon as it exists, before any reader asks, as the platform's guidance does.
        if (label_) AnnotateName(hwnd);
    }
    return hwnd;
}

// Annotated once and again only when the caption changes: screen readers send WM_GETOBJECT
// often. An empty caption takes an earlier name away.
void Control::AnnotateName(HWND hwnd) {
    const std::wstring name = NameFromCaption(Widen(label_->caption()));
    if (name.empty()) ClearAccessibleName(hwnd);
    name_annotated_ = AnnotateAccessibleName(hwnd, name);
}

void Control::NameLabelledControls() const {
    for (Control* c : form_->controls_) {
        if (c->label_ != this || !c->hwnd_ || !c->platform_proc_) continue;
        c->AnnotateName(c->hwnd_);
        NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, c->hwnd_, OBJID_CLIENT, CHILDID_SELF);
    }
}

namespace {

// Wine's GetDCEx, unlike Windows', has no meaning for the region value 1 (the whole frame).
bool GetDCExTakesOneForAHandle() {
    static const bool wine =
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    return wine;
}

// A control of the platform's that paints its sunken edge with its visual style.
bool DrawsThemedClientEdge(HWND hwnd) {
    return (GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) && lazy::GetWindowTheme(hwnd);
}

}  // namespace

LRESULT CALLBACK Control::ChildProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                                    UINT_PTR, DWORD_PTR data) {
    auto* control = reinterpret_cast<Control*>(data);
    // Whatever the control opens while it handles a message (a date picker's calendar, a
    // message box of a handler) takes the version the control was made with.
    CommonControlsScope themed;
    if (message == WM_NCDESTROY) {
        lazy::RemoveWindowSubclass(hwnd, ChildProc, kChildSubclassId);
        if (control->label_) ClearAccessibleName(hwnd);
        control->name_annotated_ = false;
        control->hwnd_ = nullptr;
        control->AfterDestroy();
    } else if (message == WM_NCPAINT && wparam == 1 && GetDCExTakesOneForAHandle() &&
               DrawsThemedClientEdge(hwnd)) {
        // The system asks for the whole frame with the region value 1, which is no region's
        // handle. A themed edit box or date picker draws its client edge in a DC from
        // GetDCEx with that value as its clipping region, as the message's documentation
        // shows; Windows' GetDCEx knows the value, Wine's takes it for a handle (two GDI calls
        // on the invalid handle 1 per control at each painting of its frame). There, the
        // frame's rectangle in screen coordinates, a real region, asks for the same; Wine's
        // GetDCEx takes it over and deletes it with the DC. Windows is left the value it
        // knows: its frame painting need not delete a region it did not make.
        RECT frame;
        GetWindowRect(hwnd, &frame);
        if (HRGN whole = CreateRectRgnIndirect(&frame))
            return lazy::DefSubclassProc(hwnd, message, reinterpret_cast<WPARAM>(whole), lparam);
    } else if (message == WM_GETOBJECT && control->label_ && !control->name_annotated_ &&
               static_cast<LONG>(lparam) == OBJID_CLIENT) {
        // Without annotation the control's own answer stands, and a control that gives none
        // is answered with a named copy of the system's object.
        const LRESULT own = lazy::DefSubclassProc(hwnd, message, wparam, lparam);
        const std::wstring name = NameFromCaption(Widen(control->label_->caption()));
        if (own > 0 || name.empty()) return own;
        return NamedAccessibleObject(hwnd, wparam, name);
    } else {
        RaiseInputMessage(control->events, message, wparam, lparam);
    }
    return lazy::DefSubclassProc(hwnd, message, wparam, lparam);
}

}  // namespace tq::forms
