// Nuvalo for Windows: the program's entry point.
#include "app/win32/program.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int /*showCommand*/) {
    // The show command plays no part: the window always opens the same way.
    // The command line is read wide, so that any file name comes through.
    return nuvalo::win32::runProgram(instance, nullptr,
                                     nuvalo::win32::parseCommandLine(GetCommandLineW()));
}
