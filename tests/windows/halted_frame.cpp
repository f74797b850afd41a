// Writes, as a PNG, the frame that the game window shows before the first run:
// composed by the host and renderer, as the window's first paints compose it.
// The end-to-end test compares the window with it.
//   nuvalo_halted_frame OUT.png
#include "host/host.h"
#include "render/png.h"
#include "tests/support/doubles.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: nuvalo_halted_frame OUT.png\n");
        return 2;
    }
    // No best score kept, as in the fresh folder the game runs in.
    nuvalo::test::FakeShell shell;
    nuvalo::Host host(shell, nuvalo::test::FakeShell::kFrequency);
    // Any seed: before the first run every object lies outside the frame.
    host.create(1);
    host.repaint();
    if (!nuvalo::writePng(argv[1], host.paintedFrame())) {
        std::fprintf(stderr, "nuvalo_halted_frame: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
