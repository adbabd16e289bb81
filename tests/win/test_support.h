// Small helpers shared by the Windows tests: temporary folders and whole-file access
// done directly through the platform, independent of the code under test.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>

#include <gtest/gtest.h>

namespace tq {

std::string MakeTempFolder();
void RemoveFolder(const std::string& path);
// A larger `size` extends the file with zero bytes, which take no disk space here.
void WriteFileBytes(const std::string& path, const std::string& bytes, uint64_t size = 0);
std::string ReadFileBytes(const std::string& path);
bool FileExistsForTest(const std::string& path);
std::vector<std::string> SplitLines(const std::string& text);  // at "\r\n" or "\n"
// Dispatches this thread's window messages for a while as the program's loop does,
// keyboard handling included.
void PumpMessagesFor(unsigned milliseconds);

// A test beside the program's own main window, loaded once in this process (its start-up
// runs on defaults); each test gives the program a fresh folder of its own as run_dir.
class ProgramFolderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;
    std::string dir_;
};

// On a helper thread: waits up to ten seconds for a visible dialog box (a message box or a
// common dialog) that `thread` shows, other than `other_than` while that one still exists.
HWND WaitForDialog(DWORD thread, HWND other_than = nullptr);

// What a user saw in one dialog of the test's thread (a message box or a common dialog).
struct SeenDialog {
    std::string caption;
    std::string text;     // a message box's message; empty for other dialogs
    UINT icon_style = 0;  // MB_ICONINFORMATION when the box showed the information icon
};

// On a second thread, plays a user at the screen: waits for each dialog that the
// constructing thread shows, one after another, notes what it shows and answers it with
// the next action. A dialog that does not come within ten seconds ends the script.
class DialogAnswerer {
public:
    using Action = std::function<void(HWND dialog)>;
    static Action Press(int button_id);
    // Types the path into an open-file dialog's file name box and presses Open.
    static Action ChooseFile(std::string path);

    explicit DialogAnswerer(std::vector<Action> actions);
    ~DialogAnswerer();
    DialogAnswerer(const DialogAnswerer&) = delete;
    DialogAnswerer& operator=(const DialogAnswerer&) = delete;
    // Waits for the script to end; the dialogs seen, in order.
    const std::vector<SeenDialog>& Seen();

private:
    DWORD ui_thread_;
    std::vector<SeenDialog> seen_;
    std::thread worker_;
};

}  // namespace tq
