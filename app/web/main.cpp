// Nuvalo in a browser page: the page's script (page.js) calls the functions
// below as its events come; the game calls the page back through
// library.js. One game per page, one thread, no command line.

#include "app/frame_scale.h"
#include "app/web/web_game.h"
#include "game/cues.h"
#include "persist/best_score.h"
#include "render/surface.h"
#include "resources/resources.h"

#include <emscripten/emscripten.h>

#include <algorithm>
#include <ctime>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>

// The page's side (library.js).
extern "C" {
void nuvalo_page_wake_after(double milliseconds);
void nuvalo_page_present(const std::uint8_t* rgba);
void nuvalo_page_play_cue(const char* path);
void nuvalo_page_game_ended();
void nuvalo_page_sleep();
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
    void sleep() override { nuvalo_page_sleep(); }
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

// The page's own Japanese words, drawn with the game's font so that they read
// the same on a system without Japanese fonts: 開始, then the help lines for
// keys (1-5), touch (6-10) and controllers (11-15), in pieces short enough
// to wrap in a narrow column. Shift-JIS, every byte escaped.
constexpr std::string_view kPageLabels[] = {
    "\x8A\x4A\x8E\x6E",                                         // 開始
    "\x81\xA9\x81\xA8\x82\xC5\x91\x80\x8D\xEC\x81\x41",         // ←→で操作、
    "\x83\x58\x83\x79\x81\x5B\x83\x58\x82\xA9",                 // スペースか
    "\x81\x75\x8A\x4A\x8E\x6E\x81\x76\x82\xC5",                 // 「開始」で
    "\x83\x58\x83\x5E\x81\x5B\x83\x67\x81\x41",                 // スタート、
    "\x45\x73\x63\x82\xC5\x8F\x49\x97\xB9",                     // Escで終了
    "\x8D\xB6\x89\x45\x82\xCC\x83\x7B\x83\x5E\x83\x93\x82\xA9", // 左右のボタンか
    "\x89\xE6\x96\xCA\x82\xCC\x8D\xB6\x89\x45\x82\xF0",         // 画面の左右を
    "\x89\x9F\x82\xB5\x82\xC4\x91\x80\x8D\xEC\x81\x41",         // 押して操作、
    "\x81\x75\x8A\x4A\x8E\x6E\x81\x76\x82\xC5",                 // 「開始」で
    "\x83\x58\x83\x5E\x81\x5B\x83\x67",                         // スタート
    "\x8F\x5C\x8E\x9A\x83\x4C\x81\x5B\x82\xA9",                 // 十字キーか
    "\x83\x58\x83\x65\x83\x42\x83\x62\x83\x4E\x82\xC5",         // スティックで
    "\x91\x80\x8D\xEC\x81\x41",                                 // 操作、
    "\x41\x82\xC5\x83\x58\x83\x5E\x81\x5B\x83\x67\x81\x41",     // Aでスタート、
    "\x42\x61\x63\x6B\x82\xC5\x8F\x49\x97\xB9",                 // Backで終了
};
nuvalo::Bitmap label;

} // namespace

extern "C" {

// The page holds the instance lock: the game opens on its halted first run.
EMSCRIPTEN_KEEPALIVE void nuvalo_start() {
    const auto sound = nuvalo::res::defaultSound();
    nuvalo_page_set_default_sound(sound.data(), sound.size());
    nuvalo::useSaveStore(&store);
    game.create(static_cast<std::uint32_t>(std::time(nullptr)));
}

// Draws page label `which` (white glyphs on black, 16 pixels high) for
// nuvalo_label_pixels and returns its width; 0 for no such label.
EMSCRIPTEN_KEEPALIVE int nuvalo_label(int which) {
    if (which < 0 || which >= static_cast<int>(std::size(kPageLabels))) {
        return 0;
    }
    const std::string_view text = kPageLabels[which];
    if (label.pixels == nullptr) {
        label.width = nuvalo::kFrameWidth;
        label.height = 16;
        label.pixels =
            std::make_unique<nuvalo::Pixel[]>(static_cast<std::size_t>(label.width * label.height));
    }
    const int count = static_cast<int>(text.size());
    const int width = std::min(nuvalo::textWidth(text.data(), count), label.width);
    nuvalo::drawText(nuvalo::surfaceOf(label), 0, 0, text.data(), count);
    return width;
}

EMSCRIPTEN_KEEPALIVE const nuvalo::Pixel* nuvalo_label_pixels() {
    return label.pixels.get();
}

// The cue files the page fetches, from the game's one table.
EMSCRIPTEN_KEEPALIVE int nuvalo_cue_count() {
    return static_cast<int>(nuvalo::kCueFiles.size());
}

EMSCRIPTEN_KEEPALIVE const char* nuvalo_cue_file(int which) {
    return which >= 0 && which < nuvalo_cue_count()
               ? nuvalo::kCueFiles[static_cast<std::size_t>(which)]
               : "";
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

EMSCRIPTEN_KEEPALIVE void nuvalo_start_control(int down) {
    game.startControl(down != 0);
}

// The controllers as the page read them for this tick.
EMSCRIPTEN_KEEPALIVE void nuvalo_pads(int left, int right, int a, int back) {
    game.padsRead(left != 0, right != 0, a != 0, back != 0);
}

EMSCRIPTEN_KEEPALIVE void nuvalo_pads_attached(int attached) {
    game.padsAttached(attached != 0);
}

// Device pixels per frame pixel for a frame filling `width` x `height`
// device pixels: the same choice of scale as every shell's.
EMSCRIPTEN_KEEPALIVE double nuvalo_frame_scale(double width, double height) {
    return nuvalo::fillingScale(width, height);
}

// 1 while the game sleeps at rest.
EMSCRIPTEN_KEEPALIVE int nuvalo_asleep() {
    return game.asleep() ? 1 : 0;
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
