#include "forms/controls.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "forms/internal.h"
#include "runtime/facilities.h"
#include "runtime/value.h"

namespace tq::forms {

namespace {

constexpr UINT_PTR kInputFilterId = 2;
constexpr UINT_PTR kSwatchPainterId = 3;
// The spinner's private range: wide enough that no press ever reaches an end, so the
// control always reports the arrow that was pressed.
constexpr int kSpinnerRange = 1000000;

SYSTEMTIME SystemTimeFrom(double date_time) {
    const CivilTime c = CivilFromDateTime(date_time);
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(c.year);
    st.wMonth = static_cast<WORD>(c.month);
    st.wDay = static_cast<WORD>(c.day);
    st.wHour = static_cast<WORD>(c.hour);
    st.wMinute = static_cast<WORD>(c.minute);
    st.wSecond = static_cast<WORD>(c.second);
    st.wDayOfWeek = static_cast<WORD>(DatePart(date_time, kPartWeekday) - 1);
    return st;
}

double MidnightOf(double date_time) {
    const CivilTime c = CivilFromDateTime(date_time);
    return DateTimeFromCivil({c.year, c.month, c.day, 0, 0, 0});
}

// Captions and frames are drawn on a button face (the window's, or a page's body in the
// same scheme), so in the scheme's text colour for it: legible in any scheme, dark and
// high-contrast ones included.
COLORREF CaptionColour(HWND hwnd) {
    return GetSysColor(IsWindowEnabled(hwnd) ? COLOR_BTNTEXT : COLOR_GRAYTEXT);
}

}  // namespace

// ---- Label ------------------------------------------------------------------------------

Label::Label(Form* form, Args args)
    : Control(form, args.container, args.rect, args.visible, args.disabled),
      args_(std::move(args)),
      caption_(args_.caption),
      align_(args_.align),
      word_wrap_(args_.word_wrap),
      valign_(args_.valign) {
    events = args_.events;
}

void Label::Create(HWND form_window) {
    RegisterClassOnce(kLabelClass, WindowProc);
    ResetCommonState();
    events = args_.events;
    const bool renamed = caption_ != args_.caption;
    caption_ = args_.caption;
    if (renamed) NameLabelledControls();  // those made before it took the last caption
    align_ = args_.align;
    word_wrap_ = args_.word_wrap;
    valign_ = args_.valign;
    font_.Make(args_.font, *this);
    hwnd_ = CreateChild(form_window, kLabelClass, caption_, WS_CLIPSIBLINGS);
    if (!hwnd_) return;
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    FinishChild(hwnd_, font_.handle());
}

void Label::Repaint() {
    if (hwnd_) InvalidateRect(hwnd_, nullptr, FALSE);
}

void Label::SetCaption(std::string_view caption) {
    const bool renamed = caption_ != caption;
    caption_.assign(caption);
    if (renamed) NameLabelledControls();
    // The window text mirrors the caption so that other programs can read it.
    if (hwnd_) SetGbkWindowText(hwnd_, caption_);
    Repaint();
}

void Label::SetAlign(HAlign align) {
    align_ = align;
    Repaint();
}

void Label::SetWordWrap(bool wrap) {
    word_wrap_ = wrap;
    Repaint();
}

void Label::SetVAlign(VAlign valign) {
    valign_ = valign;
    Repaint();
}

LRESULT CALLBACK Label::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* label = reinterpret_cast<Label*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (message) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT:
            if (!label) break;
            PaintBuffered(hwnd, [label](HDC dc, const RECT&) { label->Paint(dc); });
            return 0;
        case WM_GETFONT:
            return label ? reinterpret_cast<LRESULT>(label->font_.handle()) : 0;
        case WM_SETFONT:
            return 0;  // the label keeps the font its form gave it
        case WM_ENABLE:
            InvalidateRect(hwnd, nullptr, FALSE);
            break;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

void Label::Paint(HDC dc) {
    RECT client;
    GetClientRect(hwnd_, &client);
    PaintBeneath(*this, dc, client);
    if (caption_.empty()) return;
    HGDIOBJ old_font = SelectObject(dc, font_.handle());
    const UINT flags = DT_NOPREFIX | DT_EXPANDTABS | DrawTextFlags(align_, word_wrap_, valign_);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, CaptionColour(hwnd_));
    DrawGbkText(dc, caption_, &client, flags);
    SelectObject(dc, old_font);
}

// ---- GroupBox ---------------------------------------------------------------------------

GroupBox::GroupBox(Form* form, Args args)
    : Control(form, args.container, args.rect, args.visible, args.disabled),
      args_(std::move(args)),
      caption_(args_.caption) {}

void GroupBox::Create(HWND form_window) {
    RegisterClassOnce(kGroupBoxClass, WindowProc);
    ResetCommonState();
    caption_ = args_.caption;
    font_.Make(args_.font, *this);
    hwnd_ = CreateChild(form_window, kGroupBoxClass, caption_, WS_CLIPSIBLINGS);
    if (!hwnd_) return;
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    FinishChild(hwnd_, font_.handle());
}

void GroupBox::SetCaption(std::string_view caption) {
    caption_.assign(caption);
    if (hwnd_) {
        SetGbkWindowText(hwnd_, caption_);
        InvalidateRect(hwnd_, nullptr, FALSE);
    }
}

LRESULT CALLBACK GroupBox::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* box = reinterpret_cast<GroupBox*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (message) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT:
            if (!box) break;
            PaintBuffered(hwnd, [box](HDC dc, const RECT&) { box->Paint(dc); });
            return 0;
        case WM_GETFONT:
            return box ? reinterpret_cast<LRESULT>(box->font_.handle()) : 0;
        case WM_SETFONT:
            return 0;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

void GroupBox::Paint(HDC dc) {
    RECT client;
    GetClientRect(hwnd_, &client);
    PaintBeneath(*this, dc, client);
    HGDIOBJ old_font = SelectObject(dc, font_.handle());
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    RECT frame = client;
    frame.top += metrics.tmHeight / 2 - 1;
    DrawEdge(dc, &frame, EDGE_ETCHED, BF_RECT);
    if (!caption_.empty()) {
        RECT text{0, 0, 0, 0};
        DrawGbkText(dc, caption_, &text, DT_SINGLELINE | DT_NOPREFIX | DT_CALCRECT);
        // The caption interrupts the frame's top line, with a little space on each side.
        RECT gap{7, 0, std::min<LONG>(7 + text.right + 4, client.right - 2), metrics.tmHeight};
        PaintBeneath(*this, dc, gap);
        RECT at{gap.left + 2, 0, gap.right - 2, metrics.tmHeight};
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, CaptionColour(hwnd_));
        DrawGbkText(dc, caption_, &at, DT_SINGLELINE | DT_NOPREFIX | DT_LEFT);
    }
    SelectObject(dc, old_font);
}

// ---- Button -----------------------------------------------------------------------------

Button::Button(Form* form, Args args)
    : Control(form, args.container, args.rect, args.visible, args.disabled),
      args_(std::move(args)),
      caption_(args_.caption) {
    events = args_.events;
}

void Button::Create(HWND form_window) {
    EnsureCommonControls();
    ResetCommonState();
    events = args_.events;
    caption_ = args_.caption;
    font_.Make(args_.font, *this);
    hwnd_ =
        CreateChild(form_window, L"BUTTON", caption_, BS_PUSHBUTTON | WS_TABSTOP | WS_CLIPSIBLINGS);
    FinishChild(hwnd_, font_.handle());
}

std::string Button::caption() const { return hwnd_ ? WindowText(hwnd_) : caption_; }

void Button::SetCaption(std::string_view caption) {
    caption_.assign(caption);
    if (hwnd_) SetGbkWindowText(hwnd_, caption_);
}

bool Button::PressedBy(WORD dialog_key) const {
    return (dialog_key == IDOK && args_.default_button) ||
           (dialog_key == IDCANCEL && args_.cancel_button);
}

// On a page the button's corners show the page (WM_CTLCOLORBTN); likewise the check box's,
// the slider's and the colour picker's background (WM_CTLCOLORSTATIC, WM_CTLCOLORBTN).
HBRUSH Button::OnColour(HDC dc) { return PageBodyBrush(*this, dc); }

bool Button::OnCommand(WORD code) {
    if (code != BN_CLICKED) return false;
    args_.on_clicked();
    return true;
}

// ---- EditBox ----------------------------------------------------------------------------

EditBox::EditBox(Form* form, Args args)
    : Control(form, args.container, args.rect, args.visible, args.disabled),
      args_(std::move(args)),
      content_(args_.content),
      input_(args_.input),
      max_length_(args_.max_length),
      read_only_(args_.read_only),
      background_(args_.background) {
    events = args_.events;
    label_ = args_.label;
}

void EditBox::Create(HWND form_window) {
    ResetCommonState();
    events = args_.events;
    content_ = args_.content;
    input_ = args_.input;
    max_length_ = args_.max_length;
    read_only_ = args_.read_only;
    SetBackground(args_.background);
    font_.Make(args_.font, *this);
    DWORD style = ES_LEFT | ES_AUTOHSCROLL | WS_TABSTOP | WS_CLIPSIBLINGS;
    if (read_only_) style |= ES_READONLY;
    // The text the form gives is in place before the logic runs: no event for it.
    setting_content_ = true;
    hwnd_ = CreateChild(form_window, L"EDIT", content_, style, WS_EX_CLIENTEDGE);
    setting_content_ = false;
    if (!hwnd_) return;
    lazy::SetWindowSubclass(hwnd_, InputFilter, kInputFilterId, reinterpret_cast<DWORD_PTR>(this));
    if (max_length_ > 0) SendMessageW(hwnd_, EM_LIMITTEXT, static_cast<WPARAM>(max_length_), 0);
    FinishChild(hwnd_, font_.handle());
}

void EditBox::AfterDestroy() {
    font_.Release();
    if (background_brush_) DeleteObject(background_brush_);
    background_brush_ = nullptr;
}

std::string EditBox::content() const { return content_; }

void EditBox::SetContent(std::string_view content) {
    content_.assign(content);
    if (hwnd_) {
        // The edit control reports its own change for WM_SETTEXT (or not, when the text is
        // the same); that report is dropped and exactly one is raised once the text is in.
        setting_content_ = true;
        SetGbkWindowText(hwnd_, content_);
        setting_content_ = false;
    }
    args_.on_content_changed();
}

void EditBox::SetMaxLength(int bytes) {
    max_length_ = std::max(bytes, 0);
    // 0 restores the platform's own limit.
    if (hwnd_) SendMessageW(hwnd_, EM_LIMITTEXT, static_cast<WPARAM>(max_length_), 0);
}

void EditBox::SetReadOnly(bool read_only) {
    read_only_ = read_only;
    if (hwnd_) SendMessageW(hwnd_, EM_SETREADONLY, read_only, 0);
}

void EditBox::SetBackground(std::optional<COLORREF> colour) {
    background_ = colour;
    if (background_brush_) DeleteObject(background_brush_);
    background_brush_ = colour ? CreateSolidBrush(*colour) : nullptr;
    if (hwnd_) InvalidateRect(hwnd_, nullptr, TRUE);
}

bool EditBox::OnCommand(WORD code) {
    if (code != EN_CHANGE) return false;
    if (!setting_content_) {
        content_ = WindowText(hwnd_);
        args_.on_content_changed();
    }
    return true;
}

HBRUSH EditBox::OnColour(HDC dc) {
    if (!background_brush_) return nullptr;
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkColor(dc, *background_);
    return background_brush_;
}

LRESULT CALLBACK EditBox::InputFilter(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                                      UINT_PTR, DWORD_PTR data) {
    auto* edit = reinterpret_cast<EditBox*>(data);
    switch (message) {
        case WM_CHAR:
            if (edit->input_ == Input::DigitsAndMinus && wparam >= 32 && wparam != '-' &&
                (wparam < '0' || wparam > '9')) {
                return 0;
            }
            break;
        case WM_NCDESTROY:
            lazy::RemoveWindowSubclass(hwnd, InputFilter, kInputFilterId);
            break;
    }
    return lazy::DefSubclassProc(hwnd, message, wparam, lparam);
}

// ---- CheckBox ---------------------------------------------------------------------------

CheckBox::CheckBox(Form* form, Args args)
    : Control(form, args.container, args.rect, args.visible, args.disabled),
      args_(std::move(args)),
      checked_(args_.checked),
      caption_(args_.caption) {
    events = args_.events;
}

void CheckBox::Create(HWND form_window) {
    ResetCommonState();
    events = args_.events;
    checked_ = args_.checked;
    caption_ = args_.caption;
    font_.Make(args_.font, *this);
    hwnd_ = CreateChild(form_window, L"BUTTON", caption_,
                        BS_AUTOCHECKBOX | WS_TABSTOP | WS_CLIPSIBLINGS);
    if (!hwnd_) return;
    SendMessageW(hwnd_, BM_SETCHECK, checked_ ? BST_CHECKED : BST_UNCHECKED, 0);
    FinishChild(hwnd_, font_.handle());
}

bool CheckBox::checked() const { return checked_; }

void CheckBox::SetChecked(bool checked) {
    checked_ = checked;
    if (hwnd_) SendMessageW(hwnd_, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

std::string CheckBox::caption() const { return hwnd_ ? WindowText(hwnd_) : caption_; }

void CheckBox::SetCaption(std::string_view caption) {
    caption_.assign(caption);
    if (hwnd_) SetGbkWindowText(hwnd_, caption_);
}

HBRUSH CheckBox::OnColour(HDC dc) { return PageBodyBrush(*this, dc); }

bool CheckBox::OnCommand(WORD code) {
    if (code != BN_CLICKED) return false;
    checked_ = SendMessageW(hwnd_, BM_GETCHECK, 0, 0) == BST_CHECKED;
    args_.on_clicked();
    return true;
}

// ---- Slider -----------------------------------------------------------------------------

Slider::Slider(Form* form, Args args)
    : Control(form, args.container, args.rect, args.visible, args.disabled),
      args_(std::move(args)),
      minimum_(args_.minimum),
      maximum_(args_.maximum),
      position_(args_.position) {
    events = args_.events;
    label_ = args_.label;
    ApplyRange();
}

void Slider::Create(HWND form_window) {
    EnsureCommonControls();
    ResetCommonState();
    events = args_.events;
    minimum_ = args_.minimum;
    maximum_ = args_.maximum;
    position_ = args_.position;
    hwnd_ = CreateChild(
        form_window, TRACKBAR_CLASSW, "",
        TBS_HORZ | TBS_AUTOTICKS | TBS_BOTTOM | TBS_FIXEDLENGTH | WS_TABSTOP | WS_CLIPSIBLINGS);
    if (!hwnd_) return;
    FitThumb();
    SendMessageW(hwnd_, TBM_SETPAGESIZE, 0, 5);
    SendMessageW(hwnd_, TBM_SETLINESIZE, 0, 1);
    ApplyRange();
    SendMessageW(hwnd_, TBM_SETTICFREQ, 1, 0);
    FinishChild(hwnd_, static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)));
}

// A thumb of the platform's default length leaves no room for the ticks below it in a low
// track bar; this one leaves ten units for them.
void Slider::FitThumb() {
    const RECT place = ClientRect();
    const int dpi = form_->dpi();
    const int length =
        std::max(static_cast<int>(place.bottom - place.top) - ToPixels(10, dpi), ToPixels(8, dpi));
    SendMessageW(hwnd_, TBM_SETTHUMBLENGTH, static_cast<WPARAM>(length), 0);
}

void Slider::ApplyDpi() {
    PlaceWindow();
    if (hwnd_) FitThumb();
}

int Slider::position() const {
    return hwnd_ ? static_cast<int>(SendMessageW(hwnd_, TBM_GETPOS, 0, 0)) : position_;
}

void Slider::ApplyRange() {
    const int low = std::min(minimum_, maximum_);
    const int high = std::max(minimum_, maximum_);
    position_ = std::clamp(position_, low, high);
    if (!hwnd_) return;
    SendMessageW(hwnd_, TBM_SETRANGEMIN, FALSE, minimum_);
    SendMessageW(hwnd_, TBM_SETRANGEMAX, FALSE, maximum_);
    SendMessageW(hwnd_, TBM_SETPOS, TRUE, position_);
}

void Slider::SetMinimum(int minimum) {
    minimum_ = minimum;
    position_ = position();
    ApplyRange();
}

void Slider::SetMaximum(int maximum) {
    maximum_ = maximum;
    position_ = position();
    ApplyRange();
}

void Slider::SetPosition(int position) {
    position_ = position;
    ApplyRange();
}

HBRUSH Slider::OnColour(HDC dc) { return PageBodyBrush(*this, dc); }

bool Slider::OnScroll(WPARAM) {
    // A drag reports several steps (track, position, end); only an actual move counts.
    const int now = position();
    if (now != position_) {
        position_ = now;
        args_.on_position_changed();
    }
    return true;
}

// ---- Spinner ----------------------------------------------------------------------------

Spinner::Spinner(Form* form, Args args)
    : Control(form, args.container, args.rect, args.visible, args.disabled),
      args_(std::move(args)) {
    events = args_.events;
    label_ = args_.label;
}

void Spinner::Create(HWND form_window) {
    EnsureCommonControls();
    ResetCommonState();
    events = args_.events;
    hwnd_ = CreateChild(form_window, UPDOWN_CLASSW, "", WS_CLIPSIBLINGS);
    if (!hwnd_) return;
    SendMessageW(hwnd_, UDM_SETRANGE32, static_cast<WPARAM>(-kSpinnerRange), kSpinnerRange);
    SendMessageW(hwnd_, UDM_SETPOS32, 0, 0);
    // One unit per press, also while an arrow is held down.
    UDACCEL single{0, 1};
    SendMessageW(hwnd_, UDM_SETACCEL, 1, reinterpret_cast<LPARAM>(&single));
    // Without a buddy the control may pick a width of its own; the form's size wins.
    PlaceWindow();
    FinishChild(hwnd_, static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)));
}

bool Spinner::OnNotify(NMHDR* header, LRESULT* result) {
    if (header->code != UDN_DELTAPOS) return false;
    const auto* change = reinterpret_cast<NMUPDOWN*>(header);
    // Refusing the change keeps the control's position where it is.
    *result = 1;
    if (change->iDelta != 0) args_.on_arrow(change->iDelta > 0 ? 1 : -1);
    return true;
}

// ---- DatePicker -------------------------------------------------------------------------

DatePicker::DatePicker(Form* form, Args args)
    : Control(form, args.container, args.rect, args.visible, args.disabled),
      args_(std::move(args)),
      earliest_(DateTimeFromCivil(args_.earliest)),
      latest_(DateTimeFromCivil(args_.latest)) {
    events = args_.events;
    label_ = args_.label;
    SetValue(args_.value);
}

void DatePicker::Create(HWND form_window) {
    EnsureCommonControls();
    ResetCommonState();
    events = args_.events;
    earliest_ = MidnightOf(DateTimeFromCivil(args_.earliest));
    latest_ = MidnightOf(DateTimeFromCivil(args_.latest));
    font_.Make(args_.font, *this);
    hwnd_ = CreateChild(form_window, DATETIMEPICK_CLASSW, "",
                        DTS_LONGDATEFORMAT | WS_TABSTOP | WS_CLIPSIBLINGS, WS_EX_CLIENTEDGE);
    if (!hwnd_) return;
    FinishChild(hwnd_, font_.handle());
    SetRange(earliest_, latest_);
    SetValue(args_.value == 0 ? Now() : args_.value);
}

double DatePicker::ClampDate(double day) const { return std::clamp(day, earliest_, latest_); }

void DatePicker::ShowDate() {
    if (!hwnd_) return;
    // The control holds the date at midnight; the time of day stays here.
    SYSTEMTIME st = SystemTimeFrom(day_);
    SendMessageW(hwnd_, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&st));
}

double DatePicker::value() const {
    double day = day_;
    SYSTEMTIME st{};
    if (hwnd_ &&
        SendMessageW(hwnd_, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st)) == GDT_VALID) {
        day = DateTimeFromCivil({st.wYear, st.wMonth, st.wDay, 0, 0, 0});
    }
    return day + seconds_of_day_ / 86400.0;
}

void DatePicker::SetValue(double date_time) {
    const CivilTime c = CivilFromDateTime(date_time);
    seconds_of_day_ = c.hour * 3600 + c.minute * 60 + c.second;
    day_ = ClampDate(DateTimeFromCivil({c.year, c.month, c.day, 0, 0, 0}));
    ShowDate();
}

void DatePicker::SetRange(double earliest, double latest) {
    earliest_ = MidnightOf(std::min(earliest, latest));
    latest_ = MidnightOf(std::max(earliest, latest));
    day_ = ClampDate(MidnightOf(value()));
    if (!hwnd_) return;
    // The last day counts up to its last second, so that any time on it is in range.
    SYSTEMTIME range[2] = {SystemTimeFrom(earliest_), SystemTimeFrom(latest_ + 86399.0 / 86400.0)};
    SendMessageW(hwnd_, DTM_SETRANGE, GDTR_MIN | GDTR_MAX, reinterpret_cast<LPARAM>(range));
    ShowDate();
}

// ---- ColourPicker -----------------------------------------------------------------------

ColourPicker::ColourPicker(Form* form, Args args)
    : Control(form, args.container, args.rect, args.visible, args.disabled),
      args_(std::move(args)),
      colour_(args_.colour) {
    events = args_.events;
    label_ = args_.label;
}

void ColourPicker::Create(HWND form_window) {
    ResetCommonState();
    events = args_.events;
    colour_ = args_.colour;
    hwnd_ = CreateChild(form_window, L"BUTTON", "", BS_PUSHBUTTON | WS_TABSTOP | WS_CLIPSIBLINGS);
    if (!hwnd_) return;
    lazy::SetWindowSubclass(hwnd_, SwatchPainter, kSwatchPainterId, reinterpret_cast<DWORD_PTR>(this));
    FinishChild(hwnd_, static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)));
}

void ColourPicker::SetColour(COLORREF colour) {
    colour_ = colour & 0x00FFFFFF;
    if (hwnd_) InvalidateRect(hwnd_, nullptr, FALSE);
}

bool ColourPicker::Choose() {
    static COLORREF custom_colours[16] = {};
    CHOOSECOLORW choice{};
    choice.lStructSize = sizeof(choice);
    choice.hwndOwner = form_->handle();
    choice.rgbResult = colour_;
    choice.lpCustColors = custom_colours;
    choice.Flags = CC_RGBINIT | CC_FULLOPEN | CC_ANYCOLOR;
    if (!lazy::ChooseColorW(&choice)) return false;
    SetColour(choice.rgbResult);
    args_.on_colour_changed();
    return true;
}

HBRUSH ColourPicker::OnColour(HDC dc) { return PageBodyBrush(*this, dc); }

bool ColourPicker::OnCommand(WORD code) {
    if (code != BN_CLICKED) return false;
    Choose();
    return true;
}

void ColourPicker::PaintSwatch(HDC dc) const {
    RECT swatch;
    GetClientRect(hwnd_, &swatch);
    InflateRect(&swatch, -4, -4);
    if (swatch.right <= swatch.left || swatch.bottom <= swatch.top) return;
    const bool pushed = (SendMessageW(hwnd_, BM_GETSTATE, 0, 0) & BST_PUSHED) != 0;
    if (pushed) OffsetRect(&swatch, 1, 1);
    HBRUSH fill = CreateSolidBrush(colour_);
    FillRect(dc, &swatch, fill);
    DeleteObject(fill);
    FrameRect(dc, &swatch,
              GetSysColorBrush(IsWindowEnabled(hwnd_) ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
}

// The button paints itself as usual; the swatch goes on top, also after the changes of
// state that the button repaints without a paint message.
LRESULT CALLBACK ColourPicker::SwatchPainter(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                                             UINT_PTR, DWORD_PTR data) {
    auto* picker = reinterpret_cast<ColourPicker*>(data);
    switch (message) {
        case WM_PAINT: {
            const LRESULT result = lazy::DefSubclassProc(hwnd, message, wparam, lparam);
            HDC dc = GetDC(hwnd);
            picker->PaintSwatch(dc);
            ReleaseDC(hwnd, dc);
            return result;
        }
        case BM_SETSTATE:
        case WM_ENABLE:
        case WM_SETFOCUS:
        case WM_KILLFOCUS: {
            const LRESULT result = lazy::DefSubclassProc(hwnd, message, wparam, lparam);
            InvalidateRect(hwnd, nullptr, FALSE);
            return result;
        }
        case WM_NCDESTROY:
            lazy::RemoveWindowSubclass(hwnd, SwatchPainter, kSwatchPainterId);
            break;
    }
    return lazy::DefSubclassProc(hwnd, message, wparam, lparam);
}

}  // namespace tq::forms
