// Where the program keeps its files. setting.ini, background.pic and the Log folder live
// beside the executable (run_dir), or in the user's own folder, %APPDATA%\TorvekQuindle, when
// the program's folder refuses new files; that folder is made when the first file goes there.
// A file the user's folder does not hold is read from beside the executable: an
// administrator's setting.ini there is where every user starts.
//
// Which folder is in use is decided from what exists, without writing: the user's folder is
// in use once it holds setting.ini or background.pic (the program put them there because its
// own folder refused them, and they stay the user's wherever the program runs from). Only
// when neither tells, and a write is due, does the program find out whether its own folder
// takes new files, once per run. Reading never needs to know: a start-up creates no file (its
// debug log aside) and costs one look for the user's folder, and one look for each file while
// that folder exists.
#pragma once

#include <string>
#include <string_view>

namespace tq {

// Names of the files, each beginning with a backslash as a path's last part does.
inline constexpr char kSettingsFileName[] = "\\setting.ini";
inline constexpr char kPictureFileName[] = "\\background.pic";
inline constexpr char kLogFolderName[] = "\\Log";

// The user's folder, %APPDATA%\TorvekQuindle; empty when the environment names no %APPDATA%.
std::string UserFolder();

// The file to read: the user's folder's, or the one beside the executable while that folder
// does not hold it.
std::string PathToRead(std::string_view name);
// The file (or folder) in the folder in use: what a write replaces and a restore deletes.
// Finds out which folder that is only when the file lies beside the executable and nothing
// else tells whether it is the user's own or an administrator's preset.
std::string PathInUse(std::string_view name);
// The same, for a write that is about to happen: the user's folder is made when it is the one
// in use and does not exist yet.
std::string PathToWrite(std::string_view name);

}  // namespace tq
