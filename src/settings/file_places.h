// Where the program keeps its files. setting.ini, background.pic and the Log folder live
// beside the executable (run_dir) whenever a new file can be created there, and otherwise in
// the user's own folder, %APPDATA%\TorvekQuindle, made when the first file goes there. A file
// the user's folder does not hold is read from beside the executable: an administrator's
// setting.ini there is where every user starts.
//
// Which folder is in use is found out only when it matters, once per run: reading needs it
// only when the user's folder exists, and writing always. A start-up that only reads and
// has no user's folder therefore costs one look for that folder.
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

// The file to read: in the folder in use, or beside the executable while that folder does not
// hold it.
std::string PathToRead(std::string_view name);
// The file (or folder) in the folder in use: what a write replaces and a restore deletes.
std::string PathInUse(std::string_view name);
// The same, for a write that is about to happen: the user's folder is made when it is the one
// in use and does not exist yet.
std::string PathToWrite(std::string_view name);

}  // namespace tq
