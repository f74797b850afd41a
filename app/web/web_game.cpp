#include "app/web/web_game.h"

#include "render/render.h"
#include "render/surface.h"

#include <cmath>

namespace nuvalo::web {

namespace {

// The page's clock in microseconds, as the scheduler's counter.
constexpr std::uint64_t kCounterPerSecond = 1'000'000;

constexpr int kSecondCopyNoticeWidth = 11 * 16; // eleven full-width characters

int clampTo(double v, int limit) {
    if (!(v >= 0.0)) { // NaN too
        return 0;
    }
    return v >= limit - 1 ? limit - 1 : static_cast<int>(v);
}

} // namespace

FramePoint toFrame(double pageX, double pageY, double shownWidth, double shownHeight) {
    if (!(shownWidth > 0.0) || !(shownHeight > 0.0)) {
        return {};
    }
    return {clampTo(std::floor(pageX * kFrameWidth / shownWidth), kFrameWidth),
            clampTo(std::floor(pageY * kFrameHeight / shownHeight), kFrameHeight)};
}

TouchSide touchSide(FramePoint p) {
    constexpr int kPlayfieldWidth = 400;
    if (p.x < 0 || p.x >= kPlayfieldWidth || p.y < 0 || p.y >= kFrameHeight) {
        return TouchSide::none;
    }
    return p.x < kPlayfieldWidth / 2 ? TouchSide::left : TouchSide::right;
}

WebGame::WebGame(Browser& browser) : browser_(browser), scheduler_(kCounterPerSecond) {}

std::uint64_t WebGame::clock() {
    const double ms = browser_.now();
    return ms > 0.0 ? static_cast<std::uint64_t>(std::llround(ms * 1000.0)) : 0;
}

void WebGame::create(std::uint32_t seed) {
    if (created_ || ended_) {
        return;
    }
    app_ = std::make_unique<App>();
    rgba_ = std::make_unique<std::array<std::uint32_t, kFramePixels>>();
    created_ = true;
    onCreate(*app_, *this, seed);
    // The page shows the halted run at once rather than a blank canvas for
    // the first period.
    paint();
}

void WebGame::refuse() {
    if (created_ || ended_) {
        return;
    }
    Bitmap notice;
    notice.pixels = std::make_unique<Pixel[]>(kFramePixels);
    notice.width = kFrameWidth;
    notice.height = kFrameHeight;
    const Surface s = surfaceOf(notice);
    fillRect(s, 0, 0, kFrameWidth, kFrameHeight, kWhite);
    drawLabel(s, (kFrameWidth - kSecondCopyNoticeWidth) / 2, (kFrameHeight - 16) / 2,
              kSecondCopyNotice);
    rgba_ = std::make_unique<std::array<std::uint32_t, kFramePixels>>();
    present(notice);
    ended_ = true;
}

void WebGame::armTimer() {
    scheduler_.arm(clock());
    scheduleWake();
}

void WebGame::scheduleWake() {
    if (!running() || !scheduler_.armed()) {
        return;
    }
    if (mayRest()) {
        asleep_ = true;
        browser_.sleep();
        return;
    }
    const std::uint64_t left = scheduler_.remaining(clock());
    browser_.wakeAfter(static_cast<double>(left) / 1000.0);
}

bool WebGame::mayRest() const {
    // Once the frame of a game at rest is on the screen, its ticks and paints
    // would change nothing until input comes; a controller is read only at
    // ticks, so one connected keeps them coming.
    return atRest(app_->state) && shown_ && !invalidated_ && !inputSinceTick_ &&
           !closing_.pending() && !padsAttached_;
}

void WebGame::input() {
    inputSinceTick_ = true;
    if (asleep_) {
        asleep_ = false;
        // The deadlines slept through held no-op ticks: the next tick keeps
        // the grid the timer was armed on.
        scheduler_.passOver(clock());
        scheduleWake();
    }
}

std::int64_t WebGame::wake() {
    if (!running() || asleep_) {
        return -1;
    }
    std::int64_t late = -1;
    const std::uint64_t t = clock();
    if (scheduler_.due(t)) {
        late = static_cast<std::int64_t>(t - scheduler_.deadline());
        // Advance first: a timer armed by the tick itself starts from now.
        scheduler_.advance(t);
        inputSinceTick_ = false;
        onTimer(*app_, *this);
        if (invalidated_) {
            paint();
        }
        destroyIfClosing();
    }
    scheduleWake();
    return late;
}

void WebGame::paint() {
    invalidated_ = false;
    onPaint(*app_, *this);
    composeFrame(app_->gdi, app_->state);
    present(app_->gdi.backBufferBitmap);
}

void WebGame::present(const Bitmap& frame) {
    if (frame.pixels == nullptr || frame.width != kFrameWidth || frame.height != kFrameHeight) {
        return;
    }
    // 0x00RRGGBB to the bytes R, G, B, A of a canvas, in the one pass that
    // the upload needs anyway; the same pass tells whether anything changed.
    const Pixel* __restrict from = frame.pixels.get();
    std::uint32_t* __restrict to = rgba_->data();
    std::uint32_t changed = shown_ ? 0u : 1u;
    for (std::size_t i = 0; i < kFramePixels; ++i) {
        const Pixel p = from[i];
        const std::uint32_t rgba =
            0xFF000000u | (p & 0xFFu) << 16 | (p & 0xFF00u) | (p >> 16 & 0xFFu);
        changed |= to[i] ^ rgba;
        to[i] = rgba;
    }
    // A halted game or a finished result paints the same frame 50 times a
    // second; the canvas keeps it, so only a new frame is uploaded.
    if (changed != 0) {
        shown_ = true;
        browser_.present(reinterpret_cast<const std::uint8_t*>(to));
    }
}

void WebGame::frameLost() {
    shown_ = false;
}

void WebGame::hold(int vk, std::uint32_t source, bool down) {
    if (down ? holders_.press(vk, source) : holders_.release(vk, source)) {
        if (down) {
            onKeyDown(*app_, vk);
        } else {
            onKeyUp(*app_, *this, vk);
            destroyIfClosing();
        }
    }
}

void WebGame::keyDown(int vk) {
    if (!running()) {
        return;
    }
    input();
    holders_.press(vk, KeyHolders::kKeyboard);
    // Auto-repeat comes here as another key-down, as on the desktop.
    onKeyDown(*app_, vk);
}

void WebGame::keyUp(int vk) {
    if (!running()) {
        return;
    }
    input();
    if (KeyHolders::isGameKey(vk)) {
        // A touch or a controller on the same key keeps it held.
        hold(vk, KeyHolders::kKeyboard, false);
    } else {
        onKeyUp(*app_, *this, vk);
        destroyIfClosing();
    }
}

void WebGame::mouseMove(FramePoint p) {
    if (running()) {
        input();
        onMouseMove(*app_, mouseParam(p.x, p.y));
    }
}

void WebGame::mouseDown() {
    if (running()) {
        input();
        onLButtonDown(*app_, *this);
    }
}

void WebGame::mouseUp() {
    if (running()) {
        input();
        onLButtonUp(*app_);
    }
}

void WebGame::touchesHeld(bool left, bool right) {
    if (!running()) {
        return;
    }
    input();
    hold(kVkLeft, kTouch, left);
    hold(kVkRight, kTouch, right);
}

void WebGame::startControl(bool down) {
    if (running()) {
        input();
        hold(kVkSpace, kTouch, down);
    }
}

void WebGame::tap(FramePoint p) {
    mouseMove(p);
    mouseDown();
    mouseUp();
}

void WebGame::padsRead(bool left, bool right, bool a, bool back) {
    if (!running()) {
        return;
    }
    const struct {
        int vk;
        bool held;
    } keys[] = {{kVkLeft, left}, {kVkRight, right}, {kVkSpace, a}, {kVkEscape, back}};
    for (const auto& key : keys) {
        if (key.held != holders_.heldBy(key.vk, kPad) && running()) {
            input();
            hold(key.vk, kPad, key.held);
        }
    }
}

void WebGame::padsAttached(bool attached) {
    if (running() && attached != padsAttached_) {
        padsAttached_ = attached;
        input();
    }
}

void WebGame::close() {
    if (running()) {
        closeWindow();
        destroyIfClosing();
    }
}

void WebGame::focusLost() {
    if (!running()) {
        return;
    }
    input();
    holders_.clear();
    onFocusLost(*app_);
}

void WebGame::playSound(const char* path) {
    if (!ended_) {
        browser_.playCue(path);
    }
}

void WebGame::quit(int /*exitCode*/) {
    if (!ended_) {
        ended_ = true;
        browser_.gameEnded();
    }
}

void WebGame::destroyIfClosing() {
    if (!running() || !closing_.destroyIfRequested(*app_, *this)) {
        return;
    }
    // Without a window there is nothing left to run.
    quit(0);
}

} // namespace nuvalo::web
