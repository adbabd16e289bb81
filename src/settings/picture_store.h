// The background picture store: background.pic beside the executable when it exists,
// otherwise the built-in default picture.
#pragma once

#include <string>

namespace tq {

std::string BackgroundPicturePath();  // run_dir + "\background.pic"
std::string DefaultPictureBytes();
// The bytes the main window shows in alpha mode.
std::string LoadBackgroundPicture();

}  // namespace tq
