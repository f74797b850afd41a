#pragma once
// The game's four sound cues and the one table of their files, relative to
// the folder the game runs in. The build reads this table too (cmake/cues.cmake)
// for the files it installs, packs and serves, so a cue is named only here.

#include <array>
#include <cstddef>
#include <cstdint>

namespace nuvalo {

enum class Cue : std::uint8_t {
    hit,       // the star hits a stone or the boulder
    target,    // the star takes a target
    tallyStep, // the result tally reaches steps 60, 120 and 150
    saved,     // the score was written to the best-score file
};

inline constexpr std::array<const char*, 4> kCueFiles = {
    "Ton/ball01.wav",
    "Ton/magic01.wav",
    "Ton/button03.wav",
    "Ton/decide04.wav",
};

constexpr const char* cueFile(Cue cue) {
    return kCueFiles[static_cast<std::size_t>(cue)];
}

} // namespace nuvalo
