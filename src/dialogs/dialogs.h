// The settings window and the about window: opening them and the handlers of their
// controls.
#pragma once

namespace tq {

// ---- Settings window ---------------------------------------------------------------------

// Created: switches the main window's always-on-top off and fills every control.
void LoadSettingsWindow();
// About to be destroyed: restores the main window's always-on-top from the settings.
void RestoreTopmostAfterSettings();

void ApplySettings();          // 应用
void ApplyAndCloseSettings();  // 确定
void CancelSettings();         // 取消
void RestoreDefaults();        // 默认设置

void PreviewTransparency();      // the transparency slider moved
void ChooseBackgroundPicture();  // 浏览
void RestoreDefaultPicture();    // 恢复默认

void OnCentreCheckClicked();
void OnLeftBoxChanged();
void OnTopBoxChanged();
void OnWidthBoxChanged();
void OnHeightBoxChanged();
// `step` is +1 for the upper arrow, -1 for the lower one.
void OnLeftSpinner(int step);
void OnTopSpinner(int step);
void OnWidthSpinner(int step);
void OnHeightSpinner(int step);
void OnAccuracyChanged();
void OnShapeChanged();
void OnAllowBelowZeroClicked();

// ---- About window ------------------------------------------------------------------------

// The contact lines under the about text: e-mail address, instant-messaging number, motto.
inline constexpr char kAboutContactLines[] =
    "torvekquindle@example.org\r\nQQ: 10000\r\n前进！同志，从一个胜利走向另一个胜利！";

void OpenAboutWindow();
// Created: fills the window caption, the heading and the about text.
void LoadAboutWindow();
void OpenBlogPage();      // Torvek博客
void CloseAboutWindow();  // 确定

}  // namespace tq
