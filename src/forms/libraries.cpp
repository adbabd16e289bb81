#include "forms/model.h"

#include "forms/internal.h"
#include "runtime/facilities.h"

namespace tq::forms {

CommonControlsScope::CommonControlsScope() {
    static const HANDLE context = [] {
        wchar_t path[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, path, MAX_PATH);
        ACTCTXW description{};
        description.cbSize = sizeof(description);
        description.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID | ACTCTX_FLAG_HMODULE_VALID;
        description.lpSource = path;
        description.hModule = Instance();
        description.lpResourceName = MAKEINTRESOURCEW(2);
        return CreateActCtxW(&description);
    }();
    active_ = context != INVALID_HANDLE_VALUE && ActivateActCtx(context, &cookie_);
}

CommonControlsScope::~CommonControlsScope() {
    if (active_) DeactivateActCtx(0, cookie_);
}

namespace lazy {

namespace {
// comctl32 is looked up inside the scope, so that the version 6 module is the one loaded.
template <typename Function>
Function CommonControlsFunction(const char* name) {
    CommonControlsScope themed;
    return LibraryFunction<Function>(L"comctl32.dll", name);
}
}  // namespace

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* init) {
    static const auto function =
        CommonControlsFunction<BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*)>("InitCommonControlsEx");
    return function && function(init);
}

BOOL SetWindowSubclass(HWND window, SUBCLASSPROC procedure, UINT_PTR id, DWORD_PTR data) {
    static const auto function =
        CommonControlsFunction<BOOL(WINAPI*)(HWND, SUBCLASSPROC, UINT_PTR, DWORD_PTR)>(
            "SetWindowSubclass");
    return function && function(window, procedure, id, data);
}

BOOL RemoveWindowSubclass(HWND window, SUBCLASSPROC procedure, UINT_PTR id) {
    static const auto function =
        CommonControlsFunction<BOOL(WINAPI*)(HWND, SUBCLASSPROC, UINT_PTR)>("RemoveWindowSubclass");
    return function && function(window, procedure, id);
}

LRESULT DefSubclassProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    static const auto function =
        CommonControlsFunction<LRESULT(WINAPI*)(HWND, UINT, WPARAM, LPARAM)>("DefSubclassProc");
    return function ? function(window, message, wparam, lparam)
                    : DefWindowProcW(window, message, wparam, lparam);
}

BOOL ChooseColorW(CHOOSECOLORW* choice) {
    static const auto function =
        LibraryFunction<BOOL(WINAPI*)(CHOOSECOLORW*)>(L"comdlg32.dll", "ChooseColorW");
    CommonControlsScope themed;  // the dialog's controls too
    return function && function(choice);
}

BOOL Shell_NotifyIconW(DWORD message, NOTIFYICONDATAW* data) {
    if (shell_notify_icon_for_tests) return shell_notify_icon_for_tests(message, data);
    static const auto function = LibraryFunction<BOOL(WINAPI*)(DWORD, NOTIFYICONDATAW*)>(
        L"shell32.dll", "Shell_NotifyIconW");
    return function && function(message, data);
}

HTHEME GetWindowTheme(HWND window) {
    static const auto function =
        LibraryFunction<HTHEME(WINAPI*)(HWND)>(L"uxtheme.dll", "GetWindowTheme");
    return function ? function(window) : nullptr;
}

HRESULT DrawThemeBackground(HTHEME theme, HDC dc, int part, int state, const RECT* area,
                            const RECT* clip) {
    static const auto function =
        LibraryFunction<HRESULT(WINAPI*)(HTHEME, HDC, int, int, const RECT*, const RECT*)>(
            L"uxtheme.dll", "DrawThemeBackground");
    return function ? function(theme, dc, part, state, area, clip) : E_NOTIMPL;
}

BOOL GetOpenFileNameW(OPENFILENAMEW* dialog) {
    static const auto function =
        LibraryFunction<BOOL(WINAPI*)(OPENFILENAMEW*)>(L"comdlg32.dll", "GetOpenFileNameW");
    CommonControlsScope themed;
    return function && function(dialog);
}

}  // namespace lazy

}  // namespace tq::forms
