// Writes, as a PNG, the frame that the game window shows before the first run:
// composed by the shared message rules and renderer, as the window's first
// paints compose it. The end-to-end test compares the window with it.
//   nuvalo_halted_frame OUT.png      (run in a folder without save.dat)
#include "app/rules.h"
#include "render/png.h"
#include "render/render.h"
#include "tests/support/doubles.h"

#include <cstdio>

namespace {

nuvalo::App app;

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: nuvalo_halted_frame OUT.png\n");
        return 2;
    }
    nuvalo::test::QuietShell shell;
    // Any seed: before the first run every object lies outside the frame.
    nuvalo::onCreate(app, shell, 1);
    nuvalo::onPaint(app, shell);
    nuvalo::composeFrame(app.gdi, app.state);
    const bool written = nuvalo::writePng(argv[1], app.gdi.backBufferBitmap);
    nuvalo::onDestroy(app, shell);
    if (!written) {
        std::fprintf(stderr, "nuvalo_halted_frame: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
