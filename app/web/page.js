// The page around the game: the canvas and its scale, the keyboard, mouse and
// touch, the tick's timer, Web Audio for the cues, storage for save.dat and
// the one-game-per-profile lock. Appended to the game's module script, so
// Module and its heap are in reach; the game itself is in the wasm.
var NuvaloPage = (function () {
  'use strict';
  var WIDTH = 600, HEIGHT = 450;
  var STORE_KEY = 'nuvalo/save.dat';
  var LOCK_NAME = 'nuvalo';
  var KEYS = {ArrowLeft: 37, Left: 37, ArrowRight: 39, Right: 39, ' ': 32, Spacebar: 32,
              Space: 32, Escape: 27, Esc: 27};

  var canvas, context, status, image = null, imageAt = 0;
  var timer = 0, begun = false, ended = false, releaseLock = null, asleep = false;
  var audio = null, cues = {}, defaultCue = null, defaultBytes = null, playing = null;
  var controls = {}, held = {left: false, right: false, start: false};
  // How the player plays, for the help line and the on-screen controls:
  // 'keys' (a desktop), 'touch' or 'pad'.
  var input = 'keys';
  // The controls' thickness and the help line's room, in CSS pixels.
  var CONTROL = 96, GAP = 8;

  // Ticks taken in the page: how late each came and how long its tick,
  // paint and upload took, in ms. Fixed rings, nothing allocated per tick.
  var RING = 1 << 14;
  var timing = {count: 0, late: new Float64Array(RING), work: new Float64Array(RING),
                firstFrame: -1};

  function say(text, language, visible) {
    status.textContent = text;
    status.lang = language;
    status.className = visible ? 'shown' : '';
  }

  function place(element, x, y, w, h) {
    element.style.left = x + 'px';
    element.style.top = y + 'px';
    element.style.width = w + 'px';
    element.style.height = h + 'px';
  }

  // The frame as large as the space left for it allows (the game's own
  // choice of scale, nearest-neighbour always); on a touch screen held
  // upright the controls go below it, held sideways beside it.
  function layout() {
    var stage = document.getElementById('stage').getBoundingClientRect();
    var W = stage.width, H = stage.height, ratio = window.devicePixelRatio || 1;
    var help = document.getElementById('help'), full = document.getElementById('fullscreen');
    var touch = input === 'touch', upright = H >= W, BUTTON = 48;
    var spaceW = W, spaceH, helpH, x, y, w, h, scale;
    if (touch && !upright) {
      // Sideways: the frame at full height between two columns; the left one
      // holds the help line and Left, the right one the start control and Right.
      scale = Module._nuvalo_frame_scale((W - 2 * (CONTROL + 2 * GAP)) * ratio, H * ratio);
      w = WIDTH * scale / ratio;
      h = HEIGHT * scale / ratio;
      x = (W - w) / 2;
      var column = Math.max(CONTROL, x - 2 * GAP);
      place(canvas, x, 0, w, h);
      help.style.cssText = 'left:' + GAP + 'px;top:' + GAP + 'px;width:' + column +
                           'px;right:auto;bottom:auto;padding:0;text-align:left';
      helpH = help.offsetHeight;
      place(controls.left, GAP, 2 * GAP + helpH, column, H - 4 * GAP - helpH - BUTTON);
      place(full, GAP, H - GAP - BUTTON, BUTTON, BUTTON);
      place(controls.start, W - GAP - column, GAP, column, CONTROL);
      place(controls.right, W - GAP - column, 2 * GAP + CONTROL, column, H - 3 * GAP - CONTROL);
      return;
    }
    if (touch) {
      help.style.cssText = 'padding-right:' + (BUTTON + 2 * GAP) + 'px;padding-left:' +
                           (BUTTON + 2 * GAP) + 'px';
      helpH = Math.max(help.offsetHeight, BUTTON + 2 * GAP);
      place(full, W - GAP - BUTTON, H - GAP - BUTTON, BUTTON, BUTTON);
    } else {
      // A desktop: one short line under the frame, full screen in a corner.
      help.style.cssText = '';
      helpH = help.offsetHeight;
      place(full, W - GAP - BUTTON, GAP, BUTTON, BUTTON);
    }
    spaceH = H - helpH - (touch ? CONTROL + 2 * GAP : 0);
    scale = Module._nuvalo_frame_scale(spaceW * ratio, spaceH * ratio);
    w = WIDTH * scale / ratio;
    h = HEIGHT * scale / ratio;
    // Upright touch screens: the frame at the top, the controls below it.
    x = (W - w) / 2;
    y = touch ? 0 : Math.max(0, (spaceH - h) / 2);
    place(canvas, x, y, w, h);
    if (touch) {
      var top = y + h + GAP, tall = Math.max(CONTROL, H - helpH - top - GAP);
      var side = Math.max(CONTROL, Math.min((W - 4 * GAP) * 0.36, 240));
      place(controls.left, GAP, top, side, tall);
      place(controls.right, W - GAP - side, top, side, tall);
      place(controls.start, 2 * GAP + side, top + (tall - CONTROL) / 2,
            Math.max(CONTROL, W - 4 * GAP - 2 * side), CONTROL);
    }
  }

  function useInput(kind) {
    if (input === kind) return;
    input = kind;
    document.body.classList.toggle('touch', kind === 'touch');
    document.body.classList.toggle('pad', kind === 'pad');
    var help = HELP[kind];
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
    layout();
  }

  // The help line as the player plays: English words, and Japanese drawn by
  // the game's font (pieces of the game's page labels, which wrap).
  var HELP = {
    keys: ['\u2190 \u2192 steer \u00b7 Space or the start button starts a run \u00b7 Esc quits', [1, 2, 3, 4, 5],
           '\u2190\u2192\u3067\u64cd\u4f5c\u3001\u30b9\u30da\u30fc\u30b9\u304b\u300c\u958b\u59cb\u300d\u3067\u30b9\u30bf\u30fc\u30c8\u3001Esc\u3067\u7d42\u4e86'],
    touch: ['Hold \u25c0 \u25b6 or either side of the screen to steer \u00b7 the middle button starts a run', [6, 7, 8, 9, 10],
            '\u5de6\u53f3\u306e\u30dc\u30bf\u30f3\u304b\u753b\u9762\u306e\u5de6\u53f3\u3092\u62bc\u3057\u3066\u64cd\u4f5c\u3001\u300c\u958b\u59cb\u300d\u3067\u30b9\u30bf\u30fc\u30c8'],
    pad: ['D-pad or stick steers \u00b7 A starts a run \u00b7 Back quits', [11, 12, 13, 14, 15],
          '\u5341\u5b57\u30ad\u30fc\u304b\u30b9\u30c6\u30a3\u30c3\u30af\u3067\u64cd\u4f5c\u3001A\u3067\u30b9\u30bf\u30fc\u30c8\u3001Back\u3067\u7d42\u4e86'],
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
  // sound device rests too once the last cue has ended.
  function sleep() {
    if (timer !== 0) clearTimeout(timer);
    timer = 0;
    asleep = true;
    restAudio();
  }

  // Game controllers of the standard mapping, each read at every tick as it
  // is (the game maps them as on every platform); `padsTold`: the indices
  // last told attached, so that one gone is told too.
  var padsTold = [];
  function readPads() {
    var pads = (navigator.getGamepads && navigator.getGamepads()) || [];
    for (var i = 0; i < Math.max(pads.length, padsTold.length); i++) {
      var p = pads[i], on = !!(p && p.connected && p.mapping === 'standard');
      if (!on && !padsTold[i]) continue;
      padsTold[i] = on;
      var b = function (k) { return on && p.buttons[k] && p.buttons[k].pressed ? 1 : 0; };
      if (b(14) || b(15) || b(0) || b(8)) useInput('pad');
      Module._nuvalo_pad(i, on ? 1 : 0, b(14), b(15), b(0), b(8), on && p.axes.length > 0 ? p.axes[0] : 0);
    }
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
  function storeRead() {
    try {
      return window.localStorage.getItem(STORE_KEY);
    } catch (e) {
      return undefined;
    }
  }

  function storeWrite(text) {
    try {
      window.localStorage.setItem(STORE_KEY, text);
      return window.localStorage.getItem(STORE_KEY) === text;
    } catch (e) {
      return false;
    }
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
    // Space and the arrows would scroll the page.
    event.preventDefault();
    // Escape that leaves full screen is the browser's, not a quit (and the
    // game ignores the release of a press it never saw).
    if (vk === 27 && down && (document.fullscreenElement || document.webkitFullscreenElement)) return;
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
    Module._nuvalo_mouse_down();
  }

  function inside(rect, x, y) {
    return x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom;
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

  function onTouch(event) {
    // No scrolling, zooming, selecting or emulated mouse events anywhere.
    var fullscreen = document.getElementById('fullscreen');
    if (event.target === fullscreen) {
      if (event.type === 'touchend') toggleFullscreen();
      event.preventDefault();
      return;
    }
    if (event.cancelable) event.preventDefault();
    resumeAudio();
    if (input !== 'touch') useInput('touch');
    var now = {left: false, right: false, start: false}, i, t;
    for (i = 0; i < event.touches.length; i++) {
      t = event.touches[i];
      if (t.target === fullscreen) continue;
      var what = touchHolds(t.clientX, t.clientY);
      if (what) now[what] = true;
    }
    Module._nuvalo_touches_held(now.left ? 1 : 0, now.right ? 1 : 0);
    if (now.start !== held.start) Module._nuvalo_start_control(now.start ? 1 : 0);
    ['left', 'right', 'start'].forEach(function (k) {
      controls[k].classList.toggle('held', now[k]);
    });
    held = now;
    if (event.type === 'touchstart') {
      var box = shown();
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
    document.addEventListener('contextmenu', function (e) { e.preventDefault(); });
    document.addEventListener('dblclick', function (e) { e.preventDefault(); });
    document.getElementById('fullscreen').addEventListener('click', toggleFullscreen);
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

  function start() {
    begun = true;
    listen();
    Module._nuvalo_start();
    padsChanged();
    canvas.focus({preventScroll: true});
    requestAnimationFrame(function () { setTimeout(openSound, 0); });
  }

  // Installable and playable offline: every file of the page is kept by the
  // service worker after the first visit.
  function keepOffline() {
    if (!('serviceWorker' in navigator) || location.protocol === 'file:') return;
    navigator.serviceWorker.register('sw.js').catch(function () {});
  }

  function refuse() {
    Module._nuvalo_refuse();
    say('\u591a\u91cd\u8d77\u52d5\u3092\u78ba\u8a8d\u3057\u307e\u3057\u305f', 'ja', false);
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
    say('The game has ended. Reload the page to start it again.', 'en', true);
  }

  function boot() {
    canvas = document.getElementById('frame');
    status = document.getElementById('status');
    context = canvas.getContext('2d', {alpha: false});
    ['left', 'right', 'start'].forEach(function (k) { controls[k] = document.getElementById(k); });
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
    var locks = navigator.locks;
    if (!locks || !locks.request) {
      start(); // no way to tell other tabs apart: play
      return;
    }
    locks.request(LOCK_NAME, {ifAvailable: true}, function (lock) {
      if (lock === null) {
        refuse();
        return undefined;
      }
      start();
      // Held until the game ends or the tab goes.
      return new Promise(function (resolve) { releaseLock = resolve; });
    }).catch(function () {
      if (!begun) start(); // the lock manager failed: play rather than stay blank
    });
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
    setDefaultSound: setDefaultSound, storeRead: storeRead, storeWrite: storeWrite,
    storeText: null, timing: timing, layout: function () { layout(); },
  };
})();
