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

#include "clip/clip.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace nuvalo::sim {

struct Options {
    std::uint32_t seed = 0;
    // Print only the state line of the last event.
    bool quiet = false;
    // The largest N that "timer N" takes; anything larger is a malformed line.
    std::uint32_t maxTimerCount = 1'000'000'000;
    // Where each run the script finishes is written, as 1.nuvrun, 2.nuvrun,
    // ...; empty for nowhere.
    std::string runsDir = {};
};

inline constexpr int kExitOk = 0;
inline constexpr int kExitNotVerified = 1;
inline constexpr int kExitBadScript = 2;
inline constexpr int kExitBadRecord = 2;
inline constexpr int kExitNotWritten = 1;

// Runs a whole script. State lines go to `out`, the message about a malformed
// line to `err`; either may be null to drop that output. Returns the exit status.
int runScript(std::FILE* in, const Options& options, std::FILE* out, std::FILE* err);
int runScript(std::string_view script, const Options& options, std::FILE* out, std::FILE* err);

// Replays a record, printing a state line per tick and then the verdict as
// one JSON line: 0 verified, 1 the run does not reach its claim, 2 the record
// cannot be read.
int replayRecord(const std::vector<std::uint8_t>& bytes, std::FILE* out);
// Replays a record for its verdict line alone, then writes the stretch of it
// `options` asks for as an animated GIF at `path`. The verdict's status, or 2
// for a record that cannot be read or a stretch the run does not have, 1 when
// the file cannot be written; either way with nothing written, and the reason
// in the verdict line (a record) or as one line on `err`.
int clipRecord(const std::vector<std::uint8_t>& bytes, const clip::ClipOptions& options,
               const std::string& path, std::FILE* out, std::FILE* err);
// The record as the fragment of a link: "#run=<base64url>".
std::string linkFragment(const std::vector<std::uint8_t>& bytes);

} // namespace nuvalo::sim
