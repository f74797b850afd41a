// Nuvalo in a browser page: the page's script (page.js) calls the functions
// below as its events come and they go to the host; what the host asks of the
// page goes back through library.js. One game per page, one thread, no
// command line. A page opened from a run's link watches that run without
// the profile's one-game lock: only playing takes it.

#include "app/web/web_game.h"
#include "clip/clip.h"
#include "game/cues.h"
#include "game/game.h"
#include "host/frame_scale.h"
#include "persist/best_score.h"
#include "persist/run_record.h"
#include "render/surface.h"
#include "resources/resources.h"

#include <emscripten/emscripten.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <iterator>
#include <memory>
#include <optional>
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
// A run's record as a link carries it: the last run (best 0) or the best (1).
void nuvalo_page_run_kept(int best, const char* text);
// What the page offers beside the game: 1 no run going, 2 on the result of a
// run that was recorded (both bits may be set).
void nuvalo_page_menu(int offers);
// The watch as it stands, or (watching 0) that it stopped. `verdict` stays
// valid while the watch lasts.
void nuvalo_page_watch(int watching, double position, double length, int playing, int speed,
                       int atEnd, int verified, const char* verdict, double clipFrom,
                       double clipTo);
// The watcher asked for a clip: the page says so, then calls nuvalo_clip_make.
void nuvalo_page_clip_wanted();
// A clip written to `path`: the page takes its bytes and removes the file.
void nuvalo_page_clip_made(const char* path);
}

namespace {

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

PageStore store;
nuvalo::web::CanvasPixels canvas;

class Page final : public nuvalo::Shell {
  public:
    // The page's clock (performance.now()) in microseconds.
    std::uint64_t now() override {
        const double ms = emscripten_get_now();
        return ms > 0.0 ? static_cast<std::uint64_t>(std::llround(ms * 1000.0)) : 0;
    }
    void show(const nuvalo::Bitmap& frame) override { nuvalo_page_present(canvas.from(frame)); }
    void play(nuvalo::Cue cue) override { nuvalo_page_play_cue(nuvalo::cueFile(cue)); }
    float loadBest() override { return nuvalo::loadBest(store); }
    bool saveBestIfHigher(std::int32_t score) override {
        return nuvalo::saveBestIfHigher(score, store) != 0;
    }
    void ended(int /*exitCode*/) override { nuvalo_page_game_ended(); }
    void runRecorded(const nuvalo::RunRecord& run) override { resultRecorded = keep(0, run); }
    void bestRunKept(const nuvalo::RunRecord& run) override { keep(1, run); }
    // Called at every step while a watch plays: numbers and a pointer only.
    void watchChanged(const nuvalo::WatchStatus* status) override {
        if (status == nullptr) {
            nuvalo_page_watch(0, 0, 0, 0, nuvalo::kNormalSpeed, 0, 0, "", 0, 0);
            return;
        }
        nuvalo_page_watch(1, status->position, status->length, status->playing ? 1 : 0,
                          status->speed, status->atEnd ? 1 : 0, status->verified ? 1 : 0,
                          status->verdict.c_str(), status->clipFrom, status->clipTo);
    }
    // Making a clip holds the page for a second or two: the page first says
    // so, and only once that shows does it make the clip asked for here.
    void clipWanted(const nuvalo::RunRecord& run, std::uint32_t from, std::uint32_t to) override {
        const bool told = clip.has_value();
        clip = Clip{run, from, to};
        if (!told) {
            nuvalo_page_clip_wanted();
        }
    }

    struct Clip {
        nuvalo::RunRecord run;
        std::uint32_t from = 0;
        std::uint32_t to = 0;
    };
    // The clip asked for and not yet made.
    std::optional<Clip> clip;

    // The result on the screen has a record the page may share.
    bool resultRecorded = false;

  private:
    // Once a run, never a tick: the record as its link's text.
    static bool keep(int best, const nuvalo::RunRecord& run) {
        const std::vector<std::uint8_t> bytes = nuvalo::encodeRun(run);
        if (bytes.empty()) {
            return false; // too long to keep
        }
        nuvalo_page_run_kept(best, nuvalo::toBase64Url(bytes).c_str());
        return true;
    }
};

Page page;
nuvalo::Host host(page, 1'000'000);
bool created = false;
// The page holds the profile's lock (or the browser has none): it may play.
bool owner = false;
// Another tab holds the lock: the notice shows and nothing reaches the game.
bool refused = false;
// At rest with the frame shown: the page runs no timer until input comes.
bool asleep = false;
int offered = -1;
// A run's link as the page hands it over, and why it could not be watched.
std::string linkText;
std::string linkReason;

void create() {
    if (created) {
        return;
    }
    created = true;
    const auto sound = nuvalo::res::defaultSound();
    nuvalo_page_set_default_sound(sound.data(), sound.size());
    host.create(static_cast<std::uint32_t>(std::time(nullptr)));
}

// Input reaches the game only while this page may play it, and a watch
// whichever tab plays.
bool accepting() {
    return created && !refused && !host.ended() && (owner || host.watching());
}

// The page's own controls beside the frame follow the game's state.
void tellOffers() {
    int offers = 0;
    if (owner && accepting() && !host.watching()) {
        const nuvalo::GameState& s = host.state();
        if (s.resultPhase == 0) {
            page.resultRecorded = false;
        }
        offers = (s.running == 0 ? 1 : 0) | (s.resultPhase != 0 && page.resultRecorded ? 2 : 0);
    }
    if (offers != offered) {
        offered = offers;
        nuvalo_page_menu(offers);
    }
}

// After every wake and every input: takes the tick that is due and asks the
// page for the next wake. Returns how late the tick came, in microseconds, or
// -1 when none was due.
double settle() {
    double late = -1;
    if (accepting()) {
        const std::uint64_t t = page.now();
        const nuvalo::Wake wake = host.advance();
        if (!host.ended()) {
            asleep = wake.untilInput;
            if (asleep) {
                nuvalo_page_sleep();
            } else {
                const std::uint64_t now = page.now();
                nuvalo_page_wake_after(wake.at > now ? static_cast<double>(wake.at - now) / 1000.0
                                                     : 0.0);
            }
            late =
                wake.ticked ? static_cast<double>(t > wake.deadline ? t - wake.deadline : 0) : -1;
        }
    }
    tellOffers();
    return late;
}

// The page's own Japanese words, drawn with the game's font so that they read
// the same on a system without Japanese fonts: 開始, then the help lines for
// keys (1-5), touch (6-10) and controllers (11-15), then for watching a run
// with keys (16-20) and with a controller (21, 17, 22, 23, 19, 24), in pieces
// short enough to wrap in a narrow column. Shift-JIS, every byte escaped.
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
    "\x83\x58\x83\x79\x81\x5B\x83\x58\x82\xC5",                 // スペースで
    "\x8D\xC4\x90\xB6\x81\x45\x92\xE2\x8E\x7E\x81\x41",         // 再生・停止、
    "\x81\xA9\x81\xA8\x82\xC5\x88\xDA\x93\xAE\x81\x41",         // ←→で移動、
    "\x81\xAA\x81\xAB\x82\xC5\x91\xAC\x82\xB3\x81\x41",         // ↑↓で速さ、
    "\x45\x73\x63\x82\xC5\x83\x51\x81\x5B\x83\x80\x82\xD6",     // Escでゲームへ
    "\x41\x82\xC5",                                             // Aで
    "\x8F\x5C\x8E\x9A\x83\x4C\x81\x5B\x81\xA9\x81\xA8\x82\xC5", // 十字キー←→で
    "\x88\xDA\x93\xAE\x81\x41",                                 // 移動、
    "\x42\x61\x63\x6B\x82\xC5\x83\x51\x81\x5B\x83\x80\x82\xD6", // Backでゲームへ
};
nuvalo::Bitmap label;

} // namespace

extern "C" {

// The page holds the profile's lock: the game opens on its halted first run,
// or waits behind the watch the page opened with.
EMSCRIPTEN_KEEPALIVE void nuvalo_start() {
    if (owner) {
        return;
    }
    owner = true;
    refused = false;
    create();
    if (!host.watching()) {
        // The game's frame at once rather than a blank canvas (or the watch's
        // last frame) for the first period.
        host.repaint();
    }
    settle();
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

// Another tab of this browser profile holds the game: 1 when the notice
// went up, 0 when this page plays or watches after all.
EMSCRIPTEN_KEEPALIVE int nuvalo_refuse() {
    if (owner || (created && host.watching())) {
        return 0;
    }
    refused = true;
    asleep = false;
    nuvalo_page_present(canvas.from(nuvalo::web::secondCopyNotice()));
    settle();
    return 1;
}

// Room for a run's link of `length` bytes, which the page writes in before
// it calls nuvalo_watch_link.
EMSCRIPTEN_KEEPALIVE char* nuvalo_link_buffer(int length) {
    linkText.assign(static_cast<std::size_t>(std::max(length, 0)), '\0');
    return linkText.data();
}

// Watches the run of the link in the buffer from its t= on: "" when it
// plays, else why it cannot. A record of other rules plays all the same,
// its verdict saying so.
EMSCRIPTEN_KEEPALIVE const char* nuvalo_watch_link() {
    nuvalo::web::LinkedRun linked = nuvalo::web::runOfLink(linkText);
    linkReason = std::move(linked.reason);
    if (linked.ok && created && host.ended()) {
        linkReason = "the game has ended";
    }
    if (!linkReason.empty()) {
        return linkReason.c_str();
    }
    refused = false;
    create();
    host.watch(linked.run,
               {.drawControls = false, .escapeCloses = false, .startSeconds = linked.startSeconds});
    settle();
    return linkReason.c_str();
}

EMSCRIPTEN_KEEPALIVE void nuvalo_watch_stop() {
    if (created && host.watching()) {
        host.stopWatching();
        settle();
    }
}

EMSCRIPTEN_KEEPALIVE void nuvalo_watch_play(int playing) {
    if (accepting() && host.watching()) {
        host.watchPlay(playing != 0);
        settle();
    }
}

EMSCRIPTEN_KEEPALIVE void nuvalo_watch_speed(int speed) {
    if (accepting() && host.watching()) {
        host.watchSpeed(speed);
        settle();
    }
}

// To step `position` of the run: its frame goes up before this returns.
EMSCRIPTEN_KEEPALIVE void nuvalo_watch_seek(double position) {
    if (accepting() && host.watching()) {
        host.watchSeek(position > 0 ? static_cast<std::uint32_t>(std::min(position, 4294967295.0))
                                    : 0);
        settle();
    }
}

EMSCRIPTEN_KEEPALIVE void nuvalo_watch_step(int direction) {
    if (accepting() && host.watching()) {
        host.watchStep(direction);
        settle();
    }
}

// Marks where the clip starts (0) or ends (1): here.
EMSCRIPTEN_KEEPALIVE void nuvalo_watch_mark_clip(int end) {
    if (accepting() && host.watching()) {
        host.watchMarkClip(end != 0);
        settle();
    }
}

// Asks for a clip of the stretch marked, as the G key does.
EMSCRIPTEN_KEEPALIVE void nuvalo_watch_clip() {
    if (accepting() && host.watching()) {
        host.watchClip();
        settle();
    }
}

// Makes the clip asked for, `fps` frames a second at `scale`: "" once the
// page has its bytes, else why there is none.
EMSCRIPTEN_KEEPALIVE const char* nuvalo_clip_make(int fps, int scale) {
    static std::string reason;
    if (!page.clip) {
        reason = "no clip was asked for";
        return reason.c_str();
    }
    const Page::Clip wanted = std::move(*page.clip);
    page.clip.reset();
    const std::unique_ptr<nuvalo::clip::GifWriter> writer = nuvalo::clip::makeGifWriter();
    constexpr double kSteps = nuvalo::clip::kStepsPerSecond;
    // In the page's own memory file system, only until the page has read it.
    constexpr char kPath[] = "/clip.gif";
    const nuvalo::clip::ClipResult made =
        nuvalo::clip::writeClip(wanted.run,
                                {.fromSeconds = wanted.from / kSteps,
                                 .toSeconds = wanted.to / kSteps,
                                 .fps = fps,
                                 .scale = scale},
                                kPath, *writer);
    if (made.ok) {
        reason.clear();
        nuvalo_page_clip_made(kPath);
    } else {
        reason = made.reason.empty() ? "the clip could not be written" : made.reason;
    }
    return reason.c_str();
}

EMSCRIPTEN_KEEPALIVE const char* nuvalo_watch_speed_name(int speed) {
    return nuvalo::watchSpeedName(speed);
}

// How late the tick it took came, in microseconds; -1 when none was due.
EMSCRIPTEN_KEEPALIVE double nuvalo_wake() {
    return settle();
}

// For tools that watch the game from the page: 0 running (0/1), 1 the star's
// x, 2 the result phase, 3 ticks dropped after stalls, 4 the run's score.
EMSCRIPTEN_KEEPALIVE double nuvalo_probe(int what) {
    if (!created || refused || host.ended()) {
        return -1;
    }
    const nuvalo::GameState& s = host.state();
    switch (what) {
    case 0:
        return s.running;
    case 1:
        return s.starX;
    case 2:
        return s.resultPhase;
    case 3:
        return static_cast<double>(host.droppedTicks());
    case 4:
        return nuvalo::runScore(s);
    default:
        return -1;
    }
}

EMSCRIPTEN_KEEPALIVE void nuvalo_key(int down, int vk) {
    if (!accepting()) {
        return;
    }
    if (down != 0) {
        host.keyDown(vk);
    } else {
        host.keyUp(vk);
    }
    settle();
}

// Positions are page pixels within the frame shown shownWidth x shownHeight.
EMSCRIPTEN_KEEPALIVE void nuvalo_mouse_move(double x, double y, double shownWidth,
                                            double shownHeight) {
    if (accepting()) {
        host.pointerMove(nuvalo::toFrame(x, y, shownWidth, shownHeight));
        settle();
    }
}

EMSCRIPTEN_KEEPALIVE void nuvalo_mouse_down() {
    if (accepting()) {
        host.pointerDown();
        settle();
    }
}

EMSCRIPTEN_KEEPALIVE int nuvalo_touch_side(double x, double y, double shownWidth,
                                           double shownHeight) {
    return static_cast<int>(nuvalo::web::touchSide(nuvalo::toFrame(x, y, shownWidth, shownHeight)));
}

EMSCRIPTEN_KEEPALIVE void nuvalo_touches_held(int left, int right) {
    if (accepting()) {
        host.touches(left != 0, right != 0);
        settle();
    }
}

EMSCRIPTEN_KEEPALIVE void nuvalo_start_control(int down) {
    if (accepting()) {
        host.startControl(down != 0);
        settle();
    }
}

EMSCRIPTEN_KEEPALIVE void nuvalo_tap(double x, double y, double shownWidth, double shownHeight) {
    if (accepting()) {
        host.tap(nuvalo::toFrame(x, y, shownWidth, shownHeight));
        settle();
    }
}

// Controller `index` as the page has just read it (the standard mapping: the
// d-pad, A, Back, the left stick across). The page reads its controllers
// right before it wakes the game, which settles what they changed.
EMSCRIPTEN_KEEPALIVE void nuvalo_pad(int index, int attached, int left, int right, int a, int back,
                                     double stickX, int up, int down) {
    if (accepting()) {
        host.pad(index, {attached != 0, left != 0, right != 0, a != 0, back != 0, stickX, up != 0,
                         down != 0});
    }
}

// Device pixels per frame pixel for a frame filling `width` x `height`
// device pixels: the same choice of scale as every shell's.
EMSCRIPTEN_KEEPALIVE double nuvalo_frame_scale(double width, double height) {
    return nuvalo::fillingScale(width, height);
}

// 1 while the game sleeps at rest.
EMSCRIPTEN_KEEPALIVE int nuvalo_asleep() {
    return asleep && accepting() ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE void nuvalo_focus_lost() {
    if (accepting()) {
        host.focusLost();
        settle();
    }
}

EMSCRIPTEN_KEEPALIVE void nuvalo_close() {
    host.close();
    settle();
}

// The page lost the canvas's pixels: the frame goes up again.
EMSCRIPTEN_KEEPALIVE void nuvalo_frame_lost() {
    if (refused) {
        nuvalo_page_present(canvas.from(nuvalo::web::secondCopyNotice()));
    } else if (accepting()) {
        host.repaint();
        settle();
    }
}

} // extern "C"

int main() {
    // The page starts the game once it knows whether it holds the lock, or
    // watches the run of the link it was opened with.
    return 0;
}
