#include "forms/model.h"

#include <algorithm>
#include <cstring>

#include "forms/internal.h"
#include "runtime/facilities.h"

namespace tq::forms {

namespace {

constexpr wchar_t kTransparentLabelClass[] = L"TorvekQuindleTransparentLabel";

// Sets a property's value and tells whether it changed. Setters repaint only on a change:
// the look is applied property by property, mostly with the values a control already has.
template <typename T, typename V>
bool Change(T& field, V value) {
    if (field == static_cast<T>(value)) return false;
    field = static_cast<T>(value);
    return true;
}

}  // namespace

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
        wc.lpszClassName = kTransparentLabelClass;
        RegisterClassExW(&wc);
    }
    ResetCommonState();
    ResetState();
    FontChanged();
    hwnd_ = CreateChild(form_window, kTransparentLabelClass, caption_, 0, WS_EX_TRANSPARENT, false);
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
    // Other programs (screen readers, the end-to-end driver) read the caption with
    // WM_GETTEXT, which the label answers. Setting the window text instead would announce a
    // new name to every screen reader at each tick of the time label.
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
        case WM_GETTEXTLENGTH:
            if (label) return static_cast<LRESULT>(label->wide_caption_.size());
            break;
        case WM_GETTEXT:
            if (label && wparam > 0 && lparam) {
                const size_t length = std::min<size_t>(label->wide_caption_.size(), wparam - 1);
                auto* text = reinterpret_cast<wchar_t*>(lparam);
                std::memcpy(text, label->wide_caption_.data(), length * sizeof(wchar_t));
                text[length] = L'\0';
                return static_cast<LRESULT>(length);
            }
            break;
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

}  // namespace tq::forms
