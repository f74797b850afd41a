// The page around the game: the canvas and its scale, the keyboard, mouse and
// touch, the tick's timer, Web Audio for the cues, storage for save.dat and
// the runs kept, sharing a run's link, the controls of a run watched from a
// link and the GIF clips made of it, and the one-game-per-profile lock. Appended to the game's module
// script, so Module and its heap are in reach; the game itself is in the wasm.
var NuvaloPage = (function () {
  'use strict';
  var WIDTH = 600, HEIGHT = 450;
  var STORE_KEY = 'nuvalo/save.dat';
  var RUN_KEYS = {last: 'nuvalo/last.nuvrun', best: 'nuvalo/best.nuvrun'};
  var LOCK_NAME = 'nuvalo';
  var KEYS = {ArrowLeft: 37, Left: 37, ArrowRight: 39, Right: 39, ArrowUp: 38, Up: 38, ArrowDown: 40,
              Down: 40, ' ': 32, Spacebar: 32, Space: 32, Escape: 27, Esc: 27,
              // A watch's clip, by where the key is, whatever the layout.
              KeyI: 73, KeyO: 79, KeyG: 71};
  var CLIP_NAME = 'nuvalo-clip.gif';
  // Half a seek bar's thumb: its track's ends, where the clip's stretch is
  // drawn under it.
  var THUMB_HALF = 8;
  var NOTICE = '\u591a\u91cd\u8d77\u52d5\u3092\u78ba\u8a8d\u3057\u307e\u3057\u305f';

  var canvas, context, status, image = null, imageAt = 0, el = {};
  var timer = 0, begun = false, ended = false, releaseLock = null, asleep = false;
  // This page holds the profile's lock (it may play), or has asked for it.
  var owner = false, lockAsked = false;
  var audio = null, cues = {}, defaultCue = null, defaultBytes = null, playing = null;
  var controls = {}, held = {left: false, right: false, start: false};
  // How the player plays, for the help line and the on-screen controls:
  // 'keys' (a desktop), 'touch' or 'pad'.
  var input = 'keys', helpShown = '';
  // The controls' thickness, the gaps, the smallest touch target, a share
  // button's size and the frame's focus ring, in CSS pixels.
  var CONTROL = 96, GAP = 8, BUTTON = 48, SHARE_W = 150, SHARE_H = 56, OUTLINE = 4;

  // The runs kept, as their links carry them, and what the game offers now
  // (1 no run going, 2 the result of a recorded run).
  var runs = {last: null, best: null}, offers = 0;
  // The watch as the controls show it; -1 forces the next status through.
  var watch = {on: false, position: -1, length: -1, playing: -1, speed: -1, atEnd: -1, verified: 0,
               verdict: '', clipFrom: -1, clipTo: -1};
  var seeking = false;
  // A clip's frames a second and scale as chosen; a clip asked for and not
  // yet made.
  var clip = {fps: 50, scale: 1, wanted: false};

  // Ticks taken in the page: how late each came and how long its tick,
  // paint and upload took, in ms. Fixed rings, nothing allocated per tick.
  var RING = 1 << 14;
  var timing = {count: 0, late: new Float64Array(RING), work: new Float64Array(RING),
                firstFrame: -1};

  // The status line: a notice the next move of the player takes away
  // (`passing`), or one that stays; hidden ones are for screen readers.
  var noticeTimer = 0;
  function say(text, language, visible, passing) {
    if (noticeTimer !== 0) clearTimeout(noticeTimer);
    noticeTimer = 0;
    status.textContent = text;
    status.lang = language;
    status.className = visible ? 'shown' : '';
    status.passing = !!passing;
  }

  function dismiss() {
    if (status.passing) say('', 'en', false);
  }

  function place(element, x, y, w, h) {
    element.style.left = x + 'px';
    element.style.top = y + 'px';
    element.style.width = w + 'px';
    element.style.height = h + 'px';
  }

  // A box of content that sets its own height: placed by width, measured.
  function measure(element, w) {
    element.style.width = w + 'px';
    element.style.height = 'auto';
    return element.offsetHeight;
  }

  // The frame as large as `w` x `h` CSS pixels allow, by the game's own
  // choice of scale.
  function fit(w, h) {
    var ratio = window.devicePixelRatio || 1;
    var scale = Module._nuvalo_frame_scale(Math.max(w, 1) * ratio, Math.max(h, 1) * ratio) / ratio;
    return {w: WIDTH * scale, h: HEIGHT * scale};
  }

  // The frame as large as the space left for it allows, nearest-neighbour
  // always; nothing else overlaps it or another control. On a touch screen
  // held upright the controls (or a watch's) go below it, held sideways
  // beside it; on a desktop the help line and a watch's bar go below it and
  // the page's buttons in its margins, or above it where there are none.
  function layout() {
    var stage = el.stage.getBoundingClientRect();
    var W = stage.width, H = stage.height;
    var touch = input === 'touch', upright = H >= W, watching = watch.on && !ended;
    var shares = [el.shareRun, el.shareBest].filter(function (b) { return !b.hidden; });
    var frame, x, y, top, i;
    el.watch.classList.toggle('row', !touch);
    el.help.classList.toggle('column', touch && !upright);
    var fullscreenIn = function (slot) {
      var r = slot.getBoundingClientRect();
      place(el.full, r.left - stage.left, r.top - stage.top, BUTTON, BUTTON);
    };
    if (touch && watching) {
      var panelH;
      if (upright) {
        panelH = measure(el.watch, W - 2 * GAP);
        frame = fit(W, H - panelH - 2 * GAP);
        x = (W - frame.w) / 2;
        place(canvas, x, 0, frame.w, frame.h);
        // In the middle of the room below the frame, in the thumb's reach.
        top = frame.h + Math.max(GAP, (H - frame.h - panelH) / 2);
        place(el.watch, GAP, top, W - 2 * GAP, panelH);
      } else {
        frame = fit(W - 260 - 3 * GAP, H);
        var panelW = W - frame.w - 3 * GAP;
        panelH = measure(el.watch, panelW);
        place(canvas, GAP, (H - frame.h) / 2, frame.w, frame.h);
        place(el.watch, frame.w + 2 * GAP, Math.max(GAP, (H - panelH) / 2), panelW, panelH);
      }
      fullscreenIn(el.fullSlot);
      return;
    }
    if (touch && !upright) {
      // Sideways: the frame at full height between two columns; the left one
      // holds the help line, Left and full screen, the right one the start
      // control, the share buttons and Right.
      frame = fit(W - 2 * (CONTROL + 2 * GAP), H);
      x = (W - frame.w) / 2;
      var column = Math.max(CONTROL, x - 2 * GAP), right = W - GAP - column;
      place(canvas, x, (H - frame.h) / 2, frame.w, frame.h);
      var helpH = measure(el.help, column);
      place(el.help, GAP, GAP, column, helpH);
      place(controls.left, GAP, 2 * GAP + helpH, column, H - 4 * GAP - helpH - BUTTON);
      place(el.full, GAP, H - GAP - BUTTON, BUTTON, BUTTON);
      place(controls.start, right, GAP, column, CONTROL);
      // The share buttons show only while no run is going: Right takes
      // their room back for the run.
      top = 2 * GAP + CONTROL;
      for (i = 0; i < shares.length; i++, top += SHARE_H + GAP) place(shares[i], right, top, column, SHARE_H);
      place(controls.right, right, top, column, H - GAP - top);
      return;
    }
    if (touch) {
      // Upright: the frame at the top; Left, Right and between them the
      // start control with the share buttons under it; the help line and
      // full screen at the bottom.
      var bottom = Math.max(measure(el.help, W - 3 * GAP - BUTTON), BUTTON);
      place(el.help, GAP, H - GAP - bottom, W - 3 * GAP - BUTTON, bottom);
      place(el.full, W - GAP - BUTTON, H - GAP - BUTTON, BUTTON, BUTTON);
      frame = fit(W, H - bottom - CONTROL - 4 * GAP);
      place(canvas, (W - frame.w) / 2, 0, frame.w, frame.h);
      top = frame.h + GAP;
      var tall = Math.max(CONTROL, H - bottom - 2 * GAP - top);
      var side = Math.max(CONTROL, Math.min((W - 4 * GAP) * 0.36, 240));
      var middle = Math.max(CONTROL, W - 4 * GAP - 2 * side);
      place(controls.left, GAP, top, side, tall);
      place(controls.right, W - GAP - side, top, side, tall);
      // The group keeps its place whether or not the share buttons show.
      y = top + Math.max(0, (tall - CONTROL - 2 * (GAP + SHARE_H)) / 2);
      place(controls.start, 2 * GAP + side, y, middle, CONTROL);
      for (i = 0; i < shares.length; i++) {
        place(shares[i], 2 * GAP + side, y + CONTROL + GAP + i * (SHARE_H + GAP), middle, SHARE_H);
      }
      return;
    }
    // A desktop: the help line under everything, a watch's bar under the
    // frame; full screen and the share buttons beside the frame's top.
    var helpLine = measure(el.help, W);
    place(el.help, 0, H - helpLine, W, helpLine);
    var barH = 0, barW = Math.min(W - 2 * GAP, 960);
    if (watching) barH = measure(el.watch, barW) + GAP;
    // Room for the frame's focus ring all round.
    var space = H - helpLine - barH - 2 * OUTLINE;
    var margin = (watching ? BUTTON : SHARE_W) + 2 * GAP;
    frame = fit(W - 2 * OUTLINE, space);
    top = OUTLINE;
    var above = (W - frame.w) / 2 < margin;
    if (above) {
      top = BUTTON + 2 * GAP; // no room beside it: a row above it
      frame = fit(W - 2 * OUTLINE, space + OUTLINE - top);
    }
    x = (W - frame.w) / 2;
    y = top + Math.max(0, (space + OUTLINE - top - frame.h) / 2);
    place(canvas, x, y, frame.w, frame.h);
    place(el.full, W - GAP - BUTTON, GAP, BUTTON, BUTTON);
    for (i = 0; i < shares.length; i++) {
      if (above) place(shares[i], GAP + i * (SHARE_W + GAP), GAP, SHARE_W, BUTTON);
      else place(shares[i], GAP, GAP + i * (BUTTON + GAP), SHARE_W, BUTTON);
    }
    if (watching) place(el.watch, (W - barW) / 2, y + frame.h + GAP, barW, barH - GAP);
  }

  function useInput(kind) {
    if (input === kind) return;
    input = kind;
    document.body.classList.toggle('touch', kind === 'touch');
    document.body.classList.toggle('pad', kind === 'pad');
    showHelp();
  }

  // The help line as the player plays or watches: English words, and
  // Japanese drawn by the game's font (pieces of the game's page labels,
  // which wrap). A touch screen's watch needs none: its controls say it.
  function showHelp() {
    var kind = !watch.on ? input : input === 'keys' ? 'watchKeys' : input === 'pad' ? 'watchPad' : '';
    if (kind !== helpShown) {
      helpShown = kind;
      var help = HELP[kind] || ['', [], ''];
      el.help.hidden = kind === '';
      document.getElementById('help-en').textContent = help[0];
      document.getElementById('help-ja').textContent = help[2];
      var drawn = document.getElementById('help-ja-drawn');
      drawn.textContent = '';
      help[1].forEach(function (which) {
        var piece = document.createElement('canvas');
        piece.className = 'label';
        drawLabel(piece, which, [153, 153, 153], 1);
        drawn.appendChild(piece);
      });
    }
    layout();
  }

  var HELP = {
    keys: ['\u2190 \u2192 steer \u00b7 Space or the start button starts a run \u00b7 Esc quits', [1, 2, 3, 4, 5],
           '\u2190\u2192\u3067\u64cd\u4f5c\u3001\u30b9\u30da\u30fc\u30b9\u304b\u300c\u958b\u59cb\u300d\u3067\u30b9\u30bf\u30fc\u30c8\u3001Esc\u3067\u7d42\u4e86'],
    touch: ['Hold \u25c0 \u25b6 or either side of the screen to steer \u00b7 the middle button starts a run', [6, 7, 8, 9, 10],
            '\u5de6\u53f3\u306e\u30dc\u30bf\u30f3\u304b\u753b\u9762\u306e\u5de6\u53f3\u3092\u62bc\u3057\u3066\u64cd\u4f5c\u3001\u300c\u958b\u59cb\u300d\u3067\u30b9\u30bf\u30fc\u30c8'],
    pad: ['D-pad or stick steers \u00b7 A starts a run \u00b7 Back quits', [11, 12, 13, 14, 15],
          '\u5341\u5b57\u30ad\u30fc\u304b\u30b9\u30c6\u30a3\u30c3\u30af\u3067\u64cd\u4f5c\u3001A\u3067\u30b9\u30bf\u30fc\u30c8\u3001Back\u3067\u7d42\u4e86'],
    watchKeys: ['Space plays or pauses \u00b7 \u2190 \u2192 a step (5 s while playing) \u00b7 \u2191 \u2193 speed \u00b7 Esc to the game',
                [16, 17, 18, 19, 20],
                '\u30b9\u30da\u30fc\u30b9\u3067\u518d\u751f\u30fb\u505c\u6b62\u3001\u2190\u2192\u3067\u79fb\u52d5\u3001\u2191\u2193\u3067\u901f\u3055\u3001Esc\u3067\u30b2\u30fc\u30e0\u3078'],
    watchPad: ['A plays or pauses \u00b7 d-pad \u2190 \u2192 a step (5 s while playing) \u00b7 \u2191 \u2193 speed \u00b7 Back to the game',
               [21, 17, 22, 23, 19, 24],
               'A\u3067\u518d\u751f\u30fb\u505c\u6b62\u3001\u5341\u5b57\u30ad\u30fc\u2190\u2192\u3067\u79fb\u52d5\u3001\u2191\u2193\u3067\u901f\u3055\u3001Back\u3067\u30b2\u30fc\u30e0\u3078'],
  };

  // One of the game's page labels onto a small canvas: the glyphs in
  // `colour`, the rest clear, `zoom` CSS pixels per font pixel.
  function drawLabel(target, which, colour, zoom) {
    var width = Module._nuvalo_label(which);
    var from = Module._nuvalo_label_pixels() >> 2;
    target.width = Math.max(width, 1);
    target.height = 16;
    target.style.width = (width * zoom) + 'px';
    target.style.height = (16 * zoom) + 'px';
    var pen = target.getContext('2d');
    var picture = pen.createImageData(target.width, 16);
    for (var y = 0; y < 16; y++) {
      for (var x = 0; x < width; x++) {
        if ((HEAPU32[from + y * WIDTH + x] & 0xffffff) !== 0) continue;
        var at = (y * target.width + x) * 4;
        picture.data[at] = colour[0];
        picture.data[at + 1] = colour[1];
        picture.data[at + 2] = colour[2];
        picture.data[at + 3] = 255;
      }
    }
    pen.putImageData(picture, 0, 0);
  }

  function present(rgba) {
    var bytes = WIDTH * HEIGHT * 4;
    // The ImageData views the game's pixels in place; it is made again only
    // when the heap has moved.
    if (image === null || image.data.buffer !== HEAPU8.buffer || imageAt !== rgba) {
      image = new ImageData(new Uint8ClampedArray(HEAPU8.buffer, rgba, bytes), WIDTH, HEIGHT);
      imageAt = rgba;
    }
    context.putImageData(image, 0, 0);
    if (timing.firstFrame < 0) timing.firstFrame = performance.now(); // since navigation
  }

  function wake() {
    timer = 0;
    var started = performance.now();
    readPads();
    var late = Module._nuvalo_wake();
    if (late >= 0) {
      var at = timing.count++ % RING;
      timing.late[at] = late / 1000;
      timing.work[at] = performance.now() - started;
    }
  }

  function wakeAfter(milliseconds) {
    if (timer !== 0) clearTimeout(timer);
    asleep = false;
    // Timers count whole milliseconds: rounded up, a wake never comes early.
    timer = ended ? 0 : setTimeout(wake, Math.ceil(milliseconds));
  }

  // The game rests with its frame shown: no timer until input comes, and the
  // sound device rests too once the last cue has ended. A controller has no
  // events of its own: while one is attached, a resting watch still reads it
  // once a frame.
  function sleep() {
    if (timer !== 0) clearTimeout(timer);
    timer = 0;
    asleep = true;
    restAudio();
    if (watch.on && padsTold.indexOf(true) >= 0) requestAnimationFrame(pollPads);
  }

  function pollPads() {
    if (!asleep || ended || !watch.on) return;
    if (readPads()) Module._nuvalo_wake();
    else requestAnimationFrame(pollPads);
  }

  // Game controllers of the standard mapping, each read at every tick as it
  // is (the game maps them as on every platform); `padsTold`: the indices
  // last told attached, so that one gone is told too; `padsHeld`: what each
  // held, to tell a resting watch that something changed.
  var padsTold = [], padsHeld = [];
  function readPads() {
    var pads = (navigator.getGamepads && navigator.getGamepads()) || [], changed = false;
    for (var i = 0; i < Math.max(pads.length, padsTold.length); i++) {
      var p = pads[i], on = !!(p && p.connected && p.mapping === 'standard');
      if (!on && !padsTold[i]) continue;
      padsTold[i] = on;
      var b = function (k) { return on && p.buttons[k] && p.buttons[k].pressed ? 1 : 0; };
      var stick = on && p.axes.length > 0 ? p.axes[0] : 0;
      var now = on ? 1 | b(14) << 1 | b(15) << 2 | b(0) << 3 | b(8) << 4 | b(12) << 5 | b(13) << 6 |
                     (stick < -0.24 ? 128 : stick > 0.24 ? 256 : 0) : 0;
      changed = changed || now !== padsHeld[i];
      padsHeld[i] = now;
      if (now & 126) useInput('pad');
      Module._nuvalo_pad(i, on ? 1 : 0, b(14), b(15), b(0), b(8), stick, b(12), b(13));
    }
    return changed;
  }

  // A controller plugged in or pulled out: told at once, even to a game at rest.
  function padsChanged() {
    readPads();
    Module._nuvalo_wake();
  }

  // Sound: no audio at all is silent play, never an error.
  function openAudio() {
    try {
      var Context = window.AudioContext || window.webkitAudioContext;
      audio = Context ? new Context() : null;
    } catch (e) {
      audio = null;
    }
  }

  function decode(bytes, done) {
    if (audio === null) return;
    try {
      var pending = audio.decodeAudioData(bytes, done, function () { done(null); });
      if (pending && pending.catch) pending.catch(function () { done(null); });
    } catch (e) {
      done(null);
    }
  }

  // The cue files, from the game's own table.
  function loadCues() {
    var files = [];
    for (var i = 0; i < Module._nuvalo_cue_count(); i++) files.push(UTF8ToString(Module._nuvalo_cue_file(i)));
    files.forEach(function (path) {
      cues[path] = null; // the default sound until the file has come
      fetch(path).then(function (response) {
        return response.ok ? response.arrayBuffer() : null;
      }).then(function (bytes) {
        if (bytes) decode(bytes, function (buffer) { cues[path] = buffer || null; });
      }).catch(function () {});
    });
  }

  function setDefaultSound(bytes) {
    defaultBytes = bytes;
  }

  // Opening audio can take a browser a good part of a second: after the
  // first frame is on the screen, not before.
  function openSound() {
    if (ended) return;
    openAudio();
    if (defaultBytes !== null) decode(defaultBytes, function (b) { defaultCue = b || null; });
    defaultBytes = null;
    loadCues();
  }

  function stopCue() {
    if (playing !== null) {
      try { playing.stop(); } catch (e) {}
      playing = null;
    }
  }

  function playCue(path) {
    if (audio === null || ended) return;
    var buffer = cues[path] || defaultCue;
    stopCue();
    if (!buffer) return;
    resumeAudio();
    try {
      var source = audio.createBufferSource();
      source.buffer = buffer;
      source.connect(audio.destination);
      source.onended = function () {
        if (playing === source) playing = null;
        restAudio();
      };
      playing = source;
      source.start();
    } catch (e) {
      playing = null;
    }
  }

  // Autoplay rules: the context runs once the player has pressed something.
  function resumeAudio() {
    if (audio !== null && audio.state === 'suspended') audio.resume().catch(function () {});
  }

  // A running audio context costs a sound thread even for silence.
  function restAudio() {
    if (asleep && playing === null && audio !== null && audio.state === 'running') {
      audio.suspend().catch(function () {});
    }
  }

  // Storage may be missing, disabled or full (private windows): reading
  // then gives undefined, writing false, and the game plays on.
  function storeRead(key) {
    try {
      return window.localStorage.getItem(key || STORE_KEY);
    } catch (e) {
      return undefined;
    }
  }

  function storeWrite(text, key) {
    try {
      window.localStorage.setItem(key || STORE_KEY, text);
      return window.localStorage.getItem(key || STORE_KEY) === text;
    } catch (e) {
      return false;
    }
  }

  // A run reached its result (the last run), or its score went in as the
  // best (the best run): kept for sharing, in storage where there is some.
  function runKept(best, text) {
    var which = best ? 'best' : 'last';
    runs[which] = text;
    storeWrite(text, RUN_KEYS[which]);
    offer(offers);
  }

  function offer(what) {
    offers = what;
    var run = !!(what & 2 && runs.last), best = !!(what & 1 && runs.best);
    if (el.shareRun.hidden === run || el.shareBest.hidden === best) {
      el.shareRun.hidden = !run;
      el.shareBest.hidden = !best;
      layout();
    }
  }

  // The page's address with the run as its fragment: the link a friend opens.
  function linkOf(text) {
    return location.href.split('#')[0] + '#run=' + text;
  }

  // The system's share sheet where there is one; a desktop that has the call
  // but cannot share, or a page without it, copies the link instead, or at
  // last shows it to be copied by hand. The player closing the sheet is no
  // failure.
  function share(which) {
    var text = runs[which];
    if (!text) return;
    var url = linkOf(text);
    if (navigator.share && (!navigator.canShare || navigator.canShare({url: url}))) {
      var shared;
      try {
        shared = Promise.resolve(navigator.share({url: url}));
      } catch (e) {
        shared = Promise.reject(e);
      }
      shared.catch(function (e) {
        if (!e || e.name !== 'AbortError') copy(url);
      });
      return;
    }
    copy(url);
  }

  function copy(url) {
    var copying;
    try {
      copying = navigator.clipboard.writeText(url);
    } catch (e) {
      copying = Promise.reject(e);
    }
    Promise.resolve(copying).then(function () {
      say('Link copied', 'en', true, true);
      noticeTimer = setTimeout(dismiss, 4000);
    }, function () {
      showLink(url);
    });
  }

  function showLink(url) {
    say('Copy this link: ', 'en', true, true);
    var field = document.createElement('input');
    field.id = 'link';
    field.className = 'tool';
    field.readOnly = true;
    field.value = url;
    field.setAttribute('aria-label', 'The run\'s link');
    status.appendChild(field);
    field.focus();
    field.select();
  }

  // A run's link handed to the game: watched at once, or its reason told
  // and the page left as it was.
  function watchLink(link) {
    if (held.left || held.right || held.start) releaseTouches();
    var buffer = Module._nuvalo_link_buffer(link.length);
    for (var i = 0; i < link.length; i++) {
      var code = link.charCodeAt(i);
      HEAPU8[buffer + i] = code < 0x80 ? code : 0x3f; // an address is ASCII
    }
    forgetWatch();
    var reason = UTF8ToString(Module._nuvalo_watch_link());
    if (reason !== '') {
      say('This run link cannot be played: ' + reason, 'en', true, true);
      return false;
    }
    dismiss(); // an earlier link's reason
    if (status.textContent === NOTICE) say('', 'en', false);
    return true;
  }

  function linkInAddress() {
    return /^#(?:.*&)?run=/.test(location.hash) ? location.href : null;
  }

  // A second link pasted into the same tab is watched in place of what was
  // shown; going back to an address without one goes back to the game.
  function addressChanged() {
    var link = linkInAddress();
    if (link === null) {
      if (watch.on) Module._nuvalo_watch_stop();
    } else if (ended) {
      location.reload();
    } else {
      watchLink(link);
      begin();
    }
  }

  function forgetWatch() {
    watch.position = watch.length = watch.playing = watch.speed = watch.atEnd = watch.clipFrom = watch.clipTo = -1;
    watch.on = false;
  }

  function seconds(steps) {
    var hundredths = steps % 50 * 2;
    return Math.floor(steps / 50) + (hundredths < 10 ? '.0' : '.') + hundredths;
  }

  // The host tells every change of the watch, each step while it plays:
  // only what changed reaches the page's elements.
  function watchChanged(on, position, length, isPlaying, speed, atEnd, verified, verdict, clipFrom, clipTo) {
    if (!on) {
      if (watch.on) watchStopped();
      return;
    }
    if (!watch.on) {
      watch.on = true;
      watch.verified = verified;
      watch.verdict = UTF8ToString(verdict);
      el.verdict.textContent = watch.verdict;
      el.verdict.classList.toggle('verified', verified !== 0);
      document.body.classList.add('watching');
      showHelp();
    }
    var timeChanged = false;
    if (length !== watch.length) {
      watch.length = length;
      el.seek.max = length;
      timeChanged = true;
    }
    if (position !== watch.position) {
      watch.position = position;
      if (!seeking) el.seek.value = position;
      timeChanged = true;
    }
    if (timeChanged) el.time.data = seconds(position) + ' / ' + seconds(length);
    if (isPlaying !== watch.playing) {
      watch.playing = isPlaying;
      el.watch.classList.toggle('playing', isPlaying !== 0);
      el.play.setAttribute('aria-label', isPlaying ? 'Pause' : 'Play');
    }
    if (speed !== watch.speed) {
      watch.speed = speed;
      el.speed.textContent = UTF8ToString(Module._nuvalo_watch_speed_name(speed));
    }
    if (atEnd !== watch.atEnd) {
      watch.atEnd = atEnd;
      el.verdict.classList.toggle('shown', atEnd !== 0);
    }
    if (timeChanged || clipFrom !== watch.clipFrom || clipTo !== watch.clipTo) {
      watch.clipFrom = clipFrom;
      watch.clipTo = clipTo;
      showStretch();
    }
  }

  // The clip's stretch as a band under the seek bar's track, and in words
  // on the button that makes it.
  function showStretch() {
    var n = Math.max(watch.length, 1), from = watch.clipFrom / n, to = watch.clipTo / n;
    var along = function (f) { return 'calc(' + THUMB_HALF + 'px + (100% - ' + 2 * THUMB_HALF + 'px) * ' + f + ')'; };
    el.clipBand.style.left = along(from);
    el.clipBand.style.width = along(to - from).replace(THUMB_HALF + 'px + ', '');
    var words = 'Make a GIF of ' + seconds(watch.clipFrom) + ' s to ' + seconds(watch.clipTo) + ' s';
    el.clipMake.title = words + ' (G)';
    el.clipMake.setAttribute('aria-label', words);
  }

  // Making a clip holds the page for a second or two: the words go up and
  // show before it starts.
  function clipWanted() {
    if (clip.wanted) return;
    clip.wanted = true;
    say('Making the clip\u2026', 'en', true);
    var make = function () {
      if (!clip.wanted) return;
      clip.wanted = false;
      var reason = UTF8ToString(Module._nuvalo_clip_make(clip.fps, clip.scale));
      if (reason !== '') say('No clip: ' + reason, 'en', true, true);
    };
    requestAnimationFrame(function () { setTimeout(make, 0); });
    // A page out of sight paints nothing, and runs no animation frame.
    setTimeout(make, 250);
  }

  // The clip made, as a download, and to the system's share sheet where it
  // takes files: from a button, as sharing needs the player's own tap.
  function clipMade(bytes) {
    var blob = new Blob([bytes], {type: 'image/gif'});
    var url = URL.createObjectURL(blob);
    var link = document.createElement('a');
    link.href = url;
    link.download = CLIP_NAME;
    link.hidden = true;
    document.body.appendChild(link);
    link.click();
    link.remove();
    // Long enough for any browser to have saved it.
    setTimeout(function () { URL.revokeObjectURL(url); }, 60000);
    var file = null;
    try {
      file = new File([blob], CLIP_NAME, {type: 'image/gif'});
    } catch (e) {}
    var shareable = false;
    try {
      shareable = !!(file && navigator.share && navigator.canShare && navigator.canShare({files: [file]}));
    } catch (e) {}
    say('Clip saved as ' + CLIP_NAME + ' (' + Math.ceil(bytes.length / 1024) + ' KB)', 'en', true, true);
    if (!shareable) {
      noticeTimer = setTimeout(dismiss, 6000);
      return;
    }
    var button = document.createElement('button');
    button.type = 'button';
    button.id = 'share-clip';
    button.className = 'tool';
    button.textContent = 'Share';
    button.addEventListener('click', function () {
      var shared;
      try {
        shared = Promise.resolve(navigator.share({files: [file]}));
      } catch (e) {
        shared = Promise.reject(e);
      }
      shared.then(dismiss, function (e) {
        if (!e || e.name !== 'AbortError') say('The clip could not be shared: ' + (e && e.message || e), 'en', true, true);
      });
    });
    status.appendChild(button);
  }

  // Back to the game: the address no longer names the run, and the page
  // takes the profile's lock now if it watched without it.
  function watchStopped() {
    forgetWatch();
    seeking = false;
    document.body.classList.remove('watching');
    if (linkInAddress() !== null) {
      try {
        history.replaceState(history.state, '', location.href.split('#')[0]);
      } catch (e) {}
    }
    showHelp();
    if (!owner && !ended) takeLock();
  }

  function togglePlay() {
    Module._nuvalo_watch_play(watch.playing === 1 ? 0 : 1);
  }

  function shown() {
    return canvas.getBoundingClientRect();
  }

  function onKey(event, down) {
    var vk = KEYS[event.key] || KEYS[event.code];
    resumeAudio();
    // The browser's own shortcuts stay its own; a release always counts, or
    // an arrow let go with Ctrl held would stay held.
    if (!vk || (down && (event.ctrlKey || event.altKey || event.metaKey))) return;
    // The clip's letters are a watch's alone; typing stays the browser's.
    if (vk > 64 && !watch.on) return;
    // Space and the arrows would scroll the page.
    event.preventDefault();
    // Escape that leaves full screen is the browser's, not a quit (and the
    // game ignores the release of a press it never saw); one that closes a
    // link shown for copying is the link's.
    if (vk === 27 && down && (document.fullscreenElement || document.webkitFullscreenElement)) return;
    if (vk === 27 && document.getElementById('link')) {
      if (!down) dismiss();
      return;
    }
    if (down) dismiss();
    if (input === 'touch' || input === 'pad') useInput('keys');
    Module._nuvalo_key(down ? 1 : 0, vk);
  }

  function onMouseMove(event) {
    var box = shown();
    Module._nuvalo_mouse_move(event.clientX - box.left, event.clientY - box.top,
                              box.width, box.height);
  }

  function onMouseDown(event) {
    if (event.button !== 0) return;
    resumeAudio();
    dismiss();
    // A watch's frame is its play and pause button; the game's holds its own.
    if (watch.on) togglePlay();
    else Module._nuvalo_mouse_down();
  }

  function inside(rect, x, y) {
    return x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom;
  }

  // The page's own buttons and the seek bar work as the browser makes them
  // work; every other touch is the game's.
  function isTool(target) {
    return !!(target && target.closest && target.closest('.tool'));
  }

  // What a touch at (x, y) holds: the control under it; on the frame the
  // playfield's half; anywhere else the screen's half.
  function touchHolds(x, y) {
    if (document.body.classList.contains('touch')) {
      if (inside(controls.left.getBoundingClientRect(), x, y)) return 'left';
      if (inside(controls.right.getBoundingClientRect(), x, y)) return 'right';
      if (inside(controls.start.getBoundingClientRect(), x, y)) return 'start';
    }
    var box = shown();
    if (inside(box, x, y)) {
      var side = Module._nuvalo_touch_side(x - box.left, y - box.top, box.width, box.height);
      return side === 1 ? 'left' : side === 2 ? 'right' : null;
    }
    return x < window.innerWidth / 2 ? 'left' : 'right';
  }

  function hold(now) {
    Module._nuvalo_touches_held(now.left ? 1 : 0, now.right ? 1 : 0);
    if (now.start !== held.start) Module._nuvalo_start_control(now.start ? 1 : 0);
    ['left', 'right', 'start'].forEach(function (k) {
      controls[k].classList.toggle('held', now[k]);
    });
    held = now;
  }

  function releaseTouches() {
    hold({left: false, right: false, start: false});
  }

  function onTouch(event) {
    var tool = isTool(event.target);
    // No scrolling, zooming, selecting or emulated mouse events anywhere but
    // on the page's own buttons, whose taps are clicks.
    if (event.cancelable && !tool) event.preventDefault();
    resumeAudio();
    if (input !== 'touch') useInput('touch');
    if (!tool && event.type === 'touchstart') dismiss();
    var box = shown(), i, t;
    if (watch.on) {
      // Watching, the whole screen steers nothing: a tap on the frame plays
      // or pauses, the rest is the controls'.
      if (event.type === 'touchstart' && !tool) {
        for (i = 0; i < event.changedTouches.length; i++) {
          t = event.changedTouches[i];
          if (inside(box, t.clientX, t.clientY)) togglePlay();
        }
      }
      return;
    }
    var now = {left: false, right: false, start: false};
    for (i = 0; i < event.touches.length; i++) {
      t = event.touches[i];
      if (isTool(t.target)) continue;
      var what = touchHolds(t.clientX, t.clientY);
      if (what) now[what] = true;
    }
    hold(now);
    if (event.type === 'touchstart' && !tool) {
      for (i = 0; i < event.changedTouches.length; i++) {
        t = event.changedTouches[i];
        if (inside(box, t.clientX, t.clientY)) {
          Module._nuvalo_tap(t.clientX - box.left, t.clientY - box.top, box.width, box.height);
        }
      }
    }
  }

  function toggleFullscreen() {
    var root = document.documentElement;
    if (document.fullscreenElement) {
      document.exitFullscreen().catch(function () {});
    } else if (root.requestFullscreen) {
      root.requestFullscreen({navigationUI: 'hide'}).catch(function () {});
    }
  }

  function listen() {
    window.addEventListener('keydown', function (e) { onKey(e, true); });
    window.addEventListener('keyup', function (e) { onKey(e, false); });
    canvas.addEventListener('mousemove', onMouseMove);
    canvas.addEventListener('mousedown', onMouseDown);
    ['touchstart', 'touchmove', 'touchend', 'touchcancel'].forEach(function (type) {
      document.addEventListener(type, onTouch, {passive: false});
    });
    // Sound may start on the first press or on its release, whichever the
    // browser accepts as the player's own gesture.
    ['pointerdown', 'pointerup', 'touchend', 'keyup'].forEach(function (type) {
      window.addEventListener(type, resumeAudio, true);
    });
    document.addEventListener('contextmenu', function (e) {
      if (!e.target || e.target.id !== 'link') e.preventDefault();
    });
    document.addEventListener('dblclick', function (e) { e.preventDefault(); });
    el.full.addEventListener('click', toggleFullscreen);
    el.shareRun.addEventListener('click', function () { share('last'); });
    el.shareBest.addEventListener('click', function () { share('best'); });
    // The watch's controls; the seek bar seeks while it is dragged, each
    // frame composed at once, and the watch's own moves leave it alone then.
    el.play.addEventListener('click', togglePlay);
    el.speed.addEventListener('click', function () { Module._nuvalo_watch_speed((watch.speed + 1) % 4); });
    el.stepBack.addEventListener('click', function () { Module._nuvalo_watch_step(-1); });
    el.stepForward.addEventListener('click', function () { Module._nuvalo_watch_step(1); });
    el.leave.addEventListener('click', function () { Module._nuvalo_watch_stop(); });
    el.clipStart.addEventListener('click', function () { Module._nuvalo_watch_mark_clip(0); });
    el.clipEnd.addEventListener('click', function () { Module._nuvalo_watch_mark_clip(1); });
    el.clipFps.addEventListener('click', function () {
      clip.fps = clip.fps === 50 ? 25 : 50;
      el.clipFps.textContent = clip.fps + ' fps';
    });
    el.clipScale.addEventListener('click', function () {
      clip.scale = 3 - clip.scale;
      el.clipScale.textContent = clip.scale + 'x size';
    });
    el.clipMake.addEventListener('click', function () { Module._nuvalo_watch_clip(); });
    el.seek.addEventListener('input', function () { Module._nuvalo_watch_seek(Number(el.seek.value)); });
    el.seek.addEventListener('pointerdown', function () { seeking = true; });
    el.seek.addEventListener('change', function () {
      seeking = false;
      el.seek.value = watch.position;
    });
    window.addEventListener('pointerup', function () { seeking = false; });
    window.addEventListener('hashchange', addressChanged);
    window.addEventListener('gamepadconnected', padsChanged);
    window.addEventListener('gamepaddisconnected', padsChanged);
    window.addEventListener('blur', function () { Module._nuvalo_focus_lost(); });
    // Closing the tab, reloading or leaving is the close box: a result still
    // being tallied is saved on the way out.
    window.addEventListener('pagehide', function () { Module._nuvalo_close(); });
    canvas.addEventListener('contextrestored', function () { Module._nuvalo_frame_lost(); });
    document.addEventListener('visibilitychange', function () {
      if (document.hidden) Module._nuvalo_focus_lost();
    });
  }

  // Once there is a game (played or watched): controllers, focus, sound.
  function begin() {
    if (begun) return;
    begun = true;
    padsChanged();
    canvas.focus({preventScroll: true});
    requestAnimationFrame(function () { setTimeout(openSound, 0); });
  }

  // The page holds the lock: it plays.
  function start() {
    owner = true;
    Module._nuvalo_start();
    begin();
  }

  // Installable and playable offline: every file of the page is kept by the
  // service worker after the first visit.
  function keepOffline() {
    if (!('serviceWorker' in navigator) || location.protocol === 'file:') return;
    navigator.serviceWorker.register('sw.js').catch(function () {});
  }

  function refuse() {
    if (!Module._nuvalo_refuse()) return; // a watch began meanwhile
    sleep();
    if (status.className !== 'shown') say(NOTICE, 'ja', false);
  }

  // One game per profile: the lock is held until the game ends or the tab
  // goes. Without it another tab plays, and this one shows the notice.
  function takeLock() {
    var locks = navigator.locks;
    if (lockAsked) return;
    lockAsked = true;
    if (!locks || !locks.request) {
      start(); // no way to tell other tabs apart: play
      return;
    }
    locks.request(LOCK_NAME, {ifAvailable: true}, function (lock) {
      if (lock === null) {
        lockAsked = false; // asked again when the player next leaves a watch
        refuse();
        return undefined;
      }
      start();
      return new Promise(function (resolve) { releaseLock = resolve; });
    }).catch(function () {
      if (!owner) start(); // the lock manager failed: play rather than stay blank
    });
  }

  function gameEnded() {
    ended = true;
    if (timer !== 0) clearTimeout(timer);
    timer = 0;
    stopCue();
    if (audio !== null) audio.close().catch(function () {});
    audio = null;
    if (releaseLock !== null) releaseLock();
    releaseLock = null;
    canvas.className = 'ended';
    document.body.classList.remove('watching');
    say('The game has ended. Reload the page to start it again.', 'en', true);
  }

  function boot() {
    canvas = document.getElementById('frame');
    status = document.getElementById('status');
    context = canvas.getContext('2d', {alpha: false});
    ['left', 'right', 'start'].forEach(function (k) { controls[k] = document.getElementById(k); });
    ['stage', 'help', 'watch', 'verdict', 'seek', 'play', 'speed', 'leave'].forEach(function (id) {
      el[id] = document.getElementById(id);
    });
    // The rest by their ids, named as the code uses them.
    [['full', 'fullscreen'], ['fullSlot', 'fullscreen-slot'], ['shareRun', 'share-run'],
     ['shareBest', 'share-best'], ['stepBack', 'step-back'], ['stepForward', 'step-forward'],
     ['clipStart', 'clip-start'], ['clipEnd', 'clip-end'], ['clipFps', 'clip-fps'],
     ['clipScale', 'clip-scale'], ['clipMake', 'clip-make'], ['clipBand', 'clip-band']
    ].forEach(function (pair) { el[pair[0]] = document.getElementById(pair[1]); });
    el.time = document.getElementById('time').firstChild;
    runs.last = storeRead(RUN_KEYS.last) || null;
    runs.best = storeRead(RUN_KEYS.best) || null;
    drawLabel(controls.start.querySelector('canvas'), 0, [238, 238, 238], 2);
    var coarse = window.matchMedia && window.matchMedia('(pointer: coarse)').matches;
    input = '';
    useInput(coarse ? 'touch' : 'keys');
    if (document.fullscreenEnabled) document.body.classList.add('can-fullscreen');
    window.addEventListener('resize', layout);
    window.addEventListener('orientationchange', layout);
    if (window.visualViewport) window.visualViewport.addEventListener('resize', layout);
    // Back to an ended game from the back/forward cache: a fresh game instead.
    window.addEventListener('pageshow', function (e) {
      if (e.persisted && ended) location.reload();
    });
    requestAnimationFrame(function () { setTimeout(keepOffline, 0); });
    listen();
    // Opened from a run's link: watched without the lock, which another tab
    // may hold; the game and its lock wait until the player leaves the watch.
    var link = linkInAddress();
    if (link !== null && watchLink(link)) {
      begin();
      return;
    }
    takeLock();
  }

  Module.onRuntimeInitialized = boot;
  // No WebAssembly, or the page's files not all there: say so instead of
  // leaving a black page.
  Module.onAbort = function (what) {
    status = status || document.getElementById('status');
    if (status) say('Nuvalo could not start in this browser: ' + what, 'en', true);
  };

  return {
    wakeAfter: wakeAfter, sleep: sleep, present: present, playCue: playCue, gameEnded: gameEnded,
    setDefaultSound: setDefaultSound, storeRead: storeRead, storeWrite: storeWrite, runKept: runKept,
    offer: offer, watchChanged: watchChanged, clipWanted: clipWanted, clipMade: clipMade, storeText: null,
    timing: timing, watch: watch,
    layout: function () { layout(); },
  };
})();
