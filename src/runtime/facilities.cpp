#include "runtime/facilities.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "runtime/gbk.h"
#include "runtime/value.h"

namespace tq {
namespace {

// --- Texts ---------------------------------------------------------------------------------

constexpr UINT kGbkCodePage = 936;

void AppendGbk(std::wstring& out, std::string_view bytes) {
    if (bytes.empty()) return;
    const int size = static_cast<int>(bytes.size());
    const int n = MultiByteToWideChar(kGbkCodePage, 0, bytes.data(), size, nullptr, 0);
    if (n <= 0) return;
    const size_t at = out.size();
    out.resize(at + static_cast<size_t>(n));
    MultiByteToWideChar(kGbkCodePage, 0, bytes.data(), size, &out[at], n);
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

// How long a refused step of a save is tried again, and how often.
constexpr DWORD kRetryForMs = 2000;
constexpr DWORD kRetryStepMs = 50;

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

// Waits while the program's windows keep painting, their timers (the countdown's refresh)
// keep ticking and messages sent by the system are answered. What the user types or clicks
// and posted requests stay queued until the save has its answer: none of their handlers can
// start another save, close a window or end the program in the middle of this one.
void WaitKeepingWindowsAlive(DWORD milliseconds) {
    const DWORD started = GetTickCount();
    const auto left = [&] {
        const DWORD waited = GetTickCount() - started;
        return waited < milliseconds ? milliseconds - waited : 0;
    };
    for (DWORD remaining = left(); remaining > 0; remaining = left()) {
        MSG message;
        if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT | PM_QS_SENDMESSAGE) ||
            PeekMessageW(&message, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE)) {
            DispatchMessageW(&message);
        } else {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, remaining,
                                      QS_PAINT | QS_TIMER | QS_SENDMESSAGE);
        }
    }
}

// Runs a step of a save until it succeeds, fails for another reason than another program
// holding the file for a moment (access denied, a sharing or lock violation), or the time since
// `started` runs out: one time limit for all the steps of a save, the user waits for the whole.
template <typename Step>
bool RetriedWhileHeld(DWORD started, Step step) {
    for (;;) {
        if (step()) return true;
        const DWORD error = GetLastError();
        if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION &&
             error != ERROR_LOCK_VIOLATION) ||
            GetTickCount() - started >= kRetryForMs) {
            return false;
        }
        WaitKeepingWindowsAlive(kRetryStepMs);
    }
}

// The platform refuses to rename over a read-only file (Wine alone lets it pass) and to open
// one for writing; that refusal does not pass, so it is not waited for.
bool IsReadOnlyFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
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
bool (*keyboard_handling)(MSG&) = nullptr;

}  // namespace

// --- Texts ---------------------------------------------------------------------------------

std::wstring Widen(std::string_view text) {
    std::wstring out;
    out.reserve(text.size());
    size_t table_from = 0;  // start of the bytes not yet converted through the table
    for (size_t i = 0; i < text.size();) {
        const GbkUnit unit = GbkUnitAt(text, i);
        if (unit.kind == GbkUnitKind::FourBytes) {
            AppendGbk(out, text.substr(table_from, i - table_from));
            AppendUtf16(out, DecodeFourBytes(text.substr(i, 4)));
            table_from = i + 4;
        }
        i += unit.length;
    }
    AppendGbk(out, text.substr(table_from));
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

// Both descriptions hold the same members before the face, laid out alike.
LOGFONTW ToPlatformFont(const LOGFONTA& font) {
    LOGFONTW wide{};
    std::memcpy(&wide, &font, offsetof(LOGFONTA, lfFaceName));
    const std::wstring face = Widen({font.lfFaceName, strnlen(font.lfFaceName, LF_FACESIZE)});
    // A face of 31 bytes has at most 31 UTF-16 units.
    std::memcpy(wide.lfFaceName, face.data(),
                std::min<size_t>(face.size(), LF_FACESIZE - 1) * sizeof(wchar_t));
    return wide;
}

LOGFONTA FromPlatformFont(const LOGFONTW& font) {
    LOGFONTA narrow{};
    std::memcpy(&narrow, &font, offsetof(LOGFONTA, lfFaceName));
    const std::string face = Narrow({font.lfFaceName, wcsnlen(font.lfFaceName, LF_FACESIZE)});
    const std::string_view fits = WholeCharactersWithin(face, LF_FACESIZE - 1);
    std::memcpy(narrow.lfFaceName, fits.data(), fits.size());
    return narrow;
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

std::optional<std::string> ReadWholeFile(std::string_view path, uint64_t largest) {
    if (path.empty()) return std::nullopt;
    // Others may keep the file open for writing (the debug log does); reading it anyway
    // is what a reader of a whole file wants. Sharing deletion as well lets a save's rename
    // replace the file while it is being read.
    HANDLE file = CreateFileW(Widen(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::optional<std::string> bytes;
    LARGE_INTEGER size;
    if (GetFileSizeEx(file, &size) && static_cast<uint64_t>(size.QuadPart) <=
                                          std::min<uint64_t>(largest, std::string().max_size())) {
        try {
            bytes.emplace(static_cast<size_t>(size.QuadPart), '\0');
            size_t filled = 0;
            while (filled < bytes->size()) {
                DWORD read = 0;
                if (!ReadFile(file, &(*bytes)[filled], static_cast<DWORD>(bytes->size() - filled),
                              &read, nullptr) ||
                    read == 0) {
                    break;
                }
                filled += read;
            }
            bytes->resize(filled);
        } catch (const std::bad_alloc&) {
            bytes.reset();  // a file the process has no room for cannot be read
        }
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

// The bytes as a new file `staged` (replacing one a stopped save left), flushed to the disk.
bool WriteStaged(const std::wstring& staged, std::string_view bytes, DWORD started) {
    HANDLE file = INVALID_HANDLE_VALUE;
    const bool opened = RetriedWhileHeld(started, [&] {
        file = CreateFileW(staged.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        return file != INVALID_HANDLE_VALUE;
    });
    if (!opened) return false;
    const bool written = WriteAll(file, bytes) && FlushFileBuffers(file);
    CloseHandle(file);
    return written;
}

// `from` takes the place of `to` in one rename.
bool MoveOver(const std::wstring& from, const std::wstring& to, DWORD started) {
    return RetriedWhileHeld(started, [&] {
        return MoveFileExW(from.c_str(), to.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    });
}

bool WriteFileInOneStep(std::string_view path, std::string_view bytes) {
    const std::wstring target = Widen(path);
    const std::wstring staged = target + L".new";
    if (IsReadOnlyFile(target)) return false;
    const DWORD started = GetTickCount();
    if (WriteStaged(staged, bytes, started) && MoveOver(staged, target, started)) return true;
    DeleteFileW(staged.c_str());
    return false;
}

bool HasOtherNames(std::string_view path) {
    // Opened for its attributes only, which no share mode of another program refuses.
    HANDLE file = CreateFileW(Widen(path).c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION information;
    const bool linked =
        GetFileInformationByHandle(file, &information) && information.nNumberOfLinks > 1;
    CloseHandle(file);
    return linked;
}

std::string BackupDuringSave(std::string_view path) {
    return std::string(path) + ".old-during-save";
}

bool WriteFileInPlace(std::string_view path, std::string_view bytes) {
    const std::wstring target = Widen(path);
    if (IsReadOnlyFile(target)) return false;
    const std::string backup = BackupDuringSave(path);
    const std::wstring wide_backup = Widen(backup);
    // A backup left by a save that was stopped is the whole old file, and the file itself may
    // be cut: it stays the backup.
    const bool had_backup = GetFileAttributesW(wide_backup.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (!had_backup) {
        const std::optional<std::string> old_bytes =
            ReadWholeFile(path, std::numeric_limits<uint64_t>::max());
        if (!old_bytes || !WriteFileInOneStep(backup, *old_bytes)) return false;
    }
    const DWORD started = GetTickCount();
    HANDLE file = INVALID_HANDLE_VALUE;
    const bool opened = RetriedWhileHeld(started, [&] {
        file = CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        return file != INVALID_HANDLE_VALUE;
    });
    if (!opened) {
        // Nothing was touched: the file is whole as it was.
        if (!had_backup) DeleteFileW(wide_backup.c_str());
        return false;
    }
    const bool written = WriteAll(file, bytes) && SetEndOfFile(file) && FlushFileBuffers(file);
    CloseHandle(file);
    // After a failed write the file may be cut: the backup stays for the readers, and so it
    // does while it cannot be deleted (the save then counts as failed).
    return written &&
           RetriedWhileHeld(started, [&] { return DeleteFileW(wide_backup.c_str()) != 0; });
}

// The file's names other than `path`, as full paths: FindFirstFileNameW gives each relative to
// the root of the volume. None when the platform cannot list them. Wine exports the two
// functions as stubs that end the process when called, so under Wine (which tells itself by
// ntdll's wine_get_version) they are not called.
std::optional<std::vector<std::wstring>> OtherNamesOf(const std::wstring& path) {
    if (other_names_for_tests) return other_names_for_tests(path);
    using FirstName = HANDLE(WINAPI*)(LPCWSTR, DWORD, LPDWORD, PWSTR);
    using NextName = BOOL(WINAPI*)(HANDLE, LPDWORD, PWSTR);
    const auto first_name = LibraryFunction<FirstName>(L"kernel32.dll", "FindFirstFileNameW");
    const auto next_name = LibraryFunction<NextName>(L"kernel32.dll", "FindNextFileNameW");
    if (!first_name || !next_name || LibraryFunction<void*>(L"ntdll.dll", "wine_get_version")) {
        return std::nullopt;
    }
    wchar_t volume[MAX_PATH];
    wchar_t full[MAX_PATH];
    if (!GetVolumePathNameW(path.c_str(), volume, MAX_PATH) ||
        !GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr)) {
        return std::nullopt;
    }
    std::wstring root = volume;
    if (!root.empty() && root.back() == L'\\') root.pop_back();
    std::vector<std::wstring> names;
    std::wstring name(MAX_PATH, L'\0');
    DWORD length = MAX_PATH;
    HANDLE find = first_name(path.c_str(), 0, &length, name.data());
    if (find == INVALID_HANDLE_VALUE) return std::nullopt;
    do {
        std::wstring other = root + name.c_str();
        if (CompareStringOrdinal(other.c_str(), -1, full, -1, TRUE) != CSTR_EQUAL) {
            names.push_back(std::move(other));
        }
        length = MAX_PATH;
    } while (next_name(find, &length, name.data()));
    const bool listed = GetLastError() == ERROR_HANDLE_EOF;
    FindClose(find);
    if (!listed) return std::nullopt;
    return names;
}

bool WriteFileKeepingNames(std::string_view path, std::string_view bytes) {
    if (!HasOtherNames(path)) return WriteFileInOneStep(path, bytes);
    const std::wstring target = Widen(path);
    if (IsReadOnlyFile(target)) return false;
    const std::optional<std::vector<std::wstring>> others = OtherNamesOf(target);
    if (!others || others->empty()) return WriteFileInPlace(path, bytes);
    const DWORD started = GetTickCount();
    const std::wstring staged = target + L".new";
    if (!WriteStaged(staged, bytes, started)) {
        DeleteFileW(staged.c_str());
        return false;
    }
    // Each other name becomes a name of the new file in one rename: linked beside it first,
    // then moved over it. Where the first cannot (a folder this user may not write), nothing
    // has changed yet and the file is rewritten where it is instead.
    bool first = true;
    for (const std::wstring& other : *others) {
        const std::wstring link = other + L".new";
        DeleteFileW(link.c_str());  // left by a stopped save
        const bool moved = CreateHardLinkW(link.c_str(), staged.c_str(), nullptr) &&
                           MoveOver(link, other, started);
        if (!moved) {
            DeleteFileW(link.c_str());
            if (first) {
                DeleteFileW(staged.c_str());
                return WriteFileInPlace(path, bytes);
            }
        }
        first = false;
    }
    if (MoveOver(staged, target, started)) return true;
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

bool FolderExists(std::string_view path) {
    const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CanCreateFilesIn(std::string_view folder) {
    const std::wstring probe =
        Widen(folder) + L"\\~tq" + std::to_wstring(GetCurrentProcessId()) + L".tmp";
    HANDLE file = CreateFileW(
        probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
        FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_EXISTS;
    CloseHandle(file);
    return true;
}

std::string UserDataFolder() {
    wchar_t folder[MAX_PATH * 2];
    const DWORD length = GetEnvironmentVariableW(L"APPDATA", folder, MAX_PATH * 2);
    if (length == 0 || length >= MAX_PATH * 2) return {};
    return Narrow({folder, length});
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
    LONG status = RegOpenKeyExW(RootKey(root), where.key.c_str(), 0, KEY_SET_VALUE, &key);
    if (status == ERROR_SUCCESS) {
        status = RegDeleteValueW(key, where.value_name.c_str());
        RegCloseKey(key);
    }
    if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) return true;
    // Refused: that is no failure when there was nothing to delete.
    if (RegOpenKeyExW(RootKey(root), where.key.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    status = RegQueryValueExW(key, where.value_name.c_str(), nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return status == ERROR_FILE_NOT_FOUND;
}

std::optional<std::string> ReadRegistryText(int root, std::string_view path) {
    const RegistryPath where = SplitRegistryPath(path);
    HKEY key = nullptr;
    if (RegOpenKeyExW(RootKey(root), where.key.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD type = 0;
    DWORD size = 0;
    std::wstring data;
    LONG status = RegQueryValueExW(key, where.value_name.c_str(), nullptr, &type, nullptr, &size);
    if (status == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ)) {
        data.resize(size / sizeof(wchar_t) + 1);
        status = RegQueryValueExW(key, where.value_name.c_str(), nullptr, &type,
                                  reinterpret_cast<BYTE*>(data.data()), &size);
        data.resize(std::min<size_t>(size / sizeof(wchar_t), data.size()));
    }
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::nullopt;
    while (!data.empty() && data.back() == L'\0') data.pop_back();
    return Narrow(data);
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

void SetKeyboardHandling(bool (*handle_keys)(MSG&)) { keyboard_handling = handle_keys; }

void HandleMessage(MSG& message) {
    if (keyboard_handling && keyboard_handling(message)) return;
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

void ProcessPendingMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) HandleMessage(message);
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

// Declared by the SDK for Windows 8 and later only; the loader update for Windows 7 knows them.
constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32

FARPROC Kernel32Function(const char* name) {
    return GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name);
}

}  // namespace

void RestrictLibrarySearch() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    using SetDllDirectoryFn = BOOL(WINAPI*)(const wchar_t*);
    if (const auto set_default = reinterpret_cast<SetDefaultDllDirectoriesFn>(
            reinterpret_cast<void*>(Kernel32Function("SetDefaultDllDirectories")))) {
        set_default(kSearchSystem32);
    }
    // An empty folder takes the current folder out of the search of a loader without the
    // update.
    if (const auto set_folder = reinterpret_cast<SetDllDirectoryFn>(
            reinterpret_cast<void*>(Kernel32Function("SetDllDirectoryW")))) {
        set_folder(L"");
    }
}

HMODULE LoadSystemLibrary(const wchar_t* library) {
    // AddDllDirectory comes with the search flags (the same update, or Windows 8).
    static const bool flags_known = Kernel32Function("AddDllDirectory") != nullptr;
    if (flags_known) return LoadLibraryExW(library, nullptr, kSearchSystem32);
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    const std::wstring path = std::wstring(folder, length) + L"\\" + library;
    return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

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

}  // namespace tq
