// The system facilities against the real platform under Wine: files and file numbers,
// the registry, real message boxes answered from a second thread, the message queue,
// ending the process, layered windows and the system queries.
#include "runtime/facilities.h"
#include "runtime/font_names.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <windows.h>

#include "app/startup.h"
#include "test_support.h"

namespace tq {
namespace {

// --- Files -----------------------------------------------------------------------------------

class FacilitiesFiles : public ::testing::Test {
protected:
    void SetUp() override { dir_ = MakeTempFolder(); }
    void TearDown() override { RemoveFolder(dir_); }
    std::string Path(const std::string& name) const { return dir_ + "\\" + name; }

    std::string dir_;
};

// Opens the file as a second, independent user would; true when the platform allows it.
bool OthersCanOpen(const std::string& path, DWORD access) {
    HANDLE file = CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

HANDLE HoldExclusively(const std::string& path) {
    return CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

// Texts cross to the platform through GBK's own table; characters outside GBK as GB18030
// spells them, so that they survive the round trip.
TEST(TextsAtThePlatformBoundary, GbkKeepsItsBytesAndOtherCharactersTakeFourBytes) {
    const struct {
        std::string_view text;
        std::wstring_view wide;
    } cases[] = {
        {"距中华 abc", L"距中华 abc"},
        {"\x81\x5D]", L"\u4E5A]"},        // a second byte that is also ']'
        {"\x83\x36\x84\x33", L"\uD55C"},  // Hangul
        {"a\x94\x39\xFC\x36"
         "b",
         L"a\U0001F600b"},
        {"\x81\x30\x81\x30\x84\x31\xA4\x39", L"\u0080\uFFFF"},  // the BMP's first and last
        {"\xE3\x32\x9A\x35", L"\U0010FFFF"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Widen(c.text), c.wide);
        EXPECT_EQ(Narrow(c.wide), c.text);
    }
    EXPECT_EQ(Narrow(L"\xD800x"), "?x");              // a lone surrogate
    EXPECT_EQ(Widen("\x84\x31\xA5\x30"), L"\uFFFD");  // a sequence GB18030 leaves unassigned
}

TEST_F(FacilitiesFiles, MissingPathDoesNotExistAndHasSizeMinusOne) {
    EXPECT_FALSE(FileExists(Path("missing.txt")));
    EXPECT_EQ(FileSize(Path("missing.txt")), -1);
    EXPECT_FALSE(FileExists(""));
    EXPECT_EQ(FileSize(""), -1);
}

TEST_F(FacilitiesFiles, ExistingFilesAndFoldersAreFoundWithTheirSize) {
    WriteFileBytes(Path("five.bin"), "12345");
    WriteFileBytes(Path("empty.bin"), "");
    EXPECT_TRUE(FileExists(Path("five.bin")));
    EXPECT_EQ(FileSize(Path("five.bin")), 5);
    EXPECT_TRUE(FileExists(Path("empty.bin")));
    EXPECT_EQ(FileSize(Path("empty.bin")), 0);
    EXPECT_TRUE(FileExists(dir_));
}

TEST_F(FacilitiesFiles, ReadWholeFileGivesEveryByte) {
    const std::string bytes("\0\x01\xff\r\n倒计时\0end", 15);
    WriteFileBytes(Path("data.bin"), bytes);
    EXPECT_EQ(ReadWholeFile(Path("data.bin"), 15), bytes);
    WriteFileBytes(Path("empty.bin"), "");
    EXPECT_EQ(ReadWholeFile(Path("empty.bin"), 0), "");
}

TEST_F(FacilitiesFiles, ReadWholeFileGivesNothingForEmptyPathMissingLockedOrTooLargeFile) {
    EXPECT_EQ(ReadWholeFile("", 100), std::nullopt);
    EXPECT_EQ(ReadWholeFile(Path("missing.bin"), 100), std::nullopt);
    EXPECT_EQ(ReadWholeFile(dir_, 100), std::nullopt);
    WriteFileBytes(Path("locked.bin"), "secret");
    HANDLE holder = HoldExclusively(Path("locked.bin"));
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ReadWholeFile(Path("locked.bin"), 100), std::nullopt);
    CloseHandle(holder);
    EXPECT_EQ(ReadWholeFile(Path("locked.bin"), 5), std::nullopt) << "one byte over the limit";
    // 4 GiB and 6 bytes: the low 32 bits of its size are within the limit.
    WriteFileBytes(Path("huge.bin"), "secret", (uint64_t{1} << 32) + 6);
    EXPECT_EQ(ReadWholeFile(Path("huge.bin"), 100), std::nullopt);
}

TEST_F(FacilitiesFiles, ReadWholeFileReadsAFileAnotherUserIsWriting) {
    const int log = OpenFile(Path("log.txt"), kOpenCreateTruncate, kShareAll);
    ASSERT_NE(log, 0);
    WriteText(log, {"line\r\n"});
    EXPECT_EQ(ReadWholeFile(Path("log.txt"), 100), "line\r\n");
    CloseFile(log);
}

TEST_F(FacilitiesFiles, WriteWholeFileWritesThePartsInOrderSkippingEmptyOnes) {
    EXPECT_TRUE(WriteWholeFile(Path("out.bin"), {"ab", "", std::string_view("c\0d", 3), "", "倒"}));
    EXPECT_EQ(ReadFileBytes(Path("out.bin")), std::string("abc\0d", 5) + "倒");
    EXPECT_TRUE(WriteWholeFile(Path("nothing.bin"), {"", ""}));
    EXPECT_TRUE(FileExistsForTest(Path("nothing.bin")));
    EXPECT_EQ(ReadFileBytes(Path("nothing.bin")), "");
}

TEST_F(FacilitiesFiles, WriteWholeFileTruncatesALongerFile) {
    WriteFileBytes(Path("out.bin"), "a much longer old content");
    EXPECT_TRUE(WriteWholeFile(Path("out.bin"), {"new"}));
    EXPECT_EQ(ReadFileBytes(Path("out.bin")), "new");
}

TEST_F(FacilitiesFiles, WriteWholeFileFailsForEmptyPathMissingFolderOrFileInUse) {
    EXPECT_FALSE(WriteWholeFile("", {"x"}));
    EXPECT_FALSE(WriteWholeFile(Path("no-such-folder\\out.bin"), {"x"}));
    EXPECT_FALSE(FileExistsForTest(Path("no-such-folder")));

    WriteFileBytes(Path("busy.bin"), "old");
    HANDLE reader =
        CreateFileA(Path("busy.bin").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(WriteWholeFile(Path("busy.bin"), {"new"}))
        << "the file is opened for exclusive use, so any other open user makes it fail";
    CloseHandle(reader);
    EXPECT_EQ(ReadFileBytes(Path("busy.bin")), "old");
}

std::atomic<int> save_wait_ticks{0};
void CALLBACK CountSaveWaitTick(HWND, UINT, UINT_PTR, DWORD) { ++save_wait_ticks; }

// A save that other programs refuse to the end: false, the old bytes, and nothing beside them.
// Wine refuses a rename over a file that anyone holds open. A read-only file is refused at
// once: that refusal does not pass (Wine would rename over it; Windows refuses). While a save
// waits, timers tick; a request posted meanwhile waits for the save's end.
TEST_F(FacilitiesFiles, OneStepWriteThatCannotFinishKeepsTheOldFileAndLeavesNothingBeside) {
    const UINT_PTR timer = SetTimer(nullptr, 0, 100, CountSaveWaitTick);
    PostThreadMessageA(GetCurrentThreadId(), WM_APP + 7, 0, 0);
    const std::string target = Path("setting.ini"), staged = target + ".new";
    const struct {
        const char* what;
        std::string held;  // a file kept open meanwhile (sharing reading and deletion)
        bool read_only;
    } cases[] = {{"locked target", target, false},
                 {"locked .new", staged, false},
                 {"read-only target", "", true}};
    // Each case in turn: locked ones are tried again for about two seconds.
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFileBytes(target, "old");
        if (c.held == staged) WriteFileBytes(staged, "someone's");
        HANDLE held = CreateFileA(c.held.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
        if (c.read_only) SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY);
        const DWORD started = GetTickCount();
        EXPECT_FALSE(WriteFileInOneStep(target, "new"));
        if (!c.read_only) {
            EXPECT_GE(GetTickCount() - started, 1900u) << "tried again";
        }
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
        EXPECT_EQ(ReadFileBytes(target), "old");
        EXPECT_FALSE(FileExistsForTest(staged));
    }
    KillTimer(nullptr, timer);
    EXPECT_GE(save_wait_ticks, 10) << "the windows stood still while the save waited";
    MSG posted;
    EXPECT_TRUE(PeekMessageA(&posted, nullptr, WM_APP + 7, WM_APP + 7, PM_REMOVE));
    // Let go within the two seconds, the file is saved.
    HANDLE held = CreateFileA(target.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    std::thread release([held] {
        Sleep(500);
        CloseHandle(held);
    });
    EXPECT_TRUE(WriteFileInOneStep(target, "new"));
    release.join();
    EXPECT_EQ(ReadFileBytes(target), "new");
    EXPECT_FALSE(FileExistsForTest(staged));
}

TEST_F(FacilitiesFiles, DeleteFileRemovesAFileAndFailsForAMissingOne) {
    WriteFileBytes(Path("gone.bin"), "x");
    EXPECT_TRUE(DeleteFileAt(Path("gone.bin")));
    EXPECT_FALSE(FileExistsForTest(Path("gone.bin")));
    EXPECT_FALSE(DeleteFileAt(Path("gone.bin")));
    EXPECT_FALSE(DeleteFileAt(""));
}

TEST_F(FacilitiesFiles, CreateDirectoryMakesANewFolderOnly) {
    EXPECT_TRUE(CreateDirectoryAt(Path("Log")));
    EXPECT_TRUE(GetFileAttributesA(Path("Log").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    WriteFileBytes(Path("Log\\kept.log"), "kept");

    EXPECT_FALSE(CreateDirectoryAt(Path("Log")));
    EXPECT_EQ(ReadFileBytes(Path("Log\\kept.log")), "kept");

    EXPECT_FALSE(CreateDirectoryAt(Path("missing\\Log")));
    EXPECT_FALSE(CreateDirectoryAt(""));
}

// --- File numbers ------------------------------------------------------------------------------

using FacilitiesOpenFile = FacilitiesFiles;

TEST_F(FacilitiesOpenFile, EmptyPathUnknownModesAndMissingFilesGiveZero) {
    EXPECT_EQ(OpenFile(""), 0);
    EXPECT_EQ(OpenFile("", kOpenCreateTruncate), 0);
    for (int mode : {kOpenRead, kOpenWrite, kOpenReadWrite}) {
        EXPECT_EQ(OpenFile(Path("missing.txt"), mode), 0) << "mode " << mode;
    }
    for (int mode : {0, 7, -1}) {
        EXPECT_EQ(OpenFile(Path("new.txt"), mode), 0) << "mode " << mode;
    }
    for (int share : {0, 5, -1}) {
        EXPECT_EQ(OpenFile(Path("new.txt"), kOpenCreateTruncate, share), 0) << "share " << share;
    }
    EXPECT_FALSE(FileExistsForTest(Path("missing.txt")));
    EXPECT_FALSE(FileExistsForTest(Path("new.txt")));
}

TEST_F(FacilitiesOpenFile, FileNumbersArePositiveAndDistinct) {
    WriteFileBytes(Path("a.txt"), "a");
    const int first = OpenFile(Path("a.txt"));
    const int second = OpenFile(Path("a.txt"), kOpenRead);
    EXPECT_GT(first, 0);
    EXPECT_GT(second, 0);
    EXPECT_NE(first, second);
    CloseFile(first);
    CloseFile(second);
}

TEST_F(FacilitiesOpenFile, CreateTruncateMakesOrEmptiesTheFile) {
    WriteFileBytes(Path("old.txt"), "old content");
    const int old_file = OpenFile(Path("old.txt"), kOpenCreateTruncate);
    ASSERT_NE(old_file, 0);
    EXPECT_EQ(ReadFileBytes(Path("old.txt")), "");
    WriteText(old_file, {"new"});
    EXPECT_EQ(ReadFileBytes(Path("old.txt")), "new");

    const int new_file = OpenFile(Path("made.txt"), kOpenCreateTruncate);
    ASSERT_NE(new_file, 0);
    EXPECT_TRUE(FileExistsForTest(Path("made.txt")));
    CloseFile(old_file);
    CloseFile(new_file);
}

TEST_F(FacilitiesOpenFile, CreateIfMissingModesKeepTheContentAndStartAtTheBeginning) {
    for (int mode : {kOpenCreateAppendable, kOpenCreateReadWrite}) {
        const std::string path = Path("keep" + std::to_string(mode) + ".txt");
        WriteFileBytes(path, "12345");
        const int file = OpenFile(path, mode);
        ASSERT_NE(file, 0) << "mode " << mode;
        EXPECT_EQ(ReadFileBytes(path), "12345") << "mode " << mode;
        WriteText(file, {"AB"});
        EXPECT_EQ(ReadFileBytes(path), "AB345") << "mode " << mode;
        CloseFile(file);

        const std::string fresh = Path("fresh" + std::to_string(mode) + ".txt");
        const int created = OpenFile(fresh, mode);
        EXPECT_NE(created, 0) << "mode " << mode;
        EXPECT_TRUE(FileExistsForTest(fresh)) << "mode " << mode;
        CloseFile(created);
    }
}

TEST_F(FacilitiesOpenFile, WriteAndReadWriteModesOpenAnExistingFileWithoutTruncating) {
    for (int mode : {kOpenWrite, kOpenReadWrite}) {
        const std::string path = Path("existing" + std::to_string(mode) + ".txt");
        WriteFileBytes(path, "12345");
        const int file = OpenFile(path, mode);
        ASSERT_NE(file, 0) << "mode " << mode;
        WriteText(file, {"x"});
        EXPECT_EQ(ReadFileBytes(path), "x2345") << "mode " << mode;
        CloseFile(file);
    }
}

TEST_F(FacilitiesOpenFile, MoveToEndThenWriteTextAppendsTheTextsAsTheyAre) {
    WriteFileBytes(Path("log.txt"), "Debug 1.2-3_4_5\r\n");
    const int file = OpenFile(Path("log.txt"), kOpenCreateAppendable);
    ASSERT_NE(file, 0);
    MoveToEnd(file);
    WriteText(file, {"12:00:00", "\t", "a\nb", "", "倒计时\r\n"});
    EXPECT_EQ(ReadFileBytes(Path("log.txt")),
              std::string("Debug 1.2-3_4_5\r\n12:00:00\ta\nb") + "倒计时\r\n");
    CloseFile(file);
}

TEST_F(FacilitiesOpenFile, WritingThroughAReadOnlyNumberChangesNothing) {
    WriteFileBytes(Path("read.txt"), "keep");
    const int file = OpenFile(Path("read.txt"), kOpenRead);
    ASSERT_NE(file, 0);
    WriteText(file, {"overwritten"});
    EXPECT_EQ(ReadFileBytes(Path("read.txt")), "keep");
    CloseFile(file);
}

TEST_F(FacilitiesOpenFile, WriteTextToANumberThatIsNotOpenDoesNothing) {
    WriteFileBytes(Path("target.txt"), "keep");
    const int file = OpenFile(Path("target.txt"), kOpenWrite);
    ASSERT_NE(file, 0);
    CloseFile(file);
    for (int number : {file, 0, -1, file + 1, 100000}) {
        MoveToEnd(number);
        WriteText(number, {"x"});
    }
    EXPECT_EQ(ReadFileBytes(Path("target.txt")), "keep");
    EXPECT_TRUE(OthersCanOpen(Path("target.txt"), GENERIC_WRITE))
        << "closing a number releases its file";
}

TEST_F(FacilitiesOpenFile, ShareModeDecidesWhatOthersMayOpen) {
    struct Case {
        int share;
        bool others_read;
        bool others_write;
    };
    for (const Case& c :
         {Case{kShareAll, true, true}, Case{kShareDenyRead, false, true},
          Case{kShareDenyWrite, true, false}, Case{kShareExclusive, false, false}}) {
        const std::string path = Path("shared" + std::to_string(c.share) + ".txt");
        WriteFileBytes(path, "x");
        const int file = OpenFile(path, kOpenReadWrite, c.share);
        ASSERT_NE(file, 0) << "share " << c.share;
        EXPECT_EQ(OthersCanOpen(path, GENERIC_READ), c.others_read) << "share " << c.share;
        EXPECT_EQ(OthersCanOpen(path, GENERIC_WRITE), c.others_write) << "share " << c.share;
        CloseFile(file);
    }
}

// --- Registry ----------------------------------------------------------------------------------

class FacilitiesRegistry : public ::testing::Test {
protected:
    void SetUp() override {
        base_ = "Software\\TorvekQuindleTests_" + std::to_string(GetCurrentProcessId());
    }
    void TearDown() override {
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            RegDeleteTreeA(root, base_.c_str());
        }
    }

    struct Stored {
        bool found = false;
        DWORD type = 0;
        std::string data;
    };
    static Stored Query(HKEY root, const std::string& key, const std::string& name) {
        Stored stored;
        HKEY opened;
        if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) {
            return stored;
        }
        char buffer[256];
        DWORD size = sizeof buffer;
        if (RegQueryValueExA(opened, name.c_str(), nullptr, &stored.type,
                             reinterpret_cast<BYTE*>(buffer), &size) == ERROR_SUCCESS) {
            stored.found = true;
            stored.data.assign(buffer, size);
        }
        RegCloseKey(opened);
        return stored;
    }
    static bool KeyExists(HKEY root, const std::string& key) {
        HKEY opened;
        if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
        RegCloseKey(opened);
        return true;
    }

    std::string base_;
};

TEST_F(FacilitiesRegistry, RootNumbersSelectThePredefinedKey) {
    const std::string unique = "TorvekQuindleTests_" + std::to_string(GetCurrentProcessId());
    struct Case {
        int root;
        HKEY expected;
        std::string key;
    };
    const Case cases[] = {
        {1, HKEY_CLASSES_ROOT, unique},
        {2, HKEY_CURRENT_CONFIG, unique},
        {4, HKEY_LOCAL_MACHINE, base_},
        {5, HKEY_USERS, ".DEFAULT\\" + base_},
        {3, HKEY_CURRENT_USER, base_ + "\\three"},
        {0, HKEY_CURRENT_USER, base_ + "\\zero"},
        {6, HKEY_CURRENT_USER, base_ + "\\six"},
        {-1, HKEY_CURRENT_USER, base_ + "\\minus"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("root " + std::to_string(c.root));
        EXPECT_TRUE(WriteRegistryValue(c.root, c.key + "\\Countdown", std::string("C:\\a.exe")));
        const Stored stored = Query(c.expected, c.key, "Countdown");
        EXPECT_TRUE(stored.found);
        EXPECT_EQ(stored.data, std::string("C:\\a.exe", 9));
    }
    EXPECT_FALSE(Query(HKEY_CURRENT_USER, base_, "Countdown").found)
        << "root 4 must not write under HKEY_CURRENT_USER";
    EXPECT_FALSE(Query(HKEY_LOCAL_MACHINE, base_ + "\\three", "Countdown").found);

    RegDeleteKeyA(HKEY_CLASSES_ROOT, unique.c_str());
    RegDeleteKeyA(HKEY_CURRENT_CONFIG, unique.c_str());
    RegDeleteTreeA(HKEY_USERS, (".DEFAULT\\" + base_).c_str());
}

TEST_F(FacilitiesRegistry, TextIsAStringValueWhoseLengthCountsTheZero) {
    ASSERT_TRUE(WriteRegistryValue(3, base_ + "\\倒计时", std::string("D:\\程序\\tq.exe")));
    const Stored stored = Query(HKEY_CURRENT_USER, base_, "倒计时");
    ASSERT_TRUE(stored.found);
    EXPECT_EQ(stored.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(stored.data, std::string("D:\\程序\\tq.exe") + '\0');

    ASSERT_TRUE(WriteRegistryValue(3, base_ + "\\empty", std::string()));
    EXPECT_EQ(Query(HKEY_CURRENT_USER, base_, "empty").data, std::string(1, '\0'));
}

TEST_F(FacilitiesRegistry, NumberIsADwordValue) {
    ASSERT_TRUE(WriteRegistryValue(3, base_ + "\\number", uint32_t{0x12345678}));
    const Stored stored = Query(HKEY_CURRENT_USER, base_, "number");
    EXPECT_EQ(stored.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(stored.data, std::string("\x78\x56\x34\x12", 4));
}

TEST_F(FacilitiesRegistry, ByteSetIsABinaryValue) {
    ASSERT_TRUE(WriteRegistryValue(3, base_ + "\\bytes", std::vector<uint8_t>{0, 0xff, 7}));
    Stored stored = Query(HKEY_CURRENT_USER, base_, "bytes");
    EXPECT_EQ(stored.type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(stored.data, std::string("\0\xff\x07", 3));

    ASSERT_TRUE(WriteRegistryValue(3, base_ + "\\none", std::vector<uint8_t>{}));
    stored = Query(HKEY_CURRENT_USER, base_, "none");
    EXPECT_TRUE(stored.found);
    EXPECT_EQ(stored.type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(stored.data, "");
}

TEST_F(FacilitiesRegistry, MissingKeysAreCreatedAndAnExistingValueIsReplaced) {
    const std::string deep = base_ + "\\one\\two";
    ASSERT_TRUE(WriteRegistryValue(3, deep + "\\value", std::string("text")));
    EXPECT_EQ(Query(HKEY_CURRENT_USER, deep, "value").type, static_cast<DWORD>(REG_SZ));
    ASSERT_TRUE(WriteRegistryValue(3, deep + "\\value", uint32_t{1}));
    EXPECT_EQ(Query(HKEY_CURRENT_USER, deep, "value").type, static_cast<DWORD>(REG_DWORD));
}

TEST_F(FacilitiesRegistry, DeleteRemovesTheValueAndKeepsItsKey) {
    ASSERT_TRUE(WriteRegistryValue(4, base_ + "\\Countdown", std::string("x")));
    EXPECT_TRUE(DeleteRegistryValue(4, base_ + "\\Countdown"));
    EXPECT_FALSE(Query(HKEY_LOCAL_MACHINE, base_, "Countdown").found);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, base_));
}

// Nothing to delete is no failure, and no key is ever deleted in the value's place.
TEST_F(FacilitiesRegistry, DeleteOfAMissingValueOrKeySucceedsAndKeepsEveryKey) {
    ASSERT_TRUE(WriteRegistryValue(3, base_ + "\\Leaf\\inner", uint32_t{1}));
    EXPECT_TRUE(DeleteRegistryValue(3, base_ + "\\Leaf"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, base_ + "\\Leaf"));
    EXPECT_TRUE(DeleteRegistryValue(3, base_ + "\\missing"));
    EXPECT_TRUE(DeleteRegistryValue(4, base_ + "\\no\\such\\value"));
}

// --- Message boxes -----------------------------------------------------------------------------

struct SeenBox {
    bool found = false;
    std::string caption;
    std::string text;
    HWND owner = nullptr;
    bool probe_enabled_while_shown = true;
    bool topmost = false;
};

// On a second thread: waits for the message box that `ui_thread` shows, notes what it
// sees and presses the button with the given identifier as a user would.
class BoxAnswerer {
public:
    BoxAnswerer(int button, HWND probe = nullptr)
        : ui_thread_(GetCurrentThreadId()),
          worker_([this, button, probe] { Run(button, probe); }) {}
    ~BoxAnswerer() {
        if (worker_.joinable()) worker_.join();
    }
    SeenBox Seen() {
        worker_.join();
        return seen_;
    }

private:
    void Run(int button, HWND probe) {
        HWND box = WaitForDialog(ui_thread_);
        if (!box) return;
        seen_.found = true;
        char text[256] = {};
        GetWindowTextA(box, text, sizeof text);
        seen_.caption = text;
        text[0] = '\0';
        GetDlgItemTextA(box, 0xFFFF, text, sizeof text);  // the message's static control
        seen_.text = text;
        seen_.owner = GetWindow(box, GW_OWNER);
        seen_.topmost = (GetWindowLongA(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
        if (probe) seen_.probe_enabled_while_shown = IsWindowEnabled(probe) != 0;

        if (HWND control = GetDlgItem(box, button)) {
            SendMessageA(control, BM_CLICK, 0, 0);
        } else {
            // No such button: end the box anyway so that the test fails instead of hanging.
            PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
        }
    }

    DWORD ui_thread_;
    SeenBox seen_;
    std::thread worker_;
};

HWND MakeTopLevelWindow(DWORD ex_style = 0, WNDPROC procedure = DefWindowProcA) {
    static int serial = 0;
    const std::string class_name = "TqFacilitiesTest" + std::to_string(++serial);
    WNDCLASSA window_class{};
    window_class.lpfnWndProc = procedure;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = class_name.c_str();
    RegisterClassA(&window_class);
    return CreateWindowExA(ex_style, class_name.c_str(), "probe", WS_POPUP, 0, 0, 100, 100, nullptr,
                           nullptr, GetModuleHandleA(nullptr), nullptr);
}

// Each real box costs about two seconds under Wine without a window manager (closing an
// active window waits for a new activation), so the caption cases ride along here.
TEST(FacilitiesMessageBox, AnswersAreNumberedFromOkToNoAndTheCaptionDefaultsWhenMissing) {
    struct Case {
        unsigned style;
        int button;
        int result;
        std::optional<std::string_view> caption;
        std::string shown_caption;
    };
    const Case cases[] = {
        {MB_YESNO, IDYES, 5, "警示信息 - 退出确认", "警示信息 - 退出确认"},
        {MB_YESNO, IDNO, 6, "警示信息", "警示信息"},
        {MB_OK, IDOK, 0, std::nullopt, "信息："},
        {MB_OKCANCEL, IDCANCEL, 1, "", ""},
        {MB_ABORTRETRYIGNORE, IDABORT, 2, "a", "a"},
        {MB_ABORTRETRYIGNORE, IDRETRY, 3, "r", "r"},
        {MB_ABORTRETRYIGNORE, IDIGNORE, 4, "i", "i"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("style " + std::to_string(c.style) + ", button " + std::to_string(c.button));
        BoxAnswerer answerer(c.button);
        EXPECT_EQ(ShowMessageBox("确定要退出吗？", c.style, c.caption), c.result);
        const SeenBox seen = answerer.Seen();
        EXPECT_TRUE(seen.found);
        EXPECT_EQ(seen.caption, c.shown_caption);
    }
}

TEST(FacilitiesMessageBox, BoxHasNoOwnerShowsTheGbkTextsAndDisablesTheThreadsWindows) {
    HWND probe = MakeTopLevelWindow();
    ShowWindow(probe, SW_SHOWNOACTIVATE);
    BoxAnswerer answerer(IDOK, probe);
    EXPECT_EQ(ShowMessageBox("恢复默认设置成功", MB_OK, "警示信息 - 恢复成功"), 0);
    const SeenBox seen = answerer.Seen();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.caption, "警示信息 - 恢复成功");
    EXPECT_EQ(seen.text, "恢复默认设置成功");
    EXPECT_EQ(seen.owner, nullptr);
    EXPECT_FALSE(seen.probe_enabled_while_shown)
        << "a task-modal box disables the thread's windows";
    EXPECT_TRUE(IsWindowEnabled(probe)) << "and enables them again when it closes";
    DestroyWindow(probe);
}

TEST(FacilitiesMessageBox, SystemModalStyleIsNotMadeTaskModal) {
    HWND probe = MakeTopLevelWindow();
    ShowWindow(probe, SW_SHOWNOACTIVATE);
    BoxAnswerer answerer(IDOK, probe);
    EXPECT_EQ(ShowMessageBox("text", MB_OK | MB_SYSTEMMODAL, "caption"), 0);
    const SeenBox seen = answerer.Seen();
    ASSERT_TRUE(seen.found);
    EXPECT_TRUE(seen.probe_enabled_while_shown);
    EXPECT_TRUE(seen.topmost);
    DestroyWindow(probe);
}

// --- Message queue -----------------------------------------------------------------------------

std::atomic<int> dispatched{0};

LRESULT CALLBACK CountingProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_APP + 1) {
        ++dispatched;
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

TEST(FacilitiesMessages, ProcessPendingMessagesDispatchesEveryWaitingMessageThenReturns) {
    HWND first = MakeTopLevelWindow(0, CountingProcedure);
    HWND second = MakeTopLevelWindow(0, CountingProcedure);
    ProcessPendingMessages();
    dispatched = 0;
    PostMessageA(first, WM_APP + 1, 0, 0);
    PostMessageA(second, WM_APP + 1, 0, 0);
    PostMessageA(first, WM_APP + 1, 0, 0);
    ProcessPendingMessages();
    EXPECT_EQ(dispatched, 3);
    MSG left;
    EXPECT_FALSE(PeekMessageA(&left, nullptr, 0, 0, PM_NOREMOVE));
    DestroyWindow(first);
    DestroyWindow(second);
}

// --- Ending the program ------------------------------------------------------------------------

// The child process that a death test starts runs the test body again; it finds the
// marker file through the environment it inherits.
std::string CleanupMarker() {
    char path[MAX_PATH] = {};
    if (!GetEnvironmentVariableA("TQ_CLEANUP_MARKER", path, sizeof path)) {
        const std::string made = MakeTempFolder() + "\\cleanup.txt";
        SetEnvironmentVariableA("TQ_CLEANUP_MARKER", made.c_str());
        return made;
    }
    return path;
}

void AppendToMarker(const char* text) {
    const int file = OpenFile(CleanupMarker(), kOpenCreateAppendable);
    MoveToEnd(file);
    WriteText(file, {text});
}
void FirstCleanup() { AppendToMarker("first;"); }
void SecondCleanup() { AppendToMarker("second;"); }
void CleanupThatEndsTheProgram() {
    AppendToMarker("ending;");
    EndProgram(3);
}

TEST(FacilitiesEndProgramDeathTest, RunsTheLastRegisteredCleanupThenEndsWithTheCode) {
    const std::string marker = CleanupMarker();
    DeleteFileA(marker.c_str());
    EXPECT_EXIT(
        {
            RegisterCleanup(FirstCleanup);
            RegisterCleanup(SecondCleanup);
            EndProgram(7);
        },
        ::testing::ExitedWithCode(7), "");
    EXPECT_EQ(ReadFileBytes(marker), "second;");

    DeleteFileA(marker.c_str());
    EXPECT_EXIT(
        {
            RegisterCleanup(CleanupThatEndsTheProgram);
            EndProgram(0);
        },
        ::testing::ExitedWithCode(3), "");
    EXPECT_EQ(ReadFileBytes(marker), "ending;") << "the clean-up routine runs only once";

    EXPECT_EXIT(EndProgram(0), ::testing::ExitedWithCode(0), "");

    RemoveFolder(marker.substr(0, marker.rfind('\\')));
    SetEnvironmentVariableA("TQ_CLEANUP_MARKER", nullptr);
}

// --- Window transparency -----------------------------------------------------------------------

struct Layering {
    COLORREF key = 0xFFFFFFFF;
    BYTE alpha = 0;
    DWORD flags = 0;
};

Layering ReadLayering(HWND window) {
    Layering layering;
    GetLayeredWindowAttributes(window, &layering.key, &layering.alpha, &layering.flags);
    return layering;
}

TEST(FacilitiesTransparency, LayeredIsAddedToTheExtendedStyleWithTheAlpha) {
    const DWORD others = WS_EX_TOOLWINDOW | WS_EX_TRANSPARENT | WS_EX_NOACTIVATE;
    HWND window = MakeTopLevelWindow(others);
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(GetWindowLongA(window, GWL_EXSTYLE) & others, others);

    EXPECT_TRUE(SetWindowTransparency(window, 175));
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(window, GWL_EXSTYLE)) & (others | WS_EX_LAYERED),
              others | WS_EX_LAYERED)
        << "the other bits stay";
    const Layering layering = ReadLayering(window);
    EXPECT_EQ(layering.alpha, 175);
    EXPECT_EQ(layering.flags, static_cast<DWORD>(LWA_ALPHA));
    EXPECT_EQ(layering.key, 0u);
    DestroyWindow(window);
}

TEST(FacilitiesTransparency, AlphaOutsideZeroTo255OrMissingBecomes255) {
    HWND window = MakeTopLevelWindow();
    ASSERT_NE(window, nullptr);
    struct Case {
        int alpha;
        BYTE shown;
    };
    for (const Case& c :
         {Case{0, 0}, Case{300, 255}, Case{1, 1}, Case{-1, 255}, Case{255, 255}, Case{256, 255}}) {
        SetLayeredAttributes(window, 0, 100, LWA_ALPHA);
        EXPECT_TRUE(SetWindowTransparency(window, c.alpha));
        EXPECT_EQ(ReadLayering(window).alpha, c.shown) << "alpha " << c.alpha;
    }
    SetLayeredAttributes(window, 0, 100, LWA_ALPHA);
    EXPECT_TRUE(SetWindowTransparency(window));
    EXPECT_EQ(ReadLayering(window).alpha, 255);
    DestroyWindow(window);
}

TEST(FacilitiesTransparency, AddLayeredStyleKeepsTheOtherBitsAndColourKeyIsAccepted) {
    HWND window = MakeTopLevelWindow(WS_EX_TOOLWINDOW);
    ASSERT_NE(window, nullptr);
    AddLayeredStyle(window);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(window, GWL_EXSTYLE)) &
                  (WS_EX_LAYERED | WS_EX_TOOLWINDOW),
              static_cast<DWORD>(WS_EX_LAYERED | WS_EX_TOOLWINDOW));

    EXPECT_TRUE(SetLayeredAttributes(window, RGB(0, 0, 2), 0, LWA_COLORKEY));
    const Layering layering = ReadLayering(window);
    EXPECT_EQ(layering.key, RGB(0, 0, 2));
    EXPECT_EQ(layering.flags, static_cast<DWORD>(LWA_COLORKEY));
    DestroyWindow(window);
}

// --- System queries ----------------------------------------------------------------------------

TEST(FacilitiesSystem, RunDirectoryAndExecutableFileNameMakeTheModulePath) {
    char module[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, module, MAX_PATH);
    EXPECT_EQ(ExecutableFileName(), "win_tests.exe");
    EXPECT_EQ(RunDirectory() + "\\" + ExecutableFileName(), module);
    ASSERT_FALSE(RunDirectory().empty());
    EXPECT_NE(RunDirectory().back(), '\\');
}

// A single-instance mutex named after a file name too long for a kernel object still tells
// itself apart. (What a user sees of the name, one copy per file name whatever its letter
// case, is tested end to end with the program's other start-up behaviour.)
TEST(StartUp, SingleInstanceNameOfALongFileNameFitsAKernelObject) {
    const std::wstring long_a = std::wstring(250, L'a') + L"1.exe";
    const std::wstring long_b = std::wstring(250, L'a') + L"2.exe";
    EXPECT_LE(SingleInstanceName(long_a).size(), 259u);
    EXPECT_NE(SingleInstanceName(long_a), SingleInstanceName(long_b));
    HANDLE mutex = CreateMutexW(nullptr, FALSE, SingleInstanceName(long_a).c_str());
    EXPECT_NE(mutex, nullptr) << GetLastError();
    CloseHandle(mutex);
}

int CALLBACK CollectFace(const LOGFONTA* font, const TEXTMETRICA*, DWORD, LPARAM faces) {
    reinterpret_cast<std::vector<std::string>*>(faces)->push_back(font->lfFaceName);
    return 1;
}

TEST(FacilitiesSystem, FontNamesAreTheReportedFamiliesReversedWithoutRepeats) {
    std::vector<std::string> reported;
    HDC screen = GetDC(nullptr);
    LOGFONTA all{};
    all.lfCharSet = DEFAULT_CHARSET;
    EnumFontFamiliesExA(screen, &all, CollectFace, reinterpret_cast<LPARAM>(&reported), 0);
    ReleaseDC(nullptr, screen);
    ASSERT_FALSE(reported.empty());

    std::vector<std::string> expected;
    for (auto name = reported.rbegin(); name != reported.rend(); ++name) {
        if (expected.empty() || expected.back() != *name) expected.push_back(*name);
    }
    EXPECT_LT(expected.size(), reported.size())
        << "some family is reported for several character sets in a row";

    const std::vector<std::string> names = ListFontFamilies().names;
    EXPECT_EQ(names, expected);
    for (size_t i = 0; i < names.size(); ++i) {
        EXPECT_LE(names[i].size(), 31u) << names[i];
        if (i > 0) {
            EXPECT_NE(names[i], names[i - 1]);
        }
    }
}

// Under the Simplified Chinese system (the tests' locale) the platform knows a family by its
// English name and its Simplified Chinese one, not by its Traditional Chinese name: that one
// only the font's own name table gives.
TEST(FacilitiesSystem, FontFamiliesAreFoundByTheirNameInAnyLanguage) {
    const FontFamilies fonts = ListFontFamilies();
    const std::vector<std::string>& names = fonts.names;
    const auto index_of = [&](std::string_view name) {
        const auto at = std::find(names.begin(), names.end(), name);
        return at == names.end() ? -1 : static_cast<int>(at - names.begin());
    };
    ASSERT_GE(index_of("文泉驿等宽微米黑"), 0) << "the WenQuanYi fonts are installed";
    // Only the families with an East Asian character set have their tables read: the WenQuanYi
    // ones, not Wine's own Latin and symbol families.
    EXPECT_EQ(fonts.east_asian.count("文泉驿等宽微米黑"), 1u);
    EXPECT_EQ(fonts.east_asian.count("@文泉驿等宽微米黑"), 1u);
    EXPECT_LT(fonts.east_asian.size(), names.size());
    const size_t tables_read = InstalledFontNames().tables_read();
    FontFaceFor("Ein Name, den keine Schrift hat");
    EXPECT_EQ(InstalledFontNames().tables_read(), tables_read) << "drawing reads no table";
    const struct {
        const char* stored;
        const char* listed;  // nullptr: no font calls itself so
        const char* drawn;   // the face FontFaceFor gives after the search
    } cases[] = {
        {"文泉驛等寬微米黑", "文泉驿等宽微米黑", "文泉驿等宽微米黑"},  // Traditional
        {"wenquanyi micro hei mono", "文泉驿等宽微米黑", "文泉驿等宽微米黑"},
        {"文泉驿微米黑", "文泉驿微米黑", "文泉驿微米黑"},  // not the vertical "@文泉驿微米黑"
        {"@文泉驛微米黑", "@文泉驿微米黑", "@文泉驿微米黑"},
        {"宋体", nullptr, "宋体"},
        {"", nullptr, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        EXPECT_EQ(FindFontFamilyByAnyName(names, fonts.east_asian, c.stored),
                  c.listed ? index_of(c.listed) : -1);
        EXPECT_EQ(FontFaceFor(c.stored), c.drawn);
    }
}

TEST(FacilitiesSystem, OpenWebAddressOpensTheAddressWithItsHandler) {
    // A batch file stands in for the web page: its "open" handler leaves a trace.
    const std::string dir = MakeTempFolder();
    const std::string trace = dir + "\\opened.txt";
    WriteFileBytes(dir + "\\page.bat", "@echo opened> \"" + trace + "\"\r\n");
    OpenWebAddress(dir + "\\page.bat");
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!FileExistsForTest(trace) && std::chrono::steady_clock::now() < give_up) Sleep(50);
    EXPECT_TRUE(FileExistsForTest(trace));
    Sleep(200);  // let the batch file's process let go of its files
    RemoveFolder(dir);
}

// --- Resources ---------------------------------------------------------------------------------

TEST(FacilitiesResources, RepeatedCallsLeaveNoHandlesBehind) {
    const std::string dir = MakeTempFolder();
    const std::string file = dir + "\\f.txt";
    const std::string registry =
        "Software\\TorvekQuindleTests_" + std::to_string(GetCurrentProcessId()) + "_leaks";
    auto exercise = [&] {
        FileExists(file);
        FileSize(file);
        ReadWholeFile(file, 100);
        ReadWholeFile(dir, 100);
        WriteWholeFile(file, {"x"});
        WriteWholeFile(dir, {"x"});
        FileExists(file);
        FileSize(file);
        ReadWholeFile(file, 100);
        DeleteFileAt(file);
        OpenFile(file, kOpenRead);
        OpenFile(file, 9);
        CreateDirectoryAt(dir);
        WriteRegistryValue(3, registry + "\\v", uint32_t{1});
        DeleteRegistryValue(3, registry + "\\v");
        DeleteRegistryValue(3, registry + "\\v");
        DeleteRegistryValue(3, registry);
        ListFontFamilies();
        RunDirectory();
    };
    exercise();  // first use may set up lasting state (caches, loaded modules)

    DWORD handles_before = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handles_before);
    const DWORD gdi_before = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    const DWORD user_before = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    // Handles are given out lowest free first: a leak shows as a higher next handle.
    HANDLE next_before = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    CloseHandle(next_before);

    for (int i = 0; i < 50; ++i) exercise();

    // Wine 8 reports 0 for the handle count and the GUI object counts; there the next
    // handle value carries the check.
    DWORD handles_after = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handles_after);
    EXPECT_EQ(handles_after, handles_before);
    EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), gdi_before);
    EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS), user_before);
    HANDLE next_after = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    EXPECT_EQ(next_after, next_before);
    CloseHandle(next_after);
    RemoveFolder(dir);
}

// --- The stack protector (app/stack_protector.cpp, linked into the tests as into the program) --

extern "C" uintptr_t __stack_chk_guard;

// Past a buffer of eight bytes: by hand over the canary, or by a copy that knows the size.
__attribute__((noinline)) void Overrun(size_t past) {
    char buffer[8];
    char* bytes = buffer;
    asm volatile("" : "+r"(bytes));  // the compiler no longer knows where the bytes go
    for (size_t i = 0; i < sizeof buffer + past; ++i) bytes[i] = 'x';
    asm volatile("" : : "r"(bytes) : "memory");
}
__attribute__((noinline)) void OverrunByCopy(size_t past) {
    char buffer[8];
    asm volatile("" : "+r"(past));  // nor how far they go
    std::memset(buffer, 'x', sizeof buffer + past);
    asm volatile("" : : "r"(buffer) : "memory");
}

TEST(StackProtector, TheCanaryIsSeededAndAnOverrunEndsTheProcessAtOnce) {
    EXPECT_NE(__stack_chk_guard, 0xff0a0000u);  // the value before the seeding
    EXPECT_EQ(__stack_chk_guard & 0xff, 0u);
    EXPECT_NE(__stack_chk_guard, 0u);
    const auto overrun_status = [](int code) { return static_cast<DWORD>(code) == 0xC0000409; };
    EXPECT_EXIT(Overrun(8), overrun_status, "");
    EXPECT_EXIT(OverrunByCopy(1), overrun_status, "");
}

}  // namespace
}  // namespace tq
