#include "forms/forms.h"

namespace tq {

MainForm main_window;
TrayMenuForm tray_menu_window;
SettingsForm settings_window;
AboutForm about_window;

}  // namespace tq
