#include "host/host.h"

#include "game/game.h"
#include "host/replay.h"
#include "host/watch_bar.h"
#include "render/render.h"

#include <cmath>

namespace nuvalo {

namespace {

// The changes a run may record: a record of that many is near the largest
// one kept, and a longer run is not recorded.
constexpr std::size_t kMaxRecordedChanges = 8192;

// How long drawn watch controls stay up after they were last used, while the
// run plays on: three seconds of periods.
constexpr int kControlsPeriods = 150;
// How far an arrow moves a playing watch: five seconds of steps.
constexpr std::uint32_t kWatchSkip = 250;

// Where a key is held from: the keyboard, touches, and one bit per pad.
constexpr std::uint32_t kKeyboard = KeyHolders::kKeyboard;
constexpr std::uint32_t kTouch = 2;
constexpr std::uint32_t padSource(int slot) {
    return 4u << slot;
}

int clampTo(double v, int limit) {
    if (!(v >= 0.0)) { // NaN too
        return 0;
    }
    return v >= limit - 1 ? limit - 1 : static_cast<int>(v);
}

void updateSteer(GameState& s) {
    // Both keys or neither: straight down. Releasing one of two turns at once.
    s.steer = steerOf(s.leftHeld, s.rightHeld);
}

bool onStartButton(int x, int y) {
    return x >= kButtonLeft && x <= kButtonRight && y >= kButtonTop && y <= kButtonBottom;
}

// The mouse message's parameter as the window system packs it: x in the low
// 16 bits, y in the high 16, each cut to 16 bits and read back unsigned.
std::int32_t low16(int v) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(v) & 0xFFFFu);
}

} // namespace

FramePoint toFrame(double x, double y, double shownWidth, double shownHeight) {
    if (!(shownWidth > 0.0) || !(shownHeight > 0.0)) {
        return {};
    }
    return {clampTo(std::floor(x * kFrameWidth / shownWidth), kFrameWidth),
            clampTo(std::floor(y * kFrameHeight / shownHeight), kFrameHeight)};
}

Host::Host(Shell& shell, std::uint64_t clockFrequency, bool frames)
    : shell_(shell), scheduler_(clockFrequency), frames_(frames) {}

void Host::create(std::uint32_t seed) {
    if (created_) {
        return;
    }
    created_ = true;
    createDrawingResources(gdi_);
    record_.changes.reserve(kMaxRecordedChanges);
    srand(state_, seed);
    startRun(false);
    // The window opens on a prepared run that stands still until started.
    state_.speed = 0.0f;
    state_.running = 0;
}

void Host::startRun(bool byPlayer) {
    // A run depends on the random source, the drift and the input as they
    // stand now, and on the best score it reads: its record starts here.
    record_.rules = kRulesVersion;
    record_.randomState = state_.randomState;
    record_.driftTicks = static_cast<std::uint8_t>(state_.driftTicks);
    record_.driftDir = static_cast<std::int8_t>(state_.driftDir);
    record_.start = inputFieldsOf(state_);
    record_.changes.clear();
    record_.ticks = 0;
    nuvalo::startRun(state_, shell_.loadBest(), effects_);
    record_.bestScore = state_.bestScore;
    recording_ = byPlayer;
    bestPending_ = false;
    carryOut();
}

void Host::recordInput() {
    if (!recording_) {
        return;
    }
    ++record_.ticks;
    const InputFields fields = inputFieldsOf(state_);
    const InputFields& before =
        record_.changes.empty() ? record_.start : record_.changes.back().fields;
    if (fields == before) {
        return;
    }
    if (record_.changes.size() == kMaxRecordedChanges) {
        recording_ = false; // too long to keep
        return;
    }
    record_.changes.push_back({record_.ticks, fields});
}

void Host::recordResult() {
    if (recording_ && state_.resultPhase != 0) {
        recording_ = false;
        record_.score = runScore(state_);
        shell_.runRecorded(record_);
        bestPending_ = true;
    }
}

void Host::carryOut() {
    if (effects_.timerArmed) {
        scheduler_.arm(shell_.now());
    }
    for (int i = 0; i < effects_.cueCount; ++i) {
        shell_.play(effects_.cues[static_cast<std::size_t>(i)]);
    }
    if (effects_.save && shell_.saveBestIfHigher(effects_.save->score)) {
        if (effects_.save->announce) {
            shell_.play(Cue::saved);
        }
        // The record of the run whose score went in becomes the best run:
        // never before its score is safely kept.
        if (bestPending_ && record_.score == effects_.save->score) {
            shell_.bestRunKept(record_);
        }
        bestPending_ = false;
    }
    effects_.clear();
}

void Host::enter(const Input& input) {
    if (watch_ != nullptr) {
        enterWatch(input);
        destroyIfClosing();
        return;
    }
    GameState& s = state_;
    switch (input.kind) {
    case Input::Kind::keyDown:
    case Input::Kind::keyUp: {
        const int down = input.kind == Input::Kind::keyDown ? 1 : 0;
        if (input.vk == kVkLeft) {
            s.leftHeld = down;
        }
        if (input.vk == kVkRight) {
            s.rightHeld = down;
        }
        updateSteer(s);
        // Escape and Space act on release.
        if (down == 0 && input.vk == kVkEscape) {
            closeRequested_ = true;
        }
        if (down == 0 && s.running == 0 && input.vk == kVkSpace) {
            startRun(true);
        }
        break;
    }
    case Input::Kind::mouseMove:
        s.mouseX = input.x;
        s.mouseY = input.y;
        break;
    case Input::Kind::buttonDown:
        // The click's own position is not looked at: the last move decides.
        if (s.running == 0 && onStartButton(s.mouseX, s.mouseY)) {
            startRun(true);
        }
        break;
    case Input::Kind::focusLost:
        s.leftHeld = 0;
        s.rightHeld = 0;
        updateSteer(s);
        break;
    case Input::Kind::close:
        closeRequested_ = true;
        break;
    }
    destroyIfClosing();
}

void Host::destroyIfClosing() {
    if (!closeRequested_ || ended_) {
        return;
    }
    // The window goes once, between messages: an unfinished tally is kept
    // first, so quitting before its save does not cost the player the score.
    ended_ = true;
    saveUnfinishedTally(state_, effects_);
    carryOut();
    releaseDrawingResources(gdi_);
    shell_.ended(0);
}

bool Host::live() {
    if (!created_ || ended_) {
        return false;
    }
    inputSinceTick_ = true;
    return true;
}

void Host::hold(int vk, std::uint32_t source, bool down) {
    if (down ? holders_.press(vk, source) : holders_.release(vk, source)) {
        enter({down ? Input::Kind::keyDown : Input::Kind::keyUp, vk});
    }
}

void Host::keyDown(int vk) {
    if (!live() || !KeyHolders::isGameKey(vk)) {
        return;
    }
    holders_.press(vk, kKeyboard);
    // Auto-repeat comes as further key-downs and changes nothing.
    enter({Input::Kind::keyDown, vk});
}

void Host::keyUp(int vk) {
    if (live() && KeyHolders::isGameKey(vk)) {
        hold(vk, kKeyboard, false);
    }
}

void Host::pointerMove(FramePoint p) {
    if (live()) {
        enter({Input::Kind::mouseMove, 0, low16(p.x), low16(p.y)});
    }
}

void Host::pointerDown() {
    if (live()) {
        enter({Input::Kind::buttonDown});
    }
}

void Host::touches(bool left, bool right) {
    if (live()) {
        hold(kVkLeft, kTouch, left);
        hold(kVkRight, kTouch, right);
    }
}

void Host::startControl(bool down) {
    if (live()) {
        hold(kVkSpace, kTouch, down);
    }
}

void Host::tap(FramePoint p) {
    pointerMove(p);
    pointerDown();
}

void Host::pad(int slot, const PadReading& reading) {
    if (slot < 0 || slot >= kMaxPads || !created_ || ended_) {
        return;
    }
    PadReading& was = pads_[static_cast<std::size_t>(slot)];
    if (reading.attached != was.attached) {
        // Plugged in or pulled out: a resting game wakes to read it.
        inputSinceTick_ = true;
    }
    was = reading;
    const std::uint32_t source = padSource(slot);
    const struct {
        int vk;
        bool held;
    } keys[] = {
        {kVkLeft, reading.attached && (reading.left || reading.stickX < -kStickDeadZone)},
        {kVkRight, reading.attached && (reading.right || reading.stickX > kStickDeadZone)},
        {kVkSpace, reading.attached && reading.a},
        {kVkEscape, reading.attached && reading.back},
        {kVkUp, reading.attached && reading.up},
        {kVkDown, reading.attached && reading.down},
    };
    for (const auto& key : keys) {
        if (key.held == holders_.heldBy(key.vk, source) || ended_) {
            continue;
        }
        inputSinceTick_ = true;
        if (!reading.attached && (key.vk == kVkSpace || key.vk == kVkEscape)) {
            // A pad pulled out never had its A or Back let go by the player:
            // that starts or ends nothing.
            holders_.release(key.vk, source);
            continue;
        }
        hold(key.vk, source, key.held);
    }
}

void Host::focusLost() {
    if (live()) {
        holders_.clear();
        enter({Input::Kind::focusLost});
    }
}

void Host::close() {
    if (created_ && !ended_) {
        enter({Input::Kind::close});
    }
}

void Host::repaint() {
    if (live()) {
        if (watch_ != nullptr) {
            shown_.forget();
            paintWatch();
        } else {
            paint(true);
        }
    }
}

void Host::paint(bool screenLost) {
    // The tally counts paints, not time: every paint steps it, whether or
    // not its pixels are new.
    if (state_.resultPhase != 0) {
        advanceTally(state_);
        tallyCuesAndSave(state_, effects_);
        carryOut();
    }
    if (!frames_) {
        painted_ = state_;
        hasPainted_ = true;
        return;
    }
    const bool changed = !hasPainted_ || !(painted_ == state_);
    painted_ = state_;
    hasPainted_ = true;
    if (changed || !composed_) {
        composeFrame(gdi_, state_);
        composed_ = true;
    }
    if (screenLost) {
        shown_.forget();
    }
    // A halted game or a finished result composes the same frame 50 times a
    // second: only a frame that differs from the one on the screen goes out.
    if ((changed || screenLost) && shown_.take(gdi_.backBufferBitmap)) {
        shell_.show(gdi_.backBufferBitmap);
    }
}

void Host::tick() {
    if (!created_ || ended_) {
        return;
    }
    inputSinceTick_ = false;
    if (watch_ != nullptr) {
        watch_->period(effects_);
        carryOut();
        if (controlsFor_ > 0 && watch_->status().playing) {
            --controlsFor_;
        }
        paintWatch();
        return;
    }
    if (state_.resultPhase == 0) {
        recordInput();
        gameTick(state_, effects_);
        carryOut();
    }
    // A paint after every tick, halted or not.
    paint(false);
    recordResult();
}

bool Host::resting() const {
    bool padAttached = false;
    for (const PadReading& p : pads_) {
        padAttached = padAttached || p.attached;
    }
    if (watch_ != nullptr) {
        // Paused or at its end, the watch's frame and controls stand still.
        return !watch_->status().playing && scheduler_.armed() && !inputSinceTick_ && hasPainted_ &&
               !padAttached;
    }
    // A tick does nothing while no run is going, and a paint only steps a
    // tally that is still counting; once the frame of that state is on the
    // screen, nothing but input can change what is shown. A controller is
    // read at ticks, so one attached keeps them coming.
    return state_.running == 0 && state_.resultPhase != 1 && scheduler_.armed() &&
           !inputSinceTick_ && hasPainted_ && painted_ == state_ && !padAttached;
}

Wake Host::advance() {
    Wake wake;
    if (!created_ || ended_) {
        wake.untilInput = true;
        return wake;
    }
    const std::uint64_t t = shell_.now();
    if (asleep_) {
        // The deadlines slept through held no-op ticks: the next tick keeps
        // the grid the timer was armed on.
        scheduler_.passOver(t);
        asleep_ = false;
    }
    if (scheduler_.due(t)) {
        wake.ticked = true;
        wake.deadline = scheduler_.deadline();
        // Advance first: a timer armed by the tick itself starts from now.
        scheduler_.advance(t);
        tick();
    }
    if (ended_ || resting()) {
        asleep_ = !ended_;
        wake.untilInput = true;
        return wake;
    }
    wake.at = scheduler_.deadline();
    return wake;
}

const Bitmap& Host::paintedFrame() {
    if (watch_ != nullptr) {
        paintWatch();
    } else if (hasPainted_ && created_ && !ended_) {
        composeFrame(gdi_, painted_);
    }
    return gdi_.backBufferBitmap;
}

void Host::watch(const RunRecord& run, const WatchOptions& options) {
    if (!created_ || ended_) {
        return;
    }
    watch_ = std::make_unique<Watch>(run);
    watchOptions_ = options;
    // A new watch is told to the shell from its first paint, whatever the
    // last one reported.
    reported_ = WatchStatus{};
    reported_.length = ~0u;
    const double steps = options.startSeconds * 50.0;
    if (steps > 0.0) { // NaN and negatives start at the start
        watch_->seek(steps >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(steps));
    }
    watch_->play(true);
    hasPainted_ = false;
    live();
    watchInput();
    paintWatch();
}

void Host::stopWatching() {
    if (watch_ == nullptr) {
        return;
    }
    watch_.reset();
    shell_.watchChanged(nullptr);
    // The game's frame goes back up, whatever the screen showed last.
    hasPainted_ = false;
    shown_.forget();
    live();
}

const WatchStatus* Host::watchStatus() const {
    return watch_ != nullptr ? &watch_->status() : nullptr;
}

void Host::watchInput() {
    controlsFor_ = kControlsPeriods;
    hasPainted_ = false;
}

void Host::watchPlay(bool playing) {
    if (live() && watch_ != nullptr) {
        watch_->play(playing);
        watchInput();
    }
}

void Host::watchSpeed(int speed) {
    if (live() && watch_ != nullptr) {
        watch_->setSpeed(speed);
        watchInput();
    }
}

void Host::watchSeek(std::uint32_t position) {
    if (live() && watch_ != nullptr) {
        watch_->seek(position);
        watchInput();
        // A seek shows its frame at once, not at the next tick.
        paintWatch();
    }
}

void Host::watchStep(int direction) {
    if (live() && watch_ != nullptr) {
        watch_->step(direction < 0 ? -1 : 1, effects_);
        carryOut();
        watchInput();
        paintWatch();
    }
}

void Host::watchMarkClip(bool end) {
    if (live() && watch_ != nullptr) {
        watch_->markClip(end);
        watchInput();
    }
}

void Host::watchClip() {
    if (live() && watch_ != nullptr) {
        const WatchStatus& status = watch_->status();
        shell_.clipWanted(watch_->run(), status.clipFrom, status.clipTo);
        watchInput();
    }
}

void Host::enterWatch(const Input& input) {
    Watch& w = *watch_;
    const WatchStatus& status = w.status();
    switch (input.kind) {
    case Input::Kind::keyDown:
        // Arrows act as they are pressed (and as they repeat): a step each
        // while paused, five seconds while playing.
        if (input.vk == kVkLeft || input.vk == kVkRight) {
            const int direction = input.vk == kVkLeft ? -1 : 1;
            if (status.playing) {
                w.seek(direction < 0 ? status.position - std::min(status.position, kWatchSkip)
                                     : status.position + kWatchSkip);
            } else {
                w.step(direction, effects_);
                carryOut();
            }
        } else if (input.vk == kVkUp || input.vk == kVkDown) {
            w.setSpeed(status.speed + (input.vk == kVkUp ? 1 : -1));
        } else if (input.vk == kVkI || input.vk == kVkO) {
            w.markClip(input.vk == kVkO);
        }
        break;
    case Input::Kind::keyUp:
        // Space and Escape act on release, as in the game.
        if (input.vk == kVkSpace) {
            w.play(!status.playing);
        } else if (input.vk == kVkG) {
            shell_.clipWanted(w.run(), status.clipFrom, status.clipTo);
        } else if (input.vk == kVkEscape) {
            if (watchOptions_.escapeCloses) {
                closeRequested_ = true;
            } else {
                stopWatching();
                return;
            }
        }
        break;
    case Input::Kind::mouseMove:
        watchMouse_ = {input.x, input.y};
        break;
    case Input::Kind::buttonDown:
        if (watchOptions_.drawControls && controlsFor_ > 0) {
            switch (watchBarPartAt(watchMouse_.x, watchMouse_.y)) {
            case WatchBarPart::play:
                w.play(!status.playing);
                break;
            case WatchBarPart::speed:
                w.setSpeed((status.speed + 1) % kWatchSpeeds);
                break;
            case WatchBarPart::seek:
                w.seek(watchSeekAt(watchMouse_.x, status.length));
                break;
            case WatchBarPart::clip:
                shell_.clipWanted(w.run(), status.clipFrom, status.clipTo);
                break;
            case WatchBarPart::none:
                break;
            }
        }
        break;
    case Input::Kind::focusLost:
        break;
    case Input::Kind::close:
        closeRequested_ = true;
        break;
    }
    watchInput();
}

void Host::paintWatch() {
    if (watch_ == nullptr) {
        return;
    }
    hasPainted_ = true;
    const WatchStatus& status = watch_->status();
    if (frames_) {
        composeFrame(gdi_, watch_->state());
        if (watchOptions_.drawControls && (!status.playing || controlsFor_ > 0)) {
            drawWatchBar(gdi_.backBufferDC, status);
        }
        if (shown_.take(gdi_.backBufferBitmap)) {
            shell_.show(gdi_.backBufferBitmap);
        }
    }
    if (!(status == reported_)) {
        reported_ = status;
        shell_.watchChanged(&status);
    }
}

} // namespace nuvalo
