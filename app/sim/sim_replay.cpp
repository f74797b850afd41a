#include "app/sim/sim_script.h"

#include "app/sim/state_line.h"
#include "game/game.h"
#include "host/replay.h"
#include "persist/run_record.h"

#include <array>
#include <cstdio>

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

bool readRecordArgument(std::string_view fileOrLink, std::vector<std::uint8_t>& bytes,
                        std::string& reason) {
    bytes.clear();
    const std::string path(fileOrLink);
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        // One byte past the largest record tells a larger one.
        bytes.resize(kMaxRecordBytes + 1);
        bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
        const bool failed = std::ferror(file) != 0;
        std::fclose(file);
        if (failed) {
            reason = "cannot read " + path;
        }
        return !failed;
    }
    const std::size_t at = fileOrLink.find("#run=");
    if (at == std::string_view::npos) {
        reason = "cannot open " + path + " (and it is no link with #run=)";
        return false;
    }
    std::string_view text = fileOrLink.substr(at + 5);
    text = text.substr(0, text.find('&'));
    if (!fromBase64Url(text, bytes)) {
        reason = "the link's record is not base64url";
        return false;
    }
    return true;
}

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

std::string linkFragment(const std::vector<std::uint8_t>& bytes) {
    return "#run=" + toBase64Url(bytes);
}

} // namespace nuvalo::sim
