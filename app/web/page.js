// The page around the game: the canvas and its scale, the keyboard, mouse and
// touch, the tick's timer, Web Audio for the cues, storage for save.dat and
// the one-game-per-profile lock. Appended to the game's module script, so
// Module and its heap are in reach; the game itself is in the wasm.
var NuvaloPage = (function () {
  'use strict';
  var WIDTH = 600, HEIGHT = 450;
  var STORE_KEY = 'nuvalo/save.dat';
  var LOCK_NAME = 'nuvalo';
  var CUES = ['Ton/ball01.wav', 'Ton/magic01.wav', 'Ton/button03.wav', 'Ton/decide04.wav'];
  var KEYS = {ArrowLeft: 37, Left: 37, ArrowRight: 39, Right: 39, ' ': 32, Spacebar: 32,
              Space: 32, Escape: 27, Esc: 27};

  var canvas, context, status, image = null, imageAt = 0;
  var timer = 0, begun = false, ended = false, releaseLock = null;
  var audio = null, cues = {}, defaultCue = null, defaultBytes = null, playing = null;

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

  // The largest whole number of device pixels per frame pixel that fits.
  function layout() {
    var ratio = window.devicePixelRatio || 1;
    var scale = Math.max(1, Math.floor(Math.min(window.innerWidth * ratio / WIDTH,
                                                window.innerHeight * ratio / HEIGHT)));
    canvas.style.width = (WIDTH * scale / ratio) + 'px';
    canvas.style.height = (HEIGHT * scale / ratio) + 'px';
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
    var late = Module._nuvalo_wake();
    if (late >= 0) {
      var at = timing.count++ % RING;
      timing.late[at] = late / 1000;
      timing.work[at] = performance.now() - started;
    }
  }

  function wakeAfter(milliseconds) {
    if (timer !== 0) clearTimeout(timer);
    // Timers count whole milliseconds: rounded up, a wake never comes early.
    timer = ended ? 0 : setTimeout(wake, Math.ceil(milliseconds));
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

  function loadCues() {
    CUES.forEach(function (path) {
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
    try {
      playing = audio.createBufferSource();
      playing.buffer = buffer;
      playing.connect(audio.destination);
      playing.start();
    } catch (e) {
      playing = null;
    }
  }

  // Autoplay rules: the context runs once the player has pressed something.
  function resumeAudio() {
    if (audio !== null && audio.state === 'suspended') audio.resume().catch(function () {});
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
    // The browser's own shortcuts stay its own; a release always counts, or
    // an arrow let go with Ctrl held would stay held.
    if (!vk || (down && (event.ctrlKey || event.altKey || event.metaKey))) return;
    // Space and the arrows would scroll the page.
    event.preventDefault();
    if (down) resumeAudio();
    Module._nuvalo_key(down ? 1 : 0, vk);
  }

  function onMouseMove(event) {
    var box = shown();
    Module._nuvalo_mouse_move(event.clientX - box.left, event.clientY - box.top,
                              box.width, box.height);
  }

  function onMouseButton(event, down) {
    if (event.button !== 0) return;
    if (down) resumeAudio();
    Module._nuvalo_mouse_button(down ? 1 : 0);
  }

  function onTouch(event) {
    // No scrolling, zooming or emulated mouse events from the playfield.
    event.preventDefault();
    resumeAudio();
    var box = shown(), left = 0, right = 0, i, t;
    for (i = 0; i < event.touches.length; i++) {
      t = event.touches[i];
      var side = Module._nuvalo_touch_side(t.clientX - box.left, t.clientY - box.top,
                                           box.width, box.height);
      if (side === 1) left = 1;
      if (side === 2) right = 1;
    }
    Module._nuvalo_touches_held(left, right);
    if (event.type === 'touchstart') {
      for (i = 0; i < event.changedTouches.length; i++) {
        t = event.changedTouches[i];
        Module._nuvalo_tap(t.clientX - box.left, t.clientY - box.top, box.width, box.height);
      }
    }
  }

  function listen() {
    window.addEventListener('keydown', function (e) { onKey(e, true); });
    window.addEventListener('keyup', function (e) { onKey(e, false); });
    canvas.addEventListener('mousemove', onMouseMove);
    canvas.addEventListener('mousedown', function (e) { onMouseButton(e, true); });
    canvas.addEventListener('mouseup', function (e) { onMouseButton(e, false); });
    ['touchstart', 'touchmove', 'touchend', 'touchcancel'].forEach(function (type) {
      canvas.addEventListener(type, onTouch, {passive: false});
    });
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
    canvas.focus();
    requestAnimationFrame(function () { setTimeout(openSound, 0); });
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
    layout();
    window.addEventListener('resize', layout);
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
    wakeAfter: wakeAfter, present: present, playCue: playCue, gameEnded: gameEnded,
    setDefaultSound: setDefaultSound, storeRead: storeRead, storeWrite: storeWrite,
    storeText: null, timing: timing,
  };
})();
