// Program entry: one thread, one message loop; everything else happens in the handlers
// of the main window's events.
#include <windows.h>

#include "app/startup.h"
#include "forms/forms.h"
#include "forms/model.h"
#include "runtime/facilities.h"

// Where libraries come from is restricted before this, by the program's first constructor
// (app/stack_protector.cpp).
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    tq::RegisterCleanup(tq::ProgramCleanup);
    // Loading the main window raises its created event, which runs the start-up sequence.
    tq::main_window.Load();
    tq::forms::RunMessageLoop();
    tq::EndProgram(0);
}
