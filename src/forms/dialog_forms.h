// The settings window and the about window forms.
#pragma once

#include "forms/model.h"

namespace tq {

struct SettingsForm : forms::Form {
    SettingsForm()
        : Form({
              .title = "TorvekQuindle设置",
              .rect = {50, 50, 564, 488},
              .border = forms::Border::Fixed,
              .control_box = true,
              .minimise_box = true,
              .position = forms::StartPosition::Centred,
              .in_taskbar = true,
              .drag_anywhere = true,
          }) {}
};

struct AboutForm : forms::Form {
    AboutForm()
        : Form({
              .title = "关于",
              .rect = {50, 50, 378, 224},
              .border = forms::Border::Fixed,
              .control_box = true,
              .position = forms::StartPosition::Centred,
              .in_taskbar = true,
              .esc_closes = true,
          }) {}
};

extern SettingsForm settings_window;
extern AboutForm about_window;

}  // namespace tq
