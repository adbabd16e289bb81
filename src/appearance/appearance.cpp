#include "appearance/appearance.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/globals.h"
#include "appearance/placement.h"
#include "countdown/countdown.h"
#include "forms/forms.h"
#include "runtime/facilities.h"
#include "runtime/font_names.h"
#include "runtime/value.h"
#include "settings/picture_store.h"
#include "settings/settings_file.h"

namespace tq {

namespace {

// A stored family may be named in another language than the system's (Apply stores it as
// the font list shows it at that time): the platform's font mapping takes the family's
// English name and its name in the system's language, and FontFaceFor gives the listed name
// of a family the settings window has found by another name in this run. It reads nothing.
std::string LabelFace(const SettingKey& fontname) { return FontFaceFor(ReadSetting(fontname)); }

// The stored colour of a label's text, or the scheme's window text in high contrast.
COLORREF LabelColour(const keys::FontKeys& keys) {
    const auto stored = static_cast<COLORREF>(ReadInteger(keys.color));
    return HighContrastOn() ? GetSysColor(COLOR_WINDOWTEXT) : stored;
}

void ApplyLabel(forms::TransparentLabel& label, const keys::FontKeys& keys, bool is_title) {
    label.SetFontFace(LabelFace(keys.fontname));
    label.SetFontSize(ReadInteger(keys.size));
    label.SetColour(LabelColour(keys));
    label.SetBold(ReadFlag(keys.bold));
    label.SetItalic(ReadFlag(keys.italic));
    if (is_title) {
        // The stored title sits between two underscores so that its blanks survive the
        // platform's trimming: drop the last byte, then the first.
        label.SetCaption(ReadSetting(keys::maintitle));
        const std::string stored = label.caption();
        const std::string without_last = LeftPart(stored, static_cast<int>(stored.size()) - 1);
        label.SetCaption(RightPart(without_last, static_cast<int>(without_last.size()) - 1));
    }
    label.SetAlign(static_cast<forms::HAlign>(ReadInteger(keys.alignment)));
    label.SetTop(ReadInteger(keys.top));
    label.SetLeft(ReadInteger(keys.left));
    label.SetWidth(ReadInteger(keys.width));
    label.SetHeight(ReadInteger(keys.hight));
}

void SetLabelsAntialiased(bool antialiased) {
    main_window.标题标签.SetAntialiased(antialiased);
    main_window.时间标签.SetAntialiased(antialiased);
}

// The window shows the high-contrast look (set only by ShowOpacity).
bool in_high_contrast = false;

// Shows the window as opacity_setting asks: the picture at that opacity (`reload` reads
// background.pic again even when a picture is shown), or colour-key mode keeping the two
// colours; while high contrast is on, opaque in the scheme's window colour without picture.
void ShowOpacity(bool reload, COLORREF avoid_a, COLORREF avoid_b) {
    if (HighContrastOn()) {
        in_high_contrast = true;
        main_window.RemovePicture();
        main_window.SetBackgroundColour(GetSysColor(COLOR_WINDOW));
        SetLabelsAntialiased(true);
        SetWindowTransparency(main_window_handle, 255);
        return;
    }
    if (in_high_contrast) {
        in_high_contrast = false;
        main_window.ResetBackgroundColour();
        reload = true;
    }
    if (opacity_setting < 2) {
        EnterColourKeyMode(avoid_a, avoid_b);
        return;
    }
    if (reload || main_window.picture_removed()) {
        main_window.SetPicture(LoadBackgroundPicture(), LoadBackgroundPicture);
        SetLabelsAntialiased(true);
    }
    SetWindowTransparency(main_window_handle, opacity_setting);
}

BOOL CALLBACK AddWorkArea(HMONITOR monitor, HDC, LPRECT, LPARAM areas) {
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    if (GetMonitorInfoW(monitor, &info)) {
        const RECT& r = info.rcWork;
        reinterpret_cast<std::vector<Box>*>(areas)->push_back({r.left, r.top, r.right, r.bottom});
    }
    return TRUE;
}

std::vector<Box> WorkAreas() {
    std::vector<Box> areas;
    EnumDisplayMonitors(nullptr, nullptr, AddWorkArea, reinterpret_cast<LPARAM>(&areas));
    return areas;
}

// The scale a monitor shows a per-monitor aware window at. Before Windows 8.1 there is no
// such function, and every monitor has the system's scale, the main window's own.
BOOL CALLBACK AddMonitorScale(HMONITOR monitor, HDC, LPRECT area, LPARAM monitors) {
    using GetDpiForMonitorFunction = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
    static const auto get_dpi_for_monitor =
        LibraryFunction<GetDpiForMonitorFunction>(L"shcore.dll", "GetDpiForMonitor");
    UINT dpi_x = 0, dpi_y = 0;
    const int effective_dpi = 0;  // MDT_EFFECTIVE_DPI
    const bool known = get_dpi_for_monitor &&
                       SUCCEEDED(get_dpi_for_monitor(monitor, effective_dpi, &dpi_x, &dpi_y)) &&
                       dpi_y > 0;
    reinterpret_cast<std::vector<MonitorScale>*>(monitors)->push_back(
        {{area->left, area->top, area->right, area->bottom},
         known ? static_cast<int>(dpi_y) : main_window.dpi()});
    return TRUE;
}

std::vector<MonitorScale> MonitorScales() {
    std::vector<MonitorScale> monitors;
    EnumDisplayMonitors(nullptr, nullptr, AddMonitorScale, reinterpret_cast<LPARAM>(&monitors));
    return monitors;
}

Box BoxOf(const forms::Rect& r) {
    return {r.left, r.top, int64_t{r.left} + r.width, int64_t{r.top} + r.height};
}

// A box the platform can take: a window larger than the 32-bit range (only a stored size
// near its end, shown at a scale above 100 %, makes one) is cut to it.
forms::Rect RectOf(const Box& b) {
    const auto fit = [](int64_t v) {
        return static_cast<int>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
    };
    return {fit(b.left), fit(b.top), fit(b.width()), fit(b.height())};
}

// Where the main window was before it had to be moved within reach, and where it was put
// then, in the screen's pixels like the work areas: when it still stands there at the next change
// of the screens, it goes back to its place if that is reachable again. Anything else that moves it
// ends the arrangement.
std::optional<Box> place_out_of_reach;
forms::Rect place_within_reach;

// Puts the window at `wanted` (pixels), or within reach of the user when `wanted` is not.
void PlaceWithinReach(const Box& wanted) {
    const forms::Rect place = RectOf(ReachablePlace(wanted, WorkAreas()));
    place_out_of_reach.reset();
    if (!(BoxOf(place) == wanted)) {
        place_out_of_reach = wanted;
        place_within_reach = place;
    }
    main_window.SetPixelRect(place);
    // Moved onto a monitor of another scale, the window is rescaled to the rectangle Windows
    // suggests, which need not keep its corner: the corner goes back to the place.
    const forms::Rect now = main_window.pixel_rect();
    if (now.left != place.left || now.top != place.top) {
        main_window.SetPixelRect({place.left, place.top, now.width, now.height});
    }
}

}  // namespace

void ApplyLabelSettings() {
    ApplyLabel(main_window.标题标签, keys::mtfont, true);
    ApplyLabel(main_window.时间标签, keys::ttfont, false);
}

void ApplyWindowSettings() {
    AddLayeredStyle(main_window_handle);
    main_window.SetWidth(ReadInteger(keys::winwidth));
    main_window.SetHeight(ReadInteger(keys::winhight));
    main_window.SetTitle(ReadSetting(keys::wintitle));
    opacity_setting = TruncateLow16(ToNumber(ReadSetting(keys::transparency)));
    ShowOpacity(true, main_window.标题标签.colour(), main_window.时间标签.colour());
    const bool topmost = ReadFlag(keys::main_top);
    WatchFullScreenPrograms(topmost);
    main_window.SetTopmost(topmost);
    if (ReadFlag(keys::winshape)) {
        main_window.SetShape(forms::Shape::RoundedRectangle);
        main_window.SetBorder(forms::Border::None);
    } else {
        main_window.SetShape(forms::Shape::Rectangle);
        main_window.SetBorder(forms::Border::ToolResizable);
    }
    ApplyWindowPosition();
    allow_below_zero = ReadFlag(keys::limit);
}

void ApplyWindowPosition() {
    if (ReadFlag(keys::winmid)) {  // "0": the stored position, moved within reach when off-screen
        // The place is a point of the virtual screen in pixels; the size keeps its units.
        const forms::Rect units = main_window.rect();
        PlaceWithinReach(StoredPlace(ReadInteger(keys::winleft), ReadInteger(keys::wintop),
                                     units.width, units.height, MonitorScales()));
        return;
    }
    CentreMainWindow();
}

void CentreMainWindow() {
    // Centring waits until the window is on screen: at start-up its first showing runs
    // ApplyWindowPosition again.
    if (!main_window.visible()) return;
    if (main_window.minimised() || main_window.maximised()) main_window.Restore();
    main_window.Centre();
    PlaceWithinReach(BoxOf(main_window.pixel_rect()));
}

void KeepMainWindowWithinReach() {
    const forms::Rect now = main_window.pixel_rect();
    PlaceWithinReach(place_out_of_reach && now == place_within_reach ? *place_out_of_reach
                                                                     : BoxOf(now));
}

void PreviewTransparency() {
    opacity_setting = static_cast<int16_t>(settings_window.主窗口透明度滑块条.position());
    // The colours being edited, not yet applied to the labels, must stay visible.
    ShowOpacity(false, settings_window.标题标签颜色选择.colour(),
                settings_window.时间标签颜色选择.colour());
}

void EnterColourKeyMode(COLORREF avoid_a, COLORREF avoid_b) {
    main_window.RemovePicture();
    AddLayeredStyle(main_window_handle);
    COLORREF key = 0;
    while (key == avoid_a || key == avoid_b) ++key;
    main_window.SetBackgroundColour(key);
    SetLabelsAntialiased(false);
    SetLayeredAttributes(main_window_handle, key, 0, LWA_COLORKEY);
}

bool HighContrastOn() {
    if (high_contrast_probe) return high_contrast_probe();
    HIGHCONTRASTW scheme{};
    scheme.cbSize = sizeof(scheme);
    return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(scheme), &scheme, 0) &&
           (scheme.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

void ApplyColourScheme() {
    main_window.标题标签.SetColour(LabelColour(keys::mtfont));
    main_window.时间标签.SetColour(LabelColour(keys::ttfont));
    if (HighContrastOn() || in_high_contrast)
        ShowOpacity(false, main_window.标题标签.colour(), main_window.时间标签.colour());
}

}  // namespace tq
