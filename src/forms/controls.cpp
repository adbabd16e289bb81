#include "forms/controls.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <commctrl.h>
#include <commdlg.h>

#include "runtime/facilities.h"

namespace tq::forms {

namespace {

constexpr wchar_t kLabelClass[] = L"TorvekQuindleLabel";
constexpr wchar_t kGroupBoxClass[] = L"TorvekQuindleGroupBox";
constexpr UINT_PTR kInputFilterId = 2;
constexpr UINT_PTR kSwatchPainterId = 3;
constexpr int kComboListHeight = 160;
// The spinner's private range: wide enough that no press ever reaches an end, so the
// control always reports the arrow that was pressed.
constexpr int kSpinnerRange = 1000000;

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

void EnsureCommonControls() {
    static const bool done = [] {
        INITCOMMONCONTROLSEX init{
            sizeof(init), ICC_DATE_CLASSES | ICC_TAB_CLASSES | ICC_BAR_CLASSES | ICC_UPDOWN_CLASS};
        return lazy::InitCommonControlsEx(&init) != FALSE;
    }();
    (void)done;
}

void RegisterClassOnce(const wchar_t* name, WNDPROC procedure) {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof(existing);
    if (GetClassInfoExW(Instance(), name, &existing)) return;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = procedure;
    wc.hInstance = Instance();
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<const wchar_t*>(IDC_ARROW));
    wc.lpszClassName = name;
    RegisterClassExW(&wc);
}

// Overlapping controls paint in layers, from the top: spinners (they sit on the right end
// of their edit boxes), the controls that take input (in form order, which is also the
// focus order), captions, group boxes, page controls. Every control clips its siblings, so
// each pixel is painted by the topmost control covering it.
enum Layer { kOverlay, kInput, kCaption, kFrame, kPages };

Layer LayerOf(HWND hwnd) {
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, ARRAYSIZE(name));
    if (lstrcmpiW(name, UPDOWN_CLASSW) == 0) return kOverlay;
    if (lstrcmpiW(name, kLabelClass) == 0) return kCaption;
    if (lstrcmpiW(name, kGroupBoxClass) == 0) return kFrame;
    if (lstrcmpiW(name, WC_TABCONTROLW) == 0) return kPages;
    return kInput;
}

void PlaceInLayer(HWND hwnd) {
    const Layer layer = LayerOf(hwnd);
    HWND after = HWND_TOP;
    for (HWND sibling = GetWindow(hwnd, GW_HWNDFIRST); sibling;
         sibling = GetWindow(sibling, GW_HWNDNEXT)) {
        if (sibling == hwnd) continue;
        if (LayerOf(sibling) > layer) break;
        after = sibling;
    }
    SetWindowPos(hwnd, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

// What every control does once its window exists.
void FinishChild(HWND hwnd, HFONT font) {
    if (!hwnd) return;
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    PlaceInLayer(hwnd);
}

// The first control in focus order that can take the focus now.
HWND FirstTabStop(HWND window) {
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        const LONG style = GetWindowLongW(child, GWL_STYLE);
        if ((style & (WS_TABSTOP | WS_VISIBLE | WS_DISABLED)) == (WS_TABSTOP | WS_VISIBLE))
            return child;
    }
    return nullptr;
}

std::string WindowText(HWND hwnd) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return Narrow(text);
}

void SetGbkWindowText(HWND hwnd, std::string_view text) {
    SetWindowTextW(hwnd, Widen(text).c_str());
}

// Draws a GBK text with DrawTextW; the flags are DrawText's.
int DrawGbkText(HDC dc, std::string_view text, RECT* at, UINT flags) {
    const std::wstring wide = Widen(text);
    return DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), at, flags);
}

// Paints what the form shows beneath `part` (client coordinates of the control whose form
// rectangle is `area`) into a DC whose origin is the control's.
void PaintFormBackground(Form& form, HDC dc, const RECT& area, const RECT& part) {
    POINT old;
    SetViewportOrgEx(dc, -area.left, -area.top, &old);
    RECT in_form = part;
    OffsetRect(&in_form, area.left, area.top);
    form.PaintBackground(dc, in_form);
    SetViewportOrgEx(dc, old.x, old.y, nullptr);
}

// Draws into a memory bitmap and copies it in one step, so repainting never flashes.
template <typename Draw>
void PaintBuffered(HWND hwnd, Draw draw) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT client;
    GetClientRect(hwnd, &client);
    if (client.right > 0 && client.bottom > 0) {
        HDC memory = CreateCompatibleDC(dc);
        HBITMAP bitmap = CreateCompatibleBitmap(dc, client.right, client.bottom);
        HGDIOBJ old = SelectObject(memory, bitmap);
        draw(memory, client);
        BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
        SelectObject(memory, old);
        DeleteObject(bitmap);
        DeleteDC(memory);
    }
    EndPaint(hwnd, &ps);
}

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

}  // namespace

// ---- ControlFont ------------------------------------------------------------------------

void ControlFont::Make(const std::optional<FontSpec>& description, Control& owner) {
    if (!owner_) owner.form().fonts_.push_back(this);
    owner_ = &owner;
    description_ = description;
    MakeAtDpi(owner.form().dpi());
}

// At the system's DPI a control without a font of its own shares the stock GUI font.
void ControlFont::MakeAtDpi(int dpi) {
    Release();
    if (description_) {
        owned_ = CreateFontFrom(MakeLogFont(*description_, dpi));
    } else if (dpi != SystemDpi()) {
        owned_ = CreateFontFrom(DefaultGuiFont(dpi));
    }
}

void RescaleControlFont(ControlFont& font) {
    if (!font.owner_) return;
    HWND window = font.owner_->handle();
    // The window keeps drawing with the old font until it is told of the new one.
    HFONT old = font.owned_;
    font.owned_ = nullptr;
    font.MakeAtDpi(font.owner_->form().dpi());
    if (window) {
        SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font.handle()), TRUE);
        InvalidateRect(window, nullptr, TRUE);  // the program's own classes paint on request
    }
    if (old) DeleteObject(old);
}

void ControlFont::Release() {
    if (owned_) DeleteObject(owned_);
    owned_ = nullptr;
}

HFONT ControlFont::handle() const {
    return owned_ ? owned_ : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

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
    caption_ = args_.caption;
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
    caption_.assign(caption);
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
    PaintFormBackground(*form_, dc, ClientRect(), client);
    if (caption_.empty()) return;
    HGDIOBJ old_font = SelectObject(dc, font_.handle());
    const UINT flags = DT_NOPREFIX | DT_EXPANDTABS | DrawTextFlags(align_, word_wrap_, valign_);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, IsWindowEnabled(hwnd_) ? RGB(0, 0, 0) : GetSysColor(COLOR_GRAYTEXT));
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
    const RECT area = ClientRect();
    PaintFormBackground(*form_, dc, area, client);
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
        PaintFormBackground(*form_, dc, area, gap);
        RECT at{gap.left + 2, 0, gap.right - 2, metrics.tmHeight};
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, IsWindowEnabled(hwnd_) ? RGB(0, 0, 0) : GetSysColor(COLOR_GRAYTEXT));
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

bool CheckBox::OnCommand(WORD code) {
    if (code != BN_CLICKED) return false;
    checked_ = SendMessageW(hwnd_, BM_GETCHECK, 0, 0) == BST_CHECKED;
    args_.on_clicked();
    return true;
}

// ---- ComboBox ---------------------------------------------------------------------------

ComboBox::ComboBox(Form* form, Args args)
    : Control(form, args.container, args.rect, args.visible, args.disabled),
      args_(std::move(args)),
      items_(args_.items),
      index_(-1) {
    events = args_.events;
    SetIndex(args_.index);
}

void ComboBox::Create(HWND form_window) {
    ResetCommonState();
    events = args_.events;
    items_ = args_.items;
    index_ = -1;
    font_.Make(args_.font, *this);
    hwnd_ = CreateChild(form_window, L"COMBOBOX", "",
                        CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP | WS_CLIPSIBLINGS);
    if (!hwnd_) return;
    FinishChild(hwnd_, font_.handle());
    for (const std::string& text : items_)
        SendMessageW(hwnd_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(text).c_str()));
    SetIndex(args_.index);

    FitHeights();
}

// The selection field takes the form's height (the platform derives it from the font), and
// the list drops at least kComboListHeight below it. Resizing the window sets the list's
// height and may reset the field's, so the field comes last.
void ComboBox::FitHeights() {
    const RECT place = ClientRect();
    const Rect r{0, 0, place.right - place.left, place.bottom - place.top};  // pixels
    const int list_minimum = ToPixels(kComboListHeight, form_->dpi());
    const auto resize = [&](int total) {
        SetWindowPos(hwnd_, nullptr, 0, 0, r.width, total,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    };
    const auto list_height = [&] {
        RECT field, dropped;
        GetWindowRect(hwnd_, &field);
        SendMessageW(hwnd_, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
        return static_cast<int>(dropped.bottom - field.bottom);
    };
    const auto field_height = [&] {
        RECT field;
        GetWindowRect(hwnd_, &field);
        return static_cast<int>(field.bottom - field.top);
    };
    // The item height read back and the one to set differ by a platform-dependent amount,
    // so it is corrected by what the field actually became.
    const auto fit_field = [&] {
        LRESULT item = SendMessageW(hwnd_, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
        for (int attempt = 0; attempt < 3 && item != CB_ERR; ++attempt) {
            const int error = r.height - field_height();
            if (error == 0 || item + error <= 0) break;
            item += error;
            SendMessageW(hwnd_, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), item);
        }
    };
    int total = r.height + list_minimum;
    resize(total);
    fit_field();
    if (const int missing = list_minimum - list_height(); missing > 0) {
        resize(total + missing);
        fit_field();
    }
}

void ComboBox::AddItem(std::string_view text) {
    items_.emplace_back(text);
    if (hwnd_)
        SendMessageW(hwnd_, CB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(Widen(items_.back()).c_str()));
}

void ComboBox::ClearItems() {
    items_.clear();
    index_ = -1;
    if (hwnd_) SendMessageW(hwnd_, CB_RESETCONTENT, 0, 0);
}

int ComboBox::index() const { return index_; }

void ComboBox::SetIndex(int index) {
    if (index < 0 || items_.empty()) {
        index_ = -1;
    } else {
        index_ = std::min(index, count() - 1);
    }
    // Selecting from the program sends no selection-changed notification.
    if (hwnd_) SendMessageW(hwnd_, CB_SETCURSEL, static_cast<WPARAM>(index_), 0);
}

std::string ComboBox::content() const {
    const int i = index();
    return i >= 0 && i < count() ? items_[i] : std::string();
}

bool ComboBox::OnCommand(WORD code) {
    if (code != CBN_SELCHANGE) return false;
    const LRESULT selected = SendMessageW(hwnd_, CB_GETCURSEL, 0, 0);
    index_ = selected == CB_ERR ? -1 : static_cast<int>(selected);
    args_.on_selection_changed();
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
              GetSysColorBrush(IsWindowEnabled(hwnd_) ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
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

// ---- FileDialog -------------------------------------------------------------------------

FileDialog::FileDialog(Form* form, Args args)
    : Control(form, nullptr, {}, false, false), args_(std::move(args)), filter_(args_.filter) {}

void FileDialog::Create(HWND) {
    ResetCommonState();
    filter_ = args_.filter;
    file_name_.clear();
}

std::string FileDialog::DialogFilter(std::string_view filter) {
    if (filter.empty()) return {};
    std::string result;
    for (size_t i = 0; i < filter.size(); ++i) {
        const auto byte = static_cast<unsigned char>(filter[i]);
        // A GBK lead byte takes the byte after it, which may be a '|' (0x7C).
        if (byte >= 0x81 && byte <= 0xFE && i + 1 < filter.size()) {
            result += filter[i];
            result += filter[++i];
        } else {
            result += byte == '|' ? '\0' : filter[i];
        }
    }
    result += '\0';
    result += '\0';
    return result;
}

bool FileDialog::Open() {
    const std::wstring filter = Widen(DialogFilter(filter_));
    const std::wstring title = Widen(args_.title);
    std::wstring buffer(4096, L'\0');
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = form_->handle();
    dialog.lpstrFilter = filter.empty() ? nullptr : filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = buffer.data();
    dialog.nMaxFile = static_cast<DWORD>(buffer.size());
    dialog.lpstrTitle = title.empty() ? nullptr : title.c_str();
    dialog.Flags =
        OFN_EXPLORER | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_NOCHANGEDIR;
    if (!lazy::GetOpenFileNameW(&dialog)) return false;
    file_name_ = Narrow(buffer.c_str());
    return true;
}

// ---- PageControl and Page ---------------------------------------------------------------

PageControl::PageControl(Form* form, Args args)
    : Control(form, args.container, args.rect, args.visible, args.disabled),
      args_(std::move(args)) {
    events = args_.events;
}

void PageControl::Create(HWND form_window) {
    EnsureCommonControls();
    ResetCommonState();
    events = args_.events;
    current_ = 0;
    font_.Make(args_.font, *this);
    hwnd_ = CreateChild(form_window, WC_TABCONTROLW, "", WS_CLIPSIBLINGS);
    if (!hwnd_) return;
    FinishChild(hwnd_, font_.handle());
    for (size_t i = 0; i < pages_.size(); ++i) {
        std::wstring caption = Widen(pages_[i]->caption());
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = caption.data();
        SendMessageW(hwnd_, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
    }
    SendMessageW(hwnd_, TCM_SETCURSEL, 0, 0);

    // Each tab shows its page's hint when the mouse rests on it.
    CommonControlsScope themed;
    tooltip_ =
        CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                        WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, form_window, nullptr, Instance(), nullptr);
    if (!tooltip_) return;
    for (size_t i = 0; i < pages_.size(); ++i) {
        std::wstring hint = Widen(pages_[i]->hint());
        TOOLINFOW tool{};
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        tool.uFlags = TTF_SUBCLASS;
        tool.hwnd = hwnd_;
        tool.uId = i;
        SendMessageW(hwnd_, TCM_GETITEMRECT, i, reinterpret_cast<LPARAM>(&tool.rect));
        tool.lpszText = hint.data();
        SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

void PageControl::AfterDestroy() {
    tooltip_ = nullptr;  // owned by the form's window, destroyed with it
    font_.Release();
}

void PageControl::SetCurrent(int page) {
    if (pages_.empty()) return;
    current_ = std::clamp(page, 0, static_cast<int>(pages_.size()) - 1);
    if (hwnd_) SendMessageW(hwnd_, TCM_SETCURSEL, static_cast<WPARAM>(current_), 0);
    ShowCurrentPage();
}

void PageControl::ShowCurrentPage() {
    HWND focus = GetFocus();
    for (size_t i = 0; i < pages_.size(); ++i) {
        if (static_cast<int>(i) != current_) pages_[i]->SetVisible(false);
    }
    if (current_ >= 0 && current_ < static_cast<int>(pages_.size()))
        pages_[current_]->SetVisible(true);
    // A control that loses the focus by being hidden hands it to its window; it goes on to
    // the first control that can take it, which is on the page just shown.
    HWND window = form_->handle();
    if (window && focus && IsChild(window, focus) && !IsWindowVisible(focus)) {
        if (HWND first = FirstTabStop(window)) SetFocus(first);
    }
}

bool PageControl::OnNotify(NMHDR* header, LRESULT* result) {
    if (header->hwndFrom != hwnd_) return false;
    switch (header->code) {
        case TCN_SELCHANGE:
            current_ = static_cast<int>(SendMessageW(hwnd_, TCM_GETCURSEL, 0, 0));
            ShowCurrentPage();
            args_.on_page_changed();
            *result = 0;
            return true;
        default:
            return false;
    }
}

bool PageControl::PreTranslate(MSG& msg) {
    if (msg.message != WM_KEYDOWN || msg.wParam != VK_TAB || GetKeyState(VK_CONTROL) >= 0)
        return false;
    if (!hwnd_ || !IsWindowVisible(hwnd_) || !IsWindowEnabled(hwnd_) || pages_.size() < 2)
        return false;
    const int n = static_cast<int>(pages_.size());
    const int step = GetKeyState(VK_SHIFT) < 0 ? n - 1 : 1;
    SetCurrent((current_ + step) % n);
    args_.on_page_changed();
    return true;
}

Page::Page(Form* form, PageControl* owner, Args args)
    : Control(form, owner, {0, 0, owner->rect().width, owner->rect().height}, owner->pages_.empty(),
              false),
      owner_(owner),
      caption_(args.caption),
      hint_(args.hint) {
    owner->pages_.push_back(this);
}

void Page::Create(HWND) {
    ResetCommonState();
    const auto& pages = owner_->pages();
    const bool current =
        owner_->current() < static_cast<int>(pages.size()) && pages[owner_->current()] == this;
    SetVisible(current);
}

}  // namespace tq::forms
