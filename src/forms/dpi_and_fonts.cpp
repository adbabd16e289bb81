#include "forms/model.h"

#include "forms/controls.h"
#include "runtime/facilities.h"

namespace tq::forms {

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
    LOGFONTA font = FromPlatformFont(system);
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
    const LOGFONTW font = ToPlatformFont(description);
    return CreateFontIndirectW(&font);
}

// ---- ControlFont ------------------------------------------------------------------------

void ControlFont::Make(const std::optional<FontSpec>& description, Control& owner) {
    if (!owner_) owner.form().fonts_.push_back(this);
    owner_ = &owner;
    description_ = description;
    MakeAtDpi(owner.form().dpi());
}

// At the system's DPI a control without a font of its own shares the stock GUI font.
void ControlFont::MakeAtDpi(int dpi) {
    Release();
    if (description_) {
        owned_ = CreateFontFrom(MakeLogFont(*description_, dpi));
    } else if (dpi != SystemDpi()) {
        owned_ = CreateFontFrom(DefaultGuiFont(dpi));
    }
}

void RescaleControlFont(ControlFont& font) {
    if (!font.owner_) return;
    HWND window = font.owner_->handle();
    // The window keeps drawing with the old font until it is told of the new one.
    HFONT old = font.owned_;
    font.owned_ = nullptr;
    font.MakeAtDpi(font.owner_->form().dpi());
    if (window) {
        SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font.handle()), TRUE);
        InvalidateRect(window, nullptr, TRUE);  // the program's own classes paint on request
    }
    if (old) DeleteObject(old);
}

void ControlFont::Release() {
    if (owned_) DeleteObject(owned_);
    owned_ = nullptr;
}

HFONT ControlFont::handle() const {
    return owned_ ? owned_ : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

}  // namespace tq::forms
