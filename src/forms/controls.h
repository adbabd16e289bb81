// The control types of the settings and about windows: labels, group boxes, buttons, edit
// boxes, check boxes, combo boxes, sliders, spinners, date pickers, colour pickers, the
// invisible file dialog, and the page control with its pages. Each type takes a struct of
// creation arguments (every member defaulted, events as handler members) and offers typed
// properties that the logic reads and writes whether or not the window is loaded.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <windows.h>

#include "forms/model.h"
#include "runtime/value.h"

namespace tq::forms {

// Owns the font a control draws with: the one its form names, else the default GUI font,
// both made for the form's DPI. The form makes it again when its DPI changes.
class ControlFont {
public:
    ControlFont() = default;
    ControlFont(const ControlFont&) = delete;
    ControlFont& operator=(const ControlFont&) = delete;
    ~ControlFont() { Release(); }
    void Make(const std::optional<FontSpec>& description, Control& owner);
    void Release();
    HFONT handle() const;

private:
    friend void RescaleControlFont(ControlFont& font);
    void MakeAtDpi(int dpi);
    HFONT owned_ = nullptr;
    std::optional<FontSpec> description_;
    Control* owner_ = nullptr;
};

// Text on the window's own background, black, in the default GUI font unless the form
// names one. Without word wrap the text is one line, aligned vertically as asked; with
// word wrap it breaks at the label's width from the top.
class Label : public Control {
public:
    struct Args {
        Control* container = nullptr;
        Rect rect;
        const char* caption = "";
        HAlign align = HAlign::Left;
        bool word_wrap = false;
        VAlign valign = VAlign::Centre;
        std::optional<FontSpec> font;
        bool visible = true;
        bool disabled = false;
        InputHandlers events;
    };
    Label(Form* form, Args args);

    const std::string& caption() const { return caption_; }
    void SetCaption(std::string_view caption);
    HAlign align() const { return align_; }
    void SetAlign(HAlign align);
    bool word_wrap() const { return word_wrap_; }
    void SetWordWrap(bool wrap);
    VAlign valign() const { return valign_; }
    void SetVAlign(VAlign valign);

private:
    void Create(HWND form_window) override;
    void AfterDestroy() override { font_.Release(); }
    static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
    void Paint(HDC dc);
    void Repaint();

    Args args_;
    std::string caption_;
    HAlign align_;
    bool word_wrap_;
    VAlign valign_;
    ControlFont font_;
};

// A captioned frame. It contains the controls that name it as their container; it paints
// its whole rectangle, so nothing beneath it shows through.
class GroupBox : public Control {
public:
    struct Args {
        Control* container = nullptr;
        Rect rect;
        const char* caption = "";
        std::optional<FontSpec> font;
        bool visible = true;
        bool disabled = false;
    };
    GroupBox(Form* form, Args args);

    const std::string& caption() const { return caption_; }
    void SetCaption(std::string_view caption);

private:
    void Create(HWND form_window) override;
    void AfterDestroy() override { font_.Release(); }
    static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
    void Paint(HDC dc);

    Args args_;
    std::string caption_;
    ControlFont font_;
};

class Button : public Control {
public:
    struct Args {
        Control* container = nullptr;
        Rect rect;
        const char* caption = "";
        std::optional<FontSpec> font;
        bool visible = true;
        bool disabled = false;
        Handler<> on_clicked;
        InputHandlers events;
        bool default_button = false;  // Enter presses it (unless the focus is on a button)
        bool cancel_button = false;   // Esc presses it
    };
    Button(Form* form, Args args);

    std::string caption() const;
    void SetCaption(std::string_view caption);

private:
    void Create(HWND form_window) override;
    void AfterDestroy() override { font_.Release(); }
    bool OnCommand(WORD code) override;
    bool PressedBy(WORD dialog_key) const override;
    HBRUSH OnColour(HDC dc) override;

    Args args_;
    std::string caption_;
    ControlFont font_;
};

// A single-line edit box with a sunken border. Like the check box's state and the combo
// box's selection, its text is kept on the program's side as every change is reported, so
// that reading it costs no request to the platform (saving the settings reads dozens).
class EditBox : public Control {
public:
    enum class Input { FreeText, DigitsAndMinus };
    struct Args {
        Control* container = nullptr;
        Rect rect;
        const char* content = "";
        // Digits and minus: typed characters of code 32 and above other than '-' and '0'..'9'
        // are discarded; control keys such as Backspace still work.
        Input input = Input::FreeText;
        int max_length = 0;  // bytes the user may type; 0: no limit of the program's own
        bool read_only = false;
        std::optional<COLORREF> background;  // none: the platform's (white when editable)
        std::optional<FontSpec> font;
        bool visible = true;
        bool disabled = false;
        // Raised at every change the user makes, and exactly once per SetContent.
        Handler<> on_content_changed;
        InputHandlers events;
        const Label* label = nullptr;  // names it for screen readers
    };
    EditBox(Form* form, Args args);

    std::string content() const;
    // Replaces the text, then raises content-changed once, even when the text is unchanged.
    void SetContent(std::string_view content);
    Input input() const { return input_; }
    void SetInput(Input input) { input_ = input; }
    int max_length() const { return max_length_; }
    void SetMaxLength(int bytes);
    bool read_only() const { return read_only_; }
    void SetReadOnly(bool read_only);
    std::optional<COLORREF> background() const { return background_; }
    void SetBackground(std::optional<COLORREF> colour);

private:
    void Create(HWND form_window) override;
    void AfterDestroy() override;
    bool OnCommand(WORD code) override;
    HBRUSH OnColour(HDC dc) override;
    static LRESULT CALLBACK InputFilter(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);

    Args args_;
    std::string content_;  // the text while the window is not loaded
    Input input_;
    int max_length_;
    bool read_only_;
    std::optional<COLORREF> background_;
    HBRUSH background_brush_ = nullptr;
    bool setting_content_ = false;
    ControlFont font_;
};

class CheckBox : public Control {
public:
    struct Args {
        Control* container = nullptr;
        Rect rect;
        const char* caption = "";
        bool checked = false;
        std::optional<FontSpec> font;
        bool visible = true;
        bool disabled = false;
        // Raised after a click has toggled the box; setting `checked` raises nothing.
        Handler<> on_clicked;
        InputHandlers events;
    };
    CheckBox(Form* form, Args args);

    bool checked() const;
    void SetChecked(bool checked);
    std::string caption() const;
    void SetCaption(std::string_view caption);

private:
    void Create(HWND form_window) override;
    void AfterDestroy() override { font_.Release(); }
    bool OnCommand(WORD code) override;
    HBRUSH OnColour(HDC dc) override;

    Args args_;
    bool checked_;
    std::string caption_;
    ControlFont font_;
};

// A drop-down list (not editable) whose list part is at least 160 pixels tall.
class ComboBox : public Control {
public:
    struct Args {
        Control* container = nullptr;
        Rect rect;
        std::vector<std::string> items;
        int index = -1;  // -1: nothing selected
        std::optional<FontSpec> font;
        bool visible = true;
        bool disabled = false;
        // Raised when the user selects an item; setting the index raises nothing.
        Handler<> on_selection_changed;
        InputHandlers events;
        const Label* label = nullptr;  // names it for screen readers
    };
    ComboBox(Form* form, Args args);

    int count() const { return static_cast<int>(items_.size()); }
    const std::string& item(int index) const { return items_.at(index); }
    void AddItem(std::string_view text);
    // Appends many items, the list's storage reserved for them first.
    void AddItems(const std::vector<std::string>& texts);
    void ClearItems();
    int index() const;
    // Negative selects nothing; beyond the last item selects the last.
    void SetIndex(int index);
    // The text of the selected item; empty when nothing is selected.
    std::string content() const;

private:
    void Create(HWND form_window) override;
    void AfterDestroy() override { font_.Release(); }
    bool OnCommand(WORD code) override;
    void FitHeights();
    void ApplyDpi() override {
        PlaceWindow();
        FitHeights();
    }

    Args args_;
    std::vector<std::string> items_;
    int index_;
    ControlFont font_;
};

// A horizontal track bar without border, tick marks below at every unit, page step 5 and
// line step 1. The position always lies within [minimum, maximum].
class Slider : public Control {
public:
    struct Args {
        Control* container = nullptr;
        Rect rect;
        int minimum = 0;
        int maximum = 100;
        int position = 0;
        bool visible = true;
        bool disabled = false;
        // Raised at every move of the thumb by the user; setting the position raises nothing.
        Handler<> on_position_changed;
        InputHandlers events;
        const Label* label = nullptr;  // names it for screen readers
    };
    Slider(Form* form, Args args);

    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    int position() const;
    void SetMinimum(int minimum);
    void SetMaximum(int maximum);
    void SetPosition(int position);

private:
    void Create(HWND form_window) override;
    bool OnScroll(WPARAM code) override;
    HBRUSH OnColour(HDC dc) override;
    void ApplyDpi() override;
    void ApplyRange();
    void FitThumb();

    Args args_;
    int minimum_;
    int maximum_;
    int position_;
};

// A vertical pair of arrows without buddy and without a value of its own: each press of the
// upper arrow raises arrow-pressed with +1, of the lower arrow with -1.
class Spinner : public Control {
public:
    struct Args {
        Control* container = nullptr;
        Rect rect;
        bool visible = true;
        bool disabled = false;
        Handler<int> on_arrow;
        InputHandlers events;
        const Label* label = nullptr;  // names it for screen readers
    };
    Spinner(Form* form, Args args);

private:
    void Create(HWND form_window) override;
    bool OnNotify(NMHDR* header, LRESULT* result) override;

    Args args_;
};

// Shows a date in the long date format; the user types it or picks it from a drop-down
// calendar. The value is a date-time value whose time of day is kept here, because the
// control shows and edits only the date: picking another day keeps the time of day.
class DatePicker : public Control {
public:
    struct Args {
        Control* container = nullptr;
        Rect rect;
        double value = 0;  // 0: the current date and time when the window is created
        CivilTime earliest{1949, 10, 1, 0, 0, 0};
        CivilTime latest{2049, 10, 7, 0, 0, 0};
        std::optional<FontSpec> font;
        bool visible = true;
        bool disabled = false;
        InputHandlers events;
        const Label* label = nullptr;  // names it for screen readers
    };
    DatePicker(Form* form, Args args);

    double value() const;
    // Dates outside [earliest, latest] are moved to the nearer end; the time of day stays.
    void SetValue(double date_time);
    double earliest() const { return earliest_; }
    double latest() const { return latest_; }
    void SetRange(double earliest, double latest);

private:
    void Create(HWND form_window) override;
    void AfterDestroy() override { font_.Release(); }
    void ShowDate();
    double ClampDate(double day) const;

    Args args_;
    double day_ = 0;          // the date at midnight
    int seconds_of_day_ = 0;  // the time of day the control does not show
    double earliest_;
    double latest_;
    ControlFont font_;
};

// A button that shows its colour as a swatch; clicking it opens the colour dialog.
class ColourPicker : public Control {
public:
    struct Args {
        Control* container = nullptr;
        Rect rect;
        COLORREF colour = RGB(0, 0, 0);
        bool visible = true;
        bool disabled = false;
        // Raised when the user has chosen a colour in the dialog.
        Handler<> on_colour_changed;
        InputHandlers events;
        const Label* label = nullptr;  // names it for screen readers
    };
    ColourPicker(Form* form, Args args);

    COLORREF colour() const { return colour_; }  // 0x00BBGGRR
    void SetColour(COLORREF colour);
    // Runs the colour dialog; true when the user chose a colour.
    bool Choose();

private:
    void Create(HWND form_window) override;
    bool OnCommand(WORD code) override;
    HBRUSH OnColour(HDC dc) override;
    static LRESULT CALLBACK SwatchPainter(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    void PaintSwatch(HDC dc) const;

    Args args_;
    COLORREF colour_;
};

// The open-file dialog; it has no window of its own on the form.
class FileDialog : public Control {
public:
    struct Args {
        // Description and patterns separated by '|', e.g. "图片|*.jpg;*.bmp|所有文件|*.*".
        const char* filter = "";
        const char* title = "";  // empty: the platform's
    };
    FileDialog(Form* form, Args args);

    const std::string& filter() const { return filter_; }
    void SetFilter(std::string_view filter) { filter_.assign(filter); }
    const std::string& file_name() const { return file_name_; }
    void SetFileName(std::string_view name) { file_name_.assign(name); }
    // Runs the dialog; the file name changes only when it reports success.
    bool Open();

    // "a|b|c|d" as the dialog wants it: "a\0b\0c\0d\0\0".
    static std::string DialogFilter(std::string_view filter);

private:
    void Create(HWND form_window) override;

    Args args_;
    std::string filter_;
    std::string file_name_;
};

class Page;

// A tab control whose tabs are its pages. Selecting a tab shows the controls of its page and
// hides those of the others; Ctrl+Tab and Ctrl+Shift+Tab step through the pages; resting
// the mouse on a tab shows its page's hint.
class PageControl : public Control {
public:
    struct Args {
        Control* container = nullptr;
        Rect rect;
        std::optional<FontSpec> font;
        bool visible = true;
        bool disabled = false;
        Handler<> on_page_changed;
        InputHandlers events;
    };
    PageControl(Form* form, Args args);

    int current() const { return current_; }
    void SetCurrent(int page);
    const std::vector<Page*>& pages() const { return pages_; }
    HWND tooltip() const { return tooltip_; }
    // The pages' body as the visual style draws it (the tab control's TABP_BODY), as a brush
    // whose origin is the page control's top left corner; null while the control draws the
    // classic look, where the pages show the window's face.
    HBRUSH BodyBrush();

private:
    friend class Page;
    void Create(HWND form_window) override;
    void AfterDestroy() override;
    void OnSchemeChanged() override { ReleaseBody(); }
    void ReleaseBody();
    bool OnNotify(NMHDR* header, LRESULT* result) override;
    bool PreTranslate(MSG& msg) override;
    void ShowCurrentPage();

    Args args_;
    std::vector<Page*> pages_;
    int current_ = 0;
    HWND tooltip_ = nullptr;
    ControlFont font_;
    HBITMAP body_bitmap_ = nullptr;  // drawn for the control's size, which the brush tiles
    HBRUSH body_brush_ = nullptr;
    SIZE body_size_{};
};

// A page of a page control: a container without a window, covering the page control, so
// that the positions of its controls are relative to the page control.
class Page : public Control {
public:
    struct Args {
        const char* caption = "";
        const char* hint = "";  // shown as the tab's tooltip
    };
    Page(Form* form, PageControl* owner, Args args);

    const std::string& caption() const { return caption_; }
    const std::string& hint() const { return hint_; }
    PageControl& owner() const { return *owner_; }

private:
    void Create(HWND form_window) override;

    PageControl* owner_;
    std::string caption_;
    std::string hint_;
};

}  // namespace tq::forms
