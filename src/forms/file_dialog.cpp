#include "forms/controls.h"

#include "forms/internal.h"
#include "runtime/facilities.h"
#include "runtime/gbk.h"

namespace tq::forms {

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
    // A '|' that is the second byte of a GBK character (0x7C) stays a character.
    for (size_t i = 0; i < filter.size();) {
        const GbkUnit unit = GbkUnitAt(filter, i);
        result += unit.length == 1 && filter[i] == '|' ? std::string_view("\0", 1)
                                                       : filter.substr(i, unit.length);
        i += unit.length;
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

}  // namespace tq::forms
