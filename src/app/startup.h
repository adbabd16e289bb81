// Program start-up and shutdown: the main window's created event runs the start-up
// sequence; every way the program ends leaves with exit code 0.
#pragma once

namespace tq {

void InitializeMainWindow();
void CheckSingleInstance();
void InitGlobals();
void ForcedClose();
void ProgramCleanup();

}  // namespace tq
