#include "game/game.h"

namespace nuvalo {

int rand(GameState& s) {
    s.randomState = s.randomState * 22695477u + 1u;
    return static_cast<int>((s.randomState >> 16) & 0x7FFFu);
}

void srand(GameState& s, std::uint32_t seed) {
    s.randomState = seed;
    // The first value after seeding is thrown away.
    static_cast<void>(rand(s));
}

} // namespace nuvalo
