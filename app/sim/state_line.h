#pragma once
// The simulator's output lines: one JSON object per event with the whole game
// state, and the one-line message about a malformed script line.

#include "game/game_state.h"

#include <cstdint>
#include <cstdio>
#include <span>
#include <string_view>

namespace nuvalo::sim {

// {"event":"...","tick":N,...,"sounds":[...]} and a line feed. Floats are
// written as printf's "%.9g" writes them, enough to tell any two apart.
void writeStateLine(std::FILE* out, std::string_view event, std::uint64_t tick,
                    const GameState& state, std::span<const char* const> sounds);

// nuvalo-sim: line N: what: "the line" (its first 80 bytes, escaped).
void writeErrorLine(std::FILE* err, std::uint64_t lineNumber, const char* what,
                    std::string_view line);

} // namespace nuvalo::sim
