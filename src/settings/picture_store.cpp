#include "settings/picture_store.h"

#include "app/globals.h"
#include "resources/resources.h"
#include "runtime/facilities.h"

namespace tq {

std::string BackgroundPicturePath() { return run_dir + "\\background.pic"; }

std::string DefaultPictureBytes() {
    return std::string(reinterpret_cast<const char*>(kDefaultPicture), kDefaultPictureSize);
}

std::string LoadBackgroundPicture() {
    const std::string path = BackgroundPicturePath();
    return FileExists(path) ? ReadWholeFile(path) : DefaultPictureBytes();
}

}  // namespace tq
