// The window and control model. A form is a class whose members are its controls, each
// initialised from a small struct of creation arguments (geometry, caption, initial
// state, event handlers); the logic names controls as members, so the compiler checks
// every name. Loading a form creates its window and then every control in declaration
// order; closing it destroys them and the next load starts again from the arguments.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
#include <uxtheme.h>

#include "appearance/picture.h"

namespace tq::forms {

// Private window messages, all from one base.
enum : UINT {
    kTrayCallbackMessage = WM_APP + 1,  // the notification-area icon's mouse and keyboard actions
    kTrayUpdateMessage,                 // hand the icon to the notification area now
};

// WM_DPICHANGED (Windows 8.1), not in the headers for Windows 7 that the program builds with.
inline constexpr UINT kDpiChangedMessage = 0x02E0;

struct Rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool operator==(const Rect&) const = default;
};

// Screen scale. Every geometry that the forms and the settings file hold is in units of
// 1/96 inch, the pixels of a screen at 100 %; the platform takes and gives pixels at the
// DPI of the window concerned. Both directions round to the nearest pixel or unit (halves
// away from zero), each of left, top, width and height on its own, so at 96 DPI nothing
// changes and at any DPI above it a value taken to pixels and back is the value again.
inline constexpr int kUnitDpi = 96;
int ToPixels(int units, int dpi);
int ToUnits(int pixels, int dpi);
Rect ToPixels(const Rect& units, int dpi);
Rect ToUnits(const Rect& pixels, int dpi);
// The DPI the system was started with (the default GUI font is made for it).
int SystemDpi();
// The DPI a window is shown at: GetDpiForWindow where the system has it (Windows 10 1607
// and later, Wine), else the system's.
int DpiOfWindow(HWND window);

enum class Border { None = 0, Resizable, Fixed, ToolResizable, ToolFixed, FramedResizable, FramedFixed };
enum class StartPosition { AsStored = 0, Centred, Minimised, Maximised };
enum class Shape { Rectangle = 0, Ellipse, RoundedRectangle, Ring, Diamond, Hexagon };
enum class PictureMode { Tiled = 1, Stretched = 3 };
enum class HAlign { Left = 0, Centre = 1, Right = 2 };
enum class VAlign { Top = 0, Centre = 1, Bottom = 2 };

// Key-state mask passed with mouse events.
enum KeyState { kCtrl = 1, kShift = 2, kAlt = 4 };

struct MouseEvent {
    int x = 0;  // client coordinates of the control or window that got the event
    int y = 0;
    int keys = 0;
};

// An event handler. Handlers that do not need the event's arguments are plain
// `void()` routines and bind to any event.
template <typename... Args>
class Handler {
public:
    constexpr Handler() = default;
    constexpr Handler(void (*with_args)(Args...)) : with_args_(with_args) {}
    template <typename T = void>
        requires(sizeof...(Args) > 0)
    constexpr Handler(void (*without_args)()) : without_args_(without_args) {}
    Handler(std::function<void(Args...)> f) : function_(std::move(f)) {}

    void operator()(Args... args) const {
        if (with_args_) {
            with_args_(args...);
        } else if (without_args_) {
            without_args_();
        } else if (function_) {
            function_(args...);
        }
    }
    explicit operator bool() const { return with_args_ || without_args_ || function_; }

private:
    void (*with_args_)(Args...) = nullptr;
    void (*without_args_)() = nullptr;
    std::function<void(Args...)> function_;
};

// A font as the platform describes it (a 60-byte LOGFONTA, its face in GBK like every text
// of the program); CreateFontFrom makes the platform's font of such a description.
struct FontSpec {
    int height = -13;  // negative: character height in units (pixels at 96 DPI)
    int weight = FW_NORMAL;
    bool italic = false;
    BYTE charset = GB2312_CHARSET;
    const char* face = "";  // empty: the system picks a face for the charset
};
LOGFONTA MakeLogFont(const FontSpec& description);
HFONT CreateFontFrom(const LOGFONTA& description);
// The same at a DPI: a height given in units becomes pixels.
LOGFONTA MakeLogFont(const FontSpec& description, int dpi);
// The default GUI font as a description for a window at that DPI: the system makes it for
// its own DPI, so its height is scaled from that one.
LOGFONTA DefaultGuiFont(int dpi);

class ControlFont;
// Makes the font again for its form's current DPI and hands it to the control's window.
void RescaleControlFont(ControlFont& font);

// DrawText flags for a caption: horizontal alignment; with word wrap the text breaks at
// words, without it a single line placed by the vertical alignment.
UINT DrawTextFlags(HAlign align, bool word_wrap, VAlign valign);

class Form;
class Label;

// Mouse and keyboard events every control and window can raise. Mouse events pass the
// position and key-state mask, the wheel its delta in notches and the mask; key events
// pass nothing.
struct InputHandlers {
    Handler<const MouseEvent&> on_left_button_down;
    Handler<const MouseEvent&> on_left_button_up;
    Handler<const MouseEvent&> on_right_button_down;
    Handler<const MouseEvent&> on_right_button_up;
    Handler<const MouseEvent&> on_double_click;
    Handler<const MouseEvent&> on_mouse_move;
    Handler<int, int> on_wheel;
    Handler<> on_key_down;
    Handler<> on_key_up;
    Handler<> on_character;
};

// Everything placed on a form. Controls register with their form when constructed; a
// control inside a group box or a page names that container, and its geometry is
// relative to it.
class Control {
public:
    Control(Form* form, Control* container, Rect rect, bool visible, bool disabled);
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;
    virtual ~Control() = default;

    HWND handle() const { return hwnd_; }
    Form& form() const { return *form_; }

    Rect rect() const { return rect_; }
    void SetRect(Rect rect);
    void SetLeft(int left) { SetRect({left, rect_.top, rect_.width, rect_.height}); }
    void SetTop(int top) { SetRect({rect_.left, top, rect_.width, rect_.height}); }
    void SetWidth(int width) { SetRect({rect_.left, rect_.top, width, rect_.height}); }
    void SetHeight(int height) { SetRect({rect_.left, rect_.top, rect_.width, height}); }
    bool visible() const { return visible_; }
    void SetVisible(bool visible);
    bool disabled() const { return disabled_; }
    void SetDisabled(bool disabled);
    std::string tag;

    InputHandlers events;

    // The control's rectangle in its form's client area (containers' offsets added), in
    // the window's pixels.
    RECT ClientRect() const;
    // Visible itself and inside visible containers.
    bool EffectivelyVisible() const;
    // The group box or page it lies in; none for a control placed on the form itself.
    Control* container() const { return container_; }

protected:
    friend class Form;
    // Creates the platform window (if the type has one) from the creation arguments;
    // state left from an earlier load is reset first.
    virtual void Create(HWND form_window) = 0;
    virtual void AfterDestroy() {}
    // Notifications that the form receives on the control's behalf.
    virtual bool OnCommand(WORD /*code*/) { return false; }
    virtual bool OnNotify(NMHDR* /*header*/, LRESULT* /*result*/) { return false; }
    virtual bool OnScroll(WPARAM /*code*/) { return false; }
    virtual HBRUSH OnColour(HDC /*dc*/) { return nullptr; }
    // The colour scheme or the visual style changed: whatever was drawn ahead from them goes.
    virtual void OnSchemeChanged() {}
    virtual void OnContainerVisibilityChanged() { ApplyVisibility(); }
    // The form's DPI changed: the window takes its place at the new scale.
    virtual void ApplyDpi() { PlaceWindow(); }
    // Whether Enter (IDOK) or Esc (IDCANCEL) presses this control when the focus is on no
    // button: a form's default and cancel buttons.
    virtual bool PressedBy(WORD /*dialog_key*/) const { return false; }
    // Keyboard messages of the control's form before the dialog navigation sees them
    // (for example Ctrl+Tab for a page control); true when the control used the message.
    virtual bool PreTranslate(MSG& /*msg*/) { return false; }

    // Creates a child window of the form at this control's place. The input events of a
    // window class of the platform's are routed back to the control by subclassing; a
    // class of the program's own passes route_input false and raises them itself.
    HWND CreateChild(HWND form_window, const wchar_t* window_class, std::string_view text,
                     DWORD style, DWORD ex_style = 0, bool route_input = true);
    void ApplyVisibility();
    void ApplyRect();  // moves the window, and those of the controls it contains, to rect_
    void PlaceWindow();           // moves this window alone to rect_ at the form's DPI
    RECT UnitClientRect() const;  // ClientRect in units
    void ResetCommonState();
    // The controls of the form that this control (a label) names are named anew: its caption
    // changed. Screen readers that hold their objects hear of the change.
    void NameLabelledControls() const;
    int id() const { return id_; }

    Form* form_;
    Control* container_;
    HWND hwnd_ = nullptr;
    // The label whose caption names the control for screen readers, for the types whose own
    // window text is not their name (an edit box's text is its content, a list's its item).
    const Label* label_ = nullptr;
    // The platform keeps the label's caption as the control's accessible name (annotation), so
    // WM_GETOBJECT needs nothing from the program; where it does not (Wine), the program
    // answers WM_GETOBJECT itself.
    bool name_annotated_ = false;
    // The window procedure of the platform's class, before the program's subclass: a
    // message that the program's procedures have nothing to do with may go straight to it.
    // Under Wine each message through a subclass costs three wineserver requests (the
    // subclass's window property is looked up three times), which a list of a thousand fonts
    // notices.
    WNDPROC platform_proc_ = nullptr;

private:
    static LRESULT CALLBACK ChildProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    void AnnotateName(HWND hwnd);  // from label_'s caption

    Rect initial_rect_;
    bool initial_visible_;
    bool initial_disabled_;
    Rect rect_;
    bool visible_;
    bool disabled_;
    int id_;
};

// A child window with a transparent extended style that paints only its text over
// whatever its form shows beneath (the stretched picture).
class TransparentLabel : public Control {
public:
    enum class Effect { None = 0, WhiteShadow = 1, WhiteEmboss = 2, BlackShadow = 3 };
    struct Args {
        Rect rect;
        const char* caption = "";
        FontSpec font;
        COLORREF colour = RGB(0, 0, 0);
        HAlign align = HAlign::Left;
        bool word_wrap = false;
        VAlign valign = VAlign::Top;
        Effect effect = Effect::None;
        bool visible = true;
        InputHandlers events;
        Control* container = nullptr;
    };
    TransparentLabel(Form* form, Args args);

    const std::string& caption() const { return caption_; }
    void SetCaption(std::string_view caption);
    const LOGFONTA& font() const { return font_; }
    // A face of 1 to 31 bytes replaces the current one; any other leaves it as it was.
    void SetFontFace(std::string_view face);
    void SetFontSize(int points);  // character height -points * window dpi / 72
    void SetBold(bool bold);
    void SetItalic(bool italic);
    COLORREF colour() const { return colour_; }
    void SetColour(COLORREF colour);
    HAlign align() const { return align_; }
    void SetAlign(HAlign align);
    void SetWordWrap(bool wrap);
    void SetVAlign(VAlign valign);
    void SetEffect(Effect effect);
    // Anti-aliased glyph edges would show a fringe of the key colour when the form's
    // background is keyed out.
    void SetAntialiased(bool antialiased);

private:
    void Create(HWND form_window) override;
    void AfterDestroy() override;
    void ApplyDpi() override;
    void ResetState();  // everything from the creation arguments
    void FontChanged();
    void Repaint();
    void PaintNow();
    static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
    void Paint(HDC dc);

    Args args_;
    std::string caption_;
    std::wstring wide_caption_;  // what is drawn: the time label changes every second
    LOGFONTA font_{};            // as the platform gets it: its height in the window's pixels
    std::optional<int> points_;  // the size last set in points; none: the form data's height
    bool font_set_ = true;
    COLORREF colour_;
    HAlign align_;
    bool word_wrap_;
    VAlign valign_;
    Effect effect_;
    bool antialiased_ = true;
    HFONT hfont_ = nullptr;
    void ReleaseBuffer();
    HDC buffer_dc_ = nullptr;
    HBITMAP buffer_ = nullptr;
    HGDIOBJ buffer_old_bitmap_ = nullptr;
    SIZE buffer_size_{};
};

// A window timer. Setting an interval stops the timer and, when the new interval is
// above 0, starts it again, so the first tick comes one full interval later, or where its
// placer puts it.
class Timer : public Control {
public:
    // Where the next tick belongs: milliseconds from now, given the interval and whether the
    // timer is just starting.
    using Placer = int64_t (*)(int interval, bool starting);
    struct Args {
        int interval = 0;
        Handler<> on_tick;
        Placer placer = nullptr;
    };
    Timer(Form* form, Args args);
    int interval() const { return interval_; }
    void SetInterval(int milliseconds);
    // The platform's tick: the handler runs unless the timer was stopped meanwhile (a tick
    // already queued then is dropped), and then the next tick is kept in its place.
    void OnPlatformTick();

private:
    void Create(HWND form_window) override;
    void Arm(int64_t delay);
    Args args_;
    int interval_ = 0;
    int armed_ = 0;   // the period the platform timer now runs with
    int starts_ = 0;  // counts SetInterval calls, so a tick sees whether its handler restarted it
};

// An entry of a popup menu; the caption "-" makes a separator.
class MenuItem {
public:
    struct Args {
        const char* caption = "";
        bool checked = false;
        bool disabled = false;
        bool visible = true;
        Handler<> on_selected;
    };
    explicit MenuItem(Args args);
    std::string caption;
    bool checked;
    bool disabled;
    bool visible;
    void Select() const { args_.on_selected(); }

private:
    Args args_;
};

// A popup menu: the level-0 item that holds the entries.
class Menu {
public:
    Menu(const char* caption, std::vector<MenuItem*> items);
    const std::string& caption() const { return caption_; }
    const std::vector<MenuItem*>& items() const { return items_; }

private:
    std::string caption_;
    std::vector<MenuItem*> items_;
};

// A top-level window described by its form.
class Form {
public:
    struct Args {
        const char* title = "";
        Rect rect;
        bool visible = true;
        Border border = Border::Resizable;
        bool control_box = true;
        bool minimise_box = false;
        bool maximise_box = false;
        StartPosition position = StartPosition::Centred;
        bool movable = true;
        bool in_taskbar = true;
        bool drag_anywhere = false;
        bool esc_closes = false;
        bool topmost = false;
        Shape shape = Shape::Rectangle;
        PictureMode picture_mode = PictureMode::Tiled;
        bool disabled = false;
        // A window that never takes the focus from the user's program: clicks, showing,
        // moving and restoring leave the active window as it is, and it is not listed
        // in Alt+Tab (a tool window, with or without a frame).
        bool never_activated = false;
        // While the form is always on top: a window in front that it lies just below instead,
        // out of the topmost band, or nullptr. Asked each time the form is placed.
        std::function<HWND()> topmost_gives_way_to;

        Handler<> on_created;
        // Raised once, when the window is first shown (after Load or a later show).
        Handler<> on_first_shown;
        Handler<> on_first_activated;
        Handler<> on_activated;
        Handler<> on_deactivated;
        Handler<> on_destroying;
        // Returns false to refuse closing.
        std::function<bool()> on_may_close;
        Handler<> on_resized;
        Handler<> on_moved;
        // Sees each message of the window before the form does: true when it handled the
        // message, with its result set (the notification-area icon of the window that owns it).
        std::function<bool(UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result)> on_message;
        // The system clock was changed or the machine resumed from sleep.
        Handler<> on_clock_changed;
        // The screens changed: a resolution, a monitor added or removed, or a work area.
        Handler<> on_screens_changed;
        // The system's colours changed, or its high-contrast mode was turned on or off.
        Handler<> on_colours_changed;
        InputHandlers events;
        // The window class, for a window that others must find whatever its title (an
        // installer closing the running program); the forms' shared class when none.
        const wchar_t* window_class = nullptr;
    };

    explicit Form(Args args);
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;
    virtual ~Form() = default;

    // Creates the window and its controls from the form, raises created, then shows it
    // when the form says visible. Loading a loaded form does nothing.
    void Load();
    // Posts a close request: the window closes once the current handler has returned.
    void Close();
    bool loaded() const { return hwnd_ != nullptr; }
    HWND handle() const { return hwnd_; }

    // Window properties. The outer geometry is in units (see kUnitDpi): the form data, the
    // settings file and the settings window's boxes hold units.
    Rect rect() const;
    void SetRect(Rect rect);
    // The same in the screen's pixels, for placing the window among monitors.
    Rect pixel_rect() const;
    void SetPixelRect(Rect rect);
    // The DPI the window is shown at (the system's before it is loaded).
    int dpi() const { return dpi_; }
    // The window was moved to a screen of another scale (WM_DPICHANGED): it takes the
    // rectangle the system suggests and rescales its controls and their fonts.
    void OnDpiChanged(int dpi, const RECT& suggested);
    // The outer size the window would have at another DPI (WM_GETDPISCALEDSIZE): its size
    // in units taken to that DPI.
    SIZE ScaledSize(int dpi) const;
    void SetLeft(int left);
    void SetTop(int top);
    void SetWidth(int width);
    void SetHeight(int height);
    std::string title() const { return title_; }
    void SetTitle(std::string_view title);
    Border border() const { return border_; }
    void SetBorder(Border border);
    Shape shape() const { return shape_; }
    void SetShape(Shape shape);
    // Always on top as chosen, whether or not the form gives way to a window just now.
    bool topmost() const { return topmost_; }
    // Records the choice and places the window anew: in the topmost band, out of it, or just
    // below the window it gives way to.
    void SetTopmost(bool topmost);
    bool visible() const;
    void SetVisible(bool visible);
    void SetDisabled(bool disabled);
    COLORREF background_colour() const { return background_colour_; }
    void SetBackgroundColour(COLORREF colour);
    bool HasBackgroundColour() const { return has_background_colour_; }
    // Back to the system's colour for a window's face.
    void ResetBackgroundColour();
    // The background picture as the bytes of a picture file. The removed state shows no
    // picture and never equals any real picture's bytes. Given a way to read the bytes
    // again, the form keeps a large picture only as its bitmap at the window's size and
    // reads the bytes again when it needs them (a resize, or a caller asking for them), so
    // memory follows the window rather than the picture file.
    std::string picture() const;
    bool picture_removed() const { return picture_removed_; }
    void SetPicture(std::string bytes, std::function<std::string()> read_again = nullptr);
    void RemovePicture();
    void SetPictureMode(PictureMode mode);
    // Centres the window on the primary screen, in its pixels (moves only when the place
    // differs).
    void Centre();
    bool minimised() const;
    bool maximised() const;
    void Restore();

    // Paints what the form shows beneath its controls: background colour and picture.
    // `area` is in client coordinates; the DC's origin is the client area's.
    void PaintBackground(HDC dc, const RECT& area);

    // Keyboard handling for the message loop: Esc closing and Tab moving focus.
    static bool PreTranslate(MSG& msg);

protected:
    friend class Control;
    friend class ControlFont;
    void Register(Control* control);
    int NextControlId() { return next_control_id_++; }

private:
    static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
    LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
    void Paint();
    void ApplyStyles();
    void ApplyShape();
    void ApplyTopmost();
    void RebuildPictureBitmap();
    void DecodePictureBitmap();
    void FreePictureBitmap();
    Control* ControlById(int id) const;
    void OnDestroyed();
    void Show(int show_command);
    DWORD OwnExStyle() const;  // the extended style bits the form's flags keep
    void OnSchemeChanged(UINT message, WPARAM wparam, LPARAM lparam);
    // The window opens with the focus on its default button, or else on its first control
    // that takes the focus; coming back, on the control that had it.
    void FocusFirstControl();
    bool OnDialogCommand(WORD id);  // IDOK and IDCANCEL of the dialog keys
    // The focus visits the controls in form order, which is also the order in which they
    // lie over each other; where an input overlaps a smaller one, it leaves the shared part
    // to it (a window region), so that the smaller one shows whole whatever the order.
    void ClipOverlappingInputs();
    HWND ButtonPressedBy(WORD dialog_key) const;

    Args args_;
    HWND hwnd_ = nullptr;
    int dpi_ = kUnitDpi;
    std::vector<Control*> controls_;
    std::vector<ControlFont*> fonts_;  // rescaled when the DPI changes
    int next_control_id_ = 1000;
    std::string title_;
    Border border_;
    Shape shape_;
    // The region last given to the window, so that setting the same shape at the same
    // size again (the look is applied in several steps) costs nothing.
    Shape region_shape_ = Shape::Rectangle;
    SIZE region_size_{};
    int region_dpi_ = kUnitDpi;
    bool first_activation_seen_ = false;
    bool first_show_seen_ = false;
    // Holds controls of the platform's: its messages are handled with the common controls
    // version 6 active (see CommonControlsScope).
    bool common_controls_ = false;
    COLORREF background_colour_ = 0;
    bool has_background_colour_ = false;
    std::string picture_;
    std::function<std::string()> read_picture_again_;
    bool picture_released_ = false;  // picture_ was dropped after decoding; read it again
    bool picture_removed_ = false;
    PictureMode picture_mode_;
    HBITMAP picture_bitmap_ = nullptr;  // the decoded picture, scaled once to the client area
    SIZE picture_bitmap_size_{};
    HDC picture_dc_ = nullptr;
    HGDIOBJ picture_dc_old_bitmap_ = nullptr;
    bool picture_stale_ = false;
    Rect initial_rect_;
    bool topmost_ = false;
    HWND last_focus_ = nullptr;  // the control that had the focus when the window was left
};

// Shows the menu at the cursor (or at `at`, a point on the screen) on behalf of a window:
// foreground first, right-aligned at that point less five pixels, the window owns it, and an
// empty message follows.
void PopupMenu(Form& window, Menu& menu, std::optional<POINT> at = std::nullopt);

// Runs the message loop until the program ends.
void RunMessageLoop();

// While it lives, the calling thread uses the common controls version 6 (themed controls)
// that the executable's manifest resource 2 declares: the platform's controls created and
// comctl32 functions looked up meanwhile are that version's, and so are the buttons of a
// message box shown meanwhile. Without that resource (the test programs) it does nothing.
// A manifest for the whole process would cost every start-up the binding of that version
// (about 160 write system calls under Wine) although the countdown window has no common
// control, so the scope is active only where those controls live: around the creation of
// the settings and about windows' controls, around every message of those windows and of
// their controls (the message boxes their handlers show, the calendar a date picker drops),
// around the colour and open-file dialogs, and around the tray menu's commands (the exit
// question). The countdown window and the start-up never activate it.
class CommonControlsScope {
public:
    CommonControlsScope();
    ~CommonControlsScope();
    CommonControlsScope(const CommonControlsScope&) = delete;
    CommonControlsScope& operator=(const CommonControlsScope&) = delete;

private:
    ULONG_PTR cookie_ = 0;
    bool active_ = false;
};

// Functions of comctl32, comdlg32, shell32 and uxtheme, looked up when first called. Only
// the settings and about windows need the first two and the last, and the notification-area
// icon is handed over after the window's first paint; leaving the libraries out of start-up
// keeps the countdown window's memory and start-up time close to those of a bare window.
// The signatures are the platform's.
namespace lazy {
BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* init);
BOOL SetWindowSubclass(HWND window, SUBCLASSPROC procedure, UINT_PTR id, DWORD_PTR data);
BOOL RemoveWindowSubclass(HWND window, SUBCLASSPROC procedure, UINT_PTR id);
LRESULT DefSubclassProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
BOOL ChooseColorW(CHOOSECOLORW* choice);
BOOL GetOpenFileNameW(OPENFILENAMEW* dialog);
BOOL Shell_NotifyIconW(DWORD message, NOTIFYICONDATAW* data);
// For tests: while set, Shell_NotifyIconW calls this instead, to stand for a notification
// area that refuses icons.
inline BOOL(WINAPI* shell_notify_icon_for_tests)(DWORD, NOTIFYICONDATAW*) = nullptr;
// uxtheme: the visual style a control draws with (null when it draws the classic look).
HTHEME GetWindowTheme(HWND window);
HRESULT DrawThemeBackground(HTHEME theme, HDC dc, int part, int state, const RECT* area,
                            const RECT* clip);
}  // namespace lazy

}  // namespace tq::forms
