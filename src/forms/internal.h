// Helpers that the forms layer's files share: the module, the program's own window
// classes, and what every child control does when its window is made and painted. Not for
// the rest of the program, which reaches the forms through model.h and controls.h.
#pragma once

#include <string>
#include <string_view>

#include <windows.h>

#include "forms/model.h"

namespace tq::forms {

inline HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

// The program's own classes of the settings and about windows' captions and frames.
constexpr wchar_t kLabelClass[] = L"TorvekQuindleLabel";
constexpr wchar_t kGroupBoxClass[] = L"TorvekQuindleGroupBox";

// The window region of a shape at a size in pixels; none for the rectangle.
HRGN MakeRegion(Shape shape, int w, int h, int dpi);

// Raises the input event that matches a window message; false when it is none. The key
// state is asked for only when an event needs it.
bool RaiseInputMessage(const InputHandlers& handlers, UINT message, WPARAM wparam, LPARAM lparam);

// Registers the common controls' classes once, in the version the settings window uses.
void EnsureCommonControls();
void RegisterClassOnce(const wchar_t* name, WNDPROC procedure);
// What every control does once its window exists: its font, and its place among the layers
// in which overlapping controls paint.
void FinishChild(HWND hwnd, HFONT font);
// The first control in focus order that can take the focus now.
HWND FirstTabStop(HWND window);
std::string WindowText(HWND hwnd);
void SetGbkWindowText(HWND hwnd, std::string_view text);
// Draws a GBK text with DrawTextW; the flags are DrawText's.
int DrawGbkText(HDC dc, std::string_view text, RECT* at, UINT flags);
// Paints what the form shows beneath `part` (client coordinates of the control whose form
// rectangle is `area`) into a DC whose origin is the control's.
void PaintFormBackground(Form& form, HDC dc, const RECT& area, const RECT& part);
// The tab page's own background beneath a control that lies on a page (directly or in a
// group box) of a page control drawn by the visual style: the brush, aligned with the page
// for a DC whose origin is the control's client area, which is also readied for text on it.
// Null for a control on the form itself and in the classic look, where it shows the form.
HBRUSH PageBodyBrush(const Control& control, HDC dc);
// Paints what shows beneath `part` (the control's client coordinates) of a control that
// paints its whole rectangle: the page's body, else what the form shows there.
void PaintBeneath(const Control& control, HDC dc, const RECT& part);

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

}  // namespace tq::forms
