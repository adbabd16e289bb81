// The settings window and the about window: opening them and the handlers of their
// controls.
#pragma once

namespace tq {

void OpenAboutWindow();

}  // namespace tq
