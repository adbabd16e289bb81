// The settings window and the about window forms, read side by side with their tables: each
// member is a control with its geometry (relative to its group box or page), caption or
// items, limits, initial state, font and the routine each event runs. Members are declared
// in the order the keyboard focus visits them.
#pragma once

#include "appearance/appearance.h"
#include "dialogs/dialogs.h"
#include "forms/controls.h"
#include "forms/model.h"
#include "settings/picture_store.h"
#include "settings/startup_and_defaults.h"

namespace tq {

using forms::Button;
using forms::CheckBox;
using forms::ColourPicker;
using forms::ComboBox;
using forms::DatePicker;
using forms::EditBox;
using forms::FileDialog;
using forms::GroupBox;
using forms::Label;
using forms::Page;
using forms::PageControl;
using forms::Slider;
using forms::Spinner;

inline constexpr forms::FontSpec kSettingsTabsFont{
    .height = -12, .weight = FW_NORMAL, .charset = GB2312_CHARSET, .face = "宋体"};
inline constexpr forms::FontSpec kRefreshCaptionFont{
    .height = -12, .weight = FW_NORMAL, .charset = GB2312_CHARSET, .face = ""};
inline constexpr forms::FontSpec kAboutHeadingFont{
    .height = -20, .weight = FW_NORMAL, .charset = GB2312_CHARSET, .face = ""};
inline constexpr COLORREF kSilver = RGB(192, 192, 192);

inline constexpr auto kDigits = EditBox::Input::DigitsAndMinus;

struct SettingsForm : forms::Form {
    SettingsForm()
        : Form({
              .title = "TorvekQuindle设置",
              .rect = {50, 50, 564, 488},
              .visible = true,
              .border = forms::Border::Fixed,
              .control_box = true,
              .minimise_box = true,
              .maximise_box = false,
              .position = forms::StartPosition::Centred,
              .movable = true,
              .in_taskbar = true,
              .drag_anywhere = true,
              .esc_closes = false,
              .on_created = LoadSettingsWindow,
              .on_destroying = RestoreTopmostAfterSettings,
          }) {}

    // One control a line, as in the form's tables.
    // clang-format off
    PageControl 设置选择夹{this, {.rect = {8, 14, 536, 402}, .font = kSettingsTabsFont}};
    Page 文字设置页{this, &设置选择夹, {.caption = "文字设置", .hint = "设置提示文字、时间文字显示效果"}};
    Page 主窗口设置页{this, &设置选择夹, {.caption = "主窗口设置", .hint = "对窗口界面布局进行设置"}};

    // ---- Page 1, left: the title line --------------------------------------------------
    GroupBox 标题标签设置{this, {.container = &文字设置页, .rect = {18, 34, 245, 345}, .caption = "主标题设置"}};
    Label 标题标签内容{this, {.container = &标题标签设置, .rect = {20, 30, 64, 20}, .caption = "主标题内容"}};
    EditBox 标题标签内容设置框{this, {.container = &标题标签设置, .rect = {86, 30, 136, 20}, .max_length = 123456789, .label = &标题标签内容}};
    Label 标题标签字体{this, {.container = &标题标签设置, .rect = {20, 60, 48, 20}, .caption = "字体"}};
    ComboBox 标题标签字体组合框{this, {.container = &标题标签设置, .rect = {133, 60, 90, 20}, .label = &标题标签字体}};
    Label 标题标签字体颜色{this, {.container = &标题标签设置, .rect = {20, 90, 64, 20}, .caption = "字体颜色"}};
    ColourPicker 标题标签颜色选择{this, {.container = &标题标签设置, .rect = {133, 90, 90, 20}, .label = &标题标签字体颜色}};
    Label 标题标签字号{this, {.container = &标题标签设置, .rect = {20, 120, 48, 20}, .caption = "字号"}};
    EditBox 标题标签字号设置框{this, {.container = &标题标签设置, .rect = {133, 120, 90, 20}, .input = kDigits, .max_length = 3, .label = &标题标签字号}};
    CheckBox 标题标签字体加粗勾选框{this, {.container = &标题标签设置, .rect = {20, 150, 112, 20}, .caption = "字体加粗"}};
    CheckBox 标题标签字体倾斜勾选框{this, {.container = &标题标签设置, .rect = {149, 150, 75, 20}, .caption = "字体倾斜"}};
    Label 标题标签左位置{this, {.container = &标题标签设置, .rect = {20, 180, 72, 20}, .caption = "标题左位置"}};
    EditBox 标题标签左位置设置框{this, {.container = &标题标签设置, .rect = {133, 180, 90, 20}, .input = kDigits, .max_length = 4, .label = &标题标签左位置}};
    Label 标题标签上位置{this, {.container = &标题标签设置, .rect = {20, 210, 72, 20}, .caption = "标题上位置"}};
    EditBox 标题标签上位置设置框{this, {.container = &标题标签设置, .rect = {133, 210, 90, 20}, .input = kDigits, .max_length = 4, .label = &标题标签上位置}};
    Label 标题标签宽度{this, {.container = &标题标签设置, .rect = {20, 240, 72, 20}, .caption = "标题宽度"}};
    EditBox 标题标签宽度设置框{this, {.container = &标题标签设置, .rect = {133, 240, 90, 20}, .input = kDigits, .max_length = 4, .label = &标题标签宽度}};
    Label 标题标签高度{this, {.container = &标题标签设置, .rect = {20, 270, 72, 20}, .caption = "标题高度"}};
    EditBox 标题标签高度设置框{this, {.container = &标题标签设置, .rect = {133, 270, 90, 20}, .input = kDigits, .max_length = 4, .label = &标题标签高度}};
    Label 标题标签文字对齐方式标签{this, {.container = &标题标签设置, .rect = {20, 300, 96, 20}, .caption = "标题文字对齐方式"}};
    ComboBox 标题标签对齐方式设置框{this, {.container = &标题标签设置, .rect = {133, 300, 90, 20}, .items = {"左对齐", "居中", "右对齐"}, .label = &标题标签文字对齐方式标签}};

    // ---- Page 1, right: the time line --------------------------------------------------
    GroupBox 时间标签设置{this, {.container = &文字设置页, .rect = {273, 34, 245, 345}, .caption = "时间标题设置"}};
    Label 时间标签内容{this, {.container = &时间标签设置, .rect = {20, 30, 81, 20}, .caption = "时间标题内容"}};
    EditBox 标题标签内容设置框1{this, {.container = &时间标签设置, .rect = {133, 30, 80, 20}, .content = "当前系统时间", .read_only = true, .background = kSilver, .label = &时间标签内容}};
    Label 时间标签字体{this, {.container = &时间标签设置, .rect = {20, 60, 48, 20}, .caption = "字体"}};
    ComboBox 时间标签字体组合框{this, {.container = &时间标签设置, .rect = {133, 60, 90, 20}, .label = &时间标签字体}};
    Label 时间标签字体颜色{this, {.container = &时间标签设置, .rect = {20, 90, 64, 20}, .caption = "字体颜色"}};
    ColourPicker 时间标签颜色选择{this, {.container = &时间标签设置, .rect = {133, 90, 90, 20}, .label = &时间标签字体颜色}};
    Label 时间标签字号{this, {.container = &时间标签设置, .rect = {20, 120, 48, 20}, .caption = "字号"}};
    EditBox 时间标签字号设置框{this, {.container = &时间标签设置, .rect = {133, 120, 90, 20}, .input = kDigits, .max_length = 3, .label = &时间标签字号}};
    // The wide bold box reaches under the italic box, which stays whole (the form clips
    // overlapping inputs).
    CheckBox 时间标签字体加粗勾选框{this, {.container = &时间标签设置, .rect = {15, 150, 144, 20}, .caption = "字体加粗"}};
    CheckBox 时间标签字体倾斜勾选框{this, {.container = &时间标签设置, .rect = {133, 150, 77, 20}, .caption = "字体倾斜"}};
    Label 时间标签左位置{this, {.container = &时间标签设置, .rect = {20, 180, 72, 20}, .caption = "标题左位置"}};
    EditBox 时间标签左位置设置框{this, {.container = &时间标签设置, .rect = {133, 180, 90, 20}, .input = kDigits, .max_length = 4, .label = &时间标签左位置}};
    Label 时间标签上位置{this, {.container = &时间标签设置, .rect = {20, 210, 72, 20}, .caption = "标题上位置"}};
    EditBox 时间标签上位置设置框{this, {.container = &时间标签设置, .rect = {133, 210, 90, 20}, .input = kDigits, .max_length = 4, .label = &时间标签上位置}};
    Label 时间标签宽度{this, {.container = &时间标签设置, .rect = {20, 240, 72, 20}, .caption = "标题宽度"}};
    EditBox 时间标签宽度设置框{this, {.container = &时间标签设置, .rect = {133, 240, 90, 20}, .input = kDigits, .max_length = 4, .label = &时间标签宽度}};
    Label 时间标签高度{this, {.container = &时间标签设置, .rect = {20, 270, 72, 20}, .caption = "标题高度"}};
    EditBox 时间标签高度设置框{this, {.container = &时间标签设置, .rect = {133, 270, 90, 20}, .input = kDigits, .max_length = 4, .label = &时间标签高度}};
    Label 时间标签文字对齐方式标签{this, {.container = &时间标签设置, .rect = {20, 300, 96, 20}, .caption = "标题文字对齐方式"}};
    ComboBox 时间标签对齐方式设置框{this, {.container = &时间标签设置, .rect = {133, 300, 90, 20}, .items = {"左对齐", "居中", "右对齐"}, .label = &时间标签文字对齐方式标签}};

    // ---- Page 2, upper: the main window's display --------------------------------------
    GroupBox 窗口显示设置{this, {.container = &主窗口设置页, .rect = {21, 34, 500, 224}, .caption = "窗口显示设置"}};
    Label 主窗口透明度设置{this, {.container = &窗口显示设置, .rect = {20, 19, 71, 24}, .caption = "窗口透明度"}};
    Slider 主窗口透明度滑块条{this, {.container = &窗口显示设置, .rect = {96, 20, 368, 24}, .minimum = 1, .maximum = 256, .position = 1, .on_position_changed = PreviewTransparency, .label = &主窗口透明度设置}};
    CheckBox 窗口居中勾选框{this, {.container = &窗口显示设置, .rect = {28, 45, 79, 20}, .caption = "窗口居中", .checked = true, .on_clicked = OnCentreCheckClicked}};
    CheckBox 总在最上_勾选框{this, {.container = &窗口显示设置, .rect = {201, 45, 95, 20}, .caption = "窗口总在最上"}};
    CheckBox 开机启动_勾选框{this, {.container = &窗口显示设置, .rect = {401, 45, 82, 20}, .caption = "开机自启动", .checked = true}};
    Label 主窗口左位置{this, {.container = &窗口显示设置, .rect = {17, 68, 72, 20}, .caption = "主窗口左位置"}};
    EditBox 主窗口左位置设置框{this, {.container = &窗口显示设置, .rect = {137, 68, 75, 20}, .input = kDigits, .max_length = 4, .disabled = true, .on_content_changed = OnLeftBoxChanged, .label = &主窗口左位置}};
    Spinner 主窗口左位置调节器{this, {.container = &窗口显示设置, .rect = {191, 68, 20, 20}, .on_arrow = OnLeftSpinner, .label = &主窗口左位置}};
    Label 主窗口宽度{this, {.container = &窗口显示设置, .rect = {258, 68, 72, 20}, .caption = "主窗口宽度"}};
    EditBox 主窗口宽度设置框{this, {.container = &窗口显示设置, .rect = {407, 68, 75, 20}, .input = kDigits, .max_length = 4, .on_content_changed = OnWidthBoxChanged, .label = &主窗口宽度}};
    Spinner 主窗口宽度调节器{this, {.container = &窗口显示设置, .rect = {462, 68, 20, 20}, .on_arrow = OnWidthSpinner, .label = &主窗口宽度}};
    Label 主窗口上位置{this, {.container = &窗口显示设置, .rect = {17, 98, 72, 20}, .caption = "主窗口上位置"}};
    EditBox 主窗口上位置设置框{this, {.container = &窗口显示设置, .rect = {137, 98, 75, 20}, .input = kDigits, .max_length = 4, .disabled = true, .on_content_changed = OnTopBoxChanged, .label = &主窗口上位置}};
    Spinner 主窗口上位置调节器{this, {.container = &窗口显示设置, .rect = {191, 97, 20, 20}, .on_arrow = OnTopSpinner, .label = &主窗口上位置}};
    Label 主窗口高度{this, {.container = &窗口显示设置, .rect = {258, 98, 72, 20}, .caption = "主窗口高度"}};
    EditBox 主窗口高度设置框{this, {.container = &窗口显示设置, .rect = {407, 98, 75, 20}, .input = kDigits, .max_length = 4, .on_content_changed = OnHeightBoxChanged, .label = &主窗口高度}};
    Spinner 主窗口高度调节器{this, {.container = &窗口显示设置, .rect = {462, 97, 20, 20}, .on_arrow = OnHeightSpinner, .label = &主窗口高度}};
    Label 主界面外观_标签{this, {.container = &窗口显示设置, .rect = {17, 128, 80, 20}, .caption = "主界面外观"}};
    ComboBox 主界面外观_组合框{this, {.container = &窗口显示设置, .rect = {150, 128, 64, 20}, .items = {"默认", "正常"}, .on_selection_changed = OnShapeChanged, .label = &主界面外观_标签}};
    Label 窗口托盘标题_标签{this, {.container = &窗口显示设置, .rect = {257, 128, 83, 20}, .caption = "窗口/托盘文字"}};
    EditBox 窗口托盘标题文字_编辑框{this, {.container = &窗口显示设置, .rect = {347, 128, 137, 20}, .label = &窗口托盘标题_标签}};
    Label 背景图片{this, {.container = &窗口显示设置, .rect = {16, 158, 115, 20}, .caption = "背景图片：默认"}};
    Button 浏览图片{this, {.container = &窗口显示设置, .rect = {147, 158, 80, 22}, .caption = "浏览", .on_clicked = ChooseBackgroundPicture}};
    Button 恢复默认图片{this, {.container = &窗口显示设置, .rect = {147, 187, 80, 22}, .caption = "恢复默认", .on_clicked = RestoreDefaultPicture}};
    Label 背景图片提示{this, {.container = &窗口显示设置, .rect = {235, 158, 240, 48}, .caption = "标签", .word_wrap = true}};

    // ---- Page 2, lower: time settings --------------------------------------------------
    GroupBox 时间设置分组框{this, {.container = &主窗口设置页, .rect = {21, 266, 500, 120}, .caption = "时间设置"}};
    // The refresh box sits in the gap of twenty blanks between the words and the unit.
    Label 刷新显示时间间隔_标签{this, {.container = &时间设置分组框, .rect = {9, 30, 243, 20}, .caption = "刷新显示时间间隔                    秒", .font = kRefreshCaptionFont}};
    EditBox 刷新时间间隔_编辑框{this, {.container = &时间设置分组框, .rect = {145, 30, 63, 20}, .input = kDigits, .max_length = 4, .label = &刷新显示时间间隔_标签}};
    Label 时间显示精度标签{this, {.container = &时间设置分组框, .rect = {272, 30, 88, 20}, .caption = "时间显示精度"}};
    ComboBox 精确度{this, {.container = &时间设置分组框, .rect = {374, 30, 97, 20}, .items = {"精确到秒", "精确到分钟", "精确到小时", "精确到天"}, .index = 0, .on_selection_changed = OnAccuracyChanged, .label = &时间显示精度标签}};
    Label 倒计时目标时间设置_标签{this, {.container = &时间设置分组框, .rect = {9, 60, 112, 20}, .caption = "倒计时目标时间设置"}};
    DatePicker 倒计时目标设置框{this, {.container = &时间设置分组框, .rect = {145, 60, 146, 20}, .label = &倒计时目标时间设置_标签}};
    EditBox 小时单位_编辑框{this, {.container = &时间设置分组框, .rect = {305, 60, 30, 20}, .input = kDigits, .max_length = 2, .label = &小时单位_标签}};
    Label 小时单位_标签{this, {.container = &时间设置分组框, .rect = {338, 60, 16, 20}, .caption = "时"}};
    EditBox 分钟单位_编辑框{this, {.container = &时间设置分组框, .rect = {362, 60, 30, 20}, .input = kDigits, .max_length = 2, .label = &分钟单位_标签}};
    Label 分钟单位_标签{this, {.container = &时间设置分组框, .rect = {397, 60, 16, 20}, .caption = "分"}};
    EditBox 秒钟单位_编辑框{this, {.container = &时间设置分组框, .rect = {420, 60, 30, 20}, .input = kDigits, .max_length = 2, .label = &分钟单位_标签1}};
    Label 分钟单位_标签1{this, {.container = &时间设置分组框, .rect = {457, 60, 16, 20}, .caption = "秒"}};
    CheckBox 倒计时数值限制_勾选框{this, {.container = &时间设置分组框, .rect = {11, 90, 168, 20}, .caption = "允许倒计时数值小于零", .on_clicked = OnAllowBelowZeroClicked}};

    // ---- Below the pages ---------------------------------------------------------------
    Button 恢复默认设置按钮{this, {.rect = {156, 421, 87, 27}, .caption = "默认设置", .on_clicked = RestoreDefaults}};
    Button 应用按钮{this, {.rect = {256, 421, 87, 27}, .caption = "应用", .on_clicked = ApplySettings}};
    Button 确定按钮{this, {.rect = {357, 421, 87, 27}, .caption = "确定", .on_clicked = ApplyAndCloseSettings}};
    Button 取消按钮{this, {.rect = {457, 420, 87, 27}, .caption = "取消", .on_clicked = CancelSettings, .cancel_button = true}};
    FileDialog 通用对话框{this, {}};
    // clang-format on
};

struct AboutForm : forms::Form {
    AboutForm()
        : Form({
              .title = "关于",
              .rect = {50, 50, 378, 224},
              .visible = true,
              .border = forms::Border::Fixed,
              .control_box = true,
              .minimise_box = false,
              .maximise_box = false,
              .position = forms::StartPosition::Centred,
              .movable = true,
              .in_taskbar = true,
              .drag_anywhere = false,
              .esc_closes = true,
              .on_created = LoadAboutWindow,
          }) {}

    // clang-format off
    Label 关于窗口主标签{this, {.rect = {0, 16, 376, 40}, .caption = "关于", .align = forms::HAlign::Centre, .font = kAboutHeadingFont}};
    Label 关于_内容{this, {.rect = {16, 64, 344, 40}, .caption = "标签", .word_wrap = true, .valign = forms::VAlign::Top}};
    Label Email{this, {.rect = {16, 111, 348, 36}, .caption = kAboutContactLines, .word_wrap = true}};
    Button 打开博客{this, {.rect = {149, 157, 88, 26}, .caption = "Torvek博客", .on_clicked = OpenBlogPage}};
    Button 确定{this, {.rect = {266, 157, 88, 26}, .caption = "确定", .on_clicked = CloseAboutWindow, .default_button = true}};
    // clang-format on
};

extern SettingsForm settings_window;
extern AboutForm about_window;

}  // namespace tq
