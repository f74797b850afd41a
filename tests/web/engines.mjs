// The page's checks in each of the three browser engines a player may open
// it in, each from Debian's packages: Chromium (Playwright over CDP), Firefox
// ESR (puppeteer-core over WebDriver BiDi) and WebKitGTK (its WebDriver,
// WebKitWebDriver with the MiniBrowser, under Xvfb).
//   NUVALO_ENGINE=E node --test engines.mjs    the checks (make test-web runs them)
//   node engines.mjs E --measure S             the page's figures over S seconds
// E is chromium, firefox or webkit. Every check goes through the small
// set of moves below that all three automations can make.
import {spawn} from 'node:child_process';
import {writeFileSync} from 'node:fs';
import {createServer} from 'node:net';
import {join} from 'node:path';
import {after, afterEach, before, test} from 'node:test';
import assert from 'node:assert/strict';
import {chromium} from 'playwright-core';
import puppeteer from 'puppeteer-core';
import omggif from 'omggif';
import {differingPixels, goldenDir, instrumentedSite, probe, quantile, readPng, ready, serve, shots, simulate,
        site, ticksPass, waitFor} from './support.mjs';

const kinds = ['chromium', 'firefox', 'webkit'];
const engineName = process.argv.find((a) => kinds.includes(a)) ?? process.env.NUVALO_ENGINE;
if (!kinds.includes(engineName)) {
  console.error('usage: node engines.mjs chromium|firefox|webkit [--measure SECONDS]' +
                ' (or NUVALO_ENGINE=... node --test engines.mjs)');
  process.exit(2);
}
const measureAt = process.argv.indexOf('--measure');

// Each engine gives profiles (fresh storage, locks and workers of their own)
// and tabs in them. A tab: eval(fn, arg), key('down'|'up', name),
// touch('start'|'end', x, y) or null where the automation has no touch,
// click(x, y) with the mouse, resize(width, height), goto, reload, close, shot() (a PNG of what shows).
const engines = {
  async chromium() {
    const browser = await chromium.launch({
      executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
      args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
             '--disable-component-update', '--disable-sync', '--disable-background-timer-throttling',
             '--disable-renderer-backgrounding']});
    return {
      async profile() {
        const context = await browser.newContext();
        return {
          async tab(url) {
            const page = await context.newPage();
            const cdp = await context.newCDPSession(page);
            await page.goto(url);
            return {
              eval: (fn, arg) => page.evaluate(fn, arg),
              key: (type, name) => page.keyboard[type](name),
              touch: (type, x, y) => cdp.send('Input.dispatchTouchEvent', {
                type: type === 'start' ? 'touchStart' : 'touchEnd', touchPoints: type === 'start' ? [{x, y}] : []}),
              click: (x, y) => page.mouse.click(x, y),
              resize: (width, height) => page.setViewportSize({width, height}),
              goto: (to) => page.goto(to),
              reload: () => page.reload(),
              close: () => page.close(),
              shot: () => page.screenshot(),
            };
          },
          close: () => context.close(),
        };
      },
      close: () => browser.close(),
    };
  },

  async firefox() {
    const browser = await puppeteer.launch({
      browser: 'firefox', executablePath: process.env.FIREFOX ?? '/usr/bin/firefox-esr', headless: true,
      // Firefox lets a page autoplay only after a gesture the automation's
      // keys already are; its own update and telemetry calls stay off.
      extraPrefsFirefox: {'app.update.enabled': false, 'datareporting.policy.dataSubmissionEnabled': false}});
    const keys = {Space: ' '};
    return {
      async profile() {
        const context = await browser.createBrowserContext();
        return {
          async tab(url) {
            const page = await context.newPage();
            await page.goto(url);
            return {
              eval: (fn, arg) => page.evaluate(fn, arg),
              key: (type, name) => page.keyboard[type](keys[name] ?? name),
              touch: (type, x, y) => type === 'start' ? page.touchscreen.touchStart(x, y) : page.touchscreen.touchEnd(),
              click: (x, y) => page.mouse.click(x, y),
              resize: (width, height) => page.setViewport({width, height}),
              goto: (to) => page.goto(to),
              reload: () => page.reload(),
              close: () => page.close(),
              shot: async () => Buffer.from(await page.screenshot()),
            };
          },
          close: () => context.close(),
        };
      },
      close: () => browser.close(),
    };
  },

  // Classic WebDriver over HTTP, a session (a MiniBrowser of its own) per
  // profile; the driver has one current window, so each tab makes itself
  // current before it acts.
  async webkit() {
    const display = await new Promise((resolve, reject) => {
      const xvfb = spawn('Xvfb', ['-displayfd', '3', '-screen', '0', '1920x1200x24', '-nolisten', 'tcp'],
                         {stdio: ['ignore', 'ignore', 'ignore', 'pipe']});
      xvfb.stdio[3].on('data', (d) => resolve({process: xvfb, name: ':' + String(d).trim()}));
      xvfb.on('exit', (code) => reject(new Error(`Xvfb ended with ${code}`)));
    });
    const port = await new Promise((resolve) => {
      const probeServer = createServer().listen(0, '127.0.0.1', () => {
        const {port: free} = probeServer.address();
        probeServer.close(() => resolve(free));
      });
    });
    const driver = spawn(process.env.WEBKIT_DRIVER ?? 'WebKitWebDriver', [`--port=${port}`],
                         {stdio: 'ignore', env: {...process.env, DISPLAY: display.name}});
    const call = async (method, path, body, seconds = 150) => {
      const response = await fetch(`http://127.0.0.1:${port}${path}`, {
        method, headers: {'content-type': 'application/json'}, body: body === undefined ? undefined : JSON.stringify(body),
        signal: AbortSignal.timeout(seconds * 1000)}).catch((e) => {
        throw new Error(`WebDriver ${method} ${path}: no answer (${e.message})`);
      });
      const {value} = await response.json();
      if (!response.ok) throw new Error(`WebDriver ${method} ${path}: ${value.error}: ${value.message}`);
      return value;
    };
    for (let i = 0; ; i++) {
      try {
        if ((await call('GET', '/status')).ready) break;
      } catch (e) {
        if (i > 600) throw new Error(`WebKitWebDriver did not answer within 60 s (${e.message})`);
      }
      await new Promise((resolve) => setTimeout(resolve, 100));
    }
    const codes = {Space: '\uE00D', ArrowLeft: '\uE012', ArrowUp: '\uE013', ArrowRight: '\uE014', ArrowDown: '\uE015',
                   Escape: '\uE00C', Control: '\uE009'};
    return {
      async profile() {
        // The driver lets the last session go in its own time: a new one is
        // asked for again until it has. On a busy machine a MiniBrowser now
        // and then never comes up; the driver starts the next one asked for.
        const capabilities = {alwaysMatch: {'webkitgtk:browserOptions': {
          binary: process.env.MINIBROWSER ?? '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser',
          args: ['--automation']}}};
        let sessionId, lost = 0;
        for (let i = 0; !sessionId; i++) {
          try {
            ({sessionId} = await call('POST', '/session', {capabilities}, 60));
          } catch (e) {
            if (/no answer/.test(e.message) && ++lost < 3) continue;
            if (!/Maximum number of active sessions/.test(e.message) || i > 300) throw e;
            await new Promise((resolve) => setTimeout(resolve, 100));
          }
        }
        const s = `/session/${sessionId}`;
        await call('POST', `${s}/timeouts`, {script: 120000});
        let current = await call('GET', `${s}/window`), first = true;
        return {
          async tab(url) {
            let handle = current;
            // A window, not a tab: WebKit paints no background tab, and a
            // screenshot of one waits for ever.
            if (!first) handle = (await call('POST', `${s}/window/new`, {type: 'window'})).handle;
            first = false;
            const act = async (then) => {
              if (current !== handle) await call('POST', `${s}/window`, {handle});
              current = handle;
              return then();
            };
            const actions = (source) => act(() => call('POST', `${s}/actions`, {actions: [source]}));
            const tab = {
              eval: (fn, arg) => act(async () => {
                const r = await call('POST', `${s}/execute/async`, {args: [arg], script: `
                  const done = arguments[arguments.length - 1];
                  Promise.resolve().then(() => (${fn})(arguments[0]))
                      .then((v) => done({v: v === undefined ? null : v}), (e) => done({e: String(e)}));`});
                if ('e' in r) throw new Error(r.e);
                return r.v;
              }),
              key: (type, name) => actions({type: 'key', id: 'keys', actions: [
                {type: type === 'down' ? 'keyDown' : 'keyUp', value: codes[name] ?? name}]}),
              // WebKitGTK on a desktop has no touch events ('ontouchstart' is
              // not in window) and its driver turns touch pointer actions
              // into mouse ones.
              touch: null,
              touchless: 'WebKitGTK on a desktop has no touch events; its WebDriver sends a touch as the mouse',
              goto: (to) => act(() => call('POST', `${s}/url`, {url: to})),
              reload: () => act(() => call('POST', `${s}/refresh`, {})),
              close: () => act(async () => {
                const left = await call('DELETE', `${s}/window`);
                current = null;
                if (left.length) {
                  await call('POST', `${s}/window`, {handle: left[0]});
                  current = left[0];
                }
              }),
              click: (x, y) => actions({type: 'pointer', id: 'mouse', parameters: {pointerType: 'mouse'},
                actions: [{type: 'pointerMove', x: Math.round(x), y: Math.round(y)},
                          {type: 'pointerDown', button: 0}, {type: 'pointerUp', button: 0}]}),
              // The window's outer size: the page gets a little less.
              resize: (width, height) => act(() => call('POST', `${s}/window/rect`, {width, height})),
              shot: () => act(async () => Buffer.from(await call('GET', `${s}/screenshot`), 'base64')),
            };
            await tab.goto(url);
            return tab;
          },
          close: () => call('DELETE', s),
        };
      },
      async close() {
        driver.kill();
        display.process.kill();
      },
    };
  },
};

let engine, page;
const open = new Set();
before(async () => {
  const started = await engines[engineName]();
  // Every profile a check opens is closed after it, whether or not it
  // passed (WebKitWebDriver holds one session at a time).
  engine = {
    ...started,
    async profile() {
      const profile = await started.profile();
      const close = profile.close;
      profile.close = async () => {
        if (open.delete(profile)) await close();
      };
      open.add(profile);
      return profile;
    },
  };
  page = await serve(instrumentedSite());
});
afterEach(async () => {
  for (const profile of [...open]) await profile.close().catch(() => {});
});
after(async () => {
  await engine?.close();
  page?.stop();
});

// A fresh profile with the game open in one tab, its first frame shown.
async function fresh(fragment = '') {
  const profile = await engine.profile();
  const tab = await profile.tab(page.base + fragment);
  await ready(tab);
  return {profile, tab};
}
const errors = (tab) => tab.eval(() => window.pageErrors ?? []);
const storedBest = (tab) => tab.eval(() => localStorage.getItem('nuvalo/save.dat'));
const shot = async (tab, name) => writeFileSync(join(shots, `${engineName}-${name}.png`), await tab.shot());
const resultPhase = (tab, phase, what) =>
  waitFor(tab, what, (p) => Module._nuvalo_probe(2) === p, phase, 120);
const press = async (tab, key) => {
  await tab.key('down', key);
  await tab.key('up', key);
};
// A click in the middle of one of the page's elements, with the mouse.
const clickOn = async (tab, selector) => {
  const [x, y] = await tab.eval((s) => {
    const b = document.querySelector(s).getBoundingClientRect();
    return [b.x + b.width / 2, b.y + b.height / 2];
  }, selector);
  await tab.click(x, y);
};
const status = (tab) => tab.eval(() => document.getElementById('status').textContent);
const watching = (tab) => tab.eval(() => ({...NuvaloPage.watch}));
const kept = (tab) => tab.eval(() => ['save.dat', 'best.nuvrun', 'last.nuvrun'].map((k) => localStorage.getItem('nuvalo/' + k)));
// A digest of a 600 x 450 RGBA frame, and of the one on the canvas, to tell frames apart.
const digest = (d) => {
  let h = 0;
  for (let i = 0; i < d.length; i += 4) h = Math.imul(h, 31) + (d[i] << 16 | d[i + 1] << 8 | d[i + 2]) | 0;
  return h;
};
const frameDigest = (tab) => tab.eval((hash) => (0, eval)(hash)(
  document.getElementById('frame').getContext('2d').getImageData(0, 0, 600, 450).data), String(digest));

// A short first run, then a better one, when no key is held: the same runs
// in every engine and in nuvalo-sim, however many ticks a busy machine drops.
const seed = 1765300004;

if (measureAt < 0) {
  test(`${engineName}: the halted page is the desktop golden frame, pixel for pixel`, async () => {
    const {profile, tab} = await fresh();
    assert.equal(await differingPixels(tab, join(goldenDir, 'halted.png')), 0);
    await shot(tab, 'halted');
    assert.deepEqual(await errors(tab), []);
    await profile.close();
  });

  // What the player sees: on a screen with room for twice the frame, each
  // frame pixel is a square of screen pixels, none blurred into the next.
  test(`${engineName}: at a whole factor the frame on the screen is the golden frame, crisp`, async () => {
    const {profile, tab} = await fresh();
    await tab.resize(1280, 1100);
    const box = await waitFor(tab, 'the frame at a whole factor', () => {
      const b = document.getElementById('frame').getBoundingClientRect(), k = b.width * devicePixelRatio / 600;
      return k >= 2 && k === Math.round(k) && {x: b.x * devicePixelRatio, y: b.y * devicePixelRatio, k};
    });
    const shown = readPng(await tab.shot()), want = readPng(join(goldenDir, 'halted.png')).rgb;
    let differing = 0;
    for (let y = 0; y < 450; y++) {
      for (let x = 0; x < 600; x++) {
        const sx = Math.round(box.x + x * box.k + box.k / 2), sy = Math.round(box.y + y * box.k + box.k / 2);
        const i = (sy * shown.width + sx) * 3, j = (y * 600 + x) * 3;
        if (shown.rgb.compare(want, j, j + 3, i, i + 3) !== 0) differing++;
      }
    }
    assert.equal(differing, 0, `the frame shown at ${box.k} times`);
    await shot(tab, `whole-${box.k}`);
    await profile.close();
  });

  test(`${engineName}: Space starts a run, Left steers, the page never scrolls, Escape ends the game`, async () => {
    const {profile, tab} = await fresh();
    await tab.eval(() => {
      window.unhandled = [];
      window.addEventListener('keydown', (e) => {
        if (!e.defaultPrevented && [' ', 'ArrowLeft', 'ArrowRight'].includes(e.key)) unhandled.push(e.key);
      });
    });
    await tab.key('down', 'Space');
    await tab.key('up', 'Space');
    assert.equal(await probe(tab, 0), 1, 'running');
    const x0 = await probe(tab, 1);
    await tab.key('down', 'ArrowLeft');
    await waitFor(tab, 'the star moving left', (x) => Module._nuvalo_probe(1) < x, x0 - 30).catch(() => {});
    // Let go with Ctrl held: a release counts whatever the modifiers.
    await tab.key('down', 'Control');
    await tab.key('up', 'ArrowLeft');
    await tab.key('up', 'Control');
    const x1 = await probe(tab, 1);
    assert.ok(x1 <= x0 - 30, `the star moved left: ${x0} -> ${x1}`);
    await ticksPass(tab, 10);
    assert.equal(await probe(tab, 1), x1, 'and stopped when Left was let go');
    assert.deepEqual(await tab.eval(() => [unhandled, scrollX, scrollY]), [[], 0, 0]);
    await shot(tab, 'playing');

    await tab.key('down', 'Escape');
    await tab.key('up', 'Escape');
    assert.equal(await probe(tab, 0), -1, 'the game has ended');
    assert.match(await tab.eval(() => document.getElementById('status').textContent), /ended.*[Rr]eload/);
    const ticks = await tab.eval(() => NuvaloPage.timing.count);
    await new Promise((resolve) => setTimeout(resolve, 300));
    assert.equal(await tab.eval(() => NuvaloPage.timing.count), ticks, 'no ticks after the end');
    // The lock went with the game: another tab starts one.
    const next = await profile.tab(page.base);
    await ready(next);
    assert.equal(await probe(next, 0), 0);
    assert.deepEqual([...await errors(tab), ...await errors(next)], []);
    await profile.close();
  });

  test(`${engineName}: a click on the start button starts a run`, async () => {
    const {profile, tab} = await fresh();
    const [x, y] = await tab.eval(() => {
      const b = document.getElementById('frame').getBoundingClientRect();
      return [b.x + 500 * b.width / 600, b.y + 60 * b.height / 450]; // the button's middle
    });
    await tab.click(x, y);
    await waitFor(tab, 'a run started by the click', () => Module._nuvalo_probe(0) === 1);
    assert.deepEqual(await errors(tab), []);
    await profile.close();
  });

  test(`${engineName}: a second tab is refused with the notice; once the first is gone a reload plays`, async () => {
    const {profile, tab: first} = await fresh();
    const second = await profile.tab(page.base);
    await waitFor(second, 'the notice', () => document.getElementById('status').textContent !== '');
    assert.equal(await second.eval(() => document.getElementById('status').textContent), '多重起動を確認しました');
    assert.equal(await probe(second, 0), -1, 'no game in the second tab');
    const ink = await second.eval(() => {
      const d = document.getElementById('frame').getContext('2d').getImageData(0, 0, 600, 450).data;
      let black = 0;
      for (let i = 0; i < d.length; i += 4) black += d[i] === 0 ? 1 : 0;
      return {black, corner: d[0]};
    });
    assert.ok(ink.black > 100 && ink.corner === 255, 'the notice drawn in the game font');
    await shot(second, 'refused');
    assert.equal(await probe(first, 0), 0, 'the first tab plays on');
    const firstErrors = await errors(first);
    await first.close();
    await second.reload();
    await ready(second);
    assert.equal(await probe(second, 0), 0, 'the reloaded tab plays');
    assert.deepEqual([...firstErrors, ...await errors(second)], []);
    await profile.close();
  });

  test(`${engineName}: a run ends as in nuvalo-sim, its score is kept and shown after a reload, ` +
       'and a reload during the tally saves', async () => {
    const {profile, tab} = await fresh(`#seed=${seed}`);
    await tab.key('down', 'Space');
    await tab.key('up', 'Space');
    await resultPhase(tab, 2, 'the first run ended and its tally completed');
    const whole = simulate(seed, 'keyup 32\ntimer 100000\nsnapshot result.png\n');
    assert.match(whole.saveDat, /^-?\d+\n$/);
    assert.equal(await storedBest(tab), whole.saveDat, 'the same score, stored as save.dat holds it');
    assert.equal(await differingPixels(tab, join(whole.dir, 'result.png')), 0, 'the same result screen');
    await shot(tab, 'result');

    await tab.key('down', 'Space');
    await tab.key('up', 'Space');
    await resultPhase(tab, 1, 'the second run is being tallied');
    const both = simulate(seed, 'keyup 32\ntimer 100000\nkeyup 32\ntimer 100000\n');
    assert.notEqual(both.saveDat, whole.saveDat, 'the second run is the better one');
    await tab.reload();
    await ready(tab);
    assert.equal(await storedBest(tab), both.saveDat, 'saved when the tab was reloaded');
    const shown = simulate(seed, 'paint\nsnapshot best.png\n', both.saveDat);
    assert.equal(await differingPixels(tab, join(shown.dir, 'best.png')), 0, 'the best score shown');
    assert.deepEqual(await errors(tab), []);
    await profile.close();
  });

  // Shared from the result screen (the system's share sheet failing as a
  // desktop's may, so the link is copied), then opened in a second tab while
  // the first holds the game: the watch replays to the score shown, its
  // controls work it, and it keeps nothing; leaving it meets the lock. In a
  // fresh profile a damaged link says why and leaves the game playable, and
  // the good one pasted into the same tab replays there too.
  test(`${engineName}: a run shared from its result replays from its link, verified, wherever it is opened`, async () => {
    const {profile, tab} = await fresh();
    await press(tab, 'Space');
    await resultPhase(tab, 2, 'the run ended and its tally completed');
    const score = await probe(tab, 4);
    await tab.eval(() => {
      window.shared = [];
      navigator.canShare = () => true;
      navigator.share = (data) => {
        shared.push(data.url);
        return Promise.reject(new DOMException('not here', 'NotAllowedError'));
      };
      Object.defineProperty(navigator, 'clipboard', {configurable: true, value: {writeText: (text) => {
        shared.push(text);
        return Promise.resolve();
      }}});
    });
    await clickOn(tab, '#share-run');
    await waitFor(tab, 'the link copied', () => document.getElementById('status').textContent === 'Link copied');
    const [link, copied] = await tab.eval(() => shared);
    assert.equal(copied, link);
    assert.match(link, /^http:\/\/127\.0\.0\.1:\d+\/#run=[\w-]+$/);
    const before = await kept(tab);
    assert.deepEqual(before.slice(1), [link.split('=')[1], link.split('=')[1]], 'the first run is the last and the best');

    const watcher = await profile.tab(link);
    await ready(watcher);
    await waitFor(watcher, 'the run played', () => NuvaloPage.watch.position > 0);
    await clickOn(watcher, '#speed');
    await press(watcher, 'ArrowUp');
    await waitFor(watcher, 'the end at 4x', () => NuvaloPage.watch.atEnd === 1 && NuvaloPage.watch.speed === 3);
    assert.equal(await watcher.eval(() => document.getElementById('verdict').textContent), `verified: ${score} points`);
    const {length} = await watching(watcher);
    const seek = (to) => watcher.eval((p) => {
      const bar = document.getElementById('seek');
      bar.value = p;
      bar.dispatchEvent(new Event('input'));
    }, to);
    await seek(0);
    const start = await frameDigest(watcher);
    await seek(length >> 1);
    assert.equal((await watching(watcher)).position, length >> 1, 'sought halfway');
    assert.notEqual(await frameDigest(watcher), start);
    await clickOn(watcher, '#step-back');
    await press(watcher, 'ArrowLeft');
    await waitFor(watcher, 'two steps back, by button and by key', (p) => NuvaloPage.watch.position === p, (length >> 1) - 2);
    await seek(1);
    await clickOn(watcher, '#step-back');
    await waitFor(watcher, 'the start', () => NuvaloPage.watch.position === 0);
    assert.equal(await frameDigest(watcher), start, 'back at the start, its frame');
    await clickOn(watcher, '#play');
    await waitFor(watcher, 'playing on', () => NuvaloPage.watch.position > 5);
    await press(watcher, 'Space');
    await press(watcher, 'ArrowDown');
    await waitFor(watcher, 'paused at 2x, at rest', () => NuvaloPage.watch.playing === 0 && NuvaloPage.watch.speed === 2 &&
                  Module._nuvalo_asleep() === 1);
    assert.deepEqual(await kept(watcher), before, 'watching kept nothing');

    // A clip of 1 s to 1.4 s at 25 frames a second, marked by button and by
    // key: its download, decoded here, holds the frames the watch shows at
    // steps 52, 54, ... 70. A stretch left empty at the run's end says why
    // and offers nothing.
    await watcher.eval(() => {
      window.clips = [];
      HTMLAnchorElement.prototype.click = function () {
        clips.push({name: this.download, href: this.href, said: document.getElementById('status').textContent});
      };
    });
    await seek(50);
    await clickOn(watcher, '#clip-start');
    await seek(70);
    await press(watcher, 'o');
    await waitFor(watcher, 'the stretch marked', () => NuvaloPage.watch.clipFrom === 50 && NuvaloPage.watch.clipTo === 70);
    await clickOn(watcher, '#clip-fps');
    assert.equal(await watcher.eval(() => document.getElementById('clip-fps').textContent), '25 fps');
    await clickOn(watcher, '#clip-make');
    await waitFor(watcher, 'the clip offered', () => /^Clip saved/.test(document.getElementById('status').textContent));
    const [{name, href, said}] = await watcher.eval(() => clips);
    assert.deepEqual([name, said], ['nuvalo-clip.gif', 'Making the clip\u2026']);
    const gif = new omggif.GifReader(Buffer.from(await watcher.eval(async (url) => {
      const bytes = new Uint8Array(await (await fetch(url)).arrayBuffer());
      let s = '';
      for (let i = 0; i < bytes.length; i += 0x8000) s += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
      return btoa(s);
    }, href), 'base64'));
    assert.deepEqual([gif.width, gif.height, gif.numFrames()], [600, 450, 10]);
    const pixels = new Uint8Array(600 * 450 * 4), digests = new Set();
    for (let k = 0; k < 10; k++) {
      assert.equal(gif.frameInfo(k).delay, 4, `frame ${k}: 1/25 s`);
      gif.decodeAndBlitFrameRGBA(k, pixels);
      await seek(52 + 2 * k);
      digests.add(digest(pixels));
      assert.equal(digest(pixels), await frameDigest(watcher), `frame ${k}: the watch's at step ${52 + 2 * k}`);
    }
    assert.ok(digests.size > 1, 'the stretch moves');
    await seek(length);
    await clickOn(watcher, '#clip-start');
    await clickOn(watcher, '#clip-make');
    await waitFor(watcher, 'the reason', () => /^No clip: the stretch .* is empty$/.test(document.getElementById('status').textContent));
    assert.equal(await watcher.eval(() => clips.length), 1, 'nothing more offered');
    await press(watcher, 'ArrowUp'); // the notice goes
    await clickOn(watcher, '#leave');
    await waitFor(watcher, 'the notice: the other tab has the game', () => Module._nuvalo_probe(0) === -1 &&
                  document.getElementById('status').textContent === '多重起動を確認しました');
    assert.equal(await watcher.eval(() => location.hash), '');
    assert.deepEqual([...await errors(tab), ...await errors(watcher)], []);
    await profile.close();

    const other = await engine.profile();
    const at = link.length - 5, damaged = link.slice(0, at) + (link[at] === 'A' ? 'B' : 'A') + link.slice(at + 1);
    const opened = await other.tab(damaged);
    await ready(opened);
    assert.match(await status(opened), /^This run link cannot be played: damaged/);
    await press(opened, 'Space');
    await waitFor(opened, 'Space starting the game', () => Module._nuvalo_probe(0) === 1);
    await opened.eval((l) => { location.hash = l.split('#')[1]; }, link);
    await waitFor(opened, 'the pasted link watched', () => NuvaloPage.watch.position > 0);
    await press(opened, 'ArrowUp');
    await press(opened, 'ArrowUp');
    await waitFor(opened, 'the end', () => NuvaloPage.watch.atEnd === 1);
    assert.equal(await opened.eval(() => document.getElementById('verdict').textContent), `verified: ${score} points`);
    await press(opened, 'Escape');
    await waitFor(opened, 'back to the game', () => !NuvaloPage.watch.on && location.hash === '');
    assert.ok(await opened.eval(() => Module._nuvalo_probe(0) === 1 || Module._nuvalo_probe(2) > 0),
              'the run left for the watch goes on');
    assert.deepEqual(await errors(opened), []);
    await other.close();
  });

  test(`${engineName}: broken storage and missing or broken sounds leave the game playable`, async () => {
    const {profile, tab} = await fresh(`#seed=${seed}&nostorage&badsounds`);
    await tab.eval(() => {
      window.cues = [];
      const play = NuvaloPage.playCue;
      NuvaloPage.playCue = (path) => { cues.push(path); play(path); };
    });
    await tab.key('down', 'Space');
    await tab.key('up', 'Space');
    await resultPhase(tab, 2, 'the run ended and its tally completed');
    const cues = await tab.eval(() => cues);
    assert.ok(cues.includes('Ton/ball01.wav'));
    assert.equal(cues.filter((c) => c === 'Ton/button03.wav').length, 3);
    assert.ok(!cues.includes('Ton/decide04.wav'), 'no "saved" sound when nothing was saved');
    assert.equal(await tab.eval(() => sourcesStarted), cues.length,
                 'every cue sounded, the missing and broken ones with the built-in sound');
    await tab.key('down', 'Space');
    await tab.key('up', 'Space');
    assert.equal(await probe(tab, 0), 1, 'a new run starts');
    assert.deepEqual(await errors(tab), []);
    await profile.close();
  });

  test(`${engineName}: at rest the page runs no timer; a key wakes it`, async () => {
    const {profile, tab} = await fresh();
    await waitFor(tab, 'rest', () => Module._nuvalo_asleep() === 1);
    const ticks = await tab.eval(() => NuvaloPage.timing.count);
    await new Promise((resolve) => setTimeout(resolve, 5000));
    assert.equal(await tab.eval(() => NuvaloPage.timing.count), ticks, 'no tick in 5 s at rest');
    await tab.key('down', 'Space');
    await tab.key('up', 'Space');
    assert.equal(await probe(tab, 0), 1, 'Space started a run');
    await ticksPass(tab, 5);
    assert.deepEqual(await errors(tab), []);
    await profile.close();
  });

  test(`${engineName}: a touch held on either side of the screen steers`, async (t) => {
    const {profile, tab} = await fresh();
    await tab.key('down', 'Space');
    await tab.key('up', 'Space');
    const width = await tab.eval(() => innerWidth), height = await tab.eval(() => innerHeight);
    if (!tab.touch) {
      t.skip(`not in ${engineName}: ${tab.touchless}`);
      await profile.close(); // a skipped check's afterEach does not run
      return;
    }
    for (const [x, way] of [[width * 0.1, -1], [width * 0.9, 1]]) {
      const x0 = await probe(tab, 1);
      await tab.touch('start', x, height - 2);
      await waitFor(tab, `the star steered ${way < 0 ? 'left' : 'right'} by a touch`,
                    ([x, w]) => (Module._nuvalo_probe(1) - x) * w >= 9, [x0, way]);
      await tab.touch('end');
    }
    assert.deepEqual(await errors(tab), []);
    await profile.close();
  });

  test(`${engineName}: after one visit it plays offline`, async () => {
    // A server of its own, stopped once the page's worker has everything.
    const own = await serve(site);
    try {
      const profile = await engine.profile();
      const tab = await profile.tab(own.base);
      await ready(tab);
      await waitFor(tab, 'the page\'s service worker in control', async () => {
        const ready = await navigator.serviceWorker.ready;
        return ready.active !== null && navigator.serviceWorker.controller !== null;
      });
      own.stop();
      await tab.reload();
      await ready(tab);
      await tab.key('down', 'Space');
      await tab.key('up', 'Space');
      assert.equal(await probe(tab, 0), 1, 'offline, a run starts');
    } finally {
      own.stop();
    }
  });

  test(`${engineName}: a page whose game cannot be loaded says so`, async () => {
    const profile = await engine.profile();
    const tab = await profile.tab(page.base + '#nowasm');
    await waitFor(tab, 'the message', () => /could not start/.test(document.getElementById('status').textContent));
    await profile.close();
  });
} else {
  // Tick period, work per tick and time to the first frame, over S seconds.
  test(`${engineName}: figures`, async () => {
    const seconds = Number(process.argv[measureAt + 1] ?? 30);
    const profile = await engine.profile();
    const loads = [];
    let tab, transferred = 0;
    for (let i = 0; i < 5; i++) {
      if (tab) await tab.goto('about:blank');
      tab = tab ?? await profile.tab('about:blank');
      await tab.goto(page.base + `#load${i}`);
      await ready(tab);
      loads.push(await tab.eval(() => NuvaloPage.timing.firstFrame));
      // What the first visit brought over the wire, the sounds (which come
      // after the first frame) included; later visits are the worker's.
      if (i === 0) {
        await new Promise((resolve) => setTimeout(resolve, 1000));
        transferred = await tab.eval(() => [...performance.getEntriesByType('navigation'),
                                            ...performance.getEntriesByType('resource')]
                                               .reduce((sum, e) => sum + (e.transferSize || 0), 0));
      }
    }
    // A connected controller keeps the ticks coming between runs, as it does
    // for a player holding one: the period is measured without rests.
    await tab.eval(() => Module._nuvalo_pad(0, 1, 0, 0, 0, 0, 0));
    await tab.key('down', 'Space');
    await tab.key('up', 'Space');
    const start = await tab.eval(() => [performance.now(), NuvaloPage.timing.count]);
    await new Promise((resolve) => setTimeout(resolve, seconds * 1000));
    const result = await tab.eval(([t0, n0]) => {
      const t = NuvaloPage.timing, n = t.count - n0;
      const pick = (ring) => Array.from(ring.slice(n0 % ring.length, t.count % ring.length));
      return {elapsed: performance.now() - t0, ticks: n, late: pick(t.late), work: pick(t.work),
              dropped: Module._nuvalo_probe(3)};
    }, start);
    const mean = result.elapsed / result.ticks;
    console.log(`figures (${engineName}): over ${(result.elapsed / 1000).toFixed(1)} s, ${result.ticks} ticks,` +
                ` mean period ${mean.toFixed(4)} ms, deadline deviation median ${quantile(result.late, 0.5).toFixed(2)}` +
                ` ms, 99th percentile ${quantile(result.late, 0.99).toFixed(2)} ms, ticks dropped ${result.dropped}`);
    // Firefox and WebKit tell the time to a millisecond or so outside a
    // cross-origin isolated page: the mean shows what the median cannot.
    const meanWork = result.work.reduce((a, b) => a + b, 0) / result.work.length;
    console.log(`figures (${engineName}): tick + paint + upload mean ${meanWork.toFixed(3)} ms,` +
                ` median ${quantile(result.work, 0.5).toFixed(3)} ms, 99th percentile ${quantile(result.work, 0.99).toFixed(3)} ms`);
    console.log(`figures (${engineName}): first frame after navigation ${loads.map((l) => l.toFixed(0)).join(', ')}` +
                ` ms; page transferred ${transferred ? (transferred / 1024).toFixed(1) + ' KiB' : 'not told'}`);
    await profile.close();
  });
}
