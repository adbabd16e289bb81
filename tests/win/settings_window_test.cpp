// The settings and about windows at work under Wine, beside the program's own main window:
// each test gives the program a folder of its own, writes the setting.ini it needs, opens the
// real settings window, edits its real controls and reads back setting.ini's bytes, the
// registry and the main window. Message boxes and the open-file dialog are answered from a
// second thread as a user would.
#include "dialogs/dialogs.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <windows.h>

#include <sddl.h>

#include "app/globals.h"
#include "appearance/appearance.h"
#include "countdown/countdown.h"
#include "forms/forms.h"
#include "runtime/facilities.h"
#include "runtime/font_names.h"
#include "runtime/value.h"
#include "settings/picture_store.h"
#include "settings/settings_file.h"
#include "settings/startup_and_defaults.h"
#include "test_support.h"

namespace tq {
namespace {

constexpr char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

bool PumpUntil(const std::function<bool()>& done, DWORD timeout = 8000) {
    for (const DWORD end = GetTickCount() + timeout; !done();) {
        if (static_cast<int>(end - GetTickCount()) <= 0) return false;
        PumpMessagesFor(10);
    }
    return true;
}

void Click(forms::Button& button) { SendMessageA(button.handle(), BM_CLICK, 0, 0); }

// Holds a file open so that others may neither write nor delete it (nor read it, unless
// shared for reading).
struct FileLock {
    explicit FileLock(const std::string& path, DWORD share = FILE_SHARE_READ)
        : handle(
              CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr)) {}
    ~FileLock() { CloseHandle(handle); }
    HANDLE handle;
};

std::string RunValue(HKEY root = HKEY_CURRENT_USER) {
    char data[MAX_PATH * 2] = {};
    DWORD size = sizeof data;
    if (RegGetValueA(root, kRunKey, "Countdown", RRF_RT_REG_SZ, nullptr, data, &size) !=
        ERROR_SUCCESS) {
        return "<none>";
    }
    return data;
}

// Denies everyone the right to write values under a Run key, as a locked-down machine does
// for a standard user, until lifted or gone.
class RunKeyDenied {
public:
    explicit RunKeyDenied(HKEY root) {
        RegCreateKeyA(root, kRunKey, &key_);
        RegCloseKey(key_);
        EXPECT_EQ(RegOpenKeyExA(root, kRunKey, 0, READ_CONTROL | WRITE_DAC, &key_), ERROR_SUCCESS);
        DWORD size = static_cast<DWORD>(saved_.size());
        EXPECT_EQ(RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, saved_.data(), &size),
                  ERROR_SUCCESS);
        PSECURITY_DESCRIPTOR deny = nullptr;
        EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(
            "D:(D;;0x6;;;WD)(A;;KA;;;WD)", SDDL_REVISION_1, &deny, nullptr));
        EXPECT_EQ(RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, deny), ERROR_SUCCESS);
        LocalFree(deny);
    }
    ~RunKeyDenied() { Lift(); }
    void Lift() {
        if (!key_) return;
        RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, saved_.data());
        RegCloseKey(key_);
        key_ = nullptr;
    }

private:
    HKEY key_ = nullptr;
    std::vector<char> saved_ = std::vector<char>(4096);
};

// A 24-bit BMP of 100 x 100 pixels padded with zero bytes to exactly `total` bytes.
std::string BmpOfSize(size_t total) {
    std::string bmp(54, '\0');
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) bmp[at + i] = char(v >> (8 * i));
    };
    bmp[0] = 'B', bmp[1] = 'M';
    put32(2, static_cast<uint32_t>(total));
    put32(10, 54), put32(14, 40), put32(18, 100), put32(22, 100);
    bmp[26] = 1, bmp[28] = 24;
    bmp += std::string(300 * 100, '\x7f');
    bmp.resize(total, '\0');
    return bmp;
}

class SettingsWindowAtWork : public ProgramFolderTest {
protected:
    void TearDown() override {
        CloseWindows();
        ProgramFolderTest::TearDown();
    }

    // Writes setting.ini (none for an empty text), shows it on the main window as start-up
    // would, and opens the settings window from the tray item.
    void Open(const std::string& ini = "") {
        CloseWindows();
        DeleteFileA(SettingsFilePath().c_str());
        if (!ini.empty()) WriteFileBytes(SettingsFilePath(), ini);
        OpenAsItIs();
    }
    // The same with setting.ini as it is.
    void OpenAsItIs() {
        CloseWindows();
        ApplyLabelSettings();
        ApplyWindowSettings();
        OpenSettingsWindow();
        PumpMessagesFor(30);
        ASSERT_TRUE(w.loaded());
    }
    static void CloseWindows() {
        settings_window.Close();
        about_window.Close();
        PumpUntil([] { return !settings_window.loaded() && !about_window.loaded(); });
    }

    std::string Stored(const char* section, const char* key) {
        return ReadSetting(SettingsFilePath(), section, key, "<missing>");
    }

    SettingsForm& w = settings_window;
};

TEST_F(SettingsWindowAtWork, LoadersShowTheFileOrEachKeysDefault) {
    const std::vector<std::string> fonts = ListFontFamilies().names;
    ASSERT_GT(fonts.size(), 4u);
    int songti = static_cast<int>(fonts.size()) - 1;  // the last font when none is 宋体
    for (size_t i = 0; i < fonts.size(); ++i) {
        if (fonts[i] == "宋体") {
            songti = static_cast<int>(i);
            break;
        }
    }
    const double default_date = DateTimeFromCivil({2049, 10, 1, 0, 0, 0});
    struct Case {
        const char* ini;
        std::function<void(SettingsForm&)> check;
    };
    const Case cases[] = {
        {"",
         [&](SettingsForm& f) {
             EXPECT_EQ(f.标题标签字体组合框.count(), static_cast<int>(fonts.size()));
             EXPECT_EQ(f.时间标签字体组合框.item(3), fonts[3]);
             EXPECT_EQ(f.标题标签字体组合框.index(), songti);
             EXPECT_EQ(f.标题标签颜色选择.colour(), 0x800000u);
             EXPECT_EQ(f.标题标签内容设置框.content(), "距中华人民共和国成立100周年还有");
             EXPECT_TRUE(f.标题标签字体加粗勾选框.checked());
             EXPECT_FALSE(f.标题标签字体倾斜勾选框.checked());
             EXPECT_EQ(f.时间标签上位置设置框.content(), "140");
             EXPECT_EQ(f.主窗口透明度滑块条.position(), 175);
             EXPECT_TRUE(f.窗口居中勾选框.checked());
             EXPECT_TRUE(f.主窗口左位置设置框.disabled());
             EXPECT_EQ(f.主窗口左位置设置框.content() + "," + f.主窗口上位置设置框.content(),
                       "100,100");
             EXPECT_EQ(f.主窗口宽度设置框.content() + "x" + f.主窗口高度设置框.content(),
                       "530x200");
             EXPECT_EQ(f.主界面外观_组合框.index(), 0);
             EXPECT_EQ(f.窗口托盘标题文字_编辑框.content(), "TorvekQuindle 2.0");
             EXPECT_EQ(f.背景图片.caption(), "背景图片：默认背景");
             EXPECT_EQ(f.背景图片提示.caption(),
                       "注：背景图片将以拉伸方式呈现，请您尽量选择接近现行窗口大小 200 * 530 "
                       "的图片作为背景图片。");
             EXPECT_TRUE(f.恢复默认设置按钮.disabled());
             EXPECT_EQ(f.倒计时目标设置框.value(), default_date);
             EXPECT_EQ(f.小时单位_编辑框.content() + ":" + f.分钟单位_编辑框.content() + ":" +
                           f.秒钟单位_编辑框.content(),
                       "15:0:0");
             EXPECT_EQ(f.刷新时间间隔_编辑框.content(), "1");
             EXPECT_FALSE(f.刷新时间间隔_编辑框.disabled());
             EXPECT_TRUE(f.倒计时数值限制_勾选框.checked());
             EXPECT_TRUE(f.开机启动_勾选框.checked());
             EXPECT_FALSE(f.总在最上_勾选框.checked());
         }},
        // Every key odd: beyond the lists, not numbers, empty, one byte, no date.
        {"[mtfont]\r\nfontloc=9999\r\ncolor=abc\r\nsize=x\r\nbold=\r\nalignment=7\r\n"
         "[ttfont]\r\nfontloc=3\r\n[ui]\r\nmaintitle=a\r\nwinmid=\r\ntransparency=abc\r\n"
         "winwidth=abc\r\nwintitle=\r\n[main]\r\ndeadline-date=not a "
         "date\r\naccuracy=7\r\nlimit=0\r\n",
         [&](SettingsForm& f) {
             EXPECT_EQ(f.标题标签字体组合框.index(), songti);
             EXPECT_EQ(f.时间标签字体组合框.index(), 3);
             EXPECT_EQ(f.标题标签颜色选择.colour(), 0u);
             EXPECT_EQ(f.标题标签字号设置框.content(), "x");
             EXPECT_FALSE(f.标题标签字体加粗勾选框.checked());
             EXPECT_EQ(f.标题标签对齐方式设置框.index(), -1);
             EXPECT_EQ(f.标题标签内容设置框.content(), "");
             EXPECT_TRUE(f.窗口居中勾选框.checked());
             EXPECT_EQ(f.主窗口透明度滑块条.position(), 1);
             EXPECT_EQ(f.主窗口宽度设置框.content(), "abc");
             EXPECT_EQ(f.窗口托盘标题文字_编辑框.content(), "");
             EXPECT_EQ(f.倒计时目标设置框.value(), default_date);
             EXPECT_EQ(f.精确度.index(), -1);
             EXPECT_TRUE(f.刷新时间间隔_编辑框.disabled());
             EXPECT_FALSE(f.倒计时数值限制_勾选框.checked());
             EXPECT_FALSE(f.恢复默认设置按钮.disabled());
         }},
        {"[ui]\r\nmaintitle=abc\r\nwinmid=0\r\nwinleft=33\r\n[main]\r\naccuracy=2\r\n"
         "deadline-date=2030年5月6日7时\r\n",
         [&](SettingsForm& f) {
             EXPECT_EQ(f.标题标签内容设置框.content(), "b");
             EXPECT_FALSE(f.窗口居中勾选框.checked());
             EXPECT_FALSE(f.主窗口左位置设置框.disabled());
             EXPECT_EQ(f.主窗口左位置设置框.content() + "," + f.主窗口上位置设置框.content(),
                       "33,100");
             EXPECT_EQ(f.精确度.index(), 2);
             EXPECT_TRUE(f.刷新时间间隔_编辑框.disabled());
             EXPECT_EQ(f.倒计时目标设置框.value(), DateTimeFromCivil({2030, 5, 6, 0, 0, 0}));
         }},
        {"[ui]\r\nmaintitle=_ab_\r\ntransparency=1\r\n",
         [&](SettingsForm& f) {
             EXPECT_EQ(f.标题标签内容设置框.content(), "ab");
             EXPECT_EQ(f.背景图片.caption(), "背景图片：已设置");  // colour-key mode: no picture
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ini);
        Open(c.ini);
        c.check(w);
    }
}

TEST_F(SettingsWindowAtWork, FirstApplyWritesFourSectionsInOrderEachKeyOnce) {
    Open();
    Click(w.应用按钮);
    const std::string font = w.标题标签字体组合框.content();
    const std::string fontloc = std::to_string(w.标题标签字体组合框.index());
    const std::string label_keys =
        "fontloc=" + fontloc + "\r\nfontname=" + font +
        "\r\nsize=17\r\ncolor=8388608\r\nbold=1\r\nitalic=0\r\nalignment=1\r\n";
    EXPECT_EQ(ReadFileBytes(SettingsFilePath()),
              "[mtfont]\r\n" + label_keys +
                  "top=100\r\nleft=0\r\nwidth=530\r\nhight=55\r\n"
                  "[ui]\r\nmaintitle=_距中华人民共和国成立100周年还有_\r\ntransparency="
                  "175\r\nwinwidth=530\r\n"
                  "winhight=200\r\nwintop=100\r\nwinleft=100\r\nwinshape=0\r\nwintitle="
                  "TorvekQuindle 2.0\r\nwinmid=1\r\n"
                  "[ttfont]\r\n" +
                  label_keys +
                  "top=140\r\nleft=0\r\nwidth=530\r\nhight=40\r\n"
                  "[main]\r\ndeadline-date=2049年10月1日\r\ndeadline-hour=15\r\ndeadline-min="
                  "0\r\ndeadline-sec=0\r\n"
                  "refresh=1\r\naccuracy=0\r\nlimit=1\r\ntop=0\r\nstartup=1\r\n");
    EXPECT_FALSE(w.恢复默认设置按钮.disabled());
    EXPECT_EQ(RunValue(), run_dir + "\\" + ExecutableFileName());  // for this user only
    EXPECT_EQ(RunValue(HKEY_LOCAL_MACHINE), "<none>");
}

TEST_F(SettingsWindowAtWork, SavingWritesTheBoxesAsTheyStandAfterTheRangeChecks) {
    Open("[main]\r\nrefresh=0.5\r\n");
    struct Edit {
        forms::EditBox& box;
        const char* typed;
        const char* section;
        const char* key;
        const char* stored;
    };
    const Edit edits[] = {
        {w.小时单位_编辑框, "24", "main", "deadline-hour", "0"},
        {w.分钟单位_编辑框, "59", "main", "deadline-min", "59"},
        {w.秒钟单位_编辑框, "60", "main", "deadline-sec", "0"},
        {w.标题标签字号设置框, "", "mtfont", "size", ""},
        {w.时间标签宽度设置框, "-12", "ttfont", "width", "-12"},
        {w.标题标签内容设置框, "  abc  ", "ui", "maintitle", "_  abc  _"},
    };
    for (const Edit& e : edits) e.box.SetContent(e.typed);
    w.标题标签字体倾斜勾选框.SetChecked(true);
    w.标题标签字体加粗勾选框.SetChecked(false);
    w.时间标签字体组合框.SetIndex(4);
    Click(w.应用按钮);
    for (const Edit& e : edits) {
        EXPECT_EQ(Stored(e.section, e.key), e.stored) << e.key;
        if (e.section == std::string("main")) {
            EXPECT_EQ(e.box.content(), e.stored) << e.key;
        }
    }
    EXPECT_EQ(Stored("main", "refresh"), "0.5");
    EXPECT_EQ(Stored("mtfont", "bold") + Stored("mtfont", "italic"), "01");
    EXPECT_EQ(Stored("ttfont", "fontloc"), "4");
    EXPECT_EQ(Stored("ttfont", "fontname"), w.时间标签字体组合框.item(4));

    w.刷新时间间隔_编辑框.SetContent("0");
    Click(w.应用按钮);
    EXPECT_EQ(Stored("main", "refresh"), "1");
    EXPECT_EQ(w.刷新时间间隔_编辑框.content(), "1");

    CloseWindows();
    OpenSettingsWindow();
    EXPECT_EQ(w.标题标签内容设置框.content(), "  abc  ");  // the blanks come back
}

TEST_F(SettingsWindowAtWork, ChangingTheShapeWarnsOnceAtTheSaveThatChangesIt) {
    Open();
    w.主界面外观_组合框.SetIndex(1);
    {
        DialogAnswerer user({DialogAnswerer::Press(IDOK)});
        Click(w.应用按钮);
        ASSERT_EQ(user.Seen().size(), 1u);
        EXPECT_EQ(user.Seen()[0].caption, "警示信息");
        EXPECT_EQ(user.Seen()[0].text, "对窗口外观的修改需要重启程序才能正常显示！");
    }
    EXPECT_EQ(Stored("ui", "winshape"), "1");
    EXPECT_EQ(main_window.border(), forms::Border::ToolResizable);  // applied at once all the same
    Click(w.应用按钮);  // no second notice: a box would block this click
    EXPECT_TRUE(w.loaded());
}

TEST_F(SettingsWindowAtWork, LiveEditsActOnTheMainWindowAndCancelUndoesThem) {
    Open("[ui]\r\nwinmid=0\r\nwinleft=40\r\nwintop=60\r\ntransparency=200\r\n[main]\r\ntop=1\r\n");
    EXPECT_FALSE(main_window.topmost());  // off while the settings window is open
    const auto where = [] {
        const forms::Rect r = main_window.rect();
        return std::vector<int>{r.left, r.top, r.width, r.height};
    };
    EXPECT_EQ(where(), (std::vector<int>{40, 60, 530, 200}));

    w.主窗口左位置设置框.SetContent("120");
    EXPECT_EQ(where()[0], 120);
    w.主窗口左位置设置框.SetContent("");
    EXPECT_EQ(where()[0], 0);
    w.主窗口左位置设置框.SetContent("-3000");  // never out of reach: a grip stays on screen
    EXPECT_GE(where()[0] + 530, 48);
    w.主窗口左位置设置框.SetContent("10.5");
    OnLeftSpinner(1);  // the step is added before truncation
    EXPECT_EQ(where()[0], 11);
    EXPECT_EQ(w.主窗口左位置设置框.content(), "11");
    OnTopSpinner(-1);
    EXPECT_EQ(where()[1], 59);

    SendMessageA(w.窗口居中勾选框.handle(), BM_CLICK, 0, 0);  // now checked: centred
    const int screen_w = GetSystemMetrics(SM_CXSCREEN), screen_h = GetSystemMetrics(SM_CYSCREEN);
    EXPECT_EQ(where(), (std::vector<int>{(screen_w - 530) / 2, (screen_h - 200) / 2, 530, 200}));
    EXPECT_TRUE(w.主窗口左位置设置框.disabled());
    OnLeftSpinner(1);
    EXPECT_EQ(where()[0], (screen_w - 530) / 2);
    OnWidthSpinner(1);
    EXPECT_EQ(where(), (std::vector<int>{(screen_w - 531) / 2, (screen_h - 200) / 2, 531, 200}));
    EXPECT_EQ(w.主窗口宽度设置框.content(), "531");
    w.主窗口高度设置框.SetContent("150");
    EXPECT_EQ(where(), (std::vector<int>{(screen_w - 531) / 2, (screen_h - 150) / 2, 531, 150}));
    SendMessageA(w.窗口居中勾选框.handle(), BM_CLICK, 0, 0);  // unchecked: to the boxes
    EXPECT_EQ(where(), (std::vector<int>{11, 59, 531, 150}));

    w.主窗口透明度滑块条.SetPosition(1);
    PreviewTransparency();
    BYTE alpha = 0;
    DWORD flags = 0;
    COLORREF key = 0;
    GetLayeredWindowAttributes(main_window.handle(), &key, &alpha, &flags);
    EXPECT_TRUE(main_window.picture_removed());
    EXPECT_EQ(flags, static_cast<DWORD>(LWA_COLORKEY));
    w.主窗口透明度滑块条.SetPosition(100);
    PreviewTransparency();
    GetLayeredWindowAttributes(main_window.handle(), &key, &alpha, &flags);
    EXPECT_EQ(main_window.picture(), DefaultPictureBytes());
    EXPECT_EQ(alpha, 100);

    SetCountdownRunning(false);  // paused from the tray menu
    Click(w.取消按钮);
    ASSERT_TRUE(PumpUntil([&] { return !w.loaded(); }));
    EXPECT_EQ(where(), (std::vector<int>{40, 60, 530, 200}));
    GetLayeredWindowAttributes(main_window.handle(), &key, &alpha, &flags);
    EXPECT_EQ(alpha, 200);
    EXPECT_EQ(running, 1);
    EXPECT_TRUE(main_window.topmost());  // back from main/top
    EXPECT_FALSE(FileExistsForTest(dir_ + "\\background.pic"));
}

TEST_F(SettingsWindowAtWork, AFailedSaveIsToldAndOkKeepsTheWindowOpen) {
    const std::string before = "[ui]\r\nwintitle=kept\r\n";
    Open(before);
    w.窗口托盘标题文字_编辑框.SetContent("typed");
    SetCountdownRunning(false);
    {
        FileLock lock(SettingsFilePath());
        DialogAnswerer user({DialogAnswerer::Press(IDOK)});
        Click(w.确定按钮);
        ASSERT_EQ(user.Seen().size(), 1u);
        EXPECT_EQ(user.Seen()[0].caption, "警示信息");
    }
    PumpMessagesFor(100);
    EXPECT_TRUE(w.loaded());
    EXPECT_EQ(w.窗口托盘标题文字_编辑框.content(), "typed");
    EXPECT_EQ(ReadFileBytes(SettingsFilePath()), before);
    EXPECT_EQ(running, 1);
    Click(w.确定按钮);  // writable again: saved and closed without a word
    EXPECT_TRUE(PumpUntil([&] { return !w.loaded(); }));
    EXPECT_EQ(Stored("ui", "wintitle"), "typed");
}

// A setting.ini held without sharing when the program read it (a sync or backup tool) shows the
// defaults, and 应用 never writes over it: still held, the save is refused and the user told;
// let go, the file is read again and keeps every line the window does not write.
TEST_F(SettingsWindowAtWork, ASettingsFileHeldAtStartKeepsEveryLine) {
    const std::string before =
        "; the administrator's\r\n[ui]\r\nwintitle=kept\r\n[debug]\r\nmode=0\r\n";
    WriteFileBytes(SettingsFilePath(), before);
    std::optional<FileLock> lock(std::in_place, SettingsFilePath(), 0);
    OpenAsItIs();
    EXPECT_EQ(w.窗口托盘标题文字_编辑框.content(), "TorvekQuindle 2.0");
    w.窗口托盘标题文字_编辑框.SetContent("typed");
    {
        DialogAnswerer user({DialogAnswerer::Press(IDOK)});
        Click(w.应用按钮);
        ASSERT_EQ(user.Seen().size(), 1u);
        EXPECT_EQ(user.Seen()[0].caption, "警示信息");
        EXPECT_NE(user.Seen()[0].text.find("存在但无法读取"), std::string::npos);
    }
    lock.reset();
    EXPECT_EQ(ReadFileBytes(SettingsFilePath()), before);
    Click(w.应用按钮);
    const std::string after = ReadFileBytes(SettingsFilePath());
    EXPECT_EQ(after.find("; the administrator's\r\n[ui]\r\n"), 0u) << after;
    EXPECT_NE(after.find("[debug]\r\nmode=0\r\n"), std::string::npos) << after;
    EXPECT_EQ(Stored("ui", "wintitle"), "typed");
}

// A setting.ini that is a hard link (a package manager keeps it across versions) is one file
// under both names after 应用.
TEST_F(SettingsWindowAtWork, AHardLinkedSettingsFileStaysOneFile) {
    Open("[ui]\r\nwintitle=old\r\n");
    const std::string kept = dir_ + "\\persist.ini";
    ASSERT_TRUE(CreateHardLinkA(kept.c_str(), SettingsFilePath().c_str(), nullptr));
    w.窗口托盘标题文字_编辑框.SetContent("new title");
    Click(w.应用按钮);
    EXPECT_EQ(ReadSetting(kept, "ui", "wintitle", ""), "new title");
    EXPECT_EQ(ReadFileBytes(kept), ReadFileBytes(SettingsFilePath()));
    EXPECT_TRUE(HasOtherNames(SettingsFilePath()));
}

TEST_F(SettingsWindowAtWork, StartUpEntryFollowsTheCheckBox) {
    run_dir = dir_ + "\\with blank";
    CreateDirectoryA(run_dir.c_str(), nullptr);
    Open();
    const std::string quoted = "\"" + run_dir + "\\" + ExecutableFileName() + "\"";
    // An earlier version's machine-wide entry for this executable goes; another's stays.
    ASSERT_TRUE(WriteRegistryValue(kStartupMachineRoot, kStartupEntry, run_dir + "\\other.exe"));
    Click(w.应用按钮);
    EXPECT_EQ(RunValue(HKEY_LOCAL_MACHINE), run_dir + "\\other.exe");
    ASSERT_TRUE(WriteRegistryValue(kStartupMachineRoot, kStartupEntry, quoted));
    Click(w.应用按钮);  // overwritten, no message
    EXPECT_EQ(RunValue(), quoted);
    EXPECT_EQ(RunValue(HKEY_LOCAL_MACHINE), "<none>");
    EXPECT_EQ(Stored("main", "startup"), "1");

    w.开机启动_勾选框.SetChecked(false);
    Click(w.应用按钮);
    EXPECT_EQ(RunValue(), "<none>");
    EXPECT_EQ(Stored("main", "startup"), "0");
    Click(w.应用按钮);  // nothing to remove: silent
    EXPECT_EQ(Stored("main", "startup"), "0");
    // Another copy's value (a portable one on a USB stick) stays; this one's goes, unquoted and
    // in other letter case too.
    ASSERT_TRUE(WriteRegistryValue(kStartupUserRoot, kStartupEntry, "E:\\TorvekQuindle.exe"));
    Click(w.应用按钮);
    EXPECT_EQ(RunValue(), "E:\\TorvekQuindle.exe");
    std::string upper = quoted.substr(1, quoted.size() - 2);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    ASSERT_TRUE(WriteRegistryValue(kStartupUserRoot, kStartupEntry, upper));
    Click(w.应用按钮);
    EXPECT_EQ(RunValue(), "<none>");
    EXPECT_EQ(Stored("main", "startup"), "0");

    // A standard user may not change the machine-wide Run key. An entry an administrator
    // left there cannot be removed: the user is told, and the box stays ticked.
    // Apply, and the one warning it gives, answered.
    const auto apply_and_be_told = [&](const std::string& text) {
        DialogAnswerer user({DialogAnswerer::Press(IDOK)});
        Click(w.应用按钮);
        ASSERT_EQ(user.Seen().size(), 1u);
        EXPECT_EQ(user.Seen()[0].caption, "警示信息");
        EXPECT_EQ(user.Seen()[0].text, text);
    };
    ASSERT_TRUE(WriteRegistryValue(kStartupMachineRoot, kStartupEntry, quoted));
    RunKeyDenied machine(HKEY_LOCAL_MACHINE);
    apply_and_be_told(
        "取消开机启动失败！本软件的开机启动项写在注册表中，当前用户无权删除。请以管理员身份运行本"
        "软件后再取消，或检查安全软件是否拦截！");
    EXPECT_TRUE(w.开机启动_勾选框.checked());
    EXPECT_EQ(Stored("main", "startup"), "1");
    EXPECT_EQ(RunValue(HKEY_LOCAL_MACHINE), quoted);
    // Writing there is refused too: the entry goes to the user's, without a word.
    {
        DialogAnswerer user(
            {DialogAnswerer::Press(IDOK)});  // waits 10 s for a box that never comes
        Click(w.应用按钮);
        EXPECT_TRUE(user.Seen().empty());
    }
    EXPECT_EQ(RunValue(HKEY_CURRENT_USER), quoted);
    EXPECT_TRUE(w.开机启动_勾选框.checked());
    EXPECT_EQ(Stored("main", "startup"), "1");

    machine.Lift();  // an administrator now: unticking removes the entry from both places
    ASSERT_TRUE(WriteRegistryValue(kStartupMachineRoot, kStartupEntry, quoted));
    w.开机启动_勾选框.SetChecked(false);
    Click(w.应用按钮);
    EXPECT_EQ(RunValue(HKEY_LOCAL_MACHINE), "<none>");
    EXPECT_EQ(RunValue(HKEY_CURRENT_USER), "<none>");

    RunKeyDenied again(HKEY_LOCAL_MACHINE), user_key(HKEY_CURRENT_USER);
    w.开机启动_勾选框.SetChecked(true);
    apply_and_be_told(
        "设置开机启动失败！本软件通过写入自身路径到注册表实现开机启动，请检查用户是否有注册表写入"
        "权限与安全软件是否拦截！");
    EXPECT_FALSE(w.开机启动_勾选框.checked());
    EXPECT_EQ(Stored("main", "startup"), "0");
    EXPECT_EQ(RunValue(HKEY_LOCAL_MACHINE), "<none>");
    EXPECT_EQ(RunValue(HKEY_CURRENT_USER), "<none>");
}

TEST_F(SettingsWindowAtWork, ChosenPicturesAreStoredOnlyWhenUsable) {
    const std::string old_picture = BmpOfSize(40000);
    const std::string path = dir_ + "\\chosen.bmp";
    struct Case {
        std::string chosen;  // empty: the dialog is cancelled
        bool lock_chosen, lock_stored;
        std::vector<std::string> messages;
        bool stored;
        uint64_t size = 0;  // the chosen file's, when larger than the bytes
    };
    const std::string set = "背景图片已设置！";
    const std::string large =
        "您设置的背景图片比较大，这将使得倒计时工具内存消耗大幅增加，建议使用较小的图像或将图像使用"
        "图片编辑工具缩小到合适倍数再使用。";
    const std::string unusable = "所选文件无法读取，或不是 bmp、jpg、gif 图像。背景图片没有改变。";
    std::string noise(5000, '\0');
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>((i * 7919 + 13) % 251);
    const Case cases[] = {
        {BmpOfSize(600000), false, false, {set}, true},
        {BmpOfSize(600001), false, false, {set, large}, true},
        {noise, false, false, {unusable}, false},
        {BmpOfSize(50000), false, false, {unusable}, false, (128 << 20) + 1},
        {BmpOfSize(50000), true, false, {unusable}, false},
        {BmpOfSize(50000),
         false,
         true,
         {"背景图片未能保存（磁盘空间不足或文件被其他程序占用）。原来的背景图片没有改变。"},
         false},
        {"", false, false, {"您未选择图像。"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.messages.back());
        Open("[ui]\r\ntransparency=1\r\n");  // colour-key mode: a chosen picture shows all the same
        WriteFileBytes(dir_ + "\\background.pic", old_picture);
        WriteFileBytes(path, c.chosen, c.size);
        FileLock chosen_lock(c.lock_chosen ? path : std::string(), 0);
        FileLock stored_lock(c.lock_stored ? dir_ + "\\background.pic" : std::string());
        std::vector<DialogAnswerer::Action> actions = {
            c.chosen.empty() ? DialogAnswerer::Press(IDCANCEL) : DialogAnswerer::ChooseFile(path)};
        for (size_t i = 0; i < c.messages.size(); ++i)
            actions.push_back(DialogAnswerer::Press(IDOK));
        DialogAnswerer user(actions);
        Click(w.浏览图片);
        const std::vector<SeenDialog>& seen = user.Seen();
        ASSERT_EQ(seen.size(), c.messages.size() + 1);
        for (size_t i = 0; i < c.messages.size(); ++i) {
            EXPECT_EQ(seen[i + 1].caption, "警示信息 - 窗口设置");
            EXPECT_EQ(seen[i + 1].text, c.messages[i]);
            EXPECT_EQ(seen[i + 1].icon_style, static_cast<UINT>(MB_ICONINFORMATION));
        }
        EXPECT_EQ(ReadFileBytes(dir_ + "\\background.pic"), c.stored ? c.chosen : old_picture);
        EXPECT_EQ(main_window.picture_removed(), !c.stored);
        if (c.stored) {
            EXPECT_EQ(main_window.picture(), c.chosen);
        }
        EXPECT_FALSE(FileExistsForTest(dir_ + "\\background.pic.new"));
    }
    // 取消 keeps the chosen picture; 恢复默认 removes it and shows the built-in one, once.
    Open();
    WriteFileBytes(dir_ + "\\background.pic", old_picture);
    Click(w.取消按钮);
    PumpUntil([&] { return !w.loaded(); });
    EXPECT_EQ(main_window.picture(), old_picture);
    Open();
    Click(w.恢复默认图片);
    EXPECT_FALSE(FileExistsForTest(dir_ + "\\background.pic"));
    EXPECT_EQ(main_window.picture(), DefaultPictureBytes());
    main_window.SetPicture(old_picture);
    Click(w.恢复默认图片);  // nothing to delete: nothing changes, nothing is said
    EXPECT_EQ(main_window.picture(), old_picture);
}

TEST_F(SettingsWindowAtWork, RestoringTheDefaultsAsksDeletesBothFilesAndCloses) {
    const std::string ini = "[ui]\r\nwinmid=0\r\nwinleft=40\r\nwintop=60\r\nwinwidth=400\r\n";
    const std::string question =
        "警告，一旦恢复默认设置，当前所有定制数据将被不可恢复地覆盖，确定继续？";
    Open(ini);
    WriteFileBytes(dir_ + "\\background.pic", BmpOfSize(40000));
    w.主窗口左位置设置框.SetContent("300");
    {
        DialogAnswerer user({DialogAnswerer::Press(IDCANCEL)});
        Click(w.恢复默认设置按钮);
        ASSERT_EQ(user.Seen().size(), 1u);
        EXPECT_EQ(user.Seen()[0].text, question);
    }
    EXPECT_TRUE(w.loaded());
    EXPECT_EQ(w.主窗口左位置设置框.content(), "300");
    EXPECT_EQ(ReadFileBytes(SettingsFilePath()), ini);

    {  // locked: nothing deleted, the stored settings shown again
        FileLock lock(SettingsFilePath());
        DialogAnswerer user({DialogAnswerer::Press(IDOK), DialogAnswerer::Press(IDOK)});
        Click(w.恢复默认设置按钮);
        ASSERT_EQ(user.Seen().size(), 2u);
        EXPECT_EQ(user.Seen()[1].caption, "警示信息 - 恢复失败");
        EXPECT_EQ(user.Seen()[1].text, "恢复默认设置未成功！请检查用户权限！");
        EXPECT_TRUE(PumpUntil([&] { return !w.loaded(); }));
    }
    EXPECT_EQ(main_window.rect(), (forms::Rect{40, 60, 400, 200}));
    EXPECT_TRUE(FileExistsForTest(dir_ + "\\background.pic"));

    OpenSettingsWindow();
    {
        DialogAnswerer user({DialogAnswerer::Press(IDOK), DialogAnswerer::Press(IDOK)});
        Click(w.恢复默认设置按钮);
        ASSERT_EQ(user.Seen().size(), 2u);
        EXPECT_EQ(user.Seen()[1].caption, "警示信息 - 恢复成功");
        EXPECT_EQ(user.Seen()[1].text, "恢复默认设置成功！");
    }
    EXPECT_TRUE(PumpUntil([&] { return !w.loaded(); }));
    EXPECT_FALSE(FileExistsForTest(SettingsFilePath()));
    EXPECT_FALSE(FileExistsForTest(dir_ + "\\background.pic"));
    const int screen_w = GetSystemMetrics(SM_CXSCREEN), screen_h = GetSystemMetrics(SM_CYSCREEN);
    EXPECT_EQ(main_window.rect(),
              (forms::Rect{(screen_w - 530) / 2, (screen_h - 200) / 2, 530, 200}));
    EXPECT_EQ(main_window.picture(), DefaultPictureBytes());
}

TEST_F(SettingsWindowAtWork, OpeningAgainBringsTheOpenWindowBack) {
    Open();
    const HWND first = w.handle();
    ShowWindow(first, SW_MINIMIZE);
    OpenSettingsWindow();
    EXPECT_EQ(w.handle(), first);
    EXPECT_FALSE(IsIconic(first));

    for (int opening = 0; opening < 2; ++opening) {
        OpenAboutWindow();
        PumpMessagesFor(30);
        ASSERT_TRUE(about_window.loaded());
        EXPECT_EQ(about_window.title(), "关于 TorvekQuindle");
        EXPECT_EQ(about_window.关于窗口主标签.caption(), "TorvekQuindle 2.0");
        EXPECT_EQ(about_window.关于_内容.caption(),
                  "    TorvekQuindle 2.0 是一个桌面倒计时小工具。版权所有 (C) 2024-2026 Torvek "
                  "倒计时小组。");
    }
    SendMessageA(about_window.确定.handle(), BM_CLICK, 0, 0);
    EXPECT_TRUE(PumpUntil([] { return !about_window.loaded(); }));
}

}  // namespace
}  // namespace tq
