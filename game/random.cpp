#include "game/game.h"

namespace nuvalo {

namespace {
// One generator for the whole program, shared by every placement.
std::uint32_t randomState = 0;
} // namespace

int rand() {
    randomState = randomState * 22695477u + 1u;
    return static_cast<int>((randomState >> 16) & 0x7FFFu);
}

void srand(std::uint32_t seed) {
    randomState = seed;
    // The first value after seeding is thrown away.
    static_cast<void>(rand());
}

} // namespace nuvalo
