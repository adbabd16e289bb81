// Program entry: one thread, one message loop; everything else happens in the handlers
// of the main window's events.
#include <windows.h>

#include "app/startup.h"
#include "forms/forms.h"
#include "forms/model.h"
#include "runtime/facilities.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    tq::RestrictLibrarySearch();
    tq::RegisterCleanup(tq::ProgramCleanup);
    // Loading the main window raises its created event, which runs the start-up sequence.
    tq::main_window.Load();
    tq::forms::RunMessageLoop();
    tq::EndProgram(0);
}
