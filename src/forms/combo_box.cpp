#include "forms/controls.h"

#include <algorithm>

#include "forms/internal.h"
#include "runtime/facilities.h"

namespace tq::forms {

namespace {

constexpr int kComboListHeight = 160;

}  // namespace

// ---- ComboBox ---------------------------------------------------------------------------

ComboBox::ComboBox(Form* form, Args args)
    : Control(form, args.container, args.rect, args.visible, args.disabled),
      args_(std::move(args)),
      items_(args_.items),
      index_(-1) {
    events = args_.events;
    label_ = args_.label;
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

// The list's storage is reserved once, and the items go straight to the platform's combo box.
void ComboBox::AddItems(const std::vector<std::string>& texts) {
    items_.insert(items_.end(), texts.begin(), texts.end());
    if (!hwnd_) return;
    size_t bytes = 0;
    for (const std::string& text : texts) bytes += (text.size() + 1) * sizeof(wchar_t);
    SendMessageW(hwnd_, CB_INITSTORAGE, texts.size(), static_cast<LPARAM>(bytes));
    for (const std::string& text : texts) {
        const std::wstring wide = Widen(text);
        const auto item = reinterpret_cast<LPARAM>(wide.c_str());
        if (platform_proc_) {
            CallWindowProcW(platform_proc_, hwnd_, CB_ADDSTRING, 0, item);
        } else {
            SendMessageW(hwnd_, CB_ADDSTRING, 0, item);
        }
    }
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

}  // namespace tq::forms
