#include "app/sim/sim_script.h"

#include "app/sim/state_line.h"
#include "game/game.h"
#include "host/replay.h"
#include "persist/run_record.h"

#include <array>
#include <cstdio>
#include <memory>

namespace nuvalo::sim {

namespace {

void writeVerdict(std::FILE* out, bool verified, std::uint32_t ticks, std::int32_t score,
                  const std::string& reason) {
    std::fprintf(out, "{\"verified\":%s,\"ticks\":%u,\"score\":%d", verified ? "true" : "false",
                 static_cast<unsigned>(ticks), static_cast<int>(score));
    if (!reason.empty()) {
        // Reasons are the game's own plain words: no quotes or backslashes.
        std::fprintf(out, ",\"reason\":\"%s\"", reason.c_str());
    }
    std::fputs("}\n", out);
}

} // namespace

int replayRecord(const std::vector<std::uint8_t>& bytes, std::FILE* out) {
    const ReadRun read = decodeRun(bytes.data(), bytes.size(), kRulesVersion);
    if (!read.ok) {
        writeVerdict(out, false, 0, 0, read.reason);
        return kExitBadRecord;
    }
    const ReplayVerdict verdict =
        replayRun(read.run, [out](std::uint32_t tick, const GameState& s, const Effects& effects) {
            std::array<const char*, Effects::kMaxCues> sounds{};
            for (int i = 0; i < effects.cueCount; ++i) {
                sounds[static_cast<std::size_t>(i)] =
                    cueFile(effects.cues[static_cast<std::size_t>(i)]);
            }
            writeStateLine(out, "replay", tick, s,
                           std::span(sounds.data(), static_cast<std::size_t>(effects.cueCount)));
        });
    writeVerdict(out, verdict.verified, verdict.ticks, verdict.score, verdict.reason);
    return verdict.verified ? kExitOk : kExitNotVerified;
}

int clipRecord(const std::vector<std::uint8_t>& bytes, const clip::ClipOptions& options,
               const std::string& path, std::FILE* out, std::FILE* err) {
    const std::unique_ptr<clip::GifWriter> writer = clip::makeGifWriter();
    if (writer == nullptr) {
        std::fputs("nuvalo-sim: this build makes no GIF clips\n", err);
        return kExitBadScript;
    }
    const ReadRun read = decodeRun(bytes.data(), bytes.size(), kRulesVersion);
    if (!read.ok) {
        writeVerdict(out, false, 0, 0, read.reason);
        return kExitBadRecord;
    }
    const ReplayVerdict verdict =
        replayRun(read.run, [](std::uint32_t, const GameState&, const Effects&) {});
    writeVerdict(out, verdict.verified, verdict.ticks, verdict.score, verdict.reason);
    // A run that does not reach its claim is still shown as its record plays.
    const clip::ClipResult made = clip::writeClip(read.run, options, path, *writer);
    if (!made.ok) {
        std::fprintf(err, "nuvalo-sim: %s\n", made.reason.c_str());
        return made.badStretch ? kExitBadScript : kExitNotWritten;
    }
    return verdict.verified ? kExitOk : kExitNotVerified;
}

std::string linkFragment(const std::vector<std::uint8_t>& bytes) {
    return "#run=" + toBase64Url(bytes);
}

} // namespace nuvalo::sim
