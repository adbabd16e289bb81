#include "settings/picture_store.h"

#include <cstdint>
#include <optional>
#include <utility>

#include <windows.h>

#include "appearance/picture.h"
#include "forms/forms.h"
#include "resources/resources.h"
#include "runtime/facilities.h"
#include "settings/file_places.h"

namespace tq {

namespace {

void TellUser(const char* text) {
    ShowMessageBox(text, MB_OK | MB_ICONINFORMATION, "警示信息 - 窗口设置");
}

// Decoded at the smallest scale that will do (a JPEG at 1/8), so that checking a large photo
// does not build its full-size bitmap.
bool IsPicture(const std::string& bytes) {
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    return !DecodePicture(data, bytes.size(), 1, 1).empty();
}

}  // namespace

std::string BackgroundPicturePath() { return PathInUse(kPictureFileName); }

std::string DefaultPictureBytes() {
    return std::string(reinterpret_cast<const char*>(kDefaultPicture), kDefaultPictureSize);
}

// A background.pic that cannot be read whole (locked, too large, no memory for it) is passed
// over as a missing one is.
std::string LoadBackgroundPicture() {
    std::optional<std::string> bytes = ReadWholeFile(PathToRead(kPictureFileName), kLargestPicture);
    return bytes ? std::move(*bytes) : DefaultPictureBytes();
}

void ChooseBackgroundPicture() {
    auto& dialog = settings_window.通用对话框;
    dialog.SetFilter(kPictureFilter);
    const std::string name = dialog.Open() ? dialog.file_name() : std::string();
    if (name.empty()) {
        TellUser("您未选择图像。");
        return;
    }
    std::optional<std::string> bytes = ReadWholeFile(name, kLargestPicture);
    if (!bytes || !IsPicture(*bytes)) {
        TellUser("所选文件无法读取，或不是 bmp、jpg、gif 图像。背景图片没有改变。");
        return;
    }
    // A write that fails half-way (disk full, file locked) leaves the old picture whole.
    if (!WriteFileInOneStep(PathToWrite(kPictureFileName), *bytes)) {
        TellUser("背景图片未能保存（磁盘空间不足或文件被其他程序占用）。原来的背景图片没有改变。");
        return;
    }
    // The bytes just stored, without a second copy of a large picture.
    main_window.SetPicture(std::move(*bytes), LoadBackgroundPicture);
    TellUser("背景图片已设置！");
    if (FileSize(name) > kLargePictureBytes) {
        TellUser(
            "您设置的背景图片比较大，这将使得倒计时工具内存消耗大幅增加，建议使用较小的图像或将图像"
            "使用图片编辑工具缩小到合适倍数再使用。");
    }
}

// Without the user's picture the window shows what a start would show: the built-in picture,
// or an administrator's beside the executable when the user's folder is in use.
void RestoreDefaultPicture() {
    if (DeleteFileAt(BackgroundPicturePath()))
        main_window.SetPicture(LoadBackgroundPicture(), LoadBackgroundPicture);
}

}  // namespace tq
