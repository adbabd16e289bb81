#include "settings/startup_and_defaults.h"

#include <string>

#include "app/globals.h"
#include "appearance/appearance.h"
#include "countdown/countdown.h"
#include "dialogs/dialogs.h"
#include "forms/forms.h"
#include "runtime/facilities.h"
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

}  // namespace

void RegisterStartup() {
    auto& box = settings_window.开机启动_勾选框;
    if (!box.checked()) {
        WriteSetting(keys::startup, "0");
        DeleteRegistryValue(kStartupRoot, kStartupEntry);  // a missing entry is no error
        DeleteRegistryValue(kStartupUserRoot, kStartupEntry);
        return;
    }
    const std::string command = StartupCommand();
    if (WriteRegistryValue(kStartupRoot, kStartupEntry, command) ||
        WriteRegistryValue(kStartupUserRoot, kStartupEntry, command)) {
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
    const std::string picture = BackgroundPicturePath();
    const bool restored =
        DeleteFileAt(SettingsFilePath()) && (!FileExists(picture) || DeleteFileAt(picture));
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
