// Nuvalo for Windows: the program's entry point.
#include "app/win32/program.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int /*showCommand*/) {
    // The command line and the show command play no part: the window always
    // opens the same way.
    return nuvalo::win32::runProgram(instance);
}
