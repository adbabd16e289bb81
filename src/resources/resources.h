// The files built into the program: the default background picture (a JPEG) and the
// program icon (an .ico file). Their bytes are generated from src/resources at build time
// by tq_embed (cmake/embed.cmake) into the library tq_resources.
#pragma once

#include <cstddef>

namespace tq {

// Shown when no background.pic exists; 522 x 193 pixels.
extern const unsigned char kDefaultPicture[];
extern const size_t kDefaultPictureSize;

// Five 32-bit images of 128, 64, 48, 32 and 16 pixels for the notification area.
extern const unsigned char kProgramIcon[];
extern const size_t kProgramIconSize;

}  // namespace tq
