#include "forms/controls.h"

#include <vssym32.h>

#include "forms/internal.h"
#include "runtime/facilities.h"

namespace tq::forms {

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
    // A tab stop: with the focus on it, the arrow keys choose the page.
    hwnd_ = CreateChild(form_window, WC_TABCONTROLW, "", WS_TABSTOP | WS_CLIPSIBLINGS);
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
    ReleaseBody();
}

// Drawn once for the control's size (again after a change of scale, scheme or style), as
// the themed dialog texture is: the body part of the visual style's tab class.
HBRUSH PageControl::BodyBrush() {
    if (!hwnd_) return nullptr;
    HTHEME theme = lazy::GetWindowTheme(hwnd_);
    if (!theme) {
        ReleaseBody();
        return nullptr;
    }
    RECT client;
    GetClientRect(hwnd_, &client);
    if (body_brush_ && body_size_.cx == client.right && body_size_.cy == client.bottom)
        return body_brush_;
    ReleaseBody();
    if (client.right <= 0 || client.bottom <= 0) return nullptr;
    HDC screen = GetDC(hwnd_);
    HDC memory = CreateCompatibleDC(screen);
    body_bitmap_ = CreateCompatibleBitmap(screen, client.right, client.bottom);
    HGDIOBJ old = SelectObject(memory, body_bitmap_);
    const bool drawn =
        SUCCEEDED(lazy::DrawThemeBackground(theme, memory, TABP_BODY, 0, &client, nullptr));
    SelectObject(memory, old);
    DeleteDC(memory);
    ReleaseDC(hwnd_, screen);
    if (drawn) body_brush_ = CreatePatternBrush(body_bitmap_);
    if (!body_brush_) {
        ReleaseBody();  // a style without a body part: the classic look
        return nullptr;
    }
    body_size_ = {client.right, client.bottom};
    return body_brush_;
}

void PageControl::ReleaseBody() {
    if (body_brush_) DeleteObject(body_brush_);
    if (body_bitmap_) DeleteObject(body_bitmap_);
    body_brush_ = nullptr;
    body_bitmap_ = nullptr;
    body_size_ = {};
}

HBRUSH PageBodyBrush(const Control& control, HDC dc) {
    const Page* page = nullptr;
    for (const Control* c = control.container(); c && !page; c = c->container())
        page = dynamic_cast<const Page*>(c);
    if (!page) return nullptr;
    PageControl& pages = page->owner();
    HBRUSH brush = pages.BodyBrush();
    if (!brush) return nullptr;
    const RECT at = control.ClientRect();
    const RECT origin = pages.ClientRect();
    SetBrushOrgEx(dc, origin.left - at.left, origin.top - at.top, nullptr);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    return brush;
}

void PaintBeneath(const Control& control, HDC dc, const RECT& part) {
    if (HBRUSH body = PageBodyBrush(control, dc)) {
        FillRect(dc, &part, body);
        return;
    }
    PaintFormBackground(control.form(), dc, control.ClientRect(), part);
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
    // The keys go on to the page just shown, as in the system's property sheets.
    if (HWND first = FirstTabStop(form_->handle())) SetFocus(first);
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
