#include "app/sim/sim_script.h"

#include "app/sim/state_line.h"

#include "host/host.h"
#include "persist/best_score.h"
#include "persist/run_record.h"
#include "render/png.h"

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

namespace nuvalo::sim {

namespace {

// Longer lines are malformed: no command comes near this.
constexpr std::size_t kMaxLine = 256;
// A timer message and its paint start two cues at most; the rest is headroom.
constexpr int kMaxSounds = 8;
constexpr int kMaxWords = 3;

enum class Status { Continue, Exit, Error };

struct Words {
    std::string_view word[kMaxWords];
    int count = 0;
    bool tooMany = false;
};

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// Splits a line into words, dropping a '#' comment.
Words splitWords(std::string_view line) {
    Words words;
    const std::size_t hash = line.find('#');
    if (hash != std::string_view::npos) {
        line = line.substr(0, hash);
    }
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && isBlank(line[i])) {
            ++i;
        }
        const std::size_t start = i;
        while (i < line.size() && !isBlank(line[i])) {
            ++i;
        }
        if (i == start) {
            break;
        }
        if (words.count == kMaxWords) {
            words.tooMany = true;
            break;
        }
        words.word[words.count++] = line.substr(start, i - start);
    }
    return words;
}

// A decimal integer (a leading '-' only when `low` is negative) within [low, high].
bool parseNumber(std::string_view text, std::int64_t low, std::int64_t high, std::int64_t& value) {
    bool negative = false;
    if (!text.empty() && text[0] == '-' && low < 0) {
        negative = true;
        text.remove_prefix(1);
    }
    // Ten digits cannot overflow an int64; anything longer is out of range here.
    if (text.empty() || text.size() > 10) {
        return false;
    }
    std::int64_t magnitude = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        magnitude = magnitude * 10 + (c - '0');
    }
    value = negative ? -magnitude : magnitude;
    return value >= low && value <= high;
}

class Simulator final : public Shell {
  public:
    Simulator(const Options& options, std::FILE* out, std::FILE* err)
        : options_(options), out_(options.quiet ? nullptr : out), finalOut_(out), err_(err),
          host_(*this, kClockFrequency, false) {}

    void create() {
        beginEvent("create");
        host_.create(options_.seed);
        endEvent();
    }

    Status handleLine(std::string_view line, std::uint64_t number) {
        const Words words = splitWords(line);
        if (words.count == 0 && !words.tooMany) {
            return Status::Continue;
        }
        if (words.tooMany) {
            return fail(number, "too many words", line);
        }
        const std::string_view command = words.word[0];
        const int args = words.count - 1;
        std::int64_t a = 0;
        std::int64_t b = 0;
        if (command == "keydown" || command == "keyup") {
            if (args != 1 || !parseNumber(words.word[1], 0, 255, a)) {
                return fail(number, "expected a virtual key from 0 to 255", line);
            }
            beginEvent(words);
            key(static_cast<int>(a), command == "keydown");
        } else if (command == "mousemove") {
            if (args != 2 || !parseNumber(words.word[1], -32768, 65535, a) ||
                !parseNumber(words.word[2], -32768, 65535, b)) {
                return fail(number, "expected X and Y from -32768 to 65535", line);
            }
            beginEvent(words);
            host_.pointerMove({static_cast<int>(a), static_cast<int>(b)});
        } else if (command == "lbuttondown" || command == "lbuttonup" || command == "paint") {
            if (args != 0) {
                return fail(number, "expected no arguments", line);
            }
            beginEvent(words);
            if (command == "lbuttondown") {
                host_.pointerDown();
            } else if (command == "paint") {
                host_.repaint();
            }
        } else if (command == "snapshot") {
            if (args != 1) {
                return fail(number, "expected a PNG file path", line);
            }
            // The path is a word of a line of at most kMaxLine bytes.
            char path[kMaxLine + 1] = {};
            words.word[1].copy(path, kMaxLine);
            beginEvent(words);
            if (!writePng(path, host_.paintedFrame())) {
                return fail(number, "cannot write the PNG file", line);
            }
        } else if (command == "timer") {
            a = 1;
            if (args > 1 ||
                (args == 1 && !parseNumber(words.word[1], 1, options_.maxTimerCount, a))) {
                return fail(number, "expected an optional count from 1 to the limit", line);
            }
            beginEvent(words);
            runTimers(static_cast<std::uint64_t>(a));
            return Status::Continue;
        } else {
            return fail(number, "unknown command", line);
        }
        endEvent();
        return host_.ended() ? Status::Exit : Status::Continue;
    }

    Status tooLong(std::uint64_t number, std::string_view start) {
        return fail(number, "line too long", start);
    }

    int exitStatus(Status status) const {
        if (status == Status::Error) {
            return kExitBadScript;
        }
        // A run record that could not be written is output lost.
        return recordLost_ ? 1 : exitCode_;
    }

    // The quiet run's one line: the state after the last event.
    void finish() {
        if (options_.quiet && finalOut_ != nullptr) {
            printState(finalOut_);
        }
    }

    // The script's own clock: one period per timer message.
    std::uint64_t now() override { return ticks_; }
    void show(const Bitmap& /*frame*/) override {}
    void play(Cue cue) override {
        if (soundCount_ < kMaxSounds) {
            sounds_[soundCount_++] = cueFile(cue);
        }
    }
    float loadBest() override { return nuvalo::loadBest(); }
    bool saveBestIfHigher(std::int32_t score) override {
        return nuvalo::saveBestIfHigher(score) != 0;
    }
    void ended(int exitCode) override { exitCode_ = exitCode; }
    void runRecorded(const RunRecord& run) override {
        if (options_.runsDir.empty()) {
            return;
        }
        ++runsWritten_;
        const std::string path = options_.runsDir + "/" + std::to_string(runsWritten_) + ".nuvrun";
        const std::vector<std::uint8_t> bytes = encodeRun(run);
        std::FILE* file =
            bytes.size() <= kMaxRecordBytes ? std::fopen(path.c_str(), "wb") : nullptr;
        bool ok =
            file != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        ok = file != nullptr && std::fclose(file) == 0 && ok;
        if (!ok) {
            recordLost_ = true;
            if (err_ != nullptr) {
                std::fprintf(err_, "nuvalo-sim: cannot write the run record %s\n", path.c_str());
            }
        }
    }

  private:
    void beginEvent(std::string_view text) {
        eventLength_ = text.copy(event_, kMaxLine);
        soundCount_ = 0;
    }

    // The event's text is its words with the spaces between them folded to one.
    void beginEvent(const Words& words) {
        std::size_t length = 0;
        for (int i = 0; i < words.count && length < kMaxLine; ++i) {
            if (i > 0) {
                event_[length++] = ' ';
            }
            length += words.word[i].copy(event_ + length, kMaxLine - length);
        }
        eventLength_ = length;
        soundCount_ = 0;
    }

    void endEvent() {
        if (out_ != nullptr) {
            printState(out_);
        }
    }

    // A key as the script says: a release of a key the script never pressed
    // counts as pressed just before (scripts leave out presses that change
    // nothing, and the game only heeds releases it saw the press of).
    void key(int vk, bool down) {
        const auto k = static_cast<std::size_t>(vk);
        if (down || !held_[k]) {
            host_.keyDown(vk);
        }
        held_[k] = down;
        if (!down) {
            host_.keyUp(vk);
        }
    }

    // Every timer message is followed by one paint (the host's tick). Pixels
    // are drawn only when a snapshot asks for them: a paint's effect on the
    // state does not depend on them, and drawing every frame would cost a
    // hundred times more than the tick.
    void runTimers(std::uint64_t count) {
        for (std::uint64_t i = 0; i < count; ++i) {
            soundCount_ = 0;
            ++ticks_;
            host_.tick();
            endEvent();
        }
    }

    Status fail(std::uint64_t number, const char* what, std::string_view line) {
        if (err_ != nullptr) {
            writeErrorLine(err_, number, what, line);
        }
        return Status::Error;
    }

    void printState(std::FILE* out) const {
        writeStateLine(out, std::string_view(event_, eventLength_), ticks_, host_.state(),
                       std::span(sounds_, static_cast<std::size_t>(soundCount_)));
    }

    Options options_;
    std::FILE* out_;      // per-event lines; null when quiet
    std::FILE* finalOut_; // the quiet run's last line
    std::FILE* err_;
    static constexpr std::uint64_t kClockFrequency = 50;
    Host host_;
    std::bitset<256> held_;
    char event_[kMaxLine] = {};
    std::size_t eventLength_ = 0;
    const char* sounds_[kMaxSounds] = {};
    int soundCount_ = 0;
    std::uint64_t ticks_ = 0;
    std::uint64_t runsWritten_ = 0;
    bool recordLost_ = false;
    int exitCode_ = kExitOk;
};

// Feeds lines to the simulator until the script ends, the window closes or a
// line is malformed.
template <typename NextLine> int play(Simulator& sim, NextLine nextLine) {
    sim.create();
    std::string_view line;
    std::uint64_t number = 0;
    bool tooLong = false;
    while (nextLine(line, tooLong)) {
        ++number;
        const Status status = tooLong ? sim.tooLong(number, line) : sim.handleLine(line, number);
        if (status == Status::Error) {
            return sim.exitStatus(status);
        }
        if (status == Status::Exit) {
            break;
        }
    }
    sim.finish();
    return sim.exitStatus(Status::Exit);
}

} // namespace

int runScript(std::FILE* in, const Options& options, std::FILE* out, std::FILE* err) {
    Simulator sim(options, out, err);
    char buffer[kMaxLine + 1];
    return play(sim, [&](std::string_view& line, bool& tooLong) {
        std::size_t length = 0;
        int c = std::getc(in);
        if (c == EOF) {
            return false;
        }
        while (c != EOF && c != '\n') {
            if (length == kMaxLine) {
                tooLong = true;
                break;
            }
            buffer[length++] = static_cast<char>(c);
            c = std::getc(in);
        }
        line = std::string_view(buffer, length);
        return true;
    });
}

int runScript(std::string_view script, const Options& options, std::FILE* out, std::FILE* err) {
    Simulator sim(options, out, err);
    return play(sim, [&](std::string_view& line, bool& tooLong) {
        if (script.empty()) {
            return false;
        }
        const std::size_t end = script.find('\n');
        line = script.substr(0, end);
        script.remove_prefix(end == std::string_view::npos ? script.size() : end + 1);
        tooLong = line.size() > kMaxLine;
        return true;
    });
}

} // namespace nuvalo::sim
