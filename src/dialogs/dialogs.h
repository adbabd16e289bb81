// The settings window and the about window: opening them, filling their controls, the
// live handlers of the main-window page, and saving, applying and cancelling the edits.
#pragma once

#include <string>
#include <vector>

namespace tq {

// ---- Settings window ---------------------------------------------------------------------

// The installed font families both font lists show; rebuilt at every opening. The
// position of a name in it is what `fontloc` stores.
inline std::vector<std::string> installed_fonts;

// The tray item 设置: opens the window, or brings the open one to the front.
void OpenSettingsWindow();

// Created: switches the main window's always-on-top off and fills every control.
void LoadSettingsWindow();
void LoadTextPage();
void LoadWindowPage();
void LoadTimeSettings();
// About to be destroyed: restores the main window's always-on-top from the settings.
void RestoreTopmostAfterSettings();

void SaveTitleLabelSettings();
void SaveTimeLabelSettings();
void SaveWindowSettings();
void ApplySettings();          // 应用
void ApplyAndCloseSettings();  // 确定
void CancelSettings();         // 取消

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

// The four texts the about window shows, set anew at every opening.
inline std::string about_product;
inline std::string about_version;
inline std::string about_rights_holder;
inline std::string about_years;

// The contact lines under the about text: e-mail address, instant-messaging number, motto.
inline constexpr char kAboutContactLines[] =
    "torvekquindle@example.org\r\nQQ: 10000\r\n前进！同志，从一个胜利走向另一个胜利！";
inline constexpr char kBlogAddress[] = "https://torvekquindle.example.org/blog";

// The tray item 关于: sets the four texts and opens the window, or brings the open one to
// the front.
void OpenAboutWindow();
// Created: fills the window caption, the heading and the about text.
void LoadAboutWindow();
void OpenBlogPage();      // Torvek博客
void CloseAboutWindow();  // 确定

}  // namespace tq
