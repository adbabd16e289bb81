#include "test_support.h"

#include <windows.h>

#include "app/globals.h"
#include "forms/forms.h"
#include "forms/model.h"
#include "runtime/facilities.h"

namespace tq {

std::string MakeTempFolder() {
    static int counter = 0;
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    for (;;) {
        std::string path = std::string(base) + "tq_test_" + std::to_string(GetCurrentProcessId()) +
                           "_" + std::to_string(++counter);
        if (CreateDirectoryA(path.c_str(), nullptr)) return path;
    }
}

void RemoveFolder(const std::string& path) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = data.cFileName;
            if (name == "." || name == "..") continue;
            const std::string full = path + "\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveFolder(full);
            } else {
                SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(full.c_str());
            }
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryA(path.c_str());
}

void WriteFileBytes(const std::string& path, const std::string& bytes, uint64_t size) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size);
    if (size > bytes.size() && SetFilePointerEx(file, end, nullptr, FILE_BEGIN)) SetEndOfFile(file);
    CloseHandle(file);
}

std::string ReadFileBytes(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string bytes(GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(file);
    bytes.resize(read);
    return bytes;
}

bool FileExistsForTest(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

void PumpMessagesFor(unsigned milliseconds) {
    const DWORD end = GetTickCount() + milliseconds;
    do {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) HandleMessage(msg);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    } while (static_cast<int>(end - GetTickCount()) > 0);
}

void ProgramFolderTest::SetUpTestSuite() {
    if (!main_window.loaded()) main_window.Load();
}

void ProgramFolderTest::SetUp() {
    dir_ = MakeTempFolder();
    run_dir = dir_;
}

void ProgramFolderTest::TearDown() { RemoveFolder(dir_); }

namespace {

struct DialogSearch {
    HWND other_than;
    HWND found = nullptr;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM search_address) {
    auto* search = reinterpret_cast<DialogSearch*>(search_address);
    char class_name[16] = {};
    GetClassNameA(window, class_name, sizeof class_name);
    if (std::string(class_name) != "#32770" || !IsWindowVisible(window) ||
        window == search->other_than) {
        return TRUE;
    }
    search->found = window;
    return FALSE;
}

// A message box shows its icon in an icon-style static control.
BOOL CALLBACK NoteInformationIcon(HWND child, LPARAM seen_address) {
    if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) return TRUE;
    const auto shown = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
    if (shown && shown == LoadIconA(nullptr, IDI_INFORMATION)) {
        reinterpret_cast<SeenDialog*>(seen_address)->icon_style = MB_ICONINFORMATION;
    }
    return TRUE;
}

}  // namespace

HWND WaitForDialog(DWORD thread, HWND other_than) {
    for (const DWORD end = GetTickCount() + 10000; static_cast<int>(end - GetTickCount()) > 0;) {
        DialogSearch search{other_than && IsWindow(other_than) ? other_than : nullptr};
        EnumThreadWindows(thread, FindDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found) return search.found;
        Sleep(20);
    }
    return nullptr;
}

DialogAnswerer::Action DialogAnswerer::Press(int button_id) {
    return [button_id](HWND dialog) {
        if (HWND button = GetDlgItem(dialog, button_id)) {
            SendMessageA(button, BM_CLICK, 0, 0);
        } else {
            // No such button: end the dialog anyway so that the test fails instead of hanging.
            PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(button_id, BN_CLICKED), 0);
        }
    };
}

DialogAnswerer::Action DialogAnswerer::ChooseFile(std::string path) {
    return [path](HWND dialog) {
        SetDlgItemTextA(dialog, 0x47C, path.c_str());  // the file name box
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    };
}

DialogAnswerer::DialogAnswerer(std::vector<Action> actions)
    : ui_thread_(GetCurrentThreadId()), worker_([this, actions = std::move(actions)] {
          HWND previous = nullptr;
          for (const Action& act : actions) {
              // The previous dialog may linger while it closes; it never counts twice.
              HWND dialog = WaitForDialog(ui_thread_, previous);
              if (!dialog) return;
              SeenDialog seen;
              char text[1024] = {};
              GetWindowTextA(dialog, text, sizeof text);
              seen.caption = text;
              text[0] = '\0';
              GetDlgItemTextA(dialog, 0xFFFF, text, sizeof text);  // a message box's message
              seen.text = text;
              EnumChildWindows(dialog, NoteInformationIcon, reinterpret_cast<LPARAM>(&seen));
              seen_.push_back(seen);
              act(dialog);
              previous = dialog;
          }
      }) {}

DialogAnswerer::~DialogAnswerer() {
    if (worker_.joinable()) worker_.join();
}

const std::vector<SeenDialog>& DialogAnswerer::Seen() {
    if (worker_.joinable()) worker_.join();
    return seen_;
}

}  // namespace tq
