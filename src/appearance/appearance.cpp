#include "appearance/appearance.h"

#include <string>

#include "app/globals.h"
#include "countdown/countdown.h"
#include "forms/forms.h"
#include "runtime/facilities.h"
#include "runtime/value.h"
#include "settings/picture_store.h"
#include "settings/settings_file.h"

namespace tq {

namespace {

void ApplyLabel(forms::TransparentLabel& label, const keys::FontKeys& keys, bool is_title) {
    label.SetFontFace(ReadSetting(keys.fontname));
    label.SetFontSize(ReadInteger(keys.size));
    label.SetColour(static_cast<COLORREF>(ReadInteger(keys.color)));
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
    if (opacity_setting < 2) {
        EnterColourKeyMode(main_window.标题标签.colour(), main_window.时间标签.colour());
    } else {
        main_window.SetPicture(LoadBackgroundPicture(), LoadBackgroundPicture);
        SetLabelsAntialiased(true);
        SetWindowTransparency(main_window_handle, opacity_setting);
    }
    main_window.SetTopmost(ReadFlag(keys::main_top));
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
    if (ReadFlag(keys::winmid)) {  // "0": the stored position
        main_window.SetLeft(ReadInteger(keys::winleft));
        main_window.SetTop(ReadInteger(keys::wintop));
        return;
    }
    CentreMainWindow();
}

void CentreMainWindow() {
    // Centring waits until the window is on screen: at start-up the first activation
    // runs ApplyWindowPosition again.
    if (!main_window.visible()) return;
    if (main_window.minimised() || main_window.maximised()) main_window.Restore();
    main_window.Centre();
}

void PreviewTransparency() {
    opacity_setting = static_cast<int16_t>(settings_window.主窗口透明度滑块条.position());
    if (opacity_setting > 1) {
        if (main_window.picture_removed()) {
            main_window.SetPicture(LoadBackgroundPicture(), LoadBackgroundPicture);
            SetLabelsAntialiased(true);
        }
        SetWindowTransparency(main_window_handle, opacity_setting);
    } else {
        // The colours being edited, not yet applied to the labels, must stay visible.
        EnterColourKeyMode(settings_window.标题标签颜色选择.colour(),
                           settings_window.时间标签颜色选择.colour());
    }
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

}  // namespace tq
