#include "dialogs/dialogs.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <string>

#include <windows.h>

#include "app/globals.h"
#include "appearance/appearance.h"
#include "countdown/countdown.h"
#include "forms/forms.h"
#include "resources/version.h"
#include "runtime/facilities.h"
#include "runtime/font_names.h"
#include "runtime/value.h"
#include "settings/file_places.h"
#include "settings/picture_store.h"
#include "settings/settings_file.h"
#include "settings/startup_and_defaults.h"
#include "tray/tray.h"

namespace tq {

namespace {

// The families of installed_fonts that the platform reports with an East Asian character set:
// the only ones whose own tables a stored name that the list does not hold is looked for in.
std::set<std::string> east_asian_fonts;

// The controls of one label's group on the text page and the keys they carry. The title
// group also has the title text; the time group's content box is fixed and never read.
struct LabelGroup {
    forms::ComboBox& font;
    forms::ColourPicker& colour;
    forms::EditBox& size;
    forms::CheckBox& bold;
    forms::CheckBox& italic;
    forms::ComboBox& alignment;
    forms::EditBox& left;
    forms::EditBox& top;
    forms::EditBox& width;
    forms::EditBox& height;
    forms::EditBox* title;
    const keys::FontKeys& keys;
};

LabelGroup TitleGroup() {
    auto& w = settings_window;
    return {w.标题标签字体组合框,     w.标题标签颜色选择,       w.标题标签字号设置框,
            w.标题标签字体加粗勾选框, w.标题标签字体倾斜勾选框, w.标题标签对齐方式设置框,
            w.标题标签左位置设置框,   w.标题标签上位置设置框,   w.标题标签宽度设置框,
            w.标题标签高度设置框,     &w.标题标签内容设置框,    keys::mtfont};
}

LabelGroup TimeGroup() {
    auto& w = settings_window;
    return {w.时间标签字体组合框,
            w.时间标签颜色选择,
            w.时间标签字号设置框,
            w.时间标签字体加粗勾选框,
            w.时间标签字体倾斜勾选框,
            w.时间标签对齐方式设置框,
            w.时间标签左位置设置框,
            w.时间标签上位置设置框,
            w.时间标签宽度设置框,
            w.时间标签高度设置框,
            nullptr,
            keys::ttfont};
}

const char* FlagText(bool on) { return on ? "1" : "0"; }

// A box's text as the number it starts with (0 when none), truncated toward zero.
int32_t BoxNumber(const forms::EditBox& box) { return TruncateLow32(ToNumber(box.content())); }

// A stored index selects its item only when the list has one; otherwise nothing is
// selected, which the font fallback and the refresh-box rule then see.
void SelectStoredIndex(forms::ComboBox& combo, const SettingKey& key) {
    const int32_t index = ReadInteger(key);
    combo.SetIndex(index < combo.count() ? index : -1);
}

// The stored font is found by its name: the list changes when fonts are installed or
// removed, and its order follows the system's language, so a stored index alone may point
// at another font. The name may also be the family's name in another language (the list
// shows the English name where the system's language is not the font's), which only the
// fonts' own name tables know (FindFontFamilyByAnyName reads those of the East Asian
// families once per run, and only for a name the list does not hold). A name no font has
// falls back to the stored index; without that the first font called 宋体 is taken, and when
// none is, the last font.
void SelectFont(forms::ComboBox& combo, const keys::FontKeys& keys) {
    const std::string name =
        ReadSetting(SettingsFilePath(), keys.fontname.section, keys.fontname.key, "");
    if (const int found = FindFontFamilyByAnyName(installed_fonts, east_asian_fonts, name);
        found >= 0) {
        combo.SetIndex(found);
        return;
    }
    SelectStoredIndex(combo, keys.fontloc);
    if (combo.index() >= 0) return;
    const auto songti = std::find(installed_fonts.begin(), installed_fonts.end(), "宋体");
    combo.SetIndex(static_cast<int>(songti - installed_fonts.begin()) -
                   (songti == installed_fonts.end() ? 1 : 0));
}

void LoadLabelGroup(const LabelGroup& g) {
    g.colour.SetColour(static_cast<COLORREF>(ReadInteger(g.keys.color)));
    SelectFont(g.font, g.keys);
    g.size.SetContent(ReadSetting(g.keys.size));
    g.left.SetContent(ReadSetting(g.keys.left));
    g.top.SetContent(ReadSetting(g.keys.top));
    g.bold.SetChecked(ReadFlag(g.keys.bold));
    g.italic.SetChecked(ReadFlag(g.keys.italic));
    if (g.title) {
        // The title is stored between two underscores so that its blanks survive the
        // platform's trimming: the last byte goes, then the first, whatever they are.
        const std::string stored = ReadSetting(keys::maintitle);
        const std::string without_last = LeftPart(stored, static_cast<int>(stored.size()) - 1);
        g.title->SetContent(RightPart(without_last, static_cast<int>(without_last.size()) - 1));
    }
    SelectStoredIndex(g.alignment, g.keys.alignment);
    g.width.SetContent(ReadSetting(g.keys.width));
    g.height.SetContent(ReadSetting(g.keys.hight));
}

void SaveLabelGroup(const LabelGroup& g) {
    WriteSetting(g.keys.fontloc, IntegerToText(g.font.index()));
    WriteSetting(g.keys.fontname, g.font.content());
    WriteSetting(g.keys.size, g.size.content());
    WriteSetting(g.keys.color, IntegerToText(g.colour.colour()));
    WriteSetting(g.keys.bold, FlagText(g.bold.checked()));
    WriteSetting(g.keys.italic, FlagText(g.italic.checked()));
    // Built by appending: GCC 12 raises a false -Wrestrict on "_" + text + "_".
    if (g.title)
        WriteSetting(keys::maintitle, std::string("_").append(g.title->content()).append("_"));
    WriteSetting(g.keys.alignment, IntegerToText(g.alignment.index()));
    WriteSetting(g.keys.top, g.top.content());
    WriteSetting(g.keys.left, g.left.content());
    WriteSetting(g.keys.width, g.width.content());
    WriteSetting(g.keys.hight, g.height.content());
}

void ShowPictureHint(std::string_view height, std::string_view width) {
    settings_window.背景图片提示.SetCaption(
        "注：背景图片将以拉伸方式呈现，请您尽量选择接近现行窗口大小 " + std::string(height) +
        " * " + std::string(width) + " 的图片作为背景图片。");
}

void EnableDefaultsButton() {
    settings_window.恢复默认设置按钮.SetDisabled(!FileExists(PathInUse(kSettingsFileName)));
}

void EnableRefreshBox() {
    settings_window.刷新时间间隔_编辑框.SetDisabled(settings_window.精确度.index() != 0);
}

// An hour, minute or second outside 0..highest (with a hair of tolerance) becomes "0".
void ResetWhenOutOfRange(forms::EditBox& box, double highest) {
    const double x = ToNumber(box.content());
    if (x - highest > 0.0000001 || x < -0.0000001) box.SetContent("0");
}

// What 应用 and 取消 (also at the end of a restore of the defaults) share once the file holds
// what counts: the main window, the countdown, the tray tip and the defaults button follow it.
void ReapplyStoredSettings() {
    ApplyLabelSettings();
    ApplyWindowSettings();
    ApplyCountdownSettings(true);
    RefreshTrayIcon();
    EnableDefaultsButton();
}

// 应用; false when setting.ini could not be written, which the user has been told.
bool SaveAndApply() {
    failed_setting_writes = 0;
    unreadable_setting_saves = 0;
    {
        SettingsSave save;
        SaveTitleLabelSettings();
        SaveTimeLabelSettings();
        SaveWindowSettings();
        RegisterStartup();
    }
    ReapplyStoredSettings();
    main_window.SetTopmost(false);  // restored when the settings window goes
    if (failed_setting_writes == 0) return true;
    if (unreadable_setting_saves > 0) {
        ShowMessageBox(
            "设置未能保存！setting.ini 存在但无法读取（可能正被其他程序占用、是尚未下载到本机的云端文"
            "件，或大于 32 MB），为免其中原有的内容丢失，本次没有写入。请解决后再按“应用”，您的修改仍"
            "保留在设置窗口中。",
            MB_OK | MB_ICONEXCLAMATION, "警示信息");
        return false;
    }
    ShowMessageBox(
        "设置未能保存！setting.ini "
        "可能是只读文件、所在文件夹不允许写入，或正被其他程序占用。请解决后再按“应用”，您的修改仍保"
        "留在设置窗口中。",
        MB_OK | MB_ICONEXCLAMATION, "警示信息");
    return false;
}

// After a live change of place or size, centred when asked. A place typed into a box (or a
// stored one the page shows) never takes the main window out of reach: it has no frame
// and no taskbar button to get it back with.
void FollowLiveChange() {
    if (settings_window.窗口居中勾选框.checked()) CentreMainWindow();
    KeepMainWindowWithinReach();
}

void SetMainWindow(void (forms::Form::*set)(int), const forms::EditBox& box) {
    (main_window.*set)(BoxNumber(box));
    FollowLiveChange();
}

// A spinner's arrow: the main window's coordinate becomes the box's number plus the step
// (added before truncation), and the box shows where the window really went.
void StepMainWindow(forms::EditBox& box, int step, void (forms::Form::*set)(int),
                    int forms::Rect::*coordinate) {
    (main_window.*set)(TruncateLow32(ToNumber(box.content()) + step));
    FollowLiveChange();
    box.SetContent(IntegerToText(main_window.rect().*coordinate));
}

// The window opens in front, where the keys the user types go to it; opened again from the
// tray, it comes to the front instead of a second copy.
void OpenOrBringToFront(forms::Form& window) {
    if (!window.loaded()) {
        window.Load();
    } else if (window.minimised()) {
        window.Restore();
    }
    if (window.loaded()) SetForegroundWindow(window.handle());
}

}  // namespace

// ---- Settings window ---------------------------------------------------------------------

void OpenSettingsWindow() { OpenOrBringToFront(settings_window); }

void LoadSettingsWindow() {
    main_window.SetTopmost(false);
    LoadTextPage();
    LoadWindowPage();
    LoadTimeSettings();
}

void LoadTextPage() {
    auto& w = settings_window;
    FontFamilies fonts = ListFontFamilies();
    installed_fonts = std::move(fonts.names);
    east_asian_fonts = std::move(fonts.east_asian);
    w.标题标签字体组合框.AddItems(installed_fonts);
    w.时间标签字体组合框.AddItems(installed_fonts);
    LoadLabelGroup(TitleGroup());
    LoadLabelGroup(TimeGroup());
}

void LoadWindowPage() {
    auto& w = settings_window;
    w.主窗口透明度滑块条.SetPosition(ReadInteger(keys::transparency));
    if (ReadSetting(keys::winmid) == "0") {
        w.主窗口上位置设置框.SetDisabled(false);
        w.主窗口左位置设置框.SetDisabled(false);
        w.窗口居中勾选框.SetChecked(false);
    }
    w.主窗口上位置设置框.SetContent(ReadSetting(keys::wintop, Reader::SettingsWindow));
    w.主窗口左位置设置框.SetContent(ReadSetting(keys::winleft, Reader::SettingsWindow));
    w.主窗口宽度设置框.SetContent(ReadSetting(keys::winwidth));
    w.主窗口高度设置框.SetContent(ReadSetting(keys::winhight));
    w.主界面外观_组合框.SetIndex(ReadInteger(keys::winshape));
    w.窗口托盘标题文字_编辑框.SetContent(ReadSetting(keys::wintitle));
    // The removed-picture marker and a window without picture never equal the built-in
    // picture; a large picture the window let go of is read again for the comparison.
    w.背景图片.SetCaption(main_window.picture() == DefaultPictureBytes() ? "背景图片：默认背景"
                                                                         : "背景图片：已设置");
    const forms::Rect r = main_window.rect();
    ShowPictureHint(IntegerToText(r.height), IntegerToText(r.width));
    EnableDefaultsButton();
}

void LoadTimeSettings() {
    auto& w = settings_window;
    // The picker edits a date only: a stored time of day is dropped, and a text that is no
    // date shows the default deadline's date.
    double date = TextToDateTime(ReadSetting(keys::deadline_date));
    if (date == kFailedDateTime) date = TextToDateTime(keys::deadline_date.default_text);
    w.倒计时目标设置框.SetValue(std::floor(date));
    w.小时单位_编辑框.SetContent(ReadSetting(keys::deadline_hour));
    w.分钟单位_编辑框.SetContent(ReadSetting(keys::deadline_min));
    w.秒钟单位_编辑框.SetContent(ReadSetting(keys::deadline_sec));
    w.总在最上_勾选框.SetChecked(ReadFlag(keys::main_top));
    w.开机启动_勾选框.SetChecked(ReadFlag(keys::startup));
    w.刷新时间间隔_编辑框.SetContent(ReadSetting(keys::refresh));
    SelectStoredIndex(w.精确度, keys::accuracy);
    EnableRefreshBox();
    w.倒计时数值限制_勾选框.SetChecked(ReadFlag(keys::limit));
}

void RestoreTopmostAfterSettings() {
    if (ReadFlag(keys::main_top)) main_window.SetTopmost(true);
}

void SaveTitleLabelSettings() { SaveLabelGroup(TitleGroup()); }
void SaveTimeLabelSettings() { SaveLabelGroup(TimeGroup()); }

void SaveWindowSettings() {
    auto& w = settings_window;
    WriteSetting(keys::transparency, IntegerToText(opacity_setting));
    WriteSetting(keys::winwidth, w.主窗口宽度设置框.content());
    WriteSetting(keys::winhight, w.主窗口高度设置框.content());
    WriteSetting(keys::wintop, w.主窗口上位置设置框.content());
    WriteSetting(keys::winleft, w.主窗口左位置设置框.content());
    ResetWhenOutOfRange(w.小时单位_编辑框, 23);
    ResetWhenOutOfRange(w.分钟单位_编辑框, 59);
    ResetWhenOutOfRange(w.秒钟单位_编辑框, 59);
    WriteSetting(keys::deadline_date, DateTimeToText(std::floor(w.倒计时目标设置框.value())));
    WriteSetting(keys::deadline_hour, w.小时单位_编辑框.content());
    WriteSetting(keys::deadline_min, w.分钟单位_编辑框.content());
    WriteSetting(keys::deadline_sec, w.秒钟单位_编辑框.content());
    if (!(ToNumber(w.刷新时间间隔_编辑框.content()) > 0.0000001))
        w.刷新时间间隔_编辑框.SetContent("1");
    WriteSetting(keys::refresh, w.刷新时间间隔_编辑框.content());
    const std::string shape = IntegerToText(w.主界面外观_组合框.index());
    if (ReadSetting(keys::winshape) != shape) {
        ShowMessageBox("对窗口外观的修改需要重启程序才能正常显示！", MB_OK, "警示信息");
    }
    WriteSetting(keys::winshape, shape);
    WriteSetting(keys::wintitle, w.窗口托盘标题文字_编辑框.content());
    WriteSetting(keys::accuracy, IntegerToText(w.精确度.index()));
    ShowPictureHint(w.主窗口高度设置框.content(), w.主窗口宽度设置框.content());
    WriteSetting(keys::winmid, FlagText(w.窗口居中勾选框.checked()));
    WriteSetting(keys::limit, FlagText(w.倒计时数值限制_勾选框.checked()));
    WriteSetting(keys::main_top, FlagText(w.总在最上_勾选框.checked()));
}

void ApplySettings() { SaveAndApply(); }

// A save that failed keeps the window open, so that nothing the user typed is lost.
void ApplyAndCloseSettings() {
    if (!SaveAndApply()) return;
    ProcessPendingMessages();
    settings_window.Close();
}

void CancelSettings() {
    ReapplyStoredSettings();
    ProcessPendingMessages();
    settings_window.Close();
}

// ---- Live handlers of the main-window page -----------------------------------------------

void OnCentreCheckClicked() {
    auto& w = settings_window;
    const bool centred = w.窗口居中勾选框.checked();
    w.主窗口上位置设置框.SetDisabled(centred);
    w.主窗口左位置设置框.SetDisabled(centred);
    if (!centred) {
        main_window.SetLeft(BoxNumber(w.主窗口左位置设置框));
        main_window.SetTop(BoxNumber(w.主窗口上位置设置框));
    }
    FollowLiveChange();
}

void OnLeftBoxChanged() {
    if (!settings_window.窗口居中勾选框.checked())
        SetMainWindow(&forms::Form::SetLeft, settings_window.主窗口左位置设置框);
}

void OnTopBoxChanged() {
    if (!settings_window.窗口居中勾选框.checked())
        SetMainWindow(&forms::Form::SetTop, settings_window.主窗口上位置设置框);
}

void OnWidthBoxChanged() {
    SetMainWindow(&forms::Form::SetWidth, settings_window.主窗口宽度设置框);
}

void OnHeightBoxChanged() {
    SetMainWindow(&forms::Form::SetHeight, settings_window.主窗口高度设置框);
}

void OnLeftSpinner(int step) {
    if (settings_window.窗口居中勾选框.checked()) return;
    StepMainWindow(settings_window.主窗口左位置设置框, step, &forms::Form::SetLeft,
                   &forms::Rect::left);
}

void OnTopSpinner(int step) {
    if (settings_window.窗口居中勾选框.checked()) return;
    StepMainWindow(settings_window.主窗口上位置设置框, step, &forms::Form::SetTop,
                   &forms::Rect::top);
}

void OnWidthSpinner(int step) {
    StepMainWindow(settings_window.主窗口宽度设置框, step, &forms::Form::SetWidth,
                   &forms::Rect::width);
}

void OnHeightSpinner(int step) {
    StepMainWindow(settings_window.主窗口高度设置框, step, &forms::Form::SetHeight,
                   &forms::Rect::height);
}

void OnAccuracyChanged() { EnableRefreshBox(); }

// A new shape takes effect through 应用, which warns that it needs a restart.
void OnShapeChanged() {}
// Read when saving.
void OnAllowBelowZeroClicked() {}

// ---- About window ------------------------------------------------------------------------

void OpenAboutWindow() {
    about_product = "TorvekQuindle";
    about_version = version_text;
    about_rights_holder = TQ_RIGHTS_HOLDER;
    about_years = TQ_COPYRIGHT_YEARS;
    OpenOrBringToFront(about_window);
}

void LoadAboutWindow() {
    about_window.SetTitle("关于 " + about_product);
    about_window.关于窗口主标签.SetCaption(about_product + " " + about_version);
    about_window.关于_内容.SetCaption("    " + about_product + " " + about_version +
                                      " 是一个桌面倒计时小工具。版权所有 (C) " + about_years + " " +
                                      about_rights_holder + "。");
}

void OpenBlogPage() { OpenWebAddress(kBlogAddress); }

void CloseAboutWindow() { about_window.Close(); }

}  // namespace tq
