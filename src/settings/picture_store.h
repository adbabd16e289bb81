// The background picture store: background.pic when it exists (settings/file_places.h says
// where), otherwise the built-in default picture; and the settings window's two picture
// buttons.
#pragma once

#include <cstdint>
#include <string>

namespace tq {

// background.pic in the folder in use: the file the buttons replace and delete.
std::string BackgroundPicturePath();
std::string DefaultPictureBytes();
// The bytes the main window shows in alpha mode.
std::string LoadBackgroundPicture();

// The pictures the user may choose, for the open-file dialog; and the size from which the
// user is warned that the picture will cost much memory.
inline constexpr char kPictureFilter[] = "bmp、jpg、gif图像文件|*.bmp;*.jpg;*.gif;*.jpeg";
inline constexpr int kLargePictureBytes = 600000;
// The largest picture file read at all: room for a 6000 x 4000 BMP at 32 bits (96 MB), while
// the file, its decoded bitmap and the stored copy stay well within a 32-bit process. A larger
// background.pic is passed over for the built-in picture, a larger chosen file refused.
inline constexpr uint64_t kLargestPicture = 128 << 20;

// 浏览: lets the user choose a picture file, stores a copy as background.pic and shows it
// on the main window at once. A file that cannot be read or is no picture changes nothing.
void ChooseBackgroundPicture();
// 恢复默认: deletes background.pic and, when it was there, shows the picture a start would
// show now (the built-in one).
void RestoreDefaultPicture();

}  // namespace tq
