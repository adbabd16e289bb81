#include "settings/startup_and_defaults.h"

#include <string>

#include "app/globals.h"
#include "appearance/appearance.h"
#include "countdown/countdown.h"
#include "dialogs/dialogs.h"
#include "forms/forms.h"
#include "runtime/facilities.h"
#include "settings/file_places.h"
#include "settings/picture_store.h"
#include "settings/settings_file.h"

namespace tq {

namespace {

// Windows splits an unquoted Run value at its first blank and tries each prefix as a
// program ("C:\Program.exe" first), so a path with blanks is stored in quotes; Windows
// starts a quoted value the same way.
std::string StartupCommand() {
    const std::string path = run_dir + "\\" + ExecutableFileName();
    return path.find(' ') == std::string::npos ? path : "\"" + path + "\"";
}

// True when a Run value starts this executable: the same path, quoted or not, in any case.
bool NamesThisExecutable(std::string value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    const std::wstring named = Widen(value);
    const std::wstring own = Widen(run_dir + "\\" + ExecutableFileName());
    return CompareStringOrdinal(named.c_str(), -1, own.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// True when no entry under the root starts this executable any more. An entry of another
// program that chose the same name, or of another copy (a portable one on a USB stick), is not
// this one's to remove.
bool RemoveStartupEntry(int root) {
    const auto value = ReadRegistryText(root, kStartupEntry);
    return !value || !NamesThisExecutable(*value) || DeleteRegistryValue(root, kStartupEntry);
}

}  // namespace

void RegisterStartup() {
    auto& box = settings_window.开机启动_勾选框;
    const bool machine_gone = RemoveStartupEntry(kStartupMachineRoot);
    if (!box.checked()) {
        const bool user_gone = RemoveStartupEntry(kStartupUserRoot);
        if (machine_gone && user_gone) {
            WriteSetting(keys::startup, "0");
            return;
        }
        ShowMessageBox(
            "取消开机启动失败！本软件的开机启动项写在注册表中，当前用户无权删除。请以管理员身份运"
            "行本软件后再取消，或检查安全软件是否拦截！",
            MB_OK, "警示信息");
        WriteSetting(keys::startup, "1");
        box.SetChecked(true);
        return;
    }
    if (WriteRegistryValue(kStartupUserRoot, kStartupEntry, StartupCommand())) {
        WriteSetting(keys::startup, "1");
        return;
    }
    ShowMessageBox(
        "设置开机启动失败！本软件通过写入自身路径到注册表实现开机启动，请检查用户是否有注册表写入权"
        "限与安全软件是否拦截！",
        MB_OK, "警示信息");
    WriteSetting(keys::startup, "0");
    box.SetChecked(false);
}

void RestoreDefaults() {
    constexpr int kOk = 0;
    if (ShowMessageBox("警告，一旦恢复默认设置，当前所有定制数据将被不可恢复地覆盖，确定继续？",
                       MB_OKCANCEL, "警示信息") != kOk) {
        return;
    }
    // The files of the folder in use; an administrator's preset beside the executable, where
    // the user cannot write, stays and is where the user starts again.
    const std::string picture = BackgroundPicturePath();
    const bool restored = DeleteFileAt(PathInUse(kSettingsFileName)) &&
                          (!FileExists(picture) || DeleteFileAt(picture));
    if (restored) {
        ApplyLabelSettings();
        ApplyWindowSettings();
        ApplyCountdownSettings(true);
        ShowMessageBox("恢复默认设置成功！", MB_OK, "警示信息 - 恢复成功");
    } else {
        ShowMessageBox("恢复默认设置未成功！请检查用户权限！", MB_OK, "警示信息 - 恢复失败");
    }
    CancelSettings();
}

}  // namespace tq
