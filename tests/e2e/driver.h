// The end-to-end driver: runs the real TorvekQuindle.exe from a folder of its own, beside
// this test program, in the same Wine prefix and on the same display, and does what a
// person does: starts it, reads the countdown window, clicks the window and the
// notification-area icon, reads the menu off the screen and picks an entry, answers the
// message box, and reads the debug log. It links none of the program's code; everything
// it knows about the program it learns through windows, files and the process.
//
// Waiting is always for a condition with a limit (polled every 50 ms), never a blind sleep.
#pragma once

#include <chrono>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <windows.h>

namespace e2e {

using Milliseconds = std::chrono::milliseconds;

// ---- Waiting -----------------------------------------------------------------------------

// Polls `condition` every `step` until it holds or `limit` has passed; true when it held.
bool WaitFor(const std::function<bool()>& condition, Milliseconds limit,
             Milliseconds step = Milliseconds(50));

// ---- Files and folders ------------------------------------------------------------------

// The program under test, as given on the command line (a Unix path from CMake is turned
// into the Windows path Wine maps it to), or TorvekQuindle.exe beside this executable.
std::string ProgramUnderTest();
void SetProgramUnderTest(std::string path);

// A fresh, empty folder under the temporary folder, removed with everything in it when the
// object goes (unless TQ_E2E_KEEP is set in the environment, for looking at a failure).
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(std::string_view name) const;

private:
    std::string path_;
};

// Removes a folder with everything in it.
void RemoveTree(const std::wstring& folder);
bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);
// The whole file, read while its writer keeps it open; nullopt when it cannot be read.
std::optional<std::string> ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, std::string_view bytes);
// The same for paths that GBK cannot spell.
std::optional<std::string> ReadFileBytes(const std::wstring& path);
bool WriteFileBytes(const std::wstring& path, std::string_view bytes);
// Names (not paths) of the files in a folder matching a pattern such as "*.log".
std::vector<std::string> FilesIn(const std::string& folder, const std::string& pattern);

// Watches folders (not their subfolders) from its making on for files or folders created,
// deleted or renamed in them, even one created and gone again at once.
class FolderWatch {
public:
    explicit FolderWatch(std::initializer_list<std::string> folders);
    ~FolderWatch();
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;
    // Whether a change was seen, allowing a notice on its way a second to arrive.
    bool Changed() const;

private:
    std::vector<HANDLE> handles_;
};

// ---- Windows of the desktop --------------------------------------------------------------

std::string ClassOf(HWND window);
std::string TextOf(HWND window);  // the window text, read as UTF-16 and given in GBK
std::wstring Utf16(std::string_view gbk);
DWORD ProcessOf(HWND window);
// Visible top-level windows of a class, optionally only those of one process.
std::vector<HWND> TopLevelWindows(const std::string& window_class, DWORD process_id = 0,
                                  bool visible_only = true);
RECT ScreenRect(HWND window);
POINT Centre(const RECT& r);

// The smallest rectangle (screen coordinates) holding the pixels of an area of the screen
// that differ from the background colour; empty when there are none.
RECT InkBox(const RECT& screen_area, COLORREF background);

// ---- Colours on the screen -------------------------------------------------------------------

COLORREF PixelAt(POINT screen);
// What an area of the screen shows: the colour most of its pixels have (the surface), and
// of the others the one that contrasts most with it (the text, when there is any).
struct AreaColours {
    COLORREF surface = 0;
    COLORREF ink = 0;
};
AreaColours ColoursIn(const RECT& screen_area);
// The contrast ratio of two colours as WCAG 2 defines it, from 1 (none) to 21.
double ContrastRatio(COLORREF a, COLORREF b);

// Writes a colour scheme (values "R G B" under HKCU\Control Panel\Colors) and turns the visual
// style off (a style keeps colours of its own), for every Wine process started from now on:
// each reads them once at its start. Puts back what was there when it goes.
class ColourScheme {
public:
    explicit ColourScheme(const std::vector<std::pair<std::string, COLORREF>>& colours);
    ~ColourScheme();
    ColourScheme(const ColourScheme&) = delete;
    ColourScheme& operator=(const ColourScheme&) = delete;

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;  // name, old value
    std::optional<std::string> saved_theme_active_;
};

// ---- Screen scale ----------------------------------------------------------------------------

// Sets the screen scale (LogPixels under HKCU\Control Panel\Desktop) that every Wine process
// started from now on reads at its start, and puts back what was there when it goes.
class ScreenScale {
public:
    explicit ScreenScale(DWORD dpi);
    ~ScreenScale();
    ScreenScale(const ScreenScale&) = delete;
    ScreenScale& operator=(const ScreenScale&) = delete;

private:
    std::optional<DWORD> saved_;
};

// ---- Real input ---------------------------------------------------------------------------

// Moves the pointer there and presses and releases a button, as hardware input.
void LeftClickAt(POINT screen);
// A left click at a point of a top-level window as a user makes it: when another window is
// active or lies over the point, a click on the window's title bar brings it to the front
// first, again when the click landed on the countdown window. (Without a window manager a
// closed message box may leave another window active, and the platform may then take the
// first click in the window for its activation.)
void ClickInFront(HWND window, POINT screen);
void RightClickAt(POINT screen);
void DoubleClickAt(POINT screen);
void PressKey(WORD virtual_key);
// Presses the keys in order and releases them in reverse order (Ctrl+Tab: {VK_CONTROL, VK_TAB}).
void PressChord(std::initializer_list<WORD> virtual_keys);
// Clicks into an edit box, selects its text and types the GBK text over it, as Unicode keys.
void TypeText(HWND edit, std::string_view text);
// Clicks into an edit box, empties it with End and Backspace, and types the digits.
void TypeIntoBox(HWND edit, std::string_view digits);

// ---- Controls of the program's windows ----------------------------------------------------

// The visible child of `form` of that window class whose rectangle holds the point, given in
// the form's client coordinates (the forms' tables give every control's place); null if none.
HWND ControlAt(HWND form, POINT client, const std::string& window_class);
POINT ScreenPoint(HWND form, POINT client);
// A control's own text (an edit box's content), asked of the control itself: the window text
// that TextOf reads from another process is only what the control was created with.
std::string ControlText(HWND control);
// The items of a drop-down list, read as UTF-16 and given in GBK.
std::vector<std::string> ListItems(HWND combo);
// The texts of a window's children, in the order the platform lists them.
std::vector<std::string> ChildTexts(HWND window);
// The name a screen reader reads for a control, asked through MSAA from this process
// (AccessibleObjectFromWindow, get_accName), in GBK; "<none>" when no object answers.
std::string AccessibleName(HWND control);
// The control that has the keyboard focus in the thread of `window`; null when none.
HWND FocusedControl(HWND window);
// The accessibility events (EVENT_...) that a process raises in `duration`, heard as a screen
// reader hears them (an out-of-context hook).
std::vector<DWORD> WinEventsFrom(DWORD process_id, Milliseconds duration);

// ---- The notification area ---------------------------------------------------------------

// The windows in which Wine shows notification-area icons (one per icon, in the small
// system-tray window at the top left of the screen).
std::vector<HWND> TrayIconWindows();

// ---- The popup menu, read off the screen --------------------------------------------------

struct MenuEntry {
    std::string text;  // the recognised caption, "-" for a separator, "?" when none fits
    bool checked = false;
    RECT screen{};  // the entry's ink on the screen
};

// Reads the entries of a popup menu window ("#32768") from the pixels it shows: each row
// of ink is compared with the candidates drawn in the system's menu font. (Under Wine the
// menu behind the window cannot be read from another process.) With TQ_E2E_DEBUG set in
// the environment, the likeness of every row to every candidate goes to standard error.
std::vector<MenuEntry> ReadMenu(HWND menu, const std::vector<std::string>& candidates);

// ---- The message box ----------------------------------------------------------------------

struct MessageBoxContent {
    std::string caption;
    std::string text;
    std::vector<std::pair<int, std::string>> buttons;  // control id, caption
};
MessageBoxContent ReadMessageBox(HWND box);
// Clicks the button with that id (IDYES, IDNO, ...) as the platform does for a click.
bool ClickMessageBoxButton(HWND box, int button_id);

// ---- Settings -------------------------------------------------------------------------

// Writes `setting.ini` with the given text (GBK, lines ended by "\r\n").
bool WriteSettings(const TempFolder& folder, std::string_view ini_text);

// ---- Time ------------------------------------------------------------------------------

// Whole-second local time, as the program reads its clock.
SYSTEMTIME LocalNow();
SYSTEMTIME AddSeconds(const SYSTEMTIME& t, long long seconds);
long long SecondsBetween(const SYSTEMTIME& from, const SYSTEMTIME& to);
SYSTEMTIME LocalTime(int year, int month, int day, int hour, int minute, int second);
// The time label's text at second accuracy for a deadline ahead of `now`.
std::string RemainingText(const SYSTEMTIME& now, const SYSTEMTIME& deadline);
// The log's time stamp: month "." day "-" hour "_" minute "_" second, no leading zeros.
std::string LogStamp(const SYSTEMTIME& t);
// Reads a time stamp back (the year taken from `year`); nullopt when it is not one.
std::optional<SYSTEMTIME> ParseLogStamp(std::string_view stamp, int year);

// ---- One run of the program ----------------------------------------------------------------

class ProgramRun {
public:
    // Starts `exe_name` from `folder` (with the folder as working directory), on the named
    // desktop when one is given.
    static std::unique_ptr<ProgramRun> Start(const std::string& folder, const std::string& exe_name,
                                             const std::string& desktop = "");
    // The same for a folder that GBK cannot spell; the run then knows no log files.
    static std::unique_ptr<ProgramRun> Start(const std::wstring& folder,
                                             const std::wstring& exe_name,
                                             const std::wstring& desktop = L"");
    // Starts it under another Unix locale, and so another code page ("zh_TW.UTF-8": 950).
    // Only one copy of that file name may run in the prefix meanwhile.
    // With `gdi_warnings`, Wine's warnings of the gdi channel (an invalid handle passed to a
    // GDI call among them) go to that file of the folder.
    static std::unique_ptr<ProgramRun> StartInLocale(const std::string& folder,
                                                     const std::string& exe_name,
                                                     const std::string& locale,
                                                     const std::string& gdi_warnings = "");
    // Where StartHeldTogether holds each copy: at the first call of a function of the
    // system's libraries whose wide-text argument (counted from 1; 0: none is looked at)
    // begins with the prefix.
    struct HoldPoint {
        const char* module;
        const char* function;
        int text_argument = 0;
        std::wstring text_prefix;
    };
    // Starts one copy per (folder, file name) under this thread's debugger, holds each at the
    // hold point until all have reached it, then lets them all go in the same instant and
    // stops debugging them. Empty when a copy could not be started or did not reach the
    // point within the limit (those started are ended).
    static std::vector<std::unique_ptr<ProgramRun>> StartHeldTogether(
        const std::vector<std::pair<std::string, std::string>>& copies, const HoldPoint& hold,
        Milliseconds limit = Milliseconds(20000));
    ~ProgramRun();  // ends the process if it still runs
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    DWORD id() const { return process_id_; }
    HANDLE process() const { return process_; }
    const SYSTEMTIME& started_at() const { return started_at_; }
    bool running() const;
    // Waits until the countdown window shows a countdown and the tray icon is there.
    bool WaitUntilReady(Milliseconds limit = Milliseconds(15000));
    // Waits for the process to end; its exit code, or nullopt when it still runs.
    std::optional<DWORD> WaitForExit(Milliseconds limit);
    void Kill();

    // The countdown window and its labels.
    HWND main_window() const;
    HWND tray_menu_window() const;
    std::string TitleLabel() const;
    std::string TimeLabel() const;
    RECT WindowRect() const;
    std::optional<RECT> RegionBox() const;  // nullopt: no window region
    std::optional<BYTE> Alpha() const;      // nullopt: no alpha is set
    bool Topmost() const;
    bool Visible() const;
    HWND Owner() const;
    LONG Style() const;
    LONG ExStyle() const;
    // A point inside the title label, in screen coordinates.
    POINT TitleLabelCentre() const;
    // The title and time labels' rectangles in screen coordinates.
    std::vector<RECT> LabelRects() const;

    // The icon this run put in the notification area (found at start-up); null if none.
    HWND tray_icon() const { return tray_icon_; }
    bool TrayIconPresent() const;

    // Opens the tray menu the way a user does: a right click on the icon. The menu
    // window, or null when none appeared.
    HWND OpenTrayMenu();
    // Opens the tray menu and picks the entry with that caption by clicking it.
    bool ChooseFromTrayMenu(const std::string& caption);
    // Hands the program an event of its icon as the notification area sends it with
    // NOTIFYICON_VERSION_4: the event (WM_CONTEXTMENU, NIN_KEYSELECT, ...) and the icon's
    // anchor on the screen. Wine's notification area has no keyboard path of its own.
    void PostTrayEvent(UINT event, POINT anchor) const;
    // The tray menu window of this process, once one is shown; null when none appears.
    HWND WaitForTrayMenu() const;
    // Waits for a message box of this process with that caption.
    HWND WaitForMessageBox(const std::string& caption,
                           Milliseconds limit = Milliseconds(5000)) const;
    // Waits for a visible window of this process's forms with that title (the settings or
    // the about window).
    HWND WaitForForm(const std::string& title, Milliseconds limit = Milliseconds(5000)) const;

    // The log files this run's folder holds, and the newest one's bytes.
    std::vector<std::string> LogFiles() const;
    std::string LogText() const;

    HWND title_label() const;
    HWND time_label() const;

private:
    ProgramRun() = default;
    std::vector<HWND> FormWindows() const;
    std::vector<HWND> Labels() const;

    std::string folder_;
    HANDLE process_ = nullptr;
    DWORD process_id_ = 0;
    SYSTEMTIME started_at_{};
    std::vector<HWND> icons_before_;
    HWND tray_icon_ = nullptr;
};

// ---- The time label against the clock -------------------------------------------------------

// The local clock in milliseconds since 1601, read as the program reads its clock.
long long LocalMilliseconds();

struct TextChange {
    std::string text;
    long long seen_at_ms;  // LocalMilliseconds() when the text was first seen
};
// Asks a window for its text (WM_GETTEXT) every `step` for `duration` and keeps each new text
// with the moment it was first seen; the first entry is the text at the start.
std::vector<TextChange> WatchText(HWND window, Milliseconds duration,
                                  Milliseconds step = Milliseconds(2));

// The local second (in LocalMilliseconds, a multiple of 1000) from which `text` is the time
// label's text at second accuracy, or at minute accuracy with `minutes`, for a deadline
// ahead; searched in the two minutes up to `seen_at_ms` (and two seconds after it). Nullopt
// when the text is none of those.
std::optional<long long> TrueSince(const std::string& text, const SYSTEMTIME& deadline,
                                   bool minutes, long long seen_at_ms);

// ---- A desktop whose screen size can change -------------------------------------------------

// Wine shows a desktop whose size is configured under HKCU\Software\Wine\Explorer\Desktops
// as a window of that size on the display (a virtual desktop), and there a program may change
// the display mode as on a real screen; the X display itself has a single mode.
bool ConfigureVirtualDesktop(const std::string& name, int width, int height);
// Runs `body` on a thread of its own attached to the desktop (a desktop's windows are seen
// only from its threads), then waits for the desktop to close; false when the thread could
// not attach to it.
bool RunOnDesktop(const std::string& name, const std::function<void()>& body);
// Changes the display size of the calling thread's desktop, as lowering the resolution does;
// true when it was accepted.
bool SetDisplaySize(int width, int height);

// The tray menu's captions, in the order the menu shows them.
inline const std::vector<std::string> kTrayMenuCaptions = {"开始/暂停", "-",    "设置",
                                                           "咨询/反馈", "关于", "退出"};

}  // namespace e2e
