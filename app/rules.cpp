#include "app/rules.h"

#include "game/game.h"
#include "render/render.h"

namespace nuvalo {

namespace {
void updateSteer(GameState& s) {
    // Both keys or neither: straight down. Releasing one of two turns at once.
    s.steer = s.leftHeld > s.rightHeld ? -1 : (s.rightHeld > s.leftHeld ? 1 : 0);
}

bool onStartButton(int x, int y) {
    return x >= kButtonLeft && x <= kButtonRight && y >= kButtonTop && y <= kButtonBottom;
}
} // namespace

void onCreate(App& app, Shell& shell, std::uint32_t seed) {
    createDrawingResources(app.gdi);
    srand(seed);
    startRun(app.state, shell);
    // The window opens on a prepared run that stands still until started.
    app.state.speed = 0.0f;
    app.state.running = 0;
}

void onDestroy(App& app, Shell& shell) {
    saveUnfinishedTally(app.state);
    releaseDrawingResources(app.gdi);
    shell.quit(0);
}

void onPaint(App& app, Shell& shell) {
    // The tally counts paints, not time: a paint that draws nothing steps it
    // all the same.
    if (app.state.resultPhase != 0) {
        advanceTally(app.state);
        tallyCuesAndSave(app.state, shell);
    }
}

void onKeyDown(App& app, int vk) {
    if (vk == kVkLeft) {
        app.state.leftHeld = 1;
    }
    if (vk == kVkRight) {
        app.state.rightHeld = 1;
    }
    updateSteer(app.state);
}

void onKeyUp(App& app, Shell& shell, int vk) {
    if (vk == kVkLeft) {
        app.state.leftHeld = 0;
    }
    if (vk == kVkRight) {
        app.state.rightHeld = 0;
    }
    updateSteer(app.state);
    if (vk == kVkEscape) {
        shell.closeWindow();
    }
    if (app.state.running == 0 && vk == kVkSpace) {
        startRun(app.state, shell);
    }
}

void onFocusLost(App& app) {
    app.state.leftHeld = 0;
    app.state.rightHeld = 0;
    updateSteer(app.state);
}

void onTimer(App& app, Shell& shell) {
    if (app.state.resultPhase == 0) {
        gameTick(app.state, shell);
    }
    // Repaint after every tick, halted or not.
    shell.invalidate();
}

bool atRest(const GameState& s) {
    // A tick does nothing while no run is going, and a paint only steps a
    // tally that is still counting.
    return s.running == 0 && s.resultPhase != 1;
}

void onMouseMove(App& app, std::uint32_t lParam) {
    app.state.mouseX = static_cast<std::int32_t>(lParam & 0xFFFFu);
    app.state.mouseY = static_cast<std::int32_t>((lParam >> 16) & 0xFFFFu);
}

void onLButtonDown(App& app, Shell& shell) {
    // The click's own position is not looked at: the last move decides.
    if (app.state.running == 0 && onStartButton(app.state.mouseX, app.state.mouseY)) {
        startRun(app.state, shell);
    }
}

void onLButtonUp(App& /*app*/) {}

} // namespace nuvalo
