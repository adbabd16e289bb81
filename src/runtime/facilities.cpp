#include "runtime/facilities.h"

#include <cstring>

#include "runtime/gb18030_ranges.h"
#include "runtime/value.h"

namespace tq {
namespace {

// --- Texts ---------------------------------------------------------------------------------

constexpr UINT kGbkCodePage = 936;
// GB18030 numbers its four-byte sequences from 0x81308130; those of the planes beyond the
// BMP start at 0x90308130.
constexpr uint32_t kSupplementarySequences = (0x90 - 0x81) * 12600;

bool IsLeadByte(unsigned char b) { return b >= 0x81 && b <= 0xFE; }
bool IsDigitByte(unsigned char b) { return b >= 0x30 && b <= 0x39; }

bool FourByteSequenceAt(std::string_view text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[i + k]); };
    return i + 3 < text.size() && IsLeadByte(byte(0)) && IsDigitByte(byte(1)) &&
           IsLeadByte(byte(2)) && IsDigitByte(byte(3));
}

// The code point of a four-byte sequence; U+FFFD for a sequence GB18030 leaves unassigned.
uint32_t DecodeFourBytes(std::string_view bytes) {
    const auto b = [&](size_t k) {
        return static_cast<uint32_t>(static_cast<unsigned char>(bytes[k]));
    };
    const uint32_t n =
        (b(0) - 0x81) * 12600 + (b(1) - 0x30) * 1260 + (b(2) - 0x81) * 10 + (b(3) - 0x30);
    if (n < gb18030::kBmpSequenceEnd) {
        const gb18030::Run* run = std::end(gb18030::kBmpRuns);
        while (--run > gb18030::kBmpRuns && run->first_sequence > n) {
        }
        return run->first_code_point + (n - run->first_sequence);
    }
    if (n >= kSupplementarySequences && n - kSupplementarySequences < 0x100000)
        return 0x10000 + (n - kSupplementarySequences);
    return 0xFFFD;
}

// The four-byte sequence of a code point outside GBK; empty when GB18030 has none for it
// (a BMP character of its two-byte part that code page 936 lacks).
std::string EncodeFourBytes(uint32_t code_point) {
    uint32_t n;
    if (code_point >= 0x10000) {
        n = kSupplementarySequences + (code_point - 0x10000);
    } else {
        const gb18030::Run* run = std::end(gb18030::kBmpRuns);
        while (--run > gb18030::kBmpRuns && run->first_code_point > code_point) {
        }
        const uint32_t end = run + 1 == std::end(gb18030::kBmpRuns) ? gb18030::kBmpSequenceEnd
                                                                    : run[1].first_sequence;
        n = run->first_sequence + (code_point - run->first_code_point);
        if (code_point < run->first_code_point || n >= end) return {};
    }
    return {static_cast<char>(0x81 + n / 12600), static_cast<char>(0x30 + n / 1260 % 10),
            static_cast<char>(0x81 + n / 10 % 126), static_cast<char>(0x30 + n % 10)};
}

void AppendGbk(std::wstring& out, std::string_view bytes) {
    if (bytes.empty()) return;
    const int size = static_cast<int>(bytes.size());
    const int n = MultiByteToWideChar(kGbkCodePage, 0, bytes.data(), size, nullptr, 0);
    if (n <= 0) return;
    const size_t at = out.size();
    out.resize(at + static_cast<size_t>(n));
    MultiByteToWideChar(kGbkCodePage, 0, bytes.data(), size, &out[at], n);
}

void AppendCodePoint(std::wstring& out, uint32_t code_point) {
    if (code_point < 0x10000) {
        out.push_back(static_cast<wchar_t>(code_point));
    } else {
        code_point -= 0x10000;
        out.push_back(static_cast<wchar_t>(0xD800 + (code_point >> 10)));
        out.push_back(static_cast<wchar_t>(0xDC00 + (code_point & 0x3FF)));
    }
}

// GBK bytes of UTF-16 text, or nothing when the table has no character for some of it.
std::optional<std::string> GbkBytes(std::wstring_view text) {
    if (text.empty()) return std::string();
    const int size = static_cast<int>(text.size());
    BOOL lost = FALSE;
    const int n = WideCharToMultiByte(kGbkCodePage, WC_NO_BEST_FIT_CHARS, text.data(), size,
                                      nullptr, 0, nullptr, &lost);
    if (n <= 0 || lost) return std::nullopt;
    std::string bytes(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(kGbkCodePage, WC_NO_BEST_FIT_CHARS, text.data(), size, bytes.data(), n,
                        nullptr, nullptr);
    return bytes;
}

// --- Open files ----------------------------------------------------------------------------

// File number n is OpenFiles()[n - 1]; a closed number keeps its slot (as
// INVALID_HANDLE_VALUE) so that a stale number can never reach another file.
std::vector<HANDLE>& OpenFiles() {
    static std::vector<HANDLE> files;
    return files;
}

HANDLE HandleOf(int file_number) {
    const std::vector<HANDLE>& files = OpenFiles();
    if (file_number < 1 || static_cast<size_t>(file_number) > files.size()) {
        return INVALID_HANDLE_VALUE;
    }
    return files[file_number - 1];
}

struct OpenModeRule {
    DWORD access;
    DWORD disposition;
};
// Indexed by open mode - 1.
constexpr OpenModeRule kOpenModeRules[] = {
    {GENERIC_READ, OPEN_EXISTING},                  // 1 read
    {GENERIC_WRITE, OPEN_EXISTING},                 // 2 write
    {GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING},  // 3 read and write
    {GENERIC_WRITE, CREATE_ALWAYS},                 // 4 create or truncate, write
    {GENERIC_WRITE, OPEN_ALWAYS},                   // 5 create if missing, write
    {GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS},    // 6 create if missing, read and write
};
// Indexed by share mode - 1: what others may do with the file meanwhile.
constexpr DWORD kShareModeFlags[] = {
    FILE_SHARE_READ | FILE_SHARE_WRITE,  // 1 everything
    FILE_SHARE_WRITE,                    // 2 deny reading
    FILE_SHARE_READ,                     // 3 deny writing
    0,                                   // 4 exclusive
};

bool WriteAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
            written == 0) {
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

// --- Registry ------------------------------------------------------------------------------

HKEY RootKey(int root) {
    switch (root) {
        case 1:
            return HKEY_CLASSES_ROOT;
        case 2:
            return HKEY_CURRENT_CONFIG;
        case 4:
            return HKEY_LOCAL_MACHINE;
        case 5:
            return HKEY_USERS;
        default:
            return HKEY_CURRENT_USER;
    }
}

struct RegistryPath {
    std::wstring key;
    std::wstring value_name;
};

RegistryPath SplitRegistryPath(std::string_view path) {
    const size_t slash = path.rfind('\\');
    if (slash == std::string_view::npos) return {std::wstring(), Widen(path)};
    return {Widen(path.substr(0, slash)), Widen(path.substr(slash + 1))};
}

// --- Layered windows -----------------------------------------------------------------------

// Layered windows exist only on newer systems, so these entry points are looked up by
// name rather than linked; a missing one makes the callers do nothing.
struct LayeredEntryPoints {
    using GetLongFn = LONG(WINAPI*)(HWND, int);
    using SetLongFn = LONG(WINAPI*)(HWND, int, LONG);
    using SetAttributesFn = BOOL(WINAPI*)(HWND, COLORREF, BYTE, DWORD);
    GetLongFn get_window_long = nullptr;
    SetLongFn set_window_long = nullptr;
    SetAttributesFn set_layered_window_attributes = nullptr;
};

const LayeredEntryPoints& Layered() {
    static const LayeredEntryPoints entry_points{
        LibraryFunction<LayeredEntryPoints::GetLongFn>(L"user32.dll", "GetWindowLongW"),
        LibraryFunction<LayeredEntryPoints::SetLongFn>(L"user32.dll", "SetWindowLongW"),
        LibraryFunction<LayeredEntryPoints::SetAttributesFn>(L"user32.dll",
                                                             "SetLayeredWindowAttributes")};
    return entry_points;
}

bool IsNtFamily() {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    return GetVersionExW(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

// --- End of the program --------------------------------------------------------------------

void (*registered_cleanup)() = nullptr;

}  // namespace

// --- Texts ---------------------------------------------------------------------------------

std::wstring Widen(std::string_view text) {
    std::wstring out;
    out.reserve(text.size());
    size_t table_from = 0;  // start of the bytes not yet converted through the table
    for (size_t i = 0; i < text.size();) {
        if (!IsLeadByte(static_cast<unsigned char>(text[i]))) {
            ++i;
        } else if (FourByteSequenceAt(text, i)) {
            AppendGbk(out, text.substr(table_from, i - table_from));
            AppendCodePoint(out, DecodeFourBytes(text.substr(i, 4)));
            i += 4;
            table_from = i;
        } else {
            i += 2;  // a two-byte character: its second byte is never a first one
        }
    }
    AppendGbk(out, text.substr(std::min(table_from, text.size())));
    return out;
}

std::string Narrow(std::wstring_view text) {
    if (std::optional<std::string> bytes = GbkBytes(text)) return *bytes;
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t code_point = text[i];
        size_t units = 1;
        if (code_point >= 0xD800 && code_point < 0xDC00 && i + 1 < text.size() &&
            text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            code_point = 0x10000 + ((code_point - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            units = 2;
        }
        const bool surrogate = units == 1 && code_point >= 0xD800 && code_point < 0xE000;
        std::optional<std::string> bytes;
        if (units == 1 && !surrogate) bytes = GbkBytes(text.substr(i, 1));
        if (!bytes && !surrogate) bytes = EncodeFourBytes(code_point);
        out += bytes && !bytes->empty() ? *bytes : std::string("?");
        i += units - 1;
    }
    return out;
}

// --- Files ---------------------------------------------------------------------------------

bool FileExists(std::string_view path) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(Widen(path).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return true;
}

int32_t FileSize(std::string_view path) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(Widen(path).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return -1;
    FindClose(search);
    return static_cast<int32_t>(found.nFileSizeLow);
}

std::string ReadWholeFile(std::string_view path) {
    if (path.empty()) return {};
    // Others may keep the file open for writing (the debug log does); reading it anyway
    // is what a reader of a whole file wants.
    HANDLE file = CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string bytes;
    LARGE_INTEGER size;
    if (GetFileSizeEx(file, &size) && size.QuadPart > 0 && size.QuadPart < 0x7FFFFFFF) {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        size_t filled = 0;
        while (filled < bytes.size()) {
            DWORD read = 0;
            if (!ReadFile(file, &bytes[filled], static_cast<DWORD>(bytes.size() - filled), &read,
                          nullptr) ||
                read == 0) {
                break;
            }
            filled += read;
        }
        bytes.resize(filled);
    }
    CloseHandle(file);
    return bytes;
}

bool WriteWholeFile(std::string_view path, std::initializer_list<std::string_view> parts) {
    if (path.empty()) return false;
    HANDLE file = CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool written = true;
    for (std::string_view part : parts) {
        if (!part.empty() && !WriteAll(file, part)) {
            written = false;
            break;
        }
    }
    CloseHandle(file);
    return written;
}

bool DeleteFileAt(std::string_view path) { return DeleteFileW(Widen(path).c_str()) != 0; }

bool WriteFileInOneStep(std::string_view path, std::string_view bytes) {
    const std::wstring target = Widen(path);
    const std::wstring staged = target + L".new";
    HANDLE file = CreateFileW(staged.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool written = WriteAll(file, bytes) && FlushFileBuffers(file);
    CloseHandle(file);
    if (written && MoveFileExW(staged.c_str(), target.c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    DeleteFileW(staged.c_str());
    return false;
}

std::optional<FileStamp> StampOf(std::string_view path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(Widen(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return std::nullopt;
    }
    const auto join = [](DWORD high, DWORD low) { return (uint64_t{high} << 32) | low; };
    return FileStamp{join(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime),
                     join(data.nFileSizeHigh, data.nFileSizeLow)};
}

bool CreateDirectoryAt(std::string_view path) {
    return CreateDirectoryW(Widen(path).c_str(), nullptr) != 0;
}

int OpenFile(std::string_view path, int open_mode, int share_mode) {
    if (path.empty()) return 0;
    if (open_mode < kOpenRead || open_mode > kOpenCreateReadWrite) return 0;
    if (share_mode < kShareAll || share_mode > kShareExclusive) return 0;
    const OpenModeRule& rule = kOpenModeRules[open_mode - kOpenRead];
    const DWORD share = kShareModeFlags[share_mode - kShareAll];
    HANDLE file = CreateFileW(Widen(path).c_str(), rule.access, share, nullptr, rule.disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    OpenFiles().push_back(file);
    return static_cast<int>(OpenFiles().size());
}

void MoveToEnd(int file_number) {
    HANDLE file = HandleOf(file_number);
    if (file != INVALID_HANDLE_VALUE) SetFilePointer(file, 0, nullptr, FILE_END);
}

void WriteText(int file_number, std::initializer_list<std::string_view> texts) {
    HANDLE file = HandleOf(file_number);
    if (file == INVALID_HANDLE_VALUE) return;
    for (std::string_view text : texts) {
        if (!WriteAll(file, text)) return;
    }
}

void CloseFile(int file_number) {
    HANDLE file = HandleOf(file_number);
    if (file == INVALID_HANDLE_VALUE) return;
    CloseHandle(file);
    OpenFiles()[file_number - 1] = INVALID_HANDLE_VALUE;
}

// --- Registry ------------------------------------------------------------------------------

bool WriteRegistryValue(int root, std::string_view path, const RegistryData& value) {
    const RegistryPath where = SplitRegistryPath(path);
    HKEY key = nullptr;
    if (RegOpenKeyExW(RootKey(root), where.key.c_str(), 0, KEY_WRITE, &key) != ERROR_SUCCESS &&
        RegCreateKeyW(RootKey(root), where.key.c_str(), &key) != ERROR_SUCCESS) {
        return false;
    }
    LONG status = ERROR_INVALID_PARAMETER;
    if (const auto* text = std::get_if<std::string>(&value)) {
        const std::wstring wide = Widen(*text);
        status = RegSetValueExW(key, where.value_name.c_str(), 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(wide.c_str()),
                                static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
    } else if (const auto* number = std::get_if<uint32_t>(&value)) {
        const DWORD data = *number;
        status = RegSetValueExW(key, where.value_name.c_str(), 0, REG_DWORD,
                                reinterpret_cast<const BYTE*>(&data), sizeof data);
    } else if (const auto* bytes = std::get_if<std::vector<uint8_t>>(&value)) {
        status = RegSetValueExW(key, where.value_name.c_str(), 0, REG_BINARY, bytes->data(),
                                static_cast<DWORD>(bytes->size()));
    }
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool DeleteRegistryValue(int root, std::string_view path) {
    const RegistryPath where = SplitRegistryPath(path);
    HKEY key = nullptr;
    if (RegOpenKeyExW(RootKey(root), where.key.c_str(), 0, KEY_WRITE, &key) == ERROR_SUCCESS) {
        const LONG status = RegDeleteValueW(key, where.value_name.c_str());
        RegCloseKey(key);
        if (status == ERROR_SUCCESS) return true;
    }
    return RegDeleteKeyW(RootKey(root), Widen(path).c_str()) == ERROR_SUCCESS;
}

// --- User interface ------------------------------------------------------------------------

int ShowMessageBox(std::string_view text, unsigned style, std::optional<std::string_view> caption) {
    if (!(style & MB_SYSTEMMODAL)) style |= MB_TASKMODAL;
    // The countdown window never takes the focus, so the program may not own the foreground
    // when it asks or tells the user something: the box comes to the front itself.
    style |= MB_SETFOREGROUND;
    const std::wstring shown_caption = Widen(caption ? *caption : "信息：");
    switch (MessageBoxW(nullptr, Widen(text).c_str(), shown_caption.c_str(), style)) {
        case IDOK:
            return 0;
        case IDCANCEL:
            return 1;
        case IDABORT:
            return 2;
        case IDRETRY:
            return 3;
        case IDIGNORE:
            return 4;
        case IDYES:
            return 5;
        case IDNO:
            return 6;
        default:
            return -1;
    }
}

void ProcessPendingMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void RegisterCleanup(void (*cleanup)()) { registered_cleanup = cleanup; }

void EndProgram(int exit_code) {
    // Taken before the call so that a clean-up routine that ends the program itself does
    // not run a second time.
    void (*cleanup)() = registered_cleanup;
    registered_cleanup = nullptr;
    if (cleanup) cleanup();
    ExitProcess(static_cast<UINT>(exit_code));
}

bool SetWindowTransparency(HWND window, int alpha) {
    if (!IsNtFamily()) return false;
    if (alpha < 0 || alpha > 255) alpha = 255;
    const LayeredEntryPoints& layered = Layered();
    if (!layered.get_window_long || !layered.set_window_long) return false;
    AddLayeredStyle(window);
    return SetLayeredAttributes(window, 0, static_cast<BYTE>(alpha), LWA_ALPHA);
}

void AddLayeredStyle(HWND window) {
    const LayeredEntryPoints& layered = Layered();
    if (!layered.get_window_long || !layered.set_window_long) return;
    const LONG style = layered.get_window_long(window, GWL_EXSTYLE);
    if (!(style & WS_EX_LAYERED))
        layered.set_window_long(window, GWL_EXSTYLE, style | WS_EX_LAYERED);
}

bool SetLayeredAttributes(HWND window, COLORREF key, BYTE alpha, DWORD flags) {
    const LayeredEntryPoints& layered = Layered();
    if (!layered.set_layered_window_attributes) return false;
    return layered.set_layered_window_attributes(window, key, alpha, flags) != 0;
}

void OpenWebAddress(std::string_view address) {
    if (address.empty()) return;
    static const auto shell_execute =
        LibraryFunction<HINSTANCE(WINAPI*)(HWND, const wchar_t*, const wchar_t*, const wchar_t*,
                                           const wchar_t*, int)>(L"shell32.dll", "ShellExecuteW");
    if (!shell_execute) return;
    HWND owner = FindWindowW(nullptr, L"Microsoft Internet Explorer");
    shell_execute(owner, L"open", Widen(address).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

// --- System --------------------------------------------------------------------------------

namespace {

std::string ModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            return Narrow(path);
        }
        path.resize(path.size() * 2);  // cut off: try a larger buffer
    }
}

}  // namespace

std::string RunDirectory() {
    const std::string path = ModulePath();
    const size_t slash = path.rfind('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string ExecutableFileName() {
    const std::string path = ModulePath();
    const size_t slash = path.rfind('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

namespace {

// A face name is kept to the 31 bytes a font description holds, cut before a character
// that would not fit whole.
int CALLBACK CollectFontFamily(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM names) {
    const std::string face = Narrow({font->lfFaceName, wcsnlen(font->lfFaceName, LF_FACESIZE)});
    reinterpret_cast<std::vector<std::string>*>(names)->emplace_back(
        WholeCharactersWithin(face, LF_FACESIZE - 1));
    return 1;
}

}  // namespace

std::vector<std::string> ListFontNames() {
    std::vector<std::string> reported;
    HDC screen = GetDC(nullptr);
    if (!screen) return reported;
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;  // with an empty face name: every family, every charset
    EnumFontFamiliesExW(screen, &wanted, CollectFontFamily, reinterpret_cast<LPARAM>(&reported), 0);
    ReleaseDC(nullptr, screen);

    // A family comes once per character set, in a row; keep one of each such run.
    std::vector<std::string> names;
    for (auto name = reported.rbegin(); name != reported.rend(); ++name) {
        if (names.empty() || names.back() != *name) names.push_back(std::move(*name));
    }
    return names;
}

}  // namespace tq
