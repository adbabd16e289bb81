#include "forms/model.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include "forms/internal.h"
#include "runtime/facilities.h"
#include "runtime/value.h"

namespace tq::forms {

namespace {

constexpr wchar_t kFormClass[] = L"TorvekQuindleForm";
// A shell moves its taskbar only after the display has changed, and not every shell announces
// the work area that results: a form told of a display change is told once more this much
// later. Controls' timers have the controls' ids, from 1000 up; the ids between belong to
// the form's message hook.
constexpr UINT_PTR kScreensSettledTimer = 1;
constexpr UINT kScreensSettleMs = 1000;
// A Windows 10 message, not in the headers for Windows 7 that the program builds with.
constexpr UINT kGetDpiScaledSizeMessage = 0x02E4;  // WM_GETDPISCALEDSIZE

std::vector<Form*>& LoadedForms() {
    static std::vector<Form*> forms;
    return forms;
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

}  // namespace

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
    const wchar_t* window_class = args_.window_class ? args_.window_class : kFormClass;
    WNDCLASSEXW known{sizeof(known)};
    if (!GetClassInfoExW(Instance(), window_class, &known)) {
        WNDCLASSEXW wc{sizeof(wc)};
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = WindowProc;
        wc.hInstance = Instance();
        wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<const wchar_t*>(IDC_ARROW));
        wc.hIcon = LoadIconW(Instance(), MAKEINTRESOURCEW(1));
        wc.lpszClassName = window_class;
        RegisterClassExW(&wc);
        // Every message loop of the program gives the open forms their dialog keys.
        SetKeyboardHandling(PreTranslate);
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
    first_show_seen_ = false;
    last_focus_ = nullptr;
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
    CreateWindowExW(styles.ex_style | OwnExStyle(), window_class, Widen(title_).c_str(),
                    styles.style, r.left, r.top, r.width, r.height, owner, nullptr, Instance(),
                    this);
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
    ClipOverlappingInputs();
    if (args_.topmost) SetTopmost(true);

    args_.on_created();
    if (!hwnd_ || !args_.visible) return;
    int show = args_.never_activated ? SW_SHOWNA : SW_SHOW;
    if (args_.position == StartPosition::Minimised)
        show = args_.never_activated ? SW_SHOWMINNOACTIVE : SW_SHOWMINIMIZED;
    if (args_.position == StartPosition::Maximised) show = SW_SHOWMAXIMIZED;
    Show(show);
    UpdateWindow(hwnd_);
}

void Form::Show(int show_command) {
    ShowWindow(hwnd_, show_command);
    if (first_show_seen_ || !hwnd_ || !IsWindowVisible(hwnd_)) return;
    first_show_seen_ = true;
    args_.on_first_shown();
}

DWORD Form::OwnExStyle() const {
    DWORD ex = args_.in_taskbar ? WS_EX_APPWINDOW : 0;
    if (args_.never_activated) ex |= WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW;
    return ex;
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
    ClipOverlappingInputs();
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
    const DWORD ex = (old_ex & ~frame_bits) | (styles.ex_style & frame_bits) | OwnExStyle();
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
    ApplyTopmost();
}

// HWND_NOTOPMOST alone would leave the window at the top of the ordinary windows, above the one
// it gives way to: it goes straight after that window, which takes it out of the band as well.
// A window in front that is topmost itself is another matter: after it the window would stay
// in the band, and below the band it lies beneath it already.
void Form::ApplyTopmost() {
    if (!hwnd_) return;
    const UINT flags = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE;
    HWND front = topmost_ && args_.topmost_gives_way_to ? args_.topmost_gives_way_to() : nullptr;
    if (front && !(GetWindowLongW(front, GWL_EXSTYLE) & WS_EX_TOPMOST)) {
        // Upwards through the z-order, bounded: the order may change during the walk.
        HWND above = GetWindow(hwnd_, GW_HWNDPREV);
        for (int steps = 0; above && steps < 10000; ++steps, above = GetWindow(above, GW_HWNDPREV))
            if (above == front) return;
        // An owned window stays above its owner: the hidden owner goes below the window first.
        HWND owner = GetWindow(hwnd_, GW_OWNER);
        if (owner && !IsWindowVisible(owner)) SetWindowPos(owner, front, 0, 0, 0, 0, flags);
        SetWindowPos(hwnd_, front, 0, 0, 0, 0, flags);
        return;
    }
    const bool in_band = (GetWindowLongW(hwnd_, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    if (in_band != (topmost_ && !front))
        SetWindowPos(hwnd_, in_band ? HWND_NOTOPMOST : HWND_TOPMOST, 0, 0, 0, 0, flags);
}

bool Form::visible() const { return hwnd_ && IsWindowVisible(hwnd_); }

void Form::SetVisible(bool visible) {
    if (!hwnd_) return;
    if (!visible || !args_.never_activated) {
        Show(visible ? SW_SHOW : SW_HIDE);
        return;
    }
    // Shown on top of the other windows of its band, as an activated window would be, or
    // where it was when it gives way to a window in front.
    const bool gives_way = topmost_ && args_.topmost_gives_way_to && args_.topmost_gives_way_to();
    SetWindowPos(
        hwnd_, HWND_TOP, 0, 0, 0, 0,
        SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW | (gives_way ? SWP_NOZORDER : 0));
    Show(SW_SHOWNA);
    if (gives_way) ApplyTopmost();
}

void Form::SetDisabled(bool disabled) {
    if (hwnd_) EnableWindow(hwnd_, !disabled);
}

void Form::SetBackgroundColour(COLORREF colour) {
    background_colour_ = colour;
    has_background_colour_ = true;
    if (hwnd_) RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void Form::ResetBackgroundColour() {
    has_background_colour_ = false;
    if (hwnd_) RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
}

// Every control drops what it drew ahead from the old colours or style, the platform's
// controls hear of new colours too (only top-level windows get WM_SYSCOLORCHANGE, and
// common controls want it passed on), and everything is painted again.
void Form::OnSchemeChanged(UINT message, WPARAM wparam, LPARAM lparam) {
    for (Control* c : controls_) {
        c->OnSchemeChanged();
        if (message == WM_SYSCOLORCHANGE && c->hwnd_)
            SendMessageW(c->hwnd_, message, wparam, lparam);
    }
    RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN);
    args_.on_colours_changed();
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
    constexpr size_t kLargestPictureCopyKept = 256 * 1024;
    if (read_picture_again_ && picture_.size() > kLargestPictureCopyKept) {
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
    if (hwnd_) ShowWindow(hwnd_, args_.never_activated ? SW_SHOWNOACTIVATE : SW_RESTORE);
}

LRESULT CALLBACK Form::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        auto* form = static_cast<Form*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
        form->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* form = reinterpret_cast<Form*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!form) return DefWindowProcW(hwnd, message, wparam, lparam);
    std::optional<CommonControlsScope> themed;
    if (form->common_controls_) themed.emplace();  // the message boxes of its handlers
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
    if (LRESULT result = 0;
        args_.on_message && args_.on_message(message, wparam, lparam, &result)) {
        return result;
    }
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
        case WM_MOUSEACTIVATE:
            // A click on the window or its labels acts without taking the focus.
            if (args_.never_activated) return MA_NOACTIVATE;
            break;
        case WM_ACTIVATE:
            if (LOWORD(wparam) != WA_INACTIVE) {
                if (!first_activation_seen_) {
                    first_activation_seen_ = true;
                    args_.on_first_activated();
                }
                args_.on_activated();
            } else {
                // Coming back, the window gives the focus to the control that had it, as a
                // dialog does (the platform then sets it on the window itself: WM_SETFOCUS).
                if (HWND focus = GetFocus(); focus && IsChild(hwnd, focus)) last_focus_ = focus;
                args_.on_deactivated();
            }
            break;
        case WM_SETFOCUS:
            FocusFirstControl();
            return 0;
        case WM_CLOSE:
            if (args_.on_may_close && !args_.on_may_close()) return 0;
            DestroyWindow(hwnd);
            return 0;
        case WM_DESTROY:
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
            } else if (HIWORD(wparam) == 0 && OnDialogCommand(LOWORD(wparam))) {
                return 0;
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
        case WM_TIMECHANGE: args_.on_clock_changed(); return 0;
        case WM_DISPLAYCHANGE:
            args_.on_screens_changed();
            if (args_.on_screens_changed)
                SetTimer(hwnd, kScreensSettledTimer, kScreensSettleMs, nullptr);
            break;
        case WM_SETTINGCHANGE:
            if (wparam == SPI_SETWORKAREA) args_.on_screens_changed();
            if (wparam == SPI_SETHIGHCONTRAST) args_.on_colours_changed();
            break;
        case WM_SYSCOLORCHANGE:
        case WM_THEMECHANGED:
            OnSchemeChanged(message, wparam, lparam);
            break;
        case WM_POWERBROADCAST:
            if (wparam == PBT_APMRESUMEAUTOMATIC || wparam == PBT_APMRESUMESUSPEND) args_.on_clock_changed();
            return TRUE;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

void Form::FocusFirstControl() {
    const auto can_take_focus = [](HWND control) {
        return control && IsWindowVisible(control) && IsWindowEnabled(control);
    };
    HWND target = nullptr;
    if (last_focus_ && IsChild(hwnd_, last_focus_) && can_take_focus(last_focus_)) {
        target = last_focus_;
    } else if (HWND button = ButtonPressedBy(IDOK); can_take_focus(button)) {
        target = button;
    } else {
        target = FirstTabStop(hwnd_);
    }
    if (target) SetFocus(target);
}

// Enter presses the focused button, else the default one; Esc presses the cancel button.
// Without such a button the key does nothing, so it never closes a window by accident.
bool Form::OnDialogCommand(WORD id) {
    const auto press = [](HWND button) {
        if (!button || !IsWindowEnabled(button)) return false;
        SendMessageW(button, BM_CLICK, 0, 0);
        return true;
    };
    if (id != IDOK && id != IDCANCEL) return false;
    HWND focus = GetFocus();
    const bool on_button =
        focus && IsChild(hwnd_, focus) &&
        (SendMessageW(focus, WM_GETDLGCODE, 0, 0) & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON));
    if (id == IDOK && on_button) return press(focus);
    return press(ButtonPressedBy(id));
}

void Form::ClipOverlappingInputs() {
    struct Input {
        Control* control;
        RECT place;
    };
    std::vector<Input> inputs;
    for (Control* c : controls_) {
        if (c->handle() && (GetWindowLongW(c->handle(), GWL_STYLE) & WS_TABSTOP)) {
            inputs.push_back({c, c->ClientRect()});
        }
    }
    const auto area = [](const RECT& r) { return (r.right - r.left) * (r.bottom - r.top); };
    for (const Input& larger : inputs) {
        const RECT& outer = larger.place;
        HRGN region = nullptr;
        for (const Input& smaller : inputs) {
            RECT shared;
            if (smaller.control->container_ != larger.control->container_ ||
                area(smaller.place) >= area(outer) ||
                !IntersectRect(&shared, &outer, &smaller.place)) {
                continue;
            }
            if (!region)
                region = CreateRectRgn(0, 0, outer.right - outer.left, outer.bottom - outer.top);
            OffsetRect(&shared, -outer.left, -outer.top);
            HRGN cut = CreateRectRgnIndirect(&shared);
            CombineRgn(region, region, cut, RGN_DIFF);
            DeleteObject(cut);
        }
        if (region) SetWindowRgn(larger.control->handle(), region, TRUE);  // the window owns it
    }
}

HWND Form::ButtonPressedBy(WORD dialog_key) const {
    for (const Control* control : controls_) {
        if (control->PressedBy(dialog_key)) return control->handle();
    }
    return nullptr;
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
        // Tab and Shift+Tab move through the controls as in a dialog, and wrap around; Enter
        // and Esc send IDOK and IDCANCEL (OnDialogCommand).
        return form->border_ != Border::None && IsDialogMessageW(root, &msg);
    }
    return false;
}

void RunMessageLoop() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) HandleMessage(msg);
}

}  // namespace tq::forms
