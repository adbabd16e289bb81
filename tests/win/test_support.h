// Small helpers shared by the Windows tests: temporary folders and whole-file access
// done directly through the platform, independent of the code under test.
#pragma once

#include <string>
#include <vector>

namespace tq {

std::string MakeTempFolder();
void RemoveFolder(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
std::string ReadFileBytes(const std::string& path);
bool FileExistsForTest(const std::string& path);
std::vector<std::string> SplitLines(const std::string& text);  // at "\r\n" or "\n"
// Dispatches this thread's window messages for a while as the program's loop does,
// keyboard handling included.
void PumpMessagesFor(unsigned milliseconds);

}  // namespace tq
