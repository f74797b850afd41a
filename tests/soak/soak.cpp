// nuvalo-soak: plays the real game code (the host, the simulation, the
// best-score file and the frame composition) for as many ticks as asked, with
// the players of players.h at the keys and the mouse, and checks after every
// input and tick what must always hold: the invariants of the game state,
// that the start controls act only while halted, that every crash sequence
// ends and every tally completes and saves what it must, that nothing
// allocates, and (under the sanitizers) that no frame touches memory outside
// its surfaces. Deterministic for a given seed; prints its figures at the end.
#include "host/host.h"
#include "persist/best_score.h"
#include "tests/soak/players.h"
#include "tests/support/alloc_count.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

#include <sys/stat.h>
#include <unistd.h>

namespace nuvalo::soak {

namespace {

// The shell's clock moves one unit an input and no session comes near a
// period of it: a timer armed by a run start is due exactly one period after
// the message that started the run, and no tick is ever due by the clock.
constexpr std::uint64_t kPeriod = std::uint64_t{1} << 40;
// From the hit to the tally: four ticks to counter 5, then at least 1 a tick.
constexpr std::uint64_t kLongestCrash = 500;
// 181 steps of the tally, then the paint that completes it.
constexpr int kTallyPaints = 182;

struct Options {
    std::uint64_t ticks = 1'000'000;
    std::uint64_t seed = 1;
    std::uint32_t frameEvery = 16;
    std::uint64_t maxSessionTicks = 5'000'000;
    double progressSeconds = 0;
    const char* dir = nullptr;
    PlayerOptions player;
    std::string commandLine; // as given, to repeat a failed run
};

struct Figures {
    std::uint64_t ticks = 0;
    std::uint64_t messages = 0;
    std::uint64_t paints = 0;
    std::uint64_t frames = 0;
    std::uint64_t sessions = 0;
    std::uint64_t escapes = 0;
    std::uint64_t runs = 0;
    std::uint64_t runsByStyle[kStyleCount] = {};
    std::uint64_t crashes = 0;
    std::uint64_t tallies = 0;
    std::uint64_t savesWritten = 0;
    std::uint64_t savesKept = 0;
    std::uint64_t targets[2] = {};
    std::uint64_t ticksNegativeSpeed = 0;
    std::uint64_t ticksStandingStill = 0;
    std::uint64_t ticksTopSpeed = 0;
    std::uint64_t longestRun = 0;
    std::uint64_t longestCrash = 0;
    std::uint64_t ignoredStarts = 0;
    std::uint64_t dodgersHit = 0; // survivors hit before their time was up
    float minSpeed = 0;
    float maxDistance = 0;
    float minDistance = 0;
};

// What "save.dat" holds, as the soak put it there or expects it.
struct SaveModel {
    bool exists = false;
    std::string bytes;
    std::int32_t value = 0; // the number the game must read; 0 when none
};

class SoakShell final : public Shell {
  public:
    static constexpr int kMaxCues = 8;

    std::uint64_t now() override { return clock; }
    void show(const Bitmap& /*frame*/) override {}
    void play(Cue cue) override {
        if (cueCount < kMaxCues) {
            cues[cueCount] = cue;
        }
        ++cueCount;
    }
    float loadBest() override { return nuvalo::loadBest(); }
    bool saveBestIfHigher(std::int32_t score) override {
        return nuvalo::saveBestIfHigher(score) == 1;
    }
    void ended(int exitCode) override { endedWith = exitCode; }

    bool playedOnly(Cue cue) const { return cueCount == 1 && cues[0] == cue; }

    std::uint64_t clock = 0;
    Cue cues[kMaxCues] = {};
    int cueCount = 0;
    int endedWith = -1;
};

std::string readFile(const char* path, bool& exists) {
    std::ifstream in(path, std::ios::binary);
    exists = in.is_open();
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Everything but the input fields, which messages other than ticks and
// paints may change.
bool sameGame(const GameState& a, const GameState& b) {
    GameState x = a;
    x.leftHeld = b.leftHeld;
    x.rightHeld = b.rightHeld;
    x.steer = b.steer;
    x.mouseX = b.mouseX;
    x.mouseY = b.mouseY;
    return x == b;
}

std::int32_t expectedScore(const GameState& s) {
    // Formed independently of the game's own score: whole pixels of the
    // distance plus the bonuses, saturated to the int32 range.
    const double d = std::trunc(static_cast<double>(s.distance));
    const double sum = d + 2000.0 * s.targetsDown[0] + 10000.0 * s.targetsDown[1];
    return sum >= 2147483647.0    ? INT32_MAX
           : sum <= -2147483648.0 ? INT32_MIN
                                  : static_cast<std::int32_t>(sum);
}

class Soak {
  public:
    explicit Soak(const Options& options) : options_(options), rng_(options.seed) {}

    int run();

  private:
    void session(std::uint64_t index);
    void prepareSaveFile();
    void handle(const Event& e);
    void paint(bool tick);
    void checkRunStart(const GameState& before);
    void checkTick(const GameState& before);
    void checkPaint(const GameState& before);
    void checkSave(std::int32_t score, bool announced);
    void checkClose();
    void noteTick();
    void progress(bool last);
    [[noreturn]] void fail(const char* format, ...);

    template <typename... Args> void expect(bool ok, const char* format, Args... args) {
        if (!ok) {
            fail(format, args...);
        }
    }

    const GameState& state() const { return host_->state(); }

    Options options_;
    Random rng_;
    Figures figures_;
    SaveModel save_;
    SoakShell shell_;
    std::optional<Host> host_;
    Player* player_ = nullptr;
    std::uint64_t session_ = 0;
    std::uint64_t ticksThisRun_ = 0;
    std::uint64_t crashTicks_ = 0;
    // When the timer is next due, as the clock said at the last run start.
    std::uint64_t deadline_ = 0;
    int tallyPaints_ = 0;
    bool tallySaved_ = false;
    // The keys the host saw pressed and not yet released.
    std::array<bool, 256> held_{};
    std::int32_t mouseX_ = 0;
    std::int32_t mouseY_ = 0;
    const char* lastMessage_ = "create";
    std::chrono::steady_clock::time_point started_;
    std::chrono::steady_clock::time_point lastProgress_;
};

void Soak::fail(const char* format, ...) {
    std::fprintf(stderr,
                 "nuvalo-soak: FAILED at tick %" PRIu64 " (session %" PRIu64 ", run %" PRIu64
                 ", %s player, tick %" PRIu64 " of the run, after %s): ",
                 figures_.ticks, session_, figures_.runs,
                 player_ != nullptr ? styleName(player_->style()) : "no", ticksThisRun_,
                 lastMessage_);
    std::va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    if (host_) {
        const GameState& s = host_->state();
        std::fprintf(stderr,
                     "\n  state: running %d crashTimer %d resultPhase %d resultTicks %d "
                     "bestScore %.9g\n  star (%d, %d) steer %d held %d/%d mouse (%d, %d) "
                     "distance %.9g speed %.9g targets %d/%d\n  boulder (%d, %d) target (%d, %d) "
                     "kind %d drift %d/%d stones[0] (%d, %d) stones[8] (%d, %d)\n",
                     s.running, s.crashTimer, s.resultPhase, s.resultTicks,
                     static_cast<double>(s.bestScore), s.starX, s.starY, s.steer, s.leftHeld,
                     s.rightHeld, s.mouseX, s.mouseY, static_cast<double>(s.distance),
                     static_cast<double>(s.speed), s.targetsDown[0], s.targetsDown[1], s.boulderX,
                     s.boulderY, s.targetX, s.targetY, s.targetKind, s.driftTicks, s.driftDir,
                     s.stones[0].x, s.stones[0].y, s.stones[8].x, s.stones[8].y);
    }
    char folder[4096] = "?";
    if (getcwd(folder, sizeof folder) == nullptr) {
        std::snprintf(folder, sizeof folder, "?");
    }
    std::fprintf(stderr, "  rerun:%s (save.dat left in %s)\n", options_.commandLine.c_str(),
                 folder);
    std::exit(1);
}

void Soak::prepareSaveFile() {
    // Each program start finds a different "save.dat": the one the last
    // session left, none, or something a player or another program wrote.
    char text[64];
    switch (rng_.below(10)) {
    case 0:
    case 1:
        std::remove(kSaveFile);
        save_ = {};
        return;
    case 2:
        std::snprintf(text, sizeof text, "not a number\n");
        save_.value = 0;
        break;
    case 3: {
        const std::int32_t v = rng_.between(-1000, 60000);
        std::snprintf(text, sizeof text, " \t%" PRId32 " points\r\n", v);
        save_.value = v;
        break;
    }
    case 4:
        std::snprintf(text, sizeof text, rng_.chance(2) ? "99999999999\n" : "-2147483649\n");
        save_.value = text[0] == '-' ? INT32_MIN : INT32_MAX;
        break;
    case 5: {
        const std::int32_t v = rng_.between(0, 30000);
        std::snprintf(text, sizeof text, "%" PRId32 "\n", v);
        save_.value = v;
        break;
    }
    default:
        return; // as the last session left it
    }
    std::FILE* file = std::fopen(kSaveFile, "wb");
    expect(file != nullptr && std::fputs(text, file) >= 0 && std::fclose(file) == 0,
           "cannot write %s: %s", kSaveFile, std::strerror(errno));
    save_.exists = true;
    save_.bytes = text;
}

int Soak::run() {
    started_ = lastProgress_ = std::chrono::steady_clock::now();
    std::remove(kSaveFile);

    for (std::uint64_t i = 0; figures_.ticks < options_.ticks; ++i) {
        session(i);
    }
    progress(true);
    return 0;
}

void Soak::session(std::uint64_t index) {
    session_ = index;
    ++figures_.sessions;
    prepareSaveFile();
    shell_ = SoakShell{};
    host_.emplace(shell_, kPeriod * TickScheduler::kTicksPerSecond, false);
    held_ = {};
    mouseX_ = mouseY_ = 0;
    Player player(rng_.next(), options_.player);
    player_ = &player;

    lastMessage_ = "create";
    host_->create(static_cast<std::uint32_t>(rng_.next()));
    deadline_ = shell_.clock + kPeriod;
    const Wake wake = host_->advance();
    const GameState& s = state();
    expect(s.running == 0 && s.speed == 0.0f && s.crashTimer == 0 && s.resultPhase == 0 &&
               s.starX == 200 && s.starY == -20 && !wake.ticked && wake.at == deadline_,
           "the window does not open on a halted, prepared run with its timer running");
    expect(s.bestScore == static_cast<float>(save_.value),
           "bestScore %.9g at creation, save.dat holds %" PRId32, static_cast<double>(s.bestScore),
           save_.value);

    const std::uint64_t budget =
        std::min(rng_.logUniform(1'000, std::max<std::uint64_t>(options_.maxSessionTicks, 1'001)),
                 options_.ticks - figures_.ticks);
    Events events;
    for (std::uint64_t t = 0; t < budget && !host_->ended(); ++t) {
        player.decide(state(), ticksThisRun_, events);
        for (int i = 0; i < events.count && !host_->ended(); ++i) {
            handle(events.event[i]);
        }
        if (host_->ended()) {
            ++figures_.escapes;
            break;
        }
        paint(true);
        if (options_.progressSeconds > 0 && (figures_.ticks & 0xFFFF) == 0) {
            progress(false);
        }
    }

    // The window closes: by Escape, or as the close box would.
    if (!host_->ended()) {
        shell_.cueCount = 0;
        lastMessage_ = "close";
        host_->close();
    }
    checkClose();
    player_ = nullptr;
    host_.reset();
}

void Soak::handle(const Event& e) {
    const GameState before = state();
    const std::uint64_t allocations = test::allocationCount();
    bool& held = held_[static_cast<std::size_t>(e.a) & 0xFF];
    shell_.cueCount = 0;
    ++shell_.clock;
    ++figures_.messages;
    bool starts = false;
    switch (e.kind) {
    case EventKind::keyDown:
        lastMessage_ = "keydown";
        host_->keyDown(e.a);
        held = true;
        break;
    case EventKind::keyUp: {
        lastMessage_ = "keyup";
        // A release whose press the host never saw does nothing at all.
        const bool seen = held;
        held = false;
        host_->keyUp(e.a);
        starts = seen && before.running == 0 && e.a == kVkSpace;
        expect(host_->ended() == (seen && e.a == kVkEscape), "keyup %d %s the window", e.a,
               host_->ended() ? "closes" : "does not close");
        break;
    }
    case EventKind::pointerMove:
        lastMessage_ = "pointermove";
        host_->pointerMove({e.a, e.b});
        mouseX_ = e.a & 0xFFFF;
        mouseY_ = e.b & 0xFFFF;
        break;
    case EventKind::pointerDown:
        lastMessage_ = "pointerdown";
        host_->pointerDown();
        starts = before.running == 0 && mouseX_ >= kButtonLeft && mouseX_ <= kButtonRight &&
                 mouseY_ >= kButtonTop && mouseY_ <= kButtonBottom;
        break;
    case EventKind::repaint:
        paint(false);
        return;
    }
    expect(test::allocationCount() == allocations, "%s allocated memory", lastMessage_);
    if (host_->ended()) {
        return;
    }
    const GameState& s = state();
    const int left = held_[kVkLeft] ? 1 : 0;
    const int right = held_[kVkRight] ? 1 : 0;
    expect(s.leftHeld == left && s.rightHeld == right, "held keys %d/%d, expected %d/%d",
           s.leftHeld, s.rightHeld, left, right);
    expect(s.steer == right - left, "steer %d with keys %d/%d held", s.steer, left, right);
    expect(s.mouseX == mouseX_ && s.mouseY == mouseY_, "mouse at (%d, %d), moved to (%d, %d)",
           s.mouseX, s.mouseY, mouseX_, mouseY_);
    const Wake wake = host_->advance();
    if (starts) {
        deadline_ = shell_.clock + kPeriod;
    }
    expect(!wake.ticked && !wake.untilInput && wake.at == deadline_,
           starts ? "a run start does not re-arm the timer" : "%s re-arms the timer", lastMessage_);
    if (starts) {
        checkRunStart(before);
    } else {
        if (before.running != 0 &&
            (e.kind == EventKind::pointerDown || (e.kind == EventKind::keyUp && e.a == kVkSpace))) {
            ++figures_.ignoredStarts;
        }
        expect(sameGame(before, s) && shell_.cueCount == 0, "%s changed the game", lastMessage_);
    }
}

void Soak::checkRunStart(const GameState& before) {
    const GameState& s = state();
    expect(s.running == 1 && s.crashTimer == 0 && s.resultPhase == 0 && s.starX == 200 &&
               s.starY == -20 && s.distance == 0.0f && s.speed == 5.0f && s.targetsDown[0] == 0 &&
               s.targetsDown[1] == 0,
           "the run does not start afresh");
    expect(s.driftTicks == before.driftTicks && s.driftDir == before.driftDir &&
               s.resultTicks == before.resultTicks,
           "a run start touches the drift or the tally counter");
    expect(s.bestScore == static_cast<float>(save_.value),
           "bestScore %.9g at run start, save.dat holds %" PRId32, static_cast<double>(s.bestScore),
           save_.value);
    expect(s.boulderY >= 500 && s.boulderY < 600 && s.boulderX >= 0 && s.boulderX < 350 &&
               s.targetY >= 1500 && s.targetY < 2000 && s.targetX >= 0 && s.targetX < 375 &&
               s.stones[0].y == 500 && s.stones[0].x >= 0 && s.stones[0].x < 376,
           "objects placed outside their ranges");
    for (int i = 0; i < kStoneCount; ++i) {
        expect(s.stones[i].x >= -18 && s.stones[i].x <= 393, "stone %d placed at x %d", i,
               s.stones[i].x);
    }
    ticksThisRun_ = 0;
    crashTicks_ = 0;
    ++figures_.runs;
    player_->newRun();
    ++figures_.runsByStyle[static_cast<int>(player_->style())];
}

// A tick (the timer message and its paint) or a paint the system asks for.
void Soak::paint(bool tick) {
    const GameState before = state();
    const std::uint64_t allocations = test::allocationCount();
    shell_.cueCount = 0;
    lastMessage_ = tick ? "tick" : "paint";
    if (tick) {
        host_->tick();
        ++figures_.ticks;
        ++figures_.messages;
    } else {
        host_->repaint();
    }
    ++figures_.paints;
    ++figures_.messages;
    // Frames are composed at every moment that draws something special and
    // at random in between; the other paints run only the tally's steps.
    const GameState& s = state();
    const bool tallyEdge =
        (s.resultPhase == 1 && (s.resultTicks % 30 <= 1 || s.resultTicks >= 180)) ||
        (s.resultPhase == 2 && before.resultPhase == 1);
    if (options_.frameEvery <= 1 || (s.crashTimer > 0 && s.crashTimer < 7) || tallyEdge ||
        (s.speed < 0.0f && rng_.chance(8)) || rng_.chance(options_.frameEvery)) {
        ++figures_.frames;
        // The panel is drawn last on every frame, its white ground reaching
        // the frame's last column and row.
        const Bitmap& frame = host_->paintedFrame();
        expect(frame.pixels != nullptr && frame.pixels[kFrameWidth * kFrameHeight - 1] == kWhite &&
                   frame.pixels[kFrameWidth * 2 - 1] == kWhite,
               "no frame, or the panel's ground is not white");
    }
    expect(test::allocationCount() == allocations, "a %s allocated memory", lastMessage_);
    if (!tick || before.running == 0 || before.resultPhase != 0) {
        // Halted or tallying, a tick itself does nothing: its paint may.
        checkPaint(before);
        return;
    }
    checkTick(before);
    noteTick();
}

void Soak::checkTick(const GameState& before) {
    const GameState& s = state();
    ++ticksThisRun_;
    expect(s.starX >= 12 && s.starX <= 388, "starX %d", s.starX);
    expect(s.starY <= 80, "starY %d", s.starY);
    for (int i = 1; i < kStoneCount; ++i) {
        expect(std::int64_t{s.stones[i].y} == std::int64_t{s.stones[0].y} + 50 * i,
               "stone %d at y %d, stone 0 at %d", i, s.stones[i].y, s.stones[0].y);
    }
    expect(s.speed <= 20.0f, "speed %.9g after a tick", static_cast<double>(s.speed));
    expect(s.targetKind == 0 || s.targetKind == 1, "targetKind %d", s.targetKind);
    expect(s.driftDir == 1 || s.driftDir == -1, "driftDir %d", s.driftDir);
    expect(s.driftTicks >= 0 && s.driftTicks <= 40, "driftTicks %d", s.driftTicks);
    expect(s.running == 1, "a tick ended the run");
    expect(s.bestScore == before.bestScore, "bestScore changed during a run");

    if (before.crashTimer != 0) {
        // The crash sequence: the star and its figures frozen, the counter
        // climbing until the tally begins.
        ++crashTicks_;
        expect(s.distance == before.distance && s.speed == before.speed &&
                   s.starX == before.starX && s.starY == before.starY &&
                   s.targetsDown[0] == before.targetsDown[0] &&
                   s.targetsDown[1] == before.targetsDown[1],
               "the star or its figures moved during the crash");
        expect(s.crashTimer > before.crashTimer, "the crash counter went from %d to %d",
               before.crashTimer, s.crashTimer);
        expect(s.resultPhase == (s.crashTimer > 500 ? 1 : 0), "resultPhase %d at crash counter %d",
               s.resultPhase, s.crashTimer);
        expect(shell_.cueCount == 0, "a cue during the crash sequence");
        expect(crashTicks_ <= kLongestCrash, "the crash sequence runs on after %" PRIu64 " ticks",
               crashTicks_);
        if (s.resultPhase == 1) {
            // The tick's own paint took the tally's first step.
            figures_.longestCrash = std::max(figures_.longestCrash, crashTicks_);
            expect(s.resultTicks == 1, "the tally starts at step %d", s.resultTicks - 1);
            tallyPaints_ = 1;
            tallySaved_ = false;
        }
        return;
    }

    expect(s.resultPhase == 0, "a result without a crash");
    if (s.crashTimer != 0) {
        expect(s.crashTimer == 1 && shell_.playedOnly(Cue::hit),
               "a hit sets the counter to %d with %d cues", s.crashTimer, shell_.cueCount);
        expect(s.targetsDown[0] == before.targetsDown[0] &&
                   s.targetsDown[1] == before.targetsDown[1],
               "a hit also took the target");
        ++figures_.crashes;
        crashTicks_ = 0;
        if (player_->style() == Style::survivor && ticksThisRun_ < player_->plannedTicks()) {
            ++figures_.dodgersHit;
        }
        figures_.longestRun = std::max(figures_.longestRun, ticksThisRun_);
    } else if (s.targetsDown[0] != before.targetsDown[0] ||
               s.targetsDown[1] != before.targetsDown[1]) {
        const int kind = s.targetsDown[1] != before.targetsDown[1] ? 1 : 0;
        expect(s.targetsDown[kind] == before.targetsDown[kind] + 1 &&
                   s.targetsDown[1 - kind] == before.targetsDown[1 - kind],
               "targets taken went from %d/%d to %d/%d", before.targetsDown[0],
               before.targetsDown[1], s.targetsDown[0], s.targetsDown[1]);
        expect(before.targetKind == kind && shell_.playedOnly(Cue::target),
               "a target of kind %d counted as kind %d, %d cues", before.targetKind, kind,
               shell_.cueCount);
        // Slowed by 3 or 6 from the grown and capped speed.
        const double grown = std::min(static_cast<double>(before.speed) + 0.01, 20.0);
        const double slowed = grown - (3.0 * kind + 3.0);
        expect(std::fabs(static_cast<double>(s.speed) - slowed) < 1e-3,
               "speed %.9g after taking a target at %.9g", static_cast<double>(s.speed),
               static_cast<double>(before.speed));
        ++figures_.targets[kind];
    } else {
        expect(shell_.cueCount == 0, "%d cues in a quiet tick", shell_.cueCount);
    }
}

void Soak::noteTick() {
    const GameState& s = state();
    if (s.crashTimer != 0) {
        return;
    }
    figures_.minSpeed = std::min(figures_.minSpeed, s.speed);
    figures_.maxDistance = std::max(figures_.maxDistance, s.distance);
    figures_.minDistance = std::min(figures_.minDistance, s.distance);
    figures_.ticksNegativeSpeed += s.speed < 0.0f ? 1 : 0;
    figures_.ticksStandingStill += s.speed > -1.0f && s.speed < 1.0f ? 1 : 0;
    figures_.ticksTopSpeed += s.speed == 20.0f ? 1 : 0;
}

void Soak::checkPaint(const GameState& before) {
    const GameState& s = state();
    if (before.resultPhase != 1) {
        expect(before == s && shell_.cueCount == 0, "a paint changed the game");
        return;
    }
    ++tallyPaints_;
    expect(tallyPaints_ <= kTallyPaints, "the tally runs on after %d paints", tallyPaints_);
    GameState expected = before;
    if (before.resultTicks > 180) {
        expected.running = 0;
        expected.resultTicks = 0;
        expected.resultPhase = 2;
        expect(expected == s && shell_.cueCount == 0, "the tally does not complete after step %d",
               before.resultTicks);
        expect(tallyPaints_ == kTallyPaints && tallySaved_,
               "the tally completes after %d paints, %s", tallyPaints_,
               tallySaved_ ? "saved" : "without its save step");
        ++figures_.tallies;
        return;
    }
    expected.resultTicks = before.resultTicks + 1;
    expect(expected == s, "a tally step changed more than its counter");
    switch (s.resultTicks) {
    case 60:
    case 120:
    case 150:
        expect(shell_.playedOnly(Cue::tallyStep), "tally step %d without its cue", s.resultTicks);
        break;
    case 180:
        tallySaved_ = true;
        checkSave(expectedScore(s), true);
        break;
    default:
        expect(shell_.cueCount == 0, "a cue at tally step %d", s.resultTicks);
        break;
    }
}

void Soak::checkSave(std::int32_t score, bool announced) {
    const bool writes = !save_.exists || score >= save_.value;
    bool exists = false;
    const std::string bytes = readFile(kSaveFile, exists);
    struct stat info {};
    expect(stat("save.dat.tmp", &info) != 0, "a temporary file was left behind");
    // The saved cue only for the tally's own save, and only once the score is in.
    expect(announced && writes ? shell_.playedOnly(Cue::saved) : shell_.cueCount == 0,
           "%d cues for a save that %s", shell_.cueCount, writes ? "went in" : "did not");
    if (writes) {
        char text[16];
        std::snprintf(text, sizeof text, "%" PRId32 "\n", score);
        expect(exists && bytes == text, "save.dat holds \"%s\" after saving %" PRId32,
               bytes.c_str(), score);
        save_ = SaveModel{true, bytes, score};
        ++figures_.savesWritten;
    } else {
        expect(exists && bytes == save_.bytes,
               "save.dat changed although %" PRId32 " is below the stored %" PRId32, score,
               save_.value);
        ++figures_.savesKept;
    }
}

void Soak::checkClose() {
    expect(shell_.endedWith == 0, "closing the window does not end the game with 0");
    // A tally that had not saved yet keeps its score, quietly.
    const GameState& s = state();
    if (s.resultPhase == 1 && s.resultTicks < 180) {
        checkSave(expectedScore(s), false);
    } else {
        expect(shell_.cueCount == 0, "a cue as the window closes");
    }
    // The host let go of its drawing objects: the frame is all that still
    // reaches them.
    expect(host_->paintedFrame().pixels == nullptr, "the frame outlives the window");
}

void Soak::progress(bool last) {
    const auto now = std::chrono::steady_clock::now();
    const double elapsed = std::chrono::duration<double>(now - started_).count();
    if (!last &&
        std::chrono::duration<double>(now - lastProgress_).count() < options_.progressSeconds) {
        return;
    }
    lastProgress_ = now;
    const Figures& f = figures_;
    if (!last) {
        std::fprintf(stderr,
                     "nuvalo-soak: %" PRIu64 " ticks, %" PRIu64 " runs, %" PRIu64
                     " frames, %.0f s\n",
                     f.ticks, f.runs, f.frames, elapsed);
        return;
    }
    std::printf("nuvalo-soak: passed, seed %" PRIu64 "\n", options_.seed);
    std::printf("  ticks            %" PRIu64 " (%.0f per second, %.1f s)\n", f.ticks,
                static_cast<double>(f.ticks) / std::max(elapsed, 1e-9), elapsed);
    std::printf("  messages         %" PRIu64 " (%" PRIu64 " paints, %" PRIu64
                " frames composed)\n",
                f.messages, f.paints, f.frames);
    std::printf("  sessions         %" PRIu64 " (%" PRIu64 " closed by Escape)\n", f.sessions,
                f.escapes);
    std::printf("  runs             %" PRIu64 " (idle %" PRIu64 ", chaos %" PRIu64
                ", storm %" PRIu64 ", survivor %" PRIu64 ", hunter %" PRIu64 ")\n",
                f.runs, f.runsByStyle[0], f.runsByStyle[1], f.runsByStyle[2], f.runsByStyle[3],
                f.runsByStyle[4]);
    std::printf("  crashes          %" PRIu64 " (longest sequence %" PRIu64 " ticks)\n", f.crashes,
                f.longestCrash);
    std::printf("  tallies          %" PRIu64 " (%" PRIu64 " saved, %" PRIu64
                " kept a greater best)\n",
                f.tallies, f.savesWritten, f.savesKept);
    std::printf("  targets taken    %" PRIu64 " kind 0, %" PRIu64 " kind 1\n", f.targets[0],
                f.targets[1]);
    std::printf("  start ignored    %" PRIu64 " (Space or click during a run)\n", f.ignoredStarts);
    std::printf("  survivors hit    %" PRIu64 " before their time was up\n", f.dodgersHit);
    std::printf("  longest run      %" PRIu64 " ticks, distance up to %.9g, down to %.9g\n",
                f.longestRun, static_cast<double>(f.maxDistance),
                static_cast<double>(f.minDistance));
    std::printf("  speed            down to %.9g; %" PRIu64 " ticks negative, %" PRIu64
                " standing still, %" PRIu64 " at 20\n",
                static_cast<double>(f.minSpeed), f.ticksNegativeSpeed, f.ticksStandingStill,
                f.ticksTopSpeed);
}

bool parseCount(const char* text, std::uint64_t& value) {
    if (text == nullptr || *text < '0' || *text > '9') {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const double scaled = std::strtod(text, &end); // accepts 1e8
    if (errno != 0 || *end != '\0' || !(scaled >= 0) || scaled > 1.8e19) {
        return false;
    }
    value = static_cast<std::uint64_t>(scaled);
    return true;
}

constexpr const char* kUsage =
    "Usage: nuvalo-soak [options]\n"
    "Plays the game's own code with adversarial players and checks it after every message.\n"
    "  --ticks N          timer messages in all (default 1e6)\n"
    "  --seed N           seed of the players and the sessions (default 1)\n"
    "  --frame-every N    compose a frame on one paint in N besides the special ones (default 16;\n"
    "                     1 composes every frame)\n"
    "  --max-run-ticks N  longest run a dodging player flies (default 2e5)\n"
    "  --max-session N    longest program session in ticks (default 5e6)\n"
    "  --escape-one-in N  odds per tick of Escape for the chaos player (default 2e4)\n"
    "  --dir DIR          working folder for save.dat (default: a new one in $TMPDIR or /tmp)\n"
    "  --style N          only players of one style: 0 idle, 1 chaos, 2 storm, 3 survivor,\n"
    "                     4 hunter (default: a mix)\n"
    "  --progress SECONDS report progress on stderr this often\n";

} // namespace

} // namespace nuvalo::soak

int main(int argc, char** argv) {
    using namespace nuvalo::soak;
    Options options;
    for (int i = 0; i < argc; ++i) {
        options.commandLine += std::string(" ") + argv[i];
    }
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        std::uint64_t n = 0;
        bool ok = true;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--dir" && value != nullptr) {
            options.dir = value;
        } else if (!parseCount(value, n)) {
            ok = false;
        } else if (arg == "--ticks") {
            options.ticks = n;
        } else if (arg == "--seed") {
            options.seed = n;
        } else if (arg == "--frame-every" && n >= 1 && n <= 0xFFFFFFFF) {
            options.frameEvery = static_cast<std::uint32_t>(n);
        } else if (arg == "--max-run-ticks" && n >= 1) {
            options.player.maxRunTicks = n;
        } else if (arg == "--max-session" && n >= 1) {
            options.maxSessionTicks = n;
        } else if (arg == "--escape-one-in" && n >= 1 && n <= 0xFFFFFFFF) {
            options.player.escapeOneIn = static_cast<std::uint32_t>(n);
        } else if (arg == "--style" && n < kStyleCount) {
            options.player.style = static_cast<int>(n);
        } else if (arg == "--progress") {
            options.progressSeconds = static_cast<double>(n);
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "nuvalo-soak: bad option %s\n%s", argv[i], kUsage);
            return 2;
        }
        ++i;
    }

    std::string dir;
    if (options.dir != nullptr) {
        dir = options.dir;
    } else {
        const char* tmp = std::getenv("TMPDIR");
        dir = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/nuvalo-soak-XXXXXX";
        if (mkdtemp(dir.data()) == nullptr) {
            std::fprintf(stderr, "nuvalo-soak: cannot make a work folder: %s\n",
                         std::strerror(errno));
            return 2;
        }
    }
    if (chdir(dir.c_str()) != 0) {
        std::fprintf(stderr, "nuvalo-soak: cannot enter %s: %s\n", dir.c_str(),
                     std::strerror(errno));
        return 2;
    }
    const int status = Soak(options).run();
    std::remove("save.dat");
    if (options.dir == nullptr && chdir("/") == 0) {
        rmdir(dir.c_str());
    }
    return status;
}
