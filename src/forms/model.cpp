#include "forms/model.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "runtime/facilities.h"
#include "runtime/value.h"

namespace tq::forms {

namespace {

constexpr wchar_t kFormClass[] = L"TorvekQuindleForm";
constexpr wchar_t kLabelClass[] = L"TorvekQuindleTransparentLabel";
constexpr UINT kTrayIconId = 100;
constexpr size_t kTrayTipBytes = 62;
constexpr UINT_PTR kChildSubclassId = 1;
// A shell moves its taskbar only after the display has changed, and not every shell announces
// the work area that results: a form told of a display change is told once more this much
// later. Controls' timers have the controls' ids, from 1000 up.
constexpr UINT_PTR kScreensSettledTimer = 1;
constexpr UINT kScreensSettleMs = 1000;
// Windows 8.1 and 10 messages, not in the headers for Windows 7 that the program builds with.
constexpr UINT kDpiChangedMessage = 0x02E0;        // WM_DPICHANGED
constexpr UINT kGetDpiScaledSizeMessage = 0x02E4;  // WM_GETDPISCALEDSIZE

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

// Sets a property's value and tells whether it changed. Setters repaint only on a change:
// the look is applied property by property, mostly with the values a control already has.
template <typename T, typename V>
bool Change(T& field, V value) {
    if (field == static_cast<T>(value)) return false;
    field = static_cast<T>(value);
    return true;
}

std::vector<Form*>& LoadedForms() {
    static std::vector<Form*> forms;
    return forms;
}

UINT TaskbarCreatedMessage() {
    static const UINT message = RegisterWindowMessageW(L"TaskbarCreated");
    return message;
}

// Top-level windows owned by a hidden window get no taskbar button, whatever their
// extended style says later (the transparency facility replaces the extended style).
HWND HiddenOwner() {
    static HWND owner = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                        Instance(), nullptr);
    return owner;
}

struct Styles {
    DWORD style;
    DWORD ex_style;
};

Styles StylesFor(Border border, bool has_title, bool control_box, bool minimise, bool maximise) {
    DWORD style = WS_CLIPCHILDREN;
    DWORD ex = WS_EX_CONTROLPARENT;
    bool captioned = false;
    switch (border) {
        case Border::None: style |= WS_POPUP; break;
        case Border::Resizable: style |= WS_THICKFRAME; captioned = true; break;
        case Border::Fixed: style |= WS_BORDER | WS_DLGFRAME; ex |= WS_EX_DLGMODALFRAME; captioned = true; break;
        case Border::ToolResizable: style |= WS_THICKFRAME; ex |= WS_EX_TOOLWINDOW; captioned = true; break;
        case Border::ToolFixed: style |= WS_DLGFRAME; ex |= WS_EX_TOOLWINDOW; captioned = true; break;
        case Border::FramedResizable: style |= WS_POPUP | WS_THICKFRAME; break;
        case Border::FramedFixed: style |= WS_POPUP | WS_DLGFRAME; break;
    }
    if (captioned && (has_title || control_box)) {
        style |= WS_CAPTION;
        if (control_box) style |= WS_SYSMENU;
        if (control_box && minimise) style |= WS_MINIMIZEBOX;
        if (control_box && maximise) style |= WS_MAXIMIZEBOX;
    }
    return {style, ex};
}

// Polygon outlines for the shapes beyond the ring, in coordinates 0..32767.
struct ShapeOutline {
    Shape shape;
    std::vector<POINT> points;
};
const std::vector<ShapeOutline>& Outlines() {
    static const std::vector<ShapeOutline> outlines = {
        {Shape::Diamond, {{16384, 0}, {32767, 16384}, {16384, 32767}, {0, 16384}}},
        {Shape::Hexagon,
         {{8192, 0}, {24576, 0}, {32767, 16384}, {24576, 32767}, {8192, 32767}, {0, 16384}}},
    };
    return outlines;
}

HRGN MakeRegion(Shape shape, int w, int h, int dpi) {
    switch (shape) {
        case Shape::Rectangle: return nullptr;
        case Shape::Ellipse: return CreateEllipticRgn(0, 0, w, h);
        case Shape::RoundedRectangle: {
            // The corners are those of the window's size in units, taken to pixels.
            const int r = ToPixels(std::min(ToUnits(w, dpi) / 5, ToUnits(h, dpi) / 5), dpi);
            return CreateRoundRectRgn(0, 0, w, h, r, r);
        }
        case Shape::Ring: {
            HRGN outer = CreateEllipticRgn(0, 0, w, h);
            HRGN inner = CreateEllipticRgn(w / 4, h / 4, w - w / 4, h - h / 4);
            CombineRgn(outer, outer, inner, RGN_DIFF);
            DeleteObject(inner);
            return outer;
        }
        default:
            for (const ShapeOutline& outline : Outlines()) {
                if (outline.shape != shape) continue;
                std::vector<POINT> points = outline.points;
                for (POINT& p : points) {
                    p.x = MulDiv(p.x, w, 32767);
                    p.y = MulDiv(p.y, h, 32767);
                }
                return CreatePolygonRgn(points.data(), static_cast<int>(points.size()), WINDING);
            }
            return nullptr;
    }
}

int KeyMask(WPARAM mouse_keys) {
    int mask = 0;
    if (mouse_keys & MK_CONTROL) mask |= kCtrl;
    if (mouse_keys & MK_SHIFT) mask |= kShift;
    if (GetKeyState(VK_MENU) < 0) mask |= kAlt;
    return mask;
}

// Raises the input event that matches a window message; false when it is none. The key
// state is asked for only when an event needs it.
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

HICON IconFromFile(std::string_view bytes, int size) {
    // An icon file: a 6-byte header, 16-byte entries (width, height, ..., bytes, offset).
    const auto* data = reinterpret_cast<const BYTE*>(bytes.data());
    if (bytes.size() < 6) return nullptr;
    const int count = data[4] | (data[5] << 8);
    int best = -1;
    int best_width = 0;
    for (int i = 0; i < count && 6 + 16 * (i + 1) <= static_cast<int>(bytes.size()); ++i) {
        const BYTE* entry = data + 6 + 16 * i;
        const int width = entry[0] == 0 ? 256 : entry[0];
        // The smallest image not below the wanted size, else the largest.
        const bool better = best < 0 || (width >= size && (best_width < size || width < best_width)) ||
                            (width < size && best_width < size && width > best_width);
        if (better) {
            best = i;
            best_width = width;
        }
    }
    if (best < 0) return nullptr;
    const BYTE* entry = data + 6 + 16 * best;
    DWORD length, offset;
    std::memcpy(&length, entry + 8, 4);
    std::memcpy(&offset, entry + 12, 4);
    if (offset > bytes.size() || length > bytes.size() - offset) return nullptr;
    return CreateIconFromResourceEx(const_cast<BYTE*>(data + offset), length, TRUE, 0x00030000,
                                    size, size, LR_DEFAULTCOLOR);
}

}  // namespace

UINT DrawTextFlags(HAlign align, bool word_wrap, VAlign valign) {
    UINT flags = 0;
    if (align == HAlign::Centre) flags |= DT_CENTER;
    if (align == HAlign::Right) flags |= DT_RIGHT;
    if (word_wrap) return flags | DT_WORDBREAK;
    flags |= DT_SINGLELINE;
    if (valign == VAlign::Centre) flags |= DT_VCENTER;
    if (valign == VAlign::Bottom) flags |= DT_BOTTOM;
    return flags;
}

int ToPixels(int units, int dpi) { return MulDiv(units, dpi, kUnitDpi); }
int ToUnits(int pixels, int dpi) { return MulDiv(pixels, kUnitDpi, dpi); }

Rect ToPixels(const Rect& units, int dpi) {
    return {ToPixels(units.left, dpi), ToPixels(units.top, dpi), ToPixels(units.width, dpi),
            ToPixels(units.height, dpi)};
}

Rect ToUnits(const Rect& pixels, int dpi) {
    return {ToUnits(pixels.left, dpi), ToUnits(pixels.top, dpi), ToUnits(pixels.width, dpi),
            ToUnits(pixels.height, dpi)};
}

int SystemDpi() {
    static const int dpi = [] {
        HDC screen = GetDC(nullptr);
        const int value = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
        return value > 0 ? value : kUnitDpi;
    }();
    return dpi;
}

int DpiOfWindow(HWND window) {
    static const auto get_dpi_for_window =
        LibraryFunction<UINT(WINAPI*)(HWND)>(L"user32.dll", "GetDpiForWindow");
    const UINT dpi = get_dpi_for_window && window ? get_dpi_for_window(window) : 0;
    return dpi > 0 ? static_cast<int>(dpi) : SystemDpi();
}

LOGFONTA MakeLogFont(const FontSpec& description, int dpi) {
    LOGFONTA font = MakeLogFont(description);
    font.lfHeight = ToPixels(description.height, dpi);
    return font;
}

LOGFONTA DefaultGuiFont(int dpi) {
    LOGFONTW system{};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(system), &system);
    LOGFONTA font{};
    std::memcpy(&font, &system, offsetof(LOGFONTA, lfFaceName));
    const std::string face = Narrow(system.lfFaceName);
    const std::string_view fits = WholeCharactersWithin(face, LF_FACESIZE - 1);
    std::memcpy(font.lfFaceName, fits.data(), fits.size());
    font.lfHeight = MulDiv(font.lfHeight, dpi, SystemDpi());
    return font;
}

LOGFONTA MakeLogFont(const FontSpec& description) {
    LOGFONTA font{};
    font.lfHeight = description.height;
    font.lfWeight = description.weight;
    font.lfItalic = description.italic;
    font.lfCharSet = description.charset;
    font.lfOutPrecision = OUT_DEFAULT_PRECIS;
    font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    font.lfQuality = DEFAULT_QUALITY;
    font.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
    lstrcpynA(font.lfFaceName, description.face, LF_FACESIZE);
    return font;
}

HFONT CreateFontFrom(const LOGFONTA& description) {
    LOGFONTW font;
    std::memcpy(&font, &description, offsetof(LOGFONTA, lfFaceName));
    const std::wstring face = Widen(description.lfFaceName);
    lstrcpynW(font.lfFaceName, face.c_str(), LF_FACESIZE);
    return CreateFontIndirectW(&font);
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
    if (route_input) themed.emplace();  // a class of the platform's: version 6 where declared
    HWND hwnd =
        CreateWindowExW(ex_style, window_class, Widen(text).c_str(), WS_CHILD | style, r.left,
                        r.top, r.right - r.left, r.bottom - r.top, form_window,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id_)), Instance(), nullptr);
    if (hwnd && route_input) {
        lazy::SetWindowSubclass(hwnd, ChildProc, kChildSubclassId, reinterpret_cast<DWORD_PTR>(this));
    }
    return hwnd;
}

LRESULT CALLBACK Control::ChildProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                                    UINT_PTR, DWORD_PTR data) {
    auto* control = reinterpret_cast<Control*>(data);
    if (message == WM_NCDESTROY) {
        lazy::RemoveWindowSubclass(hwnd, ChildProc, kChildSubclassId);
        control->hwnd_ = nullptr;
        control->AfterDestroy();
    } else {
        RaiseInputMessage(control->events, message, wparam, lparam);
    }
    return lazy::DefSubclassProc(hwnd, message, wparam, lparam);
}

// ---- TransparentLabel -------------------------------------------------------------------

TransparentLabel::TransparentLabel(Form* form, Args args)
    : Control(form, args.container, args.rect, args.visible, false), args_(std::move(args)) {
    ResetState();
}

void TransparentLabel::ResetState() {
    events = args_.events;
    caption_ = args_.caption;
    wide_caption_ = Widen(caption_);
    font_ = MakeLogFont(args_.font, form_->dpi());
    points_.reset();
    colour_ = args_.colour;
    align_ = args_.align;
    word_wrap_ = args_.word_wrap;
    valign_ = args_.valign;
    effect_ = args_.effect;
    antialiased_ = true;
}

void TransparentLabel::Create(HWND form_window) {
    static bool registered = false;
    if (!registered) {
        registered = true;
        WNDCLASSEXW wc{sizeof(wc)};
        wc.lpfnWndProc = WindowProc;
        wc.hInstance = Instance();
        wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<const wchar_t*>(IDC_ARROW));
        wc.lpszClassName = kLabelClass;
        RegisterClassExW(&wc);
    }
    ResetCommonState();
    ResetState();
    FontChanged();
    hwnd_ = CreateChild(form_window, kLabelClass, caption_, 0, WS_EX_TRANSPARENT, false);
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

void TransparentLabel::AfterDestroy() {
    if (hfont_) DeleteObject(hfont_);
    hfont_ = nullptr;
    ReleaseBuffer();
}

// The font is made when the label next paints: applying the look changes face, size,
// weight and slant one after another, and only the last combination is drawn.
void TransparentLabel::FontChanged() {
    if (hfont_) DeleteObject(hfont_);
    hfont_ = nullptr;
    Repaint();
}

void TransparentLabel::Repaint() {
    if (hwnd_) InvalidateRect(hwnd_, nullptr, FALSE);
}

void TransparentLabel::SetCaption(std::string_view caption) {
    if (caption_ == caption) return;
    caption_.assign(caption);
    wide_caption_ = Widen(caption_);
    // The window text mirrors the caption so that other programs (screen readers, the
    // end-to-end driver) can read what the label shows.
    if (hwnd_) SetWindowTextW(hwnd_, wide_caption_.c_str());
    PaintNow();
}

// A new caption is drawn at once, as the system's static control draws its text, rather
// than through an invalidation and a WM_PAINT: the time label changes every second, and
// the round trip costs the platform more than the drawing does.
void TransparentLabel::PaintNow() {
    if (!hwnd_ || !IsWindowVisible(hwnd_)) {
        Repaint();
        return;
    }
    HDC dc = GetDC(hwnd_);
    Paint(dc);
    ReleaseDC(hwnd_, dc);
}

void TransparentLabel::SetFontFace(std::string_view face) {
    if (face.empty() || face.size() >= LF_FACESIZE || face == font_.lfFaceName) return;
    std::memcpy(font_.lfFaceName, face.data(), face.size());
    font_.lfFaceName[face.size()] = '\0';
    FontChanged();
}

void TransparentLabel::SetFontSize(int points) {
    points_ = points;
    if (Change(font_.lfHeight, -MulDiv(points, form_->dpi(), 72))) FontChanged();
}

void TransparentLabel::ApplyDpi() {
    Control::ApplyDpi();
    const int dpi = form_->dpi();
    font_.lfHeight = points_ ? -MulDiv(*points_, dpi, 72) : ToPixels(args_.font.height, dpi);
    FontChanged();
}

void TransparentLabel::SetBold(bool bold) {
    if (Change(font_.lfWeight, bold ? FW_BOLD : FW_NORMAL)) FontChanged();
}

void TransparentLabel::SetItalic(bool italic) {
    if (Change(font_.lfItalic, italic)) FontChanged();
}

void TransparentLabel::SetColour(COLORREF colour) {
    if (Change(colour_, colour)) Repaint();
}

void TransparentLabel::SetAlign(HAlign align) {
    if (Change(align_, align)) Repaint();
}

void TransparentLabel::SetWordWrap(bool wrap) {
    if (Change(word_wrap_, wrap)) Repaint();
}

void TransparentLabel::SetVAlign(VAlign valign) {
    if (Change(valign_, valign)) Repaint();
}

void TransparentLabel::SetEffect(Effect effect) {
    if (Change(effect_, effect)) Repaint();
}

void TransparentLabel::SetAntialiased(bool antialiased) {
    if (Change(antialiased_, antialiased)) FontChanged();
}

LRESULT CALLBACK TransparentLabel::WindowProc(HWND hwnd, UINT message, WPARAM wparam,
                                              LPARAM lparam) {
    auto* label = reinterpret_cast<TransparentLabel*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (message) {
        case WM_ERASEBKGND: return 1;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            if (label) label->Paint(dc);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_NCHITTEST: return HTCLIENT;
        case WM_NCDESTROY:
            if (label) {
                label->hwnd_ = nullptr;
                label->AfterDestroy();
            }
            break;
        default:
            if (label) RaiseInputMessage(label->events, message, wparam, lparam);
            break;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

// Paints into a memory bitmap what the form shows beneath the label, then the text, and
// copies the result in one step, so a changing caption never flashes.
void TransparentLabel::Paint(HDC dc) {
    RECT client;
    GetClientRect(hwnd_, &client);
    const int w = client.right;
    const int h = client.bottom;
    if (w <= 0 || h <= 0) return;
    // The back buffer and its memory DC are kept between paints: the time label repaints
    // every second, and making them costs the platform more than the paint itself.
    if (!buffer_ || buffer_size_.cx != w || buffer_size_.cy != h) {
        ReleaseBuffer();
        buffer_dc_ = CreateCompatibleDC(dc);
        buffer_ = CreateCompatibleBitmap(dc, w, h);
        buffer_size_ = {w, h};
        buffer_old_bitmap_ = SelectObject(buffer_dc_, buffer_);
    }
    if (!hfont_) {
        LOGFONTA font = font_;
        font.lfQuality = antialiased_ ? DEFAULT_QUALITY : NONANTIALIASED_QUALITY;
        hfont_ = CreateFontFrom(font);
    }
    HDC memory = buffer_dc_;

    const RECT area = ClientRect();
    SetViewportOrgEx(memory, -area.left, -area.top, nullptr);
    form_->PaintBackground(memory, area);
    SetViewportOrgEx(memory, 0, 0, nullptr);

    if (!caption_.empty()) {
        HGDIOBJ old_font =
            SelectObject(memory, hfont_ ? static_cast<HGDIOBJ>(hfont_) : GetStockObject(DEFAULT_GUI_FONT));
        const UINT flags = DT_NOCLIP | DrawTextFlags(align_, word_wrap_, valign_);
        SetBkMode(memory, TRANSPARENT);
        RECT r = client;
        auto draw = [&](COLORREF colour, RECT at) {
            SetTextColor(memory, colour);
            DrawTextW(memory, wide_caption_.c_str(), static_cast<int>(wide_caption_.size()), &at,
                      flags);
        };
        switch (effect_) {
            case Effect::WhiteShadow: draw(RGB(255, 255, 255), {r.left + 1, r.top + 1, r.right + 1, r.bottom + 1}); break;
            case Effect::WhiteEmboss:
                draw(RGB(255, 255, 255), r);
                OffsetRect(&r, 1, 1);
                break;
            case Effect::BlackShadow: draw(RGB(0, 0, 0), {r.left + 2, r.top + 2, r.right + 2, r.bottom + 2}); break;
            case Effect::None: break;
        }
        draw(colour_, r);
        SelectObject(memory, old_font);
    }
    BitBlt(dc, 0, 0, w, h, memory, 0, 0, SRCCOPY);
}

void TransparentLabel::ReleaseBuffer() {
    if (buffer_dc_) {
        SelectObject(buffer_dc_, buffer_old_bitmap_);
        DeleteDC(buffer_dc_);
    }
    if (buffer_) DeleteObject(buffer_);
    buffer_dc_ = nullptr;
    buffer_ = nullptr;
    buffer_size_ = {};
}

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

void PopupMenu(Form& window, Menu& menu) {
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
    POINT cursor;
    GetCursorPos(&cursor);
    SetForegroundWindow(window.handle());
    const int chosen = TrackPopupMenu(popup, TPM_RIGHTALIGN | TPM_TOPALIGN | TPM_RETURNCMD,
                                      cursor.x - 5, cursor.y - 5, 0, window.handle(), nullptr);
    // Without this message the menu would not close when the user clicks elsewhere.
    PostMessageW(window.handle(), WM_NULL, 0, 0);
    DestroyMenu(popup);
    if (chosen > 0 && static_cast<size_t>(chosen) <= items.size()) items[chosen - 1]->Select();
}

// ---- Form -------------------------------------------------------------------------------

Form::Form(Args args)
    : args_(std::move(args)),
      title_(args_.title),
      border_(args_.border),
      shape_(args_.shape),
      picture_mode_(args_.picture_mode),
      initial_rect_(args_.rect),
      topmost_(args_.topmost) {}

void Form::Register(Control* control) { controls_.push_back(control); }

Control* Form::ControlById(int id) const {
    for (Control* c : controls_) {
        if (c->id() == id) return c;
    }
    return nullptr;
}

void Form::Load() {
    if (hwnd_) return;
    static bool registered = false;
    if (!registered) {
        registered = true;
        WNDCLASSEXW wc{sizeof(wc)};
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = WindowProc;
        wc.hInstance = Instance();
        wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<const wchar_t*>(IDC_ARROW));
        wc.hIcon = LoadIconW(Instance(), MAKEINTRESOURCEW(1));
        wc.lpszClassName = kFormClass;
        RegisterClassExW(&wc);
    }
    title_ = args_.title;
    border_ = args_.border;
    shape_ = args_.shape;
    picture_mode_ = args_.picture_mode;
    picture_.clear();
    read_picture_again_ = nullptr;
    picture_released_ = false;
    picture_removed_ = false;
    has_background_colour_ = false;
    first_activation_seen_ = false;
    topmost_ = false;
    region_shape_ = Shape::Rectangle;  // a new window has no region

    // Made at the system's DPI; a window that the platform shows at another one is scaled
    // again below, before its controls exist.
    dpi_ = SystemDpi();
    Rect r = ToPixels(args_.rect, dpi_);
    if (args_.position == StartPosition::Centred) {
        r.left = (GetSystemMetrics(SM_CXSCREEN) - r.width) / 2;
        r.top = (GetSystemMetrics(SM_CYSCREEN) - r.height) / 2;
    }
    const Styles styles = StylesFor(border_, !title_.empty(), args_.control_box,
                                    args_.minimise_box, args_.maximise_box);
    HWND owner = args_.in_taskbar ? nullptr : HiddenOwner();
    CreateWindowExW(styles.ex_style | (args_.in_taskbar ? WS_EX_APPWINDOW : 0), kFormClass,
                    Widen(title_).c_str(), styles.style, r.left, r.top, r.width, r.height, owner,
                    nullptr, Instance(), this);
    if (!hwnd_) return;
    if (const int shown_at = DpiOfWindow(hwnd_); shown_at != dpi_) {
        const Rect units = ToUnits(r, dpi_);
        dpi_ = shown_at;
        SetPixelRect(ToPixels(units, dpi_));
    }
    LoadedForms().push_back(this);
    if (args_.disabled) EnableWindow(hwnd_, FALSE);
    if (!args_.movable) DeleteMenu(GetSystemMenu(hwnd_, FALSE), SC_MOVE, MF_BYCOMMAND);
    ApplyShape();
    for (Control* c : controls_) c->Create(hwnd_);
    if (args_.topmost) SetTopmost(true);

    args_.on_created();
    if (!hwnd_ || !args_.visible) return;
    int show = SW_SHOW;
    if (args_.position == StartPosition::Minimised) show = SW_SHOWMINIMIZED;
    if (args_.position == StartPosition::Maximised) show = SW_SHOWMAXIMIZED;
    ShowWindow(hwnd_, show);
    UpdateWindow(hwnd_);
}

void Form::Close() {
    if (hwnd_) PostMessageW(hwnd_, WM_CLOSE, 0, 0);
}

Rect Form::rect() const {
    if (!hwnd_) return initial_rect_;
    return ToUnits(pixel_rect(), dpi_);
}

void Form::SetRect(Rect rect) { SetPixelRect(ToPixels(rect, dpi_)); }

Rect Form::pixel_rect() const {
    if (!hwnd_) return ToPixels(initial_rect_, dpi_);
    RECT r;
    GetWindowRect(hwnd_, &r);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

void Form::SetPixelRect(Rect rect) {
    if (hwnd_ && !(rect == pixel_rect())) {
        SetWindowPos(hwnd_, nullptr, rect.left, rect.top, rect.width, rect.height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

// One side at a time: the other three keep the pixels they have, so a window whose size
// in pixels is no whole number of units (a frame dragged by the user) keeps that size.
void Form::SetLeft(int left) {
    Rect r = pixel_rect();
    r.left = ToPixels(left, dpi_);
    SetPixelRect(r);
}
void Form::SetTop(int top) {
    Rect r = pixel_rect();
    r.top = ToPixels(top, dpi_);
    SetPixelRect(r);
}
void Form::SetWidth(int width) {
    Rect r = pixel_rect();
    r.width = ToPixels(width, dpi_);
    SetPixelRect(r);
}
void Form::SetHeight(int height) {
    Rect r = pixel_rect();
    r.height = ToPixels(height, dpi_);
    SetPixelRect(r);
}

void Form::OnDpiChanged(int dpi, const RECT& suggested) {
    if (!hwnd_ || dpi <= 0) return;
    dpi_ = dpi;
    SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    for (Control* c : controls_) c->ApplyDpi();
    for (ControlFont* font : fonts_) RescaleControlFont(*font);
    ApplyShape();
    RebuildPictureBitmap();
}

SIZE Form::ScaledSize(int dpi) const {
    const Rect units = rect();
    return {ToPixels(units.width, dpi), ToPixels(units.height, dpi)};
}

void Form::SetTitle(std::string_view title) {
    if (hwnd_ && title == title_) return;
    title_.assign(title);
    if (hwnd_) SetWindowTextW(hwnd_, Widen(title_).c_str());
}

void Form::ApplyStyles() {
    if (!hwnd_) return;
    const Styles styles = StylesFor(border_, !title_.empty(), args_.control_box,
                                    args_.minimise_box, args_.maximise_box);
    const DWORD old_style = GetWindowLongW(hwnd_, GWL_STYLE);
    const DWORD style =
        styles.style | (old_style & (WS_VISIBLE | WS_DISABLED | WS_MINIMIZE | WS_MAXIMIZE));
    const DWORD frame_bits = WS_EX_TOOLWINDOW | WS_EX_DLGMODALFRAME;
    const DWORD old_ex = GetWindowLongW(hwnd_, GWL_EXSTYLE);
    const DWORD ex = (old_ex & ~frame_bits) | (styles.ex_style & frame_bits);
    if (style == old_style && ex == old_ex) return;  // the frame stays as it is
    SetWindowLongW(hwnd_, GWL_STYLE, style);
    SetWindowLongW(hwnd_, GWL_EXSTYLE, ex);
    SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form::SetBorder(Border border) {
    border_ = border;
    ApplyStyles();
}

void Form::SetShape(Shape shape) {
    shape_ = shape;
    ApplyShape();
}

void Form::ApplyShape() {
    if (!hwnd_) return;
    RECT r;
    GetWindowRect(hwnd_, &r);
    const SIZE size{r.right - r.left, r.bottom - r.top};
    const bool unchanged =
        shape_ == region_shape_ &&
        (shape_ == Shape::Rectangle ||
         (size.cx == region_size_.cx && size.cy == region_size_.cy && dpi_ == region_dpi_));
    if (unchanged) return;
    region_shape_ = shape_;
    region_size_ = size;
    region_dpi_ = dpi_;
    SetWindowRgn(hwnd_, MakeRegion(shape_, size.cx, size.cy, dpi_), TRUE);
}

void Form::SetTopmost(bool topmost) {
    topmost_ = topmost;
    const bool already = hwnd_ && (GetWindowLongW(hwnd_, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    if (hwnd_ && already != topmost) {
        SetWindowPos(hwnd_, topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
}

bool Form::visible() const { return hwnd_ && IsWindowVisible(hwnd_); }

void Form::SetVisible(bool visible) {
    if (hwnd_) ShowWindow(hwnd_, visible ? SW_SHOW : SW_HIDE);
}

void Form::SetDisabled(bool disabled) {
    if (hwnd_) EnableWindow(hwnd_, !disabled);
}

void Form::SetBackgroundColour(COLORREF colour) {
    background_colour_ = colour;
    has_background_colour_ = true;
    if (hwnd_) RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
}

std::string Form::picture() const {
    return picture_released_ ? read_picture_again_() : picture_;
}

void Form::SetPicture(std::string bytes, std::function<std::string()> read_again) {
    picture_ = std::move(bytes);
    read_picture_again_ = std::move(read_again);
    picture_released_ = false;
    picture_removed_ = false;
    RebuildPictureBitmap();
}

void Form::RemovePicture() {
    picture_.clear();
    read_picture_again_ = nullptr;
    picture_released_ = false;
    picture_removed_ = true;
    RebuildPictureBitmap();
}

void Form::SetPictureMode(PictureMode mode) {
    picture_mode_ = mode;
    RebuildPictureBitmap();
}

void Form::FreePictureBitmap() {
    if (picture_dc_) {
        SelectObject(picture_dc_, picture_dc_old_bitmap_);
        DeleteDC(picture_dc_);
    }
    picture_dc_ = nullptr;
    if (picture_bitmap_) DeleteObject(picture_bitmap_);
    picture_bitmap_ = nullptr;
    picture_bitmap_size_ = {};
}

// The picture is decoded again at the next paint: applying the look sets the size and the
// picture one after another, and only the last state is drawn.
void Form::RebuildPictureBitmap() {
    FreePictureBitmap();
    picture_stale_ = true;
    if (hwnd_) RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
}

// Decodes the picture once for the current client size: a stretched picture is kept only
// at that size, so memory follows the window rather than the picture file.
void Form::DecodePictureBitmap() {
    picture_stale_ = false;
    if (!hwnd_) return;
    RECT client;
    GetClientRect(hwnd_, &client);
    if (client.right <= 0 || client.bottom <= 0) return;
    if (picture_released_) {
        picture_ = read_picture_again_();
        picture_released_ = false;
    }
    if (!picture_.empty()) {
        const bool stretched = picture_mode_ == PictureMode::Stretched;
        Bitmap decoded =
            DecodePicture(reinterpret_cast<const uint8_t*>(picture_.data()), picture_.size(),
                          stretched ? client.right : 0, stretched ? client.bottom : 0);
        if (!decoded.empty() && stretched &&
            (decoded.width != client.right || decoded.height != client.bottom)) {
            decoded = ScaleBitmap(decoded, client.right, client.bottom);
        }
        if (!decoded.empty()) {
            BITMAPINFO info{};
            info.bmiHeader.biSize = sizeof(info.bmiHeader);
            info.bmiHeader.biWidth = decoded.width;
            info.bmiHeader.biHeight = -decoded.height;  // top-down rows
            info.bmiHeader.biPlanes = 1;
            info.bmiHeader.biBitCount = 32;
            info.bmiHeader.biCompression = BI_RGB;
            void* bits = nullptr;
            picture_bitmap_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
            if (picture_bitmap_) {
                std::memcpy(bits, decoded.pixels.data(), decoded.pixels.size() * 4);
                picture_bitmap_size_ = {decoded.width, decoded.height};
                // Kept selected in a memory DC of its own: every label paint copies from it.
                picture_dc_ = CreateCompatibleDC(nullptr);
                picture_dc_old_bitmap_ = SelectObject(picture_dc_, picture_bitmap_);
            }
        }
    }
    constexpr size_t kLargePictureBytes = 256 * 1024;
    if (read_picture_again_ && picture_.size() > kLargePictureBytes) {
        std::string().swap(picture_);
        picture_released_ = true;
    }
}

void Form::PaintBackground(HDC dc, const RECT& area) {
    HBRUSH brush = has_background_colour_ ? CreateSolidBrush(background_colour_)
                                          : GetSysColorBrush(COLOR_BTNFACE);
    FillRect(dc, &area, brush);
    if (has_background_colour_) DeleteObject(brush);
    if (picture_stale_) DecodePictureBitmap();
    if (!picture_dc_) return;
    HDC source = picture_dc_;
    const int pw = picture_bitmap_size_.cx;
    const int ph = picture_bitmap_size_.cy;
    if (picture_mode_ == PictureMode::Stretched) {
        BitBlt(dc, area.left, area.top, area.right - area.left, area.bottom - area.top, source,
               area.left, area.top, SRCCOPY);
    } else {
        for (int y = area.top - area.top % ph; y < area.bottom; y += ph) {
            for (int x = area.left - area.left % pw; x < area.right; x += pw) {
                BitBlt(dc, x, y, pw, ph, source, 0, 0, SRCCOPY);
            }
        }
    }
}

void Form::Paint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd_, &ps);
    const RECT& area = ps.rcPaint;
    const int w = area.right - area.left;
    const int h = area.bottom - area.top;
    if (w > 0 && h > 0) {
        HDC memory = CreateCompatibleDC(dc);
        HBITMAP bitmap = CreateCompatibleBitmap(dc, w, h);
        HGDIOBJ old = SelectObject(memory, bitmap);
        SetViewportOrgEx(memory, -area.left, -area.top, nullptr);
        PaintBackground(memory, area);
        SetViewportOrgEx(memory, 0, 0, nullptr);
        BitBlt(dc, area.left, area.top, w, h, memory, 0, 0, SRCCOPY);
        SelectObject(memory, old);
        DeleteObject(bitmap);
        DeleteDC(memory);
    }
    EndPaint(hwnd_, &ps);
}

void Form::Centre() {
    if (!hwnd_) return;
    const Rect r = pixel_rect();
    const int left = (GetSystemMetrics(SM_CXSCREEN) - r.width) / 2;
    const int top = (GetSystemMetrics(SM_CYSCREEN) - r.height) / 2;
    if (left == r.left && top == r.top) return;
    SetWindowPos(hwnd_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool Form::minimised() const { return hwnd_ && IsIconic(hwnd_); }
bool Form::maximised() const { return hwnd_ && IsZoomed(hwnd_); }
void Form::Restore() {
    if (hwnd_) ShowWindow(hwnd_, SW_RESTORE);
}

bool Form::SetTrayIcon(std::string_view icon_file_bytes, std::string_view tip) {
    if (!hwnd_) return false;
    HICON icon = IconFromFile(icon_file_bytes, GetSystemMetrics(SM_CXSMICON));
    if (tray_icon_) DestroyIcon(tray_icon_);
    tray_icon_ = icon;
    tray_tip_.assign(tip.substr(0, kTrayTipBytes));
    if (!tray_update_posted_) {
        tray_update_posted_ = PostMessageW(hwnd_, kTrayUpdateMessage, 0, 0) != FALSE;
    }
    return true;
}

void Form::NotifyTray() {
    tray_update_posted_ = false;
    if (!hwnd_ || !tray_icon_) return;
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof(data);
    data.hWnd = hwnd_;
    data.uID = kTrayIconId;
    data.uFlags = NIF_ICON | NIF_TIP | NIF_MESSAGE;
    data.uCallbackMessage = kTrayCallbackMessage;
    data.hIcon = tray_icon_;
    lstrcpynW(data.szTip, Widen(tray_tip_).c_str(), ARRAYSIZE(data.szTip));
    // Replacing an icon that is already there keeps one icon in the notification area.
    if (tray_icon_added_ && lazy::Shell_NotifyIconW(NIM_MODIFY, &data)) return;
    tray_icon_added_ = lazy::Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
}

void Form::RemoveTrayIcon() {
    if (tray_icon_added_ && hwnd_) {
        NOTIFYICONDATAW data{};
        data.cbSize = sizeof(data);
        data.hWnd = hwnd_;
        data.uID = kTrayIconId;
        lazy::Shell_NotifyIconW(NIM_DELETE, &data);
    }
    tray_icon_added_ = false;
    tray_update_posted_ = false;
    if (tray_icon_) DestroyIcon(tray_icon_);
    tray_icon_ = nullptr;  // an update still posted finds no icon and does nothing
}

LRESULT CALLBACK Form::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        auto* form = static_cast<Form*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
        form->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* form = reinterpret_cast<Form*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!form) return DefWindowProcW(hwnd, message, wparam, lparam);
    return form->HandleMessage(message, wparam, lparam);
}

void Form::OnDestroyed() {
    FreePictureBitmap();
    auto& forms = LoadedForms();
    forms.erase(std::remove(forms.begin(), forms.end(), this), forms.end());
    hwnd_ = nullptr;
}

LRESULT Form::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    HWND hwnd = hwnd_;
    switch (message) {
        case WM_ERASEBKGND: return 1;
        case WM_PAINT: Paint(); return 0;
        case WM_SIZE:
            ApplyShape();
            RebuildPictureBitmap();
            args_.on_resized();
            return 0;
        case WM_MOVE: args_.on_moved(); return 0;
        case kDpiChangedMessage:
            OnDpiChanged(HIWORD(wparam), *reinterpret_cast<const RECT*>(lparam));
            return 0;
        case kGetDpiScaledSizeMessage:
            *reinterpret_cast<SIZE*>(lparam) = ScaledSize(static_cast<int>(wparam));
            return TRUE;
        case WM_ACTIVATE:
            if (LOWORD(wparam) != WA_INACTIVE) {
                if (!first_activation_seen_) {
                    first_activation_seen_ = true;
                    args_.on_first_activated();
                }
                args_.on_activated();
            } else {
                args_.on_deactivated();
            }
            break;
        case WM_CLOSE:
            if (args_.on_may_close && !args_.on_may_close()) return 0;
            DestroyWindow(hwnd);
            return 0;
        case WM_DESTROY:
            RemoveTrayIcon();
            args_.on_destroying();
            return 0;
        case WM_NCDESTROY: OnDestroyed(); break;
        case WM_TIMER:
            if (wparam == kScreensSettledTimer) {
                KillTimer(hwnd, kScreensSettledTimer);
                args_.on_screens_changed();
                return 0;
            }
            if (auto* timer = dynamic_cast<Timer*>(ControlById(static_cast<int>(wparam)))) {
                timer->OnPlatformTick();
                return 0;
            }
            break;
        case WM_COMMAND:
            if (lparam) {
                if (Control* c = ControlById(LOWORD(wparam)); c && c->OnCommand(HIWORD(wparam))) return 0;
            }
            break;
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lparam);
            LRESULT result = 0;
            if (Control* c = ControlById(static_cast<int>(header->idFrom)); c && c->OnNotify(header, &result)) {
                return result;
            }
            break;
        }
        case WM_HSCROLL:
        case WM_VSCROLL:
            if (lparam) {
                if (Control* c = ControlById(GetDlgCtrlID(reinterpret_cast<HWND>(lparam))); c && c->OnScroll(wparam)) {
                    return 0;
                }
            }
            break;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORBTN:
            if (Control* c = ControlById(GetDlgCtrlID(reinterpret_cast<HWND>(lparam)))) {
                if (HBRUSH brush = c->OnColour(reinterpret_cast<HDC>(wparam))) {
                    return reinterpret_cast<LRESULT>(brush);
                }
            }
            break;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
        case WM_LBUTTONDBLCLK:
        case WM_MOUSEMOVE:
        case WM_MOUSEWHEEL:
        case WM_KEYDOWN:
        case WM_KEYUP:
        case WM_CHAR:
            RaiseInputMessage(args_.events, message, wparam, lparam);
            if (message == WM_LBUTTONDOWN && args_.drag_anywhere && hwnd_) {
                ReleaseCapture();
                SendMessageW(hwnd, WM_NCLBUTTONDOWN, HTCAPTION, 0);
                return 0;
            }
            break;
        case kTrayUpdateMessage: NotifyTray(); return 0;
        case kTrayCallbackMessage:
            switch (LOWORD(lparam)) {
                case WM_LBUTTONUP: args_.on_tray_event(1); break;
                case WM_LBUTTONDBLCLK: args_.on_tray_event(2); break;
                case WM_RBUTTONUP:
                case WM_CONTEXTMENU: args_.on_tray_event(3); break;
            }
            return 0;
        case WM_TIMECHANGE: args_.on_clock_changed(); return 0;
        case WM_DISPLAYCHANGE:
            args_.on_screens_changed();
            if (args_.on_screens_changed)
                SetTimer(hwnd, kScreensSettledTimer, kScreensSettleMs, nullptr);
            break;
        case WM_SETTINGCHANGE:
            if (wparam == SPI_SETWORKAREA) args_.on_screens_changed();
            break;
        case WM_POWERBROADCAST:
            if (wparam == PBT_APMRESUMEAUTOMATIC || wparam == PBT_APMRESUMESUSPEND) args_.on_clock_changed();
            return TRUE;
        default:
            // Explorer restarted: the notification area is new and has lost the icon.
            if (message == TaskbarCreatedMessage() && tray_icon_added_) {
                tray_icon_added_ = false;
                NotifyTray();
                return 0;
            }
            break;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

bool Form::PreTranslate(MSG& msg) {
    if (msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST) return false;
    HWND root = GetAncestor(msg.hwnd, GA_ROOT);
    for (Form* form : LoadedForms()) {
        if (form->hwnd_ != root) continue;
        if (form->args_.esc_closes && msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) {
            form->Close();
            return true;
        }
        for (Control* control : form->controls_) {
            if (control->PreTranslate(msg)) return true;
        }
        // Tab and Shift+Tab move through the controls as in a dialog; Enter sends IDOK,
        // which no control answers, so it never closes a window by accident.
        return form->border_ != Border::None && IsDialogMessageW(root, &msg);
    }
    return false;
}

void RunMessageLoop() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (Form::PreTranslate(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

CommonControlsScope::CommonControlsScope() {
    static const HANDLE context = [] {
        wchar_t path[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, path, MAX_PATH);
        ACTCTXW description{};
        description.cbSize = sizeof(description);
        description.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID | ACTCTX_FLAG_HMODULE_VALID;
        description.lpSource = path;
        description.hModule = Instance();
        description.lpResourceName = MAKEINTRESOURCEW(2);
        return CreateActCtxW(&description);
    }();
    active_ = context != INVALID_HANDLE_VALUE && ActivateActCtx(context, &cookie_);
}

CommonControlsScope::~CommonControlsScope() {
    if (active_) DeactivateActCtx(0, cookie_);
}

namespace lazy {

namespace {
// comctl32 is looked up inside the scope, so that the version 6 module is the one loaded.
template <typename Function>
Function CommonControlsFunction(const char* name) {
    CommonControlsScope themed;
    return LibraryFunction<Function>(L"comctl32.dll", name);
}
}  // namespace

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* init) {
    static const auto function =
        CommonControlsFunction<BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*)>("InitCommonControlsEx");
    return function && function(init);
}

BOOL SetWindowSubclass(HWND window, SUBCLASSPROC procedure, UINT_PTR id, DWORD_PTR data) {
    static const auto function =
        CommonControlsFunction<BOOL(WINAPI*)(HWND, SUBCLASSPROC, UINT_PTR, DWORD_PTR)>(
            "SetWindowSubclass");
    return function && function(window, procedure, id, data);
}

BOOL RemoveWindowSubclass(HWND window, SUBCLASSPROC procedure, UINT_PTR id) {
    static const auto function =
        CommonControlsFunction<BOOL(WINAPI*)(HWND, SUBCLASSPROC, UINT_PTR)>("RemoveWindowSubclass");
    return function && function(window, procedure, id);
}

LRESULT DefSubclassProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    static const auto function =
        CommonControlsFunction<LRESULT(WINAPI*)(HWND, UINT, WPARAM, LPARAM)>("DefSubclassProc");
    return function ? function(window, message, wparam, lparam)
                    : DefWindowProcW(window, message, wparam, lparam);
}

BOOL ChooseColorW(CHOOSECOLORW* choice) {
    static const auto function =
        LibraryFunction<BOOL(WINAPI*)(CHOOSECOLORW*)>(L"comdlg32.dll", "ChooseColorW");
    CommonControlsScope themed;  // the dialog's controls too
    return function && function(choice);
}

BOOL Shell_NotifyIconW(DWORD message, NOTIFYICONDATAW* data) {
    static const auto function = LibraryFunction<BOOL(WINAPI*)(DWORD, NOTIFYICONDATAW*)>(
        L"shell32.dll", "Shell_NotifyIconW");
    return function && function(message, data);
}

BOOL GetOpenFileNameW(OPENFILENAMEW* dialog) {
    static const auto function =
        LibraryFunction<BOOL(WINAPI*)(OPENFILENAMEW*)>(L"comdlg32.dll", "GetOpenFileNameW");
    CommonControlsScope themed;
    return function && function(dialog);
}

}  // namespace lazy

}  // namespace tq::forms
