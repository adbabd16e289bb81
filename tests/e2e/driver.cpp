#include "e2e/driver.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <thread>

#include <oleacc.h>
#include <tlhelp32.h>

namespace e2e {

namespace {

constexpr char kFormClass[] = "TorvekQuindleForm";
// The countdown window's own class, by which an installer finds the running program.
constexpr char kMainWindowClass[] = "TorvekQuindleCountdown";
constexpr char kLabelClass[] = "TorvekQuindleTransparentLabel";
constexpr char kMenuClass[] = "#32768";
constexpr char kDialogClass[] = "#32770";
// Wine 8 shows icons in a small window of its X11 driver; later Wine versions (and a
// desktop started with `explorer /desktop`) use explorer's taskbar window.
constexpr const char* kTrayWindowClasses[] = {"__winex11_standalone_tray", "Shell_TrayWnd"};
constexpr const char* kTrayIconClasses[] = {"__winex11_tray_icon", "__wine_tray_icon"};
constexpr UINT kTrayCallbackMessage = WM_APP + 1;
constexpr UINT kTrayIconId = 100;

std::string& ProgramPath() {
    static std::string path;
    return path;
}

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// Wine maps Unix paths onto drive letters; it tells which through this export.
std::string WindowsPathFor(const std::string& path) {
    if (path.empty() || path[0] != '/') return path;
    using ToDos = WCHAR*(CDECL*)(const char*);
    auto to_dos = reinterpret_cast<ToDos>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_dos_file_name")));
    if (to_dos) {
        if (WCHAR* wide = to_dos(path.c_str())) {
            char buffer[MAX_PATH * 2] = {};
            WideCharToMultiByte(CP_ACP, 0, wide, -1, buffer, sizeof(buffer), nullptr, nullptr);
            HeapFree(GetProcessHeap(), 0, wide);
            return buffer;
        }
    }
    std::string windows = "Z:" + path;
    std::replace(windows.begin(), windows.end(), '/', '\\');
    return windows;
}

void RemoveTree(const std::string& folder) { e2e::RemoveTree(Utf16(folder)); }

ULONGLONG Ticks(const SYSTEMTIME& t) {
    FILETIME file_time{};
    SystemTimeToFileTime(&t, &file_time);
    return (static_cast<ULONGLONG>(file_time.dwHighDateTime) << 32) | file_time.dwLowDateTime;
}

SYSTEMTIME FromTicks(ULONGLONG ticks) {
    FILETIME file_time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME t{};
    FileTimeToSystemTime(&file_time, &t);
    t.wMilliseconds = 0;
    return t;
}

// Sends the buttons' events in order, each carrying the point as a move: Wine hands the X
// server's pointer motion to whichever process lies under the pointer, and a motion still
// queued there from an earlier gesture can move the cursor after SetCursorPos, so a press
// without a point of its own may land where the pointer was before. The point is given in
// the primary screen's normalised units (pixel = units * width / 65536, rounded down).
void SendMouse(std::initializer_list<DWORD> buttons, POINT screen) {
    const auto units = [](LONG pixel, int extent) {
        return static_cast<LONG>((static_cast<LONGLONG>(pixel) * 65536 + extent - 1) / extent);
    };
    INPUT move{};
    move.type = INPUT_MOUSE;
    move.mi.dx = units(screen.x, GetSystemMetrics(SM_CXSCREEN));
    move.mi.dy = units(screen.y, GetSystemMetrics(SM_CYSCREEN));
    move.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    std::vector<INPUT> input{move};
    for (DWORD button : buttons) {
        input.push_back(move);
        input.back().mi.dwFlags |= button;
    }
    SendInput(static_cast<UINT>(input.size()), input.data(), sizeof(INPUT));
}

// ---- Screen pixels ------------------------------------------------------------------------

struct Image {
    int width = 0;
    int height = 0;
    std::vector<DWORD> pixels;  // 0x00RRGGBB, top-down rows
    DWORD at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// A 32-bit top-down DIB section whose pixels the driver reads directly.
HBITMAP TopDownBitmap(int width, int height, void** bits) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, bits, nullptr, 0);
}

Image Capture(HDC source, int left, int top, int width, int height) {
    Image image;
    if (width <= 0 || height <= 0) return image;
    void* bits = nullptr;
    HBITMAP bitmap = TopDownBitmap(width, height, &bits);
    if (!bitmap) return image;
    HDC memory = CreateCompatibleDC(source);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, source, left, top, SRCCOPY);
    GdiFlush();
    image.width = width;
    image.height = height;
    const auto* p = static_cast<const DWORD*>(bits);
    image.pixels.assign(p, p + static_cast<size_t>(width) * height);
    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(bitmap);
    return image;
}

Image CaptureScreen(const RECT& r) {
    HDC screen = GetDC(nullptr);
    Image image = Capture(screen, r.left, r.top, r.right - r.left, r.bottom - r.top);
    ReleaseDC(nullptr, screen);
    return image;
}

int ColourDistance(DWORD a, DWORD b) {
    int largest = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        largest = std::max(largest, std::abs(static_cast<int>((a >> shift) & 0xFF) -
                                             static_cast<int>((b >> shift) & 0xFF)));
    }
    return largest;
}

// A black-and-white mask of the pixels that stand out from the background.
struct Mask {
    int width = 0;
    int height = 0;
    std::vector<bool> ink;
    bool at(int x, int y) const { return ink[static_cast<size_t>(y) * width + x]; }
    int count() const { return static_cast<int>(std::count(ink.begin(), ink.end(), true)); }
};

constexpr int kInkDistance = 80;

// The part of the image's ink in [x0, x1) × [y0, y1), cut to its bounding box; each row's
// background is the colour of that row at `background_x`.
Mask InkBox(const Image& image, int x0, int x1, int y0, int y1, int background_x,
            int* box_left = nullptr, int* box_top = nullptr) {
    int left = x1, right = x0 - 1, top = y1, bottom = y0 - 1;
    for (int y = y0; y < y1; ++y) {
        const DWORD background = image.at(background_x, y);
        for (int x = x0; x < x1; ++x) {
            if (ColourDistance(image.at(x, y), background) > kInkDistance) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    Mask mask;
    if (right < left) return mask;
    mask.width = right - left + 1;
    mask.height = bottom - top + 1;
    mask.ink.resize(static_cast<size_t>(mask.width) * mask.height);
    for (int y = top; y <= bottom; ++y) {
        const DWORD background = image.at(background_x, y);
        for (int x = left; x <= right; ++x) {
            mask.ink[static_cast<size_t>(y - top) * mask.width + (x - left)] =
                ColourDistance(image.at(x, y), background) > kInkDistance;
        }
    }
    if (box_left) *box_left = left;
    if (box_top) *box_top = top;
    return mask;
}

// The screen scale programs started now read (ScreenScale); 0: the driver's own.
int program_dpi = 0;

// How a caption looks in the system's menu font, as the program under test sees the system.
Mask RenderMenuText(const std::string& text) {
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof(metrics);
    SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    if (program_dpi) {
        HDC screen = GetDC(nullptr);
        const int own_dpi = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
        metrics.lfMenuFont.lfHeight = MulDiv(metrics.lfMenuFont.lfHeight, program_dpi, own_dpi);
    }
    HFONT font = CreateFontIndirectA(&metrics.lfMenuFont);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    const int width = 16 + 24 * static_cast<int>(text.size());
    const int height = 64;
    void* bits = nullptr;
    HBITMAP bitmap = TopDownBitmap(width, height, &bits);
    HGDIOBJ old_bitmap = SelectObject(memory, bitmap);
    HGDIOBJ old_font = SelectObject(memory, font);
    RECT all{0, 0, width, height};
    FillRect(memory, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SetBkMode(memory, TRANSPARENT);
    SetTextColor(memory, RGB(0, 0, 0));
    TextOutA(memory, 8, 8, text.data(), static_cast<int>(text.size()));
    GdiFlush();
    Image image;
    image.width = width;
    image.height = height;
    const auto* p = static_cast<const DWORD*>(bits);
    image.pixels.assign(p, p + static_cast<size_t>(width) * height);
    SelectObject(memory, old_font);
    SelectObject(memory, old_bitmap);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    DeleteObject(font);
    return InkBox(image, 0, width, 0, height, width - 1);
}

// Intersection over union of two masks, the best over small shifts.
double Likeness(const Mask& a, const Mask& b) {
    if (a.count() == 0 || b.count() == 0) return 0;
    if (std::abs(a.width - b.width) > 3 || std::abs(a.height - b.height) > 3) return 0;
    double best = 0;
    for (int dy = -2; dy <= 2; ++dy) {
        for (int dx = -2; dx <= 2; ++dx) {
            int both = 0;
            for (int y = 0; y < a.height; ++y) {
                const int by = y - dy;
                if (by < 0 || by >= b.height) continue;
                for (int x = 0; x < a.width; ++x) {
                    const int bx = x - dx;
                    if (bx >= 0 && bx < b.width && a.at(x, y) && b.at(bx, by)) ++both;
                }
            }
            const int either = a.count() + b.count() - both;
            best = std::max(best, either ? static_cast<double>(both) / either : 0.0);
        }
    }
    return best;
}

struct Band {
    int top;
    int bottom;  // exclusive
    int left;    // leftmost ink
    int right;   // rightmost ink
};

}  // namespace

// ---- Waiting -----------------------------------------------------------------------------

bool WaitFor(const std::function<bool()>& condition, Milliseconds limit, Milliseconds step) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(step);
    }
}

// ---- Files and folders ------------------------------------------------------------------

std::string ProgramUnderTest() {
    if (!ProgramPath().empty()) return ProgramPath();
    char own[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, own, MAX_PATH);
    return DirectoryOf(own) + "\\TorvekQuindle.exe";
}

void SetProgramUnderTest(std::string path) { ProgramPath() = WindowsPathFor(path); }

TempFolder::TempFolder() {
    static int counter = 0;
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    std::string base = temp;
    if (!base.empty() && base.back() == '\\') base.pop_back();
    for (;;) {
        path_ = base + "\\tq-e2e-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(++counter);
        if (CreateDirectoryA(path_.c_str(), nullptr)) break;
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
}

TempFolder::~TempFolder() {
    if (std::getenv("TQ_E2E_KEEP")) return;
    // A program ended a moment ago may still hold its log file for a little while.
    WaitFor(
        [&] {
            RemoveTree(path_);
            return !FolderExists(path_);
        },
        Milliseconds(3000));
}

std::string TempFolder::operator/(std::string_view name) const {
    return path_ + "\\" + std::string(name);
}

bool FileExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

std::optional<std::string> ReadFileBytes(const std::string& path) {
    return ReadFileBytes(Utf16(path));
}

std::optional<std::string> ReadFileBytes(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

bool WriteFileBytes(const std::string& path, std::string_view bytes) {
    return WriteFileBytes(Utf16(path), bytes);
}

bool WriteFileBytes(const std::wstring& path, std::string_view bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
        written == bytes.size();
    CloseHandle(file);
    return ok;
}

std::vector<std::string> FilesIn(const std::string& folder, const std::string& pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\" + pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

FolderWatch::FolderWatch(std::initializer_list<std::string> folders) {
    for (const std::string& folder : folders) {
        handles_.push_back(FindFirstChangeNotificationA(
            folder.c_str(), FALSE, FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME));
    }
}

FolderWatch::~FolderWatch() {
    for (HANDLE handle : handles_) {
        if (handle != INVALID_HANDLE_VALUE) FindCloseChangeNotification(handle);
    }
}

bool FolderWatch::Changed() const {
    return WaitForMultipleObjects(static_cast<DWORD>(handles_.size()), handles_.data(), FALSE,
                                  1000) != WAIT_TIMEOUT;
}

// ---- Windows of the desktop --------------------------------------------------------------

std::string ClassOf(HWND window) {
    char name[256] = {};
    GetClassNameA(window, name, sizeof(name));
    return name;
}

std::wstring Utf16(std::string_view gbk) {
    std::wstring text(gbk.size(), L'\0');
    text.resize(MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), text.data(),
                                    static_cast<int>(text.size())));
    return text;
}

static std::string Gbk(std::wstring_view text) {
    std::string bytes(text.size() * 4, '\0');
    bytes.resize(WideCharToMultiByte(936, 0, text.data(), static_cast<int>(text.size()),
                                     bytes.data(), static_cast<int>(bytes.size()), nullptr,
                                     nullptr));
    return bytes;
}

std::string TextOf(HWND window) {
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, ARRAYSIZE(text));
    return Gbk(text);
}

DWORD ProcessOf(HWND window) {
    DWORD process_id = 0;
    GetWindowThreadProcessId(window, &process_id);
    return process_id;
}

namespace {

struct WindowSearch {
    const std::string* window_class;
    DWORD process_id;
    bool visible_only;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<WindowSearch*>(data);
    if (ClassOf(window) != *search->window_class) return TRUE;
    if (search->process_id && ProcessOf(window) != search->process_id) return TRUE;
    if (search->visible_only && !IsWindowVisible(window)) return TRUE;
    search->found.push_back(window);
    return TRUE;
}

}  // namespace

std::vector<HWND> TopLevelWindows(const std::string& window_class, DWORD process_id,
                                  bool visible_only) {
    WindowSearch search{&window_class, process_id, visible_only, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

RECT ScreenRect(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return r;
}

POINT Centre(const RECT& r) { return {(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

RECT InkBox(const RECT& screen_area, COLORREF background) {
    const Image image = CaptureScreen(screen_area);
    const DWORD paper =
        (GetRValue(background) << 16) | (GetGValue(background) << 8) | GetBValue(background);
    RECT box{image.width, image.height, 0, 0};
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            if ((image.at(x, y) & 0xFFFFFF) == paper) continue;
            box = {std::min<LONG>(box.left, x), std::min<LONG>(box.top, y),
                   std::max<LONG>(box.right, x + 1), std::max<LONG>(box.bottom, y + 1)};
        }
    }
    if (box.right <= box.left) return {};
    OffsetRect(&box, screen_area.left, screen_area.top);
    return box;
}

// ---- Colours on the screen -------------------------------------------------------------------

COLORREF PixelAt(POINT screen) {
    const DWORD p = CaptureScreen({screen.x, screen.y, screen.x + 1, screen.y + 1}).at(0, 0);
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

AreaColours ColoursIn(const RECT& screen_area) {
    const Image image = CaptureScreen(screen_area);
    std::map<DWORD, int> counts;
    for (DWORD p : image.pixels) ++counts[p & 0xFFFFFF];
    if (counts.empty()) return {};
    const auto colour = [](DWORD p) { return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF); };
    DWORD surface = counts.begin()->first;
    for (const auto& [p, n] : counts) {
        if (n > counts[surface]) surface = p;
    }
    AreaColours result{colour(surface), colour(surface)};
    for (const auto& [p, n] : counts) {
        if (ContrastRatio(colour(p), result.surface) > ContrastRatio(result.ink, result.surface))
            result.ink = colour(p);
    }
    return result;
}

double ContrastRatio(COLORREF a, COLORREF b) {
    const auto luminance = [](COLORREF c) {
        const auto linear = [](BYTE v) {
            const double s = v / 255.0;
            return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * linear(GetRValue(c)) + 0.7152 * linear(GetGValue(c)) +
               0.0722 * linear(GetBValue(c));
    };
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

namespace {
constexpr char kColoursKey[] = "Control Panel\\Colors";
constexpr char kThemeKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\ThemeManager";

std::optional<std::string> RegistryText(const char* key, const std::string& name) {
    char value[256] = {};
    DWORD size = sizeof value;
    if (RegGetValueA(HKEY_CURRENT_USER, key, name.c_str(), RRF_RT_REG_SZ, nullptr, value, &size))
        return std::nullopt;
    return std::string(value);
}

void SetRegistryText(const char* key, const std::string& name,
                     const std::optional<std::string>& text) {
    if (!text) {
        RegDeleteKeyValueA(HKEY_CURRENT_USER, key, name.c_str());
    } else {
        RegSetKeyValueA(HKEY_CURRENT_USER, key, name.c_str(), REG_SZ, text->c_str(),
                        static_cast<DWORD>(text->size() + 1));
    }
}
}  // namespace

ColourScheme::ColourScheme(const std::vector<std::pair<std::string, COLORREF>>& colours) {
    saved_theme_active_ = RegistryText(kThemeKey, "ThemeActive");
    SetRegistryText(kThemeKey, "ThemeActive", "0");
    for (const auto& [name, c] : colours) {
        saved_.emplace_back(name, RegistryText(kColoursKey, name));
        SetRegistryText(kColoursKey, name,
                        std::to_string(GetRValue(c)) + " " + std::to_string(GetGValue(c)) + " " +
                            std::to_string(GetBValue(c)));
    }
}

ColourScheme::~ColourScheme() {
    for (const auto& [name, text] : saved_) SetRegistryText(kColoursKey, name, text);
    SetRegistryText(kThemeKey, "ThemeActive", saved_theme_active_);
}

// ---- Screen scale ----------------------------------------------------------------------------

namespace {
constexpr char kDesktopKey[] = "Control Panel\\Desktop";
}

ScreenScale::ScreenScale(DWORD dpi) {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegGetValueA(HKEY_CURRENT_USER, kDesktopKey, "LogPixels", RRF_RT_REG_DWORD, nullptr, &value,
                     &size) == ERROR_SUCCESS) {
        saved_ = value;
    }
    RegSetKeyValueA(HKEY_CURRENT_USER, kDesktopKey, "LogPixels", REG_DWORD, &dpi, sizeof dpi);
    program_dpi = static_cast<int>(dpi);
}

ScreenScale::~ScreenScale() {
    if (saved_) {
        RegSetKeyValueA(HKEY_CURRENT_USER, kDesktopKey, "LogPixels", REG_DWORD, &*saved_,
                        sizeof *saved_);
    } else {
        RegDeleteKeyValueA(HKEY_CURRENT_USER, kDesktopKey, "LogPixels");
    }
    program_dpi = 0;
}

// ---- Real input ---------------------------------------------------------------------------

void LeftClickAt(POINT screen) { SendMouse({MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP}, screen); }

void ClickInFront(HWND window, POINT screen) {
    const auto in_front = [&] {
        return GetForegroundWindow() == window &&
               GetAncestor(WindowFromPoint(screen), GA_ROOT) == window;
    };
    // The countdown window may lie over the title bar: a click there hides it rather than
    // bringing this window forward (it never takes the focus), and the user clicks again.
    for (int attempt = 0; attempt < 3 && !in_front(); ++attempt) {
        const RECT frame = ScreenRect(window);
        LeftClickAt({frame.left + 40, frame.top + GetSystemMetrics(SM_CYCAPTION) / 2 + 2});
        WaitFor(in_front, Milliseconds(1000));
    }
    LeftClickAt(screen);
}

void RightClickAt(POINT screen) { SendMouse({MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP}, screen); }

void DoubleClickAt(POINT screen) {
    SendMouse({MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP},
              screen);
}

void PressKey(WORD virtual_key) {
    INPUT input[2]{};
    input[0].type = input[1].type = INPUT_KEYBOARD;
    input[0].ki.wVk = input[1].ki.wVk = virtual_key;
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof(INPUT));
}

void PressChord(std::initializer_list<WORD> virtual_keys) {
    std::vector<INPUT> input(virtual_keys.size() * 2);
    size_t i = 0;
    for (WORD key : virtual_keys) {
        input[i].type = input[input.size() - 1 - i].type = INPUT_KEYBOARD;
        input[i].ki.wVk = input[input.size() - 1 - i].ki.wVk = key;
        input[input.size() - 1 - i].ki.dwFlags = KEYEVENTF_KEYUP;
        ++i;
    }
    SendInput(static_cast<UINT>(input.size()), input.data(), sizeof(INPUT));
}

void TypeText(HWND edit, std::string_view text) {
    LeftClickAt(Centre(ScreenRect(edit)));
    PressKey(VK_HOME);
    PressChord({VK_SHIFT, VK_END});
    PressKey(VK_DELETE);
    for (wchar_t c : Utf16(text)) {
        INPUT input[2]{};
        input[0].type = input[1].type = INPUT_KEYBOARD;
        input[0].ki.wScan = input[1].ki.wScan = c;
        input[0].ki.dwFlags = KEYEVENTF_UNICODE;
        input[1].ki.dwFlags = KEYEVENTF_UNICODE | KEYEVENTF_KEYUP;
        SendInput(2, input, sizeof(INPUT));
    }
    WaitFor([&] { return ControlText(edit) == text; }, Milliseconds(2000));
}

void TypeIntoBox(HWND edit, std::string_view digits) {
    LeftClickAt(Centre(ScreenRect(edit)));
    WaitFor(
        [&] {
            GUITHREADINFO info{sizeof(info)};
            return GetGUIThreadInfo(GetWindowThreadProcessId(edit, nullptr), &info) &&
                   info.hwndFocus == edit;
        },
        Milliseconds(1000));
    PressKey(VK_END);
    for (int i = 0; i < 8; ++i) PressKey(VK_BACK);
    for (char c : digits) PressKey(static_cast<WORD>(c == '-' ? VK_OEM_MINUS : c));
    WaitFor([&] { return ControlText(edit) == digits; }, Milliseconds(2000));
}

// ---- Controls of the program's windows ----------------------------------------------------

namespace {

struct ControlSearch {
    POINT screen;
    const std::string* window_class;
    HWND found = nullptr;
};

BOOL CALLBACK FindControlAt(HWND child, LPARAM search_address) {
    auto* search = reinterpret_cast<ControlSearch*>(search_address);
    const RECT r = ScreenRect(child);
    if (IsWindowVisible(child) && ClassOf(child) == *search->window_class &&
        PtInRect(&r, search->screen)) {
        search->found = child;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK CollectChildText(HWND child, LPARAM texts) {
    reinterpret_cast<std::vector<std::string>*>(texts)->push_back(TextOf(child));
    return TRUE;
}

}  // namespace

POINT ScreenPoint(HWND form, POINT client) {
    ClientToScreen(form, &client);
    return client;
}

HWND ControlAt(HWND form, POINT client, const std::string& window_class) {
    ControlSearch search{ScreenPoint(form, client), &window_class};
    EnumChildWindows(form, FindControlAt, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::string ControlText(HWND control) {
    wchar_t text[1024] = {};
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(control, WM_GETTEXT, ARRAYSIZE(text), reinterpret_cast<LPARAM>(text),
                        SMTO_ABORTIFHUNG, 2000, &copied);
    return Gbk(text);
}

std::vector<std::string> ListItems(HWND combo) {
    std::vector<std::string> items;
    const LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t text[256] = {};
        if (SendMessageW(combo, CB_GETLBTEXTLEN, i, 0) >= LRESULT{ARRAYSIZE(text)}) break;
        SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        items.push_back(Gbk(text));
    }
    return items;
}

std::string AccessibleName(HWND control) {
    static const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    (void)com;
    IAccessible* object = nullptr;
    if (FAILED(AccessibleObjectFromWindow(control, static_cast<DWORD>(OBJID_CLIENT),
                                          IID_IAccessible, reinterpret_cast<void**>(&object))) ||
        !object) {
        return "<none>";
    }
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr;
    const HRESULT got = object->get_accName(self, &name);
    object->Release();
    const std::string text = SUCCEEDED(got) && name ? Gbk(name) : std::string();
    SysFreeString(name);
    return text;
}

HWND FocusedControl(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) ? info.hwndFocus
                                                                              : nullptr;
}

namespace {
std::vector<DWORD>* heard_events = nullptr;
void CALLBACK HearEvent(HWINEVENTHOOK, DWORD event, HWND, LONG, LONG, DWORD, DWORD) {
    if (heard_events) heard_events->push_back(event);
}
}  // namespace

std::vector<DWORD> WinEventsFrom(DWORD process_id, Milliseconds duration) {
    std::vector<DWORD> events;
    heard_events = &events;
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // this thread's queue exists before the hook
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_MIN, EVENT_MAX, nullptr, HearEvent, process_id, 0,
                                         WINEVENT_OUTOFCONTEXT);
    const auto end = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < end) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    if (hook) UnhookWinEvent(hook);
    heard_events = nullptr;
    return events;
}

std::vector<std::string> ChildTexts(HWND window) {
    std::vector<std::string> texts;
    EnumChildWindows(window, CollectChildText, reinterpret_cast<LPARAM>(&texts));
    return texts;
}

// ---- The notification area ---------------------------------------------------------------

std::vector<HWND> TrayIconWindows() {
    std::vector<HWND> icons;
    for (const char* tray_class : kTrayWindowClasses) {
        for (HWND tray : TopLevelWindows(tray_class, 0, false)) {
            for (const char* icon_class : kTrayIconClasses) {
                for (HWND icon = FindWindowExA(tray, nullptr, icon_class, nullptr); icon;
                     icon = FindWindowExA(tray, icon, icon_class, nullptr)) {
                    if (IsWindowVisible(icon)) icons.push_back(icon);
                }
            }
        }
    }
    return icons;
}

// ---- The popup menu, read off the screen --------------------------------------------------

std::vector<MenuEntry> ReadMenu(HWND menu, const std::vector<std::string>& candidates) {
    RECT client{};
    GetClientRect(menu, &client);
    POINT origin{0, 0};
    ClientToScreen(menu, &origin);
    const RECT on_screen{origin.x, origin.y, origin.x + client.right, origin.y + client.bottom};
    const Image image = CaptureScreen(on_screen);
    std::vector<MenuEntry> entries;
    // The menu's frame lies inside its client area; a margin keeps it out of the rows.
    constexpr int kMargin = 3;
    if (image.width <= 2 * kMargin + 1 || image.height <= 2 * kMargin) return entries;
    const int background_x = image.width - kMargin - 1;

    std::vector<Band> bands;
    int gap = 0;
    for (int y = kMargin; y < image.height - kMargin; ++y) {
        const DWORD background = image.at(background_x, y);
        int left = -1, right = -1;
        for (int x = kMargin; x < image.width - kMargin; ++x) {
            if (ColourDistance(image.at(x, y), background) > kInkDistance) {
                if (left < 0) left = x;
                right = x;
            }
        }
        if (left < 0) {
            ++gap;
            continue;
        }
        // Rows of one caption may be parted by a blank row or two; captions lie further apart.
        if (!bands.empty() && gap <= 2 && bands.back().bottom + gap == y) {
            Band& band = bands.back();
            band.bottom = y + 1;
            band.left = std::min(band.left, left);
            band.right = std::max(band.right, right);
        } else {
            bands.push_back({y, y + 1, left, right});
        }
        gap = 0;
    }

    const auto is_separator = [&](const Band& b) {
        return b.bottom - b.top <= 2 && b.right - b.left >= (image.width - 2 * kMargin) / 2;
    };
    // Captions start in one column; ink further left is a check mark.
    std::map<int, int> lefts;
    for (const Band& b : bands) {
        if (!is_separator(b)) ++lefts[b.left];
    }
    int text_left = kMargin;
    int most = 0;
    for (const auto& [left, count] : lefts) {
        if (count > most) {
            most = count;
            text_left = left;
        }
    }

    std::vector<std::pair<std::string, Mask>> rendered;
    for (const std::string& candidate : candidates) {
        if (candidate != "-") rendered.emplace_back(candidate, RenderMenuText(candidate));
    }
    for (const Band& b : bands) {
        MenuEntry entry;
        if (is_separator(b)) {
            entry.text = "-";
            entry.screen = {on_screen.left + b.left, on_screen.top + b.top,
                            on_screen.left + b.right + 1, on_screen.top + b.bottom};
            entries.push_back(entry);
            continue;
        }
        const int caption_x0 = std::max(kMargin, text_left - 2);
        int box_left = 0, box_top = 0;
        const Mask caption = InkBox(image, caption_x0, image.width - kMargin, b.top, b.bottom,
                                    background_x, &box_left, &box_top);
        entry.checked = b.left < caption_x0;
        entry.text = "?";
        double best = 0.6;  // anything less alike is not read as that caption
        for (const auto& [text, mask] : rendered) {
            const double likeness = Likeness(caption, mask);
            if (std::getenv("TQ_E2E_DEBUG")) {
                std::fprintf(stderr, "menu row %d-%d (%dx%d) vs \"%s\" (%dx%d): %.2f\n", b.top,
                             b.bottom, caption.width, caption.height, text.c_str(), mask.width,
                             mask.height, likeness);
            }
            if (likeness > best) {
                best = likeness;
                entry.text = text;
            }
        }
        entry.screen = {on_screen.left + box_left, on_screen.top + box_top,
                        on_screen.left + box_left + caption.width,
                        on_screen.top + box_top + caption.height};
        entries.push_back(entry);
    }
    return entries;
}

// ---- The message box ----------------------------------------------------------------------

MessageBoxContent ReadMessageBox(HWND box) {
    MessageBoxContent content;
    content.caption = TextOf(box);
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        const std::string window_class = ClassOf(child);
        const std::string text = TextOf(child);
        if (_stricmp(window_class.c_str(), "Button") == 0) {
            content.buttons.emplace_back(GetDlgCtrlID(child), text);
        } else if (_stricmp(window_class.c_str(), "Static") == 0 && !text.empty()) {
            content.text = text;
        }
    }
    return content;
}

// The button is clicked as the platform clicks it (BM_CLICK), not with the mouse: a box that
// has just appeared may not be on the X display yet, and a mouse click there lands on the
// window beneath it (the countdown window, which then fades out).
bool ClickMessageBoxButton(HWND box, int button_id) {
    HWND button = GetDlgItem(box, button_id);
    if (!button || !IsWindowVisible(button)) return false;
    return PostMessageW(button, BM_CLICK, 0, 0) != FALSE;
}

// ---- Settings -------------------------------------------------------------------------

bool WriteSettings(const TempFolder& folder, std::string_view ini_text) {
    return WriteFileBytes(folder / "setting.ini", ini_text);
}

// ---- Time ------------------------------------------------------------------------------

SYSTEMTIME LocalNow() {
    SYSTEMTIME t{};
    GetLocalTime(&t);
    t.wMilliseconds = 0;
    return t;
}

SYSTEMTIME AddSeconds(const SYSTEMTIME& t, long long seconds) {
    return FromTicks(Ticks(t) + seconds * 10000000LL);
}

long long SecondsBetween(const SYSTEMTIME& from, const SYSTEMTIME& to) {
    return (static_cast<long long>(Ticks(to)) - static_cast<long long>(Ticks(from))) / 10000000LL;
}

SYSTEMTIME LocalTime(int year, int month, int day, int hour, int minute, int second) {
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(year);
    t.wMonth = static_cast<WORD>(month);
    t.wDay = static_cast<WORD>(day);
    t.wHour = static_cast<WORD>(hour);
    t.wMinute = static_cast<WORD>(minute);
    t.wSecond = static_cast<WORD>(second);
    return FromTicks(Ticks(t));  // fills in the day of the week
}

std::string RemainingText(const SYSTEMTIME& now, const SYSTEMTIME& deadline) {
    const long long seconds = SecondsBetween(now, deadline);
    return std::to_string(seconds / 86400) + "天" + std::to_string(seconds / 3600 % 24) + "小时" +
           std::to_string(seconds / 60 % 60) + "分" + std::to_string(seconds % 60) + "秒";
}

std::string LogStamp(const SYSTEMTIME& t) {
    char text[64];
    std::snprintf(text, sizeof(text), "%u.%u-%u_%u_%u", t.wMonth, t.wDay, t.wHour, t.wMinute,
                  t.wSecond);
    return text;
}

std::optional<SYSTEMTIME> ParseLogStamp(std::string_view stamp, int year) {
    int parts[5];
    const char separators[] = {'.', '-', '_', '_', '\0'};
    size_t at = 0;
    for (int i = 0; i < 5; ++i) {
        size_t digits = 0;
        int value = 0;
        while (at < stamp.size() && stamp[at] >= '0' && stamp[at] <= '9') {
            if (digits == 0 && stamp[at] == '0' && at + 1 < stamp.size() && stamp[at + 1] >= '0' &&
                stamp[at + 1] <= '9') {
                return std::nullopt;  // no leading zeros
            }
            value = value * 10 + (stamp[at] - '0');
            ++at;
            ++digits;
        }
        if (digits == 0 || digits > 2) return std::nullopt;
        parts[i] = value;
        if (i < 4) {
            if (at >= stamp.size() || stamp[at] != separators[i]) return std::nullopt;
            ++at;
        }
    }
    if (at != stamp.size()) return std::nullopt;
    if (parts[0] < 1 || parts[0] > 12 || parts[1] < 1 || parts[1] > 31 || parts[2] > 23 ||
        parts[3] > 59 || parts[4] > 59) {
        return std::nullopt;
    }
    return LocalTime(year, parts[0], parts[1], parts[2], parts[3], parts[4]);
}

// ---- One run of the program ----------------------------------------------------------------

std::unique_ptr<ProgramRun> ProgramRun::StartInLocale(const std::string& folder,
                                                      const std::string& exe_name,
                                                      const std::string& locale,
                                                      const std::string& gdi_warnings) {
    std::unique_ptr<ProgramRun> run(new ProgramRun());
    run->folder_ = folder;
    run->icons_before_ = TrayIconWindows();
    // Wine takes a process's code page from its Unix locale, which a Windows parent cannot
    // set: the program is started through env and wine, from its own folder.
    std::string command_line = "/usr/bin/env LC_ALL=" + locale + " wine \"" + exe_name + "\"";
    if (!gdi_warnings.empty()) {
        command_line = "/usr/bin/env LC_ALL=" + locale +
                       " WINEDEBUG=warn+gdi sh -c \"exec wine \\\"$0\\\" 2>\\\"$1\\\"\" \"" +
                       exe_name + "\" \"" + gdi_warnings + "\"";
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    run->started_at_ = LocalNow();
    if (!CreateProcessA("Z:\\usr\\bin\\env", command_line.data(), nullptr, nullptr, FALSE, 0,
                        nullptr, folder.c_str(), &startup, &info)) {
        std::fprintf(stderr, "cannot start env (error %lu)\n", GetLastError());
        return nullptr;
    }
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);  // the Unix process's, which cannot be waited for
    // The program is the process of that name that shows up in this Wine prefix.
    WaitFor(
        [&] {
            PROCESSENTRY32 entry{sizeof entry};
            HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
            for (BOOL more = Process32First(snapshot, &entry); more && !run->process_id_;
                 more = Process32Next(snapshot, &entry)) {
                if (_stricmp(entry.szExeFile, exe_name.c_str()) == 0)
                    run->process_id_ = entry.th32ProcessID;
            }
            CloseHandle(snapshot);
            return run->process_id_ != 0;
        },
        Milliseconds(15000));
    run->process_ = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION, FALSE,
                                run->process_id_);
    if (!run->process_) return nullptr;
    return run;
}

std::unique_ptr<ProgramRun> ProgramRun::Start(const std::string& folder,
                                              const std::string& exe_name,
                                              const std::string& desktop) {
    std::unique_ptr<ProgramRun> run = Start(Utf16(folder), Utf16(exe_name), Utf16(desktop));
    if (run) run->folder_ = folder;
    return run;
}

std::unique_ptr<ProgramRun> ProgramRun::Start(const std::wstring& folder,
                                              const std::wstring& exe_name,
                                              const std::wstring& desktop) {
    std::unique_ptr<ProgramRun> run(new ProgramRun());
    run->icons_before_ = TrayIconWindows();
    const std::wstring exe = folder + L"\\" + exe_name;
    std::wstring command_line = L"\"" + exe + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    std::wstring desktop_name = desktop;
    if (!desktop_name.empty()) startup.lpDesktop = desktop_name.data();
    PROCESS_INFORMATION info{};
    run->started_at_ = LocalNow();
    if (!CreateProcessW(exe.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &startup, &info)) {
        std::fprintf(stderr, "cannot start the program (error %lu)\n", GetLastError());
        return nullptr;
    }
    CloseHandle(info.hThread);
    run->process_ = info.hProcess;
    run->process_id_ = info.dwProcessId;
    return run;
}

namespace {

// One copy under the debugger: its loader's first breakpoint arms the hold point (every
// library it imports is loaded then), a call there that is not the one wanted is stepped over
// and the point armed again, and the wanted call leaves the thread suspended before it.
struct DebuggedCopy {
    PROCESS_INFORMATION info{};
    BYTE saved = 0;
    bool armed = false;
    bool stepping = false;
    HANDLE held = nullptr;  // the thread suspended at the call
};

bool WriteCode(HANDLE process, void* at, BYTE byte) {
    DWORD old = 0;
    VirtualProtectEx(process, at, 1, PAGE_EXECUTE_READWRITE, &old);
    const bool written = WriteProcessMemory(process, at, &byte, 1, nullptr);
    VirtualProtectEx(process, at, 1, old, &old);
    FlushInstructionCache(process, at, 1);
    return written;
}

// The wide text at the call's argument (the stack at the call: return address, then the
// arguments in order) begins with the prefix.
bool ArgumentBeginsWith(HANDLE process, const CONTEXT& context, int argument,
                        const std::wstring& prefix) {
    if (argument == 0) return true;
    DWORD text_at = 0;
    std::wstring text(prefix.size(), L'\0');
    return ReadProcessMemory(process, reinterpret_cast<void*>(context.Esp + 4 * argument), &text_at,
                             sizeof text_at, nullptr) &&
           text_at &&
           ReadProcessMemory(process, reinterpret_cast<void*>(text_at), text.data(),
                             text.size() * sizeof(wchar_t), nullptr) &&
           text == prefix;
}

// Handles one debug event of a copy; the status to continue it with.
DWORD OnDebugEvent(const DEBUG_EVENT& event, DebuggedCopy& copy, BYTE* target,
                   const ProgramRun::HoldPoint& hold) {
    if (event.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT) {
        CloseHandle(event.u.CreateProcessInfo.hFile);
    } else if (event.dwDebugEventCode == LOAD_DLL_DEBUG_EVENT) {
        CloseHandle(event.u.LoadDll.hFile);
    }
    if (event.dwDebugEventCode != EXCEPTION_DEBUG_EVENT) return DBG_CONTINUE;
    const EXCEPTION_RECORD& record = event.u.Exception.ExceptionRecord;
    HANDLE process = copy.info.hProcess;
    const auto at_target = [&] { return record.ExceptionAddress == target; };
    if (record.ExceptionCode == EXCEPTION_BREAKPOINT && !copy.armed) {
        // The library must sit where it sits in this process, or the point is elsewhere.
        BYTE there[16] = {};
        if (!ReadProcessMemory(process, target, there, sizeof there, nullptr) ||
            std::memcmp(there, target, sizeof there) != 0) {
            std::fprintf(stderr, "%s is not where it is in the test's process\n", hold.function);
            return DBG_CONTINUE;
        }
        copy.saved = target[0];
        copy.armed = WriteCode(process, target, 0xCC);
        return DBG_CONTINUE;
    }
    HANDLE thread = OpenThread(THREAD_ALL_ACCESS, FALSE, event.dwThreadId);
    CONTEXT context{};
    context.ContextFlags = CONTEXT_CONTROL;
    GetThreadContext(thread, &context);
    DWORD status = DBG_EXCEPTION_NOT_HANDLED;
    if (record.ExceptionCode == EXCEPTION_BREAKPOINT && at_target() && !copy.held) {
        WriteCode(process, target, copy.saved);
        context.Eip = reinterpret_cast<DWORD>(target);
        if (ArgumentBeginsWith(process, context, hold.text_argument, hold.text_prefix)) {
            SuspendThread(thread);
            DuplicateHandle(GetCurrentProcess(), thread, GetCurrentProcess(), &copy.held, 0, FALSE,
                            DUPLICATE_SAME_ACCESS);
        } else {
            context.EFlags |= 0x100;  // one instruction, then the point is armed again
            copy.stepping = true;
        }
        SetThreadContext(thread, &context);
        status = DBG_CONTINUE;
    } else if (record.ExceptionCode == EXCEPTION_SINGLE_STEP && copy.stepping) {
        copy.stepping = false;
        WriteCode(process, target, 0xCC);
        status = DBG_CONTINUE;
    }
    CloseHandle(thread);
    return status;
}

}  // namespace

std::vector<std::unique_ptr<ProgramRun>> ProgramRun::StartHeldTogether(
    const std::vector<std::pair<std::string, std::string>>& copies, const HoldPoint& hold,
    Milliseconds limit) {
    auto* target =
        reinterpret_cast<BYTE*>(GetProcAddress(GetModuleHandleA(hold.module), hold.function));
    std::vector<std::unique_ptr<ProgramRun>> runs;
    std::vector<DebuggedCopy> debugged(copies.size());
    const auto end_all = [&] {
        for (DebuggedCopy& copy : debugged) {
            if (!copy.info.hProcess) continue;
            TerminateProcess(copy.info.hProcess, 1);
            DebugActiveProcessStop(copy.info.dwProcessId);
            if (copy.held) CloseHandle(copy.held);
            CloseHandle(copy.info.hThread);
            CloseHandle(copy.info.hProcess);
        }
        return std::vector<std::unique_ptr<ProgramRun>>();
    };
    if (!target) return end_all();
    const std::vector<HWND> icons_before = TrayIconWindows();
    for (size_t i = 0; i < copies.size(); ++i) {
        const std::wstring folder = Utf16(copies[i].first);
        const std::wstring exe = folder + L"\\" + Utf16(copies[i].second);
        std::wstring command_line = L"\"" + exe + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        if (!CreateProcessW(exe.c_str(), command_line.data(), nullptr, nullptr, FALSE,
                            DEBUG_ONLY_THIS_PROCESS, nullptr, folder.c_str(), &startup,
                            &debugged[i].info)) {
            std::fprintf(stderr, "cannot start the program (error %lu)\n", GetLastError());
            return end_all();
        }
    }
    DebugSetProcessKillOnExit(FALSE);
    const auto all_held = [&] {
        return std::all_of(debugged.begin(), debugged.end(),
                           [](const DebuggedCopy& copy) { return copy.held != nullptr; });
    };
    const auto deadline = std::chrono::steady_clock::now() + limit;
    // Events that come after all are held (other threads of a copy) are answered too, so that
    // nothing waits on the debugger when it lets go.
    for (bool draining = false;;) {
        DEBUG_EVENT event{};
        if (!WaitForDebugEvent(&event, draining ? 0 : 100)) {
            if (draining) break;
            if (std::chrono::steady_clock::now() > deadline) return end_all();
            continue;
        }
        DWORD status = DBG_CONTINUE;
        for (DebuggedCopy& copy : debugged) {
            if (copy.info.dwProcessId == event.dwProcessId)
                status = OnDebugEvent(event, copy, target, hold);
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
        draining = all_held();
    }
    for (DebuggedCopy& copy : debugged) DebugActiveProcessStop(copy.info.dwProcessId);
    std::vector<SYSTEMTIME> started(debugged.size(), LocalNow());
    for (DebuggedCopy& copy : debugged) ResumeThread(copy.held);
    for (size_t i = 0; i < debugged.size(); ++i) {
        std::unique_ptr<ProgramRun> run(new ProgramRun());
        run->folder_ = copies[i].first;
        run->icons_before_ = icons_before;
        run->started_at_ = started[i];
        run->process_ = debugged[i].info.hProcess;
        run->process_id_ = debugged[i].info.dwProcessId;
        CloseHandle(debugged[i].info.hThread);
        CloseHandle(debugged[i].held);
        runs.push_back(std::move(run));
    }
    return runs;
}

ProgramRun::~ProgramRun() {
    Kill();
    if (process_) CloseHandle(process_);
}

bool ProgramRun::running() const {
    return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

bool ProgramRun::WaitUntilReady(Milliseconds limit) {
    return WaitFor(
               [&] {
                   if (!running()) return true;  // reported below
                   HWND main = main_window();
                   if (!main || !IsWindowVisible(main)) return false;
                   const std::string time = TimeLabel();
                   if (time.empty() || time.find("时间标签") != std::string::npos) return false;
                   for (HWND icon : TrayIconWindows()) {
                       if (std::find(icons_before_.begin(), icons_before_.end(), icon) ==
                           icons_before_.end()) {
                           tray_icon_ = icon;
                           return true;
                       }
                   }
                   return false;
               },
               limit) &&
           running();
}

std::optional<DWORD> ProgramRun::WaitForExit(Milliseconds limit) {
    if (!process_) return std::nullopt;
    if (WaitForSingleObject(process_, static_cast<DWORD>(limit.count())) != WAIT_OBJECT_0)
        return std::nullopt;
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return code;
}

void ProgramRun::Kill() {
    if (!running()) return;
    TerminateProcess(process_, 1);
    WaitForSingleObject(process_, 5000);
    // The shell takes a dead program's icon away when it learns that its window went, and
    // moves the icons after it along: let that happen before the next program's icon is
    // placed and clicked.
    WaitFor([&] { return !TrayIconPresent(); }, Milliseconds(3000));
}

std::vector<HWND> ProgramRun::FormWindows() const {
    return TopLevelWindows(kFormClass, process_id_, false);
}

HWND ProgramRun::main_window() const {
    const auto found = TopLevelWindows(kMainWindowClass, process_id_, false);
    return found.empty() ? nullptr : found.front();
}

HWND ProgramRun::tray_menu_window() const {
    for (HWND form : FormWindows()) {
        if (!FindWindowExA(form, nullptr, kLabelClass, nullptr)) return form;
    }
    return nullptr;
}

std::vector<HWND> ProgramRun::Labels() const {
    std::vector<HWND> labels;
    HWND main = main_window();
    if (!main) return labels;
    for (HWND label = FindWindowExA(main, nullptr, kLabelClass, nullptr); label;
         label = FindWindowExA(main, label, kLabelClass, nullptr)) {
        labels.push_back(label);
    }
    std::sort(labels.begin(), labels.end(),
              [](HWND a, HWND b) { return GetDlgCtrlID(a) < GetDlgCtrlID(b); });
    return labels;
}

// The labels answer WM_GETTEXT with what they show; their window text stays as created.
std::string ProgramRun::TitleLabel() const {
    const auto labels = Labels();
    return labels.size() >= 1 ? ControlText(labels[0]) : std::string();
}

std::string ProgramRun::TimeLabel() const {
    const auto labels = Labels();
    return labels.size() >= 2 ? ControlText(labels[1]) : std::string();
}

RECT ProgramRun::WindowRect() const { return ScreenRect(main_window()); }

std::optional<RECT> ProgramRun::RegionBox() const {
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    std::optional<RECT> box;
    if (GetWindowRgn(main_window(), region) != ERROR) {
        RECT r{};
        GetRgnBox(region, &r);
        box = r;
    }
    DeleteObject(region);
    return box;
}

std::optional<BYTE> ProgramRun::Alpha() const {
    COLORREF key = 0;
    BYTE alpha = 0;
    DWORD flags = 0;
    HWND main = main_window();
    if (!main || !(GetWindowLongA(main, GWL_EXSTYLE) & WS_EX_LAYERED)) return std::nullopt;
    if (!GetLayeredWindowAttributes(main, &key, &alpha, &flags) || !(flags & LWA_ALPHA))
        return std::nullopt;
    return alpha;
}

bool ProgramRun::Topmost() const { return ExStyle() & WS_EX_TOPMOST; }

bool ProgramRun::Visible() const {
    HWND main = main_window();
    return main && IsWindowVisible(main);
}

HWND ProgramRun::Owner() const { return GetWindow(main_window(), GW_OWNER); }

LONG ProgramRun::Style() const { return GetWindowLongA(main_window(), GWL_STYLE); }

LONG ProgramRun::ExStyle() const { return GetWindowLongA(main_window(), GWL_EXSTYLE); }

std::vector<RECT> ProgramRun::LabelRects() const {
    std::vector<RECT> rects;
    for (HWND label : Labels()) rects.push_back(ScreenRect(label));
    return rects;
}

POINT ProgramRun::TitleLabelCentre() const {
    const auto labels = Labels();
    return labels.empty() ? Centre(WindowRect()) : Centre(ScreenRect(labels[0]));
}

bool ProgramRun::TrayIconPresent() const {
    return tray_icon_ && IsWindow(tray_icon_) && IsWindowVisible(tray_icon_);
}

HWND ProgramRun::OpenTrayMenu() {
    if (TrayIconPresent()) {
        RightClickAt(Centre(ScreenRect(tray_icon_)));
    } else if (tray_menu_window()) {
        // No icon window to click (for example when the icons are docked in a tray of the
        // host desktop): hand the program what a right click on its icon sends.
        std::fprintf(stderr,
                     "note: no tray icon window to click; posting the icon's message instead\n");
        POINT cursor{};
        GetCursorPos(&cursor);
        PostTrayEvent(WM_CONTEXTMENU, cursor);
    }
    return WaitForTrayMenu();
}

void ProgramRun::PostTrayEvent(UINT event, POINT anchor) const {
    PostMessageW(tray_menu_window(), kTrayCallbackMessage,
                 MAKEWPARAM(static_cast<WORD>(anchor.x), static_cast<WORD>(anchor.y)),
                 MAKELPARAM(event, kTrayIconId));
}

HWND ProgramRun::WaitForTrayMenu() const {
    HWND menu = nullptr;
    WaitFor(
        [&] {
            const auto menus = TopLevelWindows(kMenuClass, process_id_);
            menu = menus.empty() ? nullptr : menus.front();
            return menu != nullptr;
        },
        Milliseconds(3000));
    if (menu) {
        // Let the menu finish drawing before anyone reads it off the screen.
        WaitFor([&] { return ReadMenu(menu, {}).size() >= kTrayMenuCaptions.size(); },
                Milliseconds(1000));
    }
    return menu;
}

bool ProgramRun::ChooseFromTrayMenu(const std::string& caption) {
    HWND menu = OpenTrayMenu();
    if (!menu) return false;
    for (const MenuEntry& entry : ReadMenu(menu, kTrayMenuCaptions)) {
        if (entry.text != caption) continue;
        LeftClickAt(Centre(entry.screen));
        return WaitFor([&] { return !IsWindow(menu) || !IsWindowVisible(menu); },
                       Milliseconds(3000));
    }
    PressKey(VK_ESCAPE);
    return false;
}

HWND ProgramRun::WaitForForm(const std::string& title, Milliseconds limit) const {
    HWND form = nullptr;
    WaitFor(
        [&] {
            for (HWND candidate : TopLevelWindows(kFormClass, process_id_)) {
                if (TextOf(candidate) == title) form = candidate;
            }
            return form != nullptr;
        },
        limit);
    return form;
}

HWND ProgramRun::WaitForMessageBox(const std::string& caption, Milliseconds limit) const {
    HWND box = nullptr;
    WaitFor(
        [&] {
            for (HWND candidate : TopLevelWindows(kDialogClass, process_id_)) {
                if (TextOf(candidate) == caption) {
                    box = candidate;
                    return true;
                }
            }
            return false;
        },
        limit);
    return box;
}

std::vector<std::string> ProgramRun::LogFiles() const {
    return FilesIn(folder_ + "\\Log", "*.log");
}

std::string ProgramRun::LogText() const {
    const auto files = LogFiles();
    if (files.empty()) return {};
    return ReadFileBytes(folder_ + "\\Log\\" + files.back()).value_or("");
}

HWND ProgramRun::title_label() const {
    const auto labels = Labels();
    return labels.empty() ? nullptr : labels[0];
}

HWND ProgramRun::time_label() const {
    const auto labels = Labels();
    return labels.size() >= 2 ? labels[1] : nullptr;
}

// ---- The time label against the clock -------------------------------------------------------

long long LocalMilliseconds() {
    SYSTEMTIME t{};
    GetLocalTime(&t);
    return static_cast<long long>(Ticks(t) / 10000);
}

std::vector<TextChange> WatchText(HWND window, Milliseconds duration, Milliseconds step) {
    std::vector<TextChange> changes;
    const long long end = LocalMilliseconds() + duration.count();
    for (long long now = LocalMilliseconds(); now < end; now = LocalMilliseconds()) {
        std::string text = ControlText(window);
        if (changes.empty() || changes.back().text != text)
            changes.push_back({std::move(text), now});
        Sleep(static_cast<DWORD>(step.count()));
    }
    return changes;
}

std::optional<long long> TrueSince(const std::string& text, const SYSTEMTIME& deadline,
                                   bool minutes, long long seen_at_ms) {
    const auto shown_at = [&](long long second) {
        std::string shown =
            RemainingText(FromTicks(static_cast<ULONGLONG>(second) * 10000000ULL), deadline);
        if (minutes) shown.erase(shown.find("分") + std::string("分").size());
        return shown;
    };
    const long long seen_second = seen_at_ms / 1000;
    for (long long second = seen_second + 2; second > seen_second - 120; --second) {
        if (shown_at(second) == text && shown_at(second - 1) != text) return second * 1000;
    }
    return std::nullopt;
}

// ---- A desktop whose screen size can change -------------------------------------------------

bool ConfigureVirtualDesktop(const std::string& name, int width, int height) {
    HKEY key = nullptr;
    if (RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Wine\\Explorer\\Desktops", &key) !=
        ERROR_SUCCESS) {
        return false;
    }
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    const bool ok =
        RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(size.c_str()),
                       static_cast<DWORD>(size.size() + 1)) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

bool RunOnDesktop(const std::string& name, const std::function<void()>& body) {
    bool attached = false;
    DWORD shown_by = 0;  // the process that shows the desktop
    std::thread thread([&] {
        HDESK desktop = CreateDesktopA(name.c_str(), nullptr, nullptr, 0, GENERIC_ALL, nullptr);
        attached = desktop && SetThreadDesktop(desktop);
        if (!attached) return;
        body();
        GetWindowThreadProcessId(GetDesktopWindow(), &shown_by);
    });
    thread.join();
    // A virtual desktop is a window over the display that would take every click of the
    // tests that follow: its process ends once the desktop's last program has gone, and is
    // ended here if it has not within a few seconds.
    DWORD default_shown_by = 0;
    GetWindowThreadProcessId(GetDesktopWindow(), &default_shown_by);
    if (shown_by && shown_by != default_shown_by) {
        if (HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, shown_by)) {
            if (WaitForSingleObject(process, 5000) != WAIT_OBJECT_0) {
                TerminateProcess(process, 0);
                WaitForSingleObject(process, 5000);
            }
            CloseHandle(process);
        }
    }
    return attached;
}

bool SetDisplaySize(int width, int height) {
    DEVMODEA mode{};
    mode.dmSize = sizeof(mode);
    mode.dmPelsWidth = static_cast<DWORD>(width);
    mode.dmPelsHeight = static_cast<DWORD>(height);
    mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT;
    return ChangeDisplaySettingsExA(nullptr, &mode, nullptr, 0, nullptr) == DISP_CHANGE_SUCCESSFUL;
}

}  // namespace e2e
