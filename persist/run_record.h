#pragma once
// A run as a record: what it depends on (the state it started from and the
// input changes by tick) and the result it claims. Written as bytes in the
// format docs/RUNS.md describes, and as a link's base64url text. Reading is
// for records from anywhere: anything malformed gets a one-line reason.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nuvalo {

// The input fields as they stood from one tick on.
struct InputFields {
    bool left = false;  // leftHeld
    bool right = false; // rightHeld
    std::uint16_t mouseX = 0;
    std::uint16_t mouseY = 0;

    bool operator==(const InputFields&) const = default;
};

struct InputChange {
    std::uint32_t tick = 0; // 1 for the run's first tick: in force from that tick on
    InputFields fields;

    bool operator==(const InputChange&) const = default;
};

struct RunRecord {
    std::uint16_t rules = 0;       // the version of the game's rules it was played by
    std::uint32_t randomState = 0; // the random source just before the run's start
    float bestScore = 0.0f;        // the best score shown when it started
    std::uint8_t driftTicks = 0;   // the target's drift, carried over from before
    std::int8_t driftDir = 1;
    InputFields start;                // the input fields when it started
    std::vector<InputChange> changes; // in order of tick, at most one per tick
    std::uint32_t ticks = 0;          // the claim: ticks until the result showed
    std::int32_t score = 0;           // and the score it tallies

    bool operator==(const RunRecord&) const = default;
};

// The largest record read or written, in bytes; a longer run is not kept.
inline constexpr std::size_t kMaxRecordBytes = std::size_t{64} * 1024;

std::vector<std::uint8_t> encodeRun(const RunRecord& run);

struct ReadRun {
    bool ok = false;
    RunRecord run;
    std::string reason; // one line, when not ok
};
// `rules` is this game's rules version: a record of another one is read (so
// that it can be told from a damaged one) but not ok, with a reason saying so.
ReadRun decodeRun(const std::uint8_t* bytes, std::size_t length, std::uint16_t rules);

// base64url without padding, as a link carries it.
std::string toBase64Url(const std::vector<std::uint8_t>& bytes);
// Empty and false for anything that is not base64url (or too long).
bool fromBase64Url(std::string_view text, std::vector<std::uint8_t>& bytes);

} // namespace nuvalo
