// Nuvalo in a browser page: the page's script (page.js) calls the functions
// below as its events come; the game calls the page back through
// library.js. One game per page, one thread, no command line.

#include "app/web/web_game.h"
#include "persist/best_score.h"
#include "resources/resources.h"

#include <emscripten/emscripten.h>

#include <ctime>
#include <string>

// The page's side (library.js).
extern "C" {
void nuvalo_page_wake_after(double milliseconds);
void nuvalo_page_present(const std::uint8_t* rgba);
void nuvalo_page_play_cue(const char* path);
void nuvalo_page_game_ended();
void nuvalo_page_set_default_sound(const std::uint8_t* bytes, std::size_t length);
// The text stored for save.dat: its length in bytes, -1 when nothing is
// stored, -2 when the storage may not be read.
int nuvalo_page_store_length();
void nuvalo_page_store_copy(char* into, int length);
int nuvalo_page_store_write(const char* text, int length);
}

namespace {

class Page final : public nuvalo::web::Browser {
  public:
    double now() override { return emscripten_get_now(); }
    void wakeAfter(double milliseconds) override { nuvalo_page_wake_after(milliseconds); }
    void present(const std::uint8_t* rgba) override { nuvalo_page_present(rgba); }
    void playCue(const char* path) override { nuvalo_page_play_cue(path); }
    void gameEnded() override { nuvalo_page_game_ended(); }
};

// The page's storage, holding exactly the text save.dat would hold.
class PageStore final : public nuvalo::SaveStore {
  public:
    Found read(std::string& text) override {
        const int length = nuvalo_page_store_length();
        if (length == -1) {
            return Found::nothing;
        }
        if (length < 0) {
            return Found::locked;
        }
        text.resize(static_cast<std::size_t>(length));
        nuvalo_page_store_copy(text.data(), length);
        return Found::text;
    }
    bool write(const char* text, std::size_t length) override {
        return nuvalo_page_store_write(text, static_cast<int>(length)) != 0;
    }
};

Page page;
PageStore store;
nuvalo::web::WebGame game(page);

} // namespace

extern "C" {

// The page holds the instance lock: the game opens on its halted first run.
EMSCRIPTEN_KEEPALIVE void nuvalo_start() {
    const auto sound = nuvalo::res::defaultSound();
    nuvalo_page_set_default_sound(sound.data(), sound.size());
    nuvalo::useSaveStore(&store);
    game.create(static_cast<std::uint32_t>(std::time(nullptr)));
}

// Another tab of this browser profile holds the game.
EMSCRIPTEN_KEEPALIVE void nuvalo_refuse() {
    game.refuse();
}

// How late the tick it took came, in microseconds; -1 when none was due.
EMSCRIPTEN_KEEPALIVE double nuvalo_wake() {
    return static_cast<double>(game.wake());
}

// For tools that watch the game from the page: 0 running (0/1), 1 the star's
// x, 2 the result phase, 3 ticks dropped after stalls.
EMSCRIPTEN_KEEPALIVE double nuvalo_probe(int what) {
    if (!game.running()) {
        return -1;
    }
    const nuvalo::GameState& s = game.app().state;
    switch (what) {
    case 0:
        return s.running;
    case 1:
        return s.starX;
    case 2:
        return s.resultPhase;
    case 3:
        return static_cast<double>(game.skippedTicks());
    default:
        return -1;
    }
}

EMSCRIPTEN_KEEPALIVE void nuvalo_key(int down, int vk) {
    if (down != 0) {
        game.keyDown(vk);
    } else {
        game.keyUp(vk);
    }
}

// Positions are page pixels within the frame shown shownWidth x shownHeight.
EMSCRIPTEN_KEEPALIVE void nuvalo_mouse_move(double x, double y, double shownWidth,
                                            double shownHeight) {
    game.mouseMove(nuvalo::web::toFrame(x, y, shownWidth, shownHeight));
}

EMSCRIPTEN_KEEPALIVE void nuvalo_mouse_button(int down) {
    if (down != 0) {
        game.mouseDown();
    } else {
        game.mouseUp();
    }
}

EMSCRIPTEN_KEEPALIVE int nuvalo_touch_side(double x, double y, double shownWidth,
                                           double shownHeight) {
    return static_cast<int>(
        nuvalo::web::touchSide(nuvalo::web::toFrame(x, y, shownWidth, shownHeight)));
}

EMSCRIPTEN_KEEPALIVE void nuvalo_touches_held(int left, int right) {
    game.touchesHeld(left != 0, right != 0);
}

EMSCRIPTEN_KEEPALIVE void nuvalo_tap(double x, double y, double shownWidth, double shownHeight) {
    game.tap(nuvalo::web::toFrame(x, y, shownWidth, shownHeight));
}

EMSCRIPTEN_KEEPALIVE void nuvalo_focus_lost() {
    game.focusLost();
}

EMSCRIPTEN_KEEPALIVE void nuvalo_close() {
    game.close();
}

EMSCRIPTEN_KEEPALIVE void nuvalo_frame_lost() {
    game.frameLost();
}

} // extern "C"

int main() {
    // The page starts the game once it knows whether it holds the lock.
    return 0;
}
