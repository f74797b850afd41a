#pragma once
// The headless simulator: plays a script of window messages through the host
// every shell uses, on a clock of its own (one period per timer message), and
// reports the game state after each one.
//
// Script lines (blank lines and text after '#' are ignored):
//   keydown VK | keyup VK | mousemove X Y | lbuttondown | lbuttonup | timer [N] | paint
//   snapshot PATH (writes the last composed frame as a PNG file)
// "timer N" is N timer messages, each followed by one paint. A keyup of a key
// the script never pressed counts as pressed just before. "keyup 27" closes
// the window and ends the script with status 0. A malformed line stops the
// script with status 2 and a message naming its line number.

#include <cstdint>
#include <cstdio>
#include <string_view>

namespace nuvalo::sim {

struct Options {
    std::uint32_t seed = 0;
    // Print only the state line of the last event.
    bool quiet = false;
    // The largest N that "timer N" takes; anything larger is a malformed line.
    std::uint32_t maxTimerCount = 1'000'000'000;
};

inline constexpr int kExitOk = 0;
inline constexpr int kExitBadScript = 2;

// Runs a whole script. State lines go to `out`, the message about a malformed
// line to `err`; either may be null to drop that output. Returns the exit status.
int runScript(std::FILE* in, const Options& options, std::FILE* out, std::FILE* err);
int runScript(std::string_view script, const Options& options, std::FILE* out, std::FILE* err);

} // namespace nuvalo::sim
