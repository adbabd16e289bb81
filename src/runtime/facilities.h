// The program's narrow road to the operating system: files, the registry, message boxes,
// the message queue, ending the process, window transparency and a few system queries.
// Texts are GBK byte strings inside the program and cross to the platform's wide (...W)
// functions through Widen and Narrow, so that nothing depends on the system's code page.
//
// Failures are reported only through the documented results (false, 0, -1, empty);
// nothing here shows an error or logs one, because the callers decide what the user sees.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include <windows.h>

namespace tq {

// --- Texts at the platform boundary ---------------------------------------------------------

// GBK bytes to UTF-16 and back, through GBK's own table (code page 936) whatever the
// system's ANSI code page is. A character outside GBK is spelt as GB18030 spells it, with a
// four-byte sequence, so that a path or a typed title holding one survives the round trip;
// GBK characters keep their bytes. Bytes that are no character come back as the table
// makes them; a UTF-16 character that GB18030 cannot spell (a lone surrogate) becomes "?".
std::wstring Widen(std::string_view text);
std::string Narrow(std::wstring_view text);

// A font description as the program keeps it (its face in GBK) and as the platform takes it
// (its face in UTF-16); every other member is the same in both. A face too long for the
// other side is cut before the first character that would not fit whole.
LOGFONTW ToPlatformFont(const LOGFONTA& font);
LOGFONTA FromPlatformFont(const LOGFONTW& font);

// --- Files --------------------------------------------------------------------------------

// True when a file search for the path finds an entry (a file or a folder).
bool FileExists(std::string_view path);
// The low 32 bits of the size a file search reports; -1 when nothing is found.
int32_t FileSize(std::string_view path);
// The whole file; nothing for an empty path, a missing or unreadable file, a file of more than
// `largest` bytes (not read at all) or one this process finds no memory for.
std::optional<std::string> ReadWholeFile(std::string_view path, uint64_t largest);
// Creates or truncates the file, held exclusively while the non-empty parts are written in
// order. False for an empty path, when the file cannot be opened or a write fails.
bool WriteWholeFile(std::string_view path, std::initializer_list<std::string_view> parts);
bool DeleteFileAt(std::string_view path);
// Writes the bytes beside the file first (its name + ".new", flushed to the disk) and then
// moves them over it in one rename, so that the file is wholly the old one or wholly the
// new one whenever the program or the machine stops. Another program holding either file for
// a moment (a virus scanner, the search indexer, a sync client) makes the platform refuse a
// step with access denied or a sharing or lock violation: such a step is tried again for
// about two seconds, the windows painting and the timers ticking meanwhile (input waits).
// A read-only file is not replaced. False when a step still failed; the
// old file is then as it was and nothing is left beside it.
bool WriteFileInOneStep(std::string_view path, std::string_view bytes);
// True when the file has more than one name (hard links: a package manager that keeps a
// portable program's settings across its versions links the file into the program's folder).
bool HasOtherNames(std::string_view path);
// Rewrites the file where it is, so that every name it has sees the new bytes. The old bytes
// are first put whole beside it, under BackupDuringSave(path) (in one step, as above), then the
// file is overwritten, cut to its new length and flushed, and the backup is deleted. A stop
// at any moment leaves the file whole, old or new, or else that backup whole beside it, which
// readers of the file take for it (WriteFileInPlace keeps a backup it finds: the file may be
// cut). Holding and read-only files as with WriteFileInOneStep. False when a step failed.
bool WriteFileInPlace(std::string_view path, std::string_view bytes);
std::string BackupDuringSave(std::string_view path);
// Replaces a file as WriteFileInOneStep does, and one that has other names so that it stays
// one file under all of them and a stop at any moment leaves each name the old file or the
// new one, whole: the new bytes go beside it (as WriteFileInOneStep's), each other name is
// linked to them and moved over in one rename, and last the file's own name. Where the platform cannot list the names (Wine, a
// file system without them) or the first other name cannot be replaced, the file is rewritten
// where it is (WriteFileInPlace); a later name that cannot be replaced keeps the old file,
// whole. False when a step failed.
bool WriteFileKeepingNames(std::string_view path, std::string_view bytes);
// Answers in place of the platform's list of a file's other names when set (tests: Wine does
// not list them).
inline std::optional<std::vector<std::wstring>> (*other_names_for_tests)(const std::wstring&) =
    nullptr;
// When a file was last written, and its size: what tells a changed file from the one read.
struct FileStamp {
    uint64_t last_write = 0;
    uint64_t size = 0;
    bool operator==(const FileStamp&) const = default;
};
// Nothing for a missing file or a folder.
std::optional<FileStamp> StampOf(std::string_view path);
// False also when the folder already exists.
bool CreateDirectoryAt(std::string_view path);
bool FolderExists(std::string_view path);
// True when a new file can be created in the folder. The file made to find out is unique to
// this process and gone again as soon as its handle closes.
bool CanCreateFilesIn(std::string_view folder);
// The user's own folder for programs' data (%APPDATA%); empty when the environment names none.
std::string UserDataFolder();

// Open modes of OpenFile.
enum : int {
    kOpenRead = 1,
    kOpenWrite = 2,
    kOpenReadWrite = 3,
    kOpenCreateTruncate = 4,    // create or truncate, write
    kOpenCreateAppendable = 5,  // create if missing, write, keep the content
    kOpenCreateReadWrite = 6,   // create if missing, read and write, keep the content
};
// Share modes of OpenFile.
enum : int {
    kShareAll = 1,
    kShareDenyRead = 2,
    kShareDenyWrite = 3,
    kShareExclusive = 4,
};

// Opens a file and gives its file number (1, 2, ...), or 0 for an empty path, an unknown
// open or share mode, or a failure. The position starts at the beginning; bytes are
// written as they are (no line-end translation). The program never closes these files.
int OpenFile(std::string_view path, int open_mode = kOpenReadWrite, int share_mode = kShareAll);
void MoveToEnd(int file_number);
// Writes the texts one after another at the current position, no line ends added.
// Does nothing for a number that is not open; stops silently at a failed write.
void WriteText(int file_number, std::initializer_list<std::string_view> texts);
// For tests only: closes the file behind the number; the number is not given out again.
void CloseFile(int file_number);

// --- Registry ---------------------------------------------------------------------------

// Root numbers: 1 HKEY_CLASSES_ROOT, 2 HKEY_CURRENT_CONFIG, 4 HKEY_LOCAL_MACHINE,
// 5 HKEY_USERS, any other HKEY_CURRENT_USER.
//
// A text is stored as REG_SZ (its length counts the terminating zero), a number as
// REG_DWORD and a byte set as REG_BINARY.
using RegistryData = std::variant<std::string, uint32_t, std::vector<uint8_t>>;

// The path is split at its last backslash into key and value name (no backslash: the
// value sits directly under the root). The key is opened for writing or else created.
bool WriteRegistryValue(int root, std::string_view path, const RegistryData& value);
// True when the value is gone: deleted now, or not there at all (nor its key). False when
// it is still there, for example because the key refuses the user the right to change it.
bool DeleteRegistryValue(int root, std::string_view path);
// A text value (REG_SZ or REG_EXPAND_SZ, unexpanded); nullopt when it is missing, of another
// type or unreadable.
std::optional<std::string> ReadRegistryText(int root, std::string_view path);

// --- User interface ---------------------------------------------------------------------

// A message box without an owner, brought to the front; task-modal unless the style asks
// for system-modal.
// No caption means "信息："; an explicit empty caption stays empty.
// Result: OK 0, Cancel 1, Abort 2, Retry 3, Ignore 4, Yes 5, No 6; -1 when the box
// could not be shown or gave another answer.
int ShowMessageBox(std::string_view text, unsigned style = MB_OK,
                   std::optional<std::string_view> caption = std::nullopt);

// The one way every message loop of the program hands on a message it took from the queue:
// the keyboard handling of the open windows first (Tab, Enter, Esc and Ctrl+Tab, as the
// window layer installs it), then translation and dispatch. So the dialog keys work the same
// in the main loop and in every wait that handles messages.
void HandleMessage(MSG& message);
// Installs that keyboard handling: a routine that returns true when it used the message.
void SetKeyboardHandling(bool (*handle_keys)(MSG&));

// Hands every message waiting in this thread's queue to HandleMessage, then returns.
// Handlers of the program may run inside it.
void ProcessPendingMessages();

// The routine EndProgram runs before the process ends; a later registration replaces it.
void RegisterCleanup(void (*cleanup)());
// Runs the registered clean-up routine (once, even if it ends the program itself) and
// ends the process with the code.
[[noreturn]] void EndProgram(int exit_code);

// On the NT family only: alpha outside 0..255 becomes 255, WS_EX_LAYERED is added to the
// extended style (the other bits stay as they are) and the window is drawn with that
// alpha. True when the platform accepted the alpha; false on other systems.
bool SetWindowTransparency(HWND window, int alpha = 255);
// Adds WS_EX_LAYERED to the window's extended style, keeping the other bits.
void AddLayeredStyle(HWND window);
// SetLayeredWindowAttributes, looked up at run time; false when it is missing or fails.
bool SetLayeredAttributes(HWND window, COLORREF key, BYTE alpha, DWORD flags);

// Opens the address with its default handler ("open", normal show state). An empty
// address does nothing.
void OpenWebAddress(std::string_view address);

// --- System -----------------------------------------------------------------------------

// Run before anything else of the program, by its first constructor (a library may be loaded
// in a constructor, and the runtime runs them before WinMain): every library loaded by name from
// now on, by the program or by
// the system's own libraries on its behalf, is looked for in System32 only, never in the
// program's folder (a user's Downloads folder holds whatever a web page put there) nor in
// the current folder. Both calls are looked up at run time: Windows 7 without its 2011
// loader update lacks SetDefaultDllDirectories.
void RestrictLibrarySearch();
// A system library loaded from System32 (by the search flag where the loader knows it, by
// the full path where it does not); null when it is missing. A library named in the active
// activation context (comctl32 version 6) still comes from the side-by-side store.
HMODULE LoadSystemLibrary(const wchar_t* library);

// A function of a system library, the library loaded on first use; null when either is
// missing. Libraries the program needs only after start-up (the shell, the common controls
// and dialogs) come this way, so that starting the program does not pay for loading them.
template <typename Function>
Function LibraryFunction(const wchar_t* library, const char* name) {
    HMODULE module = GetModuleHandleW(library);
    if (!module) module = LoadSystemLibrary(library);
    return module ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)))
                  : nullptr;
}

// The executable's folder without a trailing backslash, and its file name alone.
std::string RunDirectory();
std::string ExecutableFileName();

}  // namespace tq
