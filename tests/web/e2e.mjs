// The browser build played in Debian's Chromium, as a player would: keys,
// tabs, reloads, broken storage, missing sounds; frames compared pixel for
// pixel with the desktop's golden frame and with nuvalo-sim's own frames.
//   node --test e2e.mjs        the checks (CTest runs them: make test-web)
//   node e2e.mjs --measure S   the page's figures over S seconds of play
// CTest runs a copy in the build tree, beside its playwright-core, and says
// where things are: NUVALO_WEB_SITE the page folder, NUVALO_SIM_JS
// nuvalo-sim.js of the same build, NUVALO_GOLDEN_DIR the renderer's
// reference frames, NUVALO_SERVER the static server, NUVALO_SHOTS where the
// screenshots go (to be looked at).
import {execFileSync, spawn} from 'node:child_process';
import {mkdtempSync, readFileSync, rmSync, writeFileSync} from 'node:fs';
import {tmpdir} from 'node:os';
import {join} from 'node:path';
import {after, before, test} from 'node:test';
import assert from 'node:assert/strict';
import {chromium} from 'playwright-core';

function where(name) {
  if (!process.env[name]) {
    console.error(`e2e.mjs: ${name} is not set; run it through CTest (make test-web)`);
    process.exit(2);
  }
  return process.env[name];
}
const site = where('NUVALO_WEB_SITE');
const simJs = where('NUVALO_SIM_JS');
const goldenDir = where('NUVALO_GOLDEN_DIR');
const serverJs = where('NUVALO_SERVER');
const shots = process.env.NUVALO_SHOTS ?? mkdtempSync(join(tmpdir(), 'nuvalo-web-shots-'));
const measureAt = process.argv.indexOf('--measure');

let server, base, browser;
const scratch = mkdtempSync(join(tmpdir(), 'nuvalo-web-'));

before(async () => {
  server = spawn(process.execPath, [serverJs, site, '0'],
                 {stdio: ['ignore', 'pipe', 'inherit']});
  base = await new Promise((resolve, reject) => {
    server.stdout.on('data', (d) => {
      const m = /http:\/\/127\.0\.0\.1:\d+\//.exec(String(d));
      if (m) resolve(m[0]);
    });
    server.on('exit', (code) => reject(new Error(`the server stopped (${code})`)));
  });
  // A fresh profile each run; none of Chromium's own connections to the
  // internet (there is none here).
  browser = await chromium.launch({
    executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync',
           '--disable-background-timer-throttling', '--disable-renderer-backgrounding'],
  });
});

after(async () => {
  await browser?.close();
  server?.kill();
  rmSync(scratch, {recursive: true, force: true});
});

// nuvalo-sim of the same build in a folder of its own, optionally with a
// save.dat; returns that folder's save.dat afterwards (null if none).
function simulate(seed, script, saveDat = null) {
  const dir = mkdtempSync(join(scratch, 'sim-'));
  if (saveDat !== null) writeFileSync(join(dir, 'save.dat'), saveDat);
  execFileSync(process.execPath, [simJs, '--quiet', '--seed', String(seed)],
               {cwd: dir, input: script, stdio: ['pipe', 'ignore', 'inherit']});
  try {
    return {dir, saveDat: readFileSync(join(dir, 'save.dat'), 'latin1')};
  } catch {
    return {dir, saveDat: null};
  }
}

async function open(context, path = '') {
  const page = await context.newPage();
  page.errors = [];
  page.on('pageerror', (e) => page.errors.push(e.message));
  // Reference frames are served from the disk under /__ref/.
  await page.route('**/__ref/**', (route) =>
    route.fulfill({path: decodeURIComponent(new URL(route.request().url()).pathname.slice(7))}));
  await page.goto(base + path);
  await page.waitForFunction(() => window.NuvaloPage && NuvaloPage.timing.firstFrame >= 0);
  return page;
}

const probe = (page, what) => page.evaluate((w) => Module._nuvalo_probe(w), what);

// The star's x once it has gone left of `x`, or where it is after 20 s: a busy
// machine may give the page few ticks, so no fixed time is waited.
async function starLeftOf(page, x) {
  await page.waitForFunction((x) => Module._nuvalo_probe(1) < x, x, {polling: 20, timeout: 20000})
      .catch(() => {});
  return probe(page, 1);
}

// Waits for `n` more ticks of the page, however long they take.
async function ticksPass(page, n) {
  const start = await page.evaluate(() => NuvaloPage.timing.count);
  await page.waitForFunction((t) => NuvaloPage.timing.count >= t, start + n, {polling: 20, timeout: 20000});
}

// How many pixels of the page's frame differ from a PNG on the disk.
function differingPixels(page, png) {
  return page.evaluate(async (url) => {
    const blob = await (await fetch(url)).blob();
    const picture = await createImageBitmap(blob, {colorSpaceConversion: 'none'});
    const canvas = new OffscreenCanvas(600, 450);
    const drawn = canvas.getContext('2d');
    drawn.drawImage(picture, 0, 0);
    const want = drawn.getImageData(0, 0, 600, 450).data;
    const got = document.getElementById('frame').getContext('2d').getImageData(0, 0, 600, 450).data;
    let differing = 0;
    for (let i = 0; i < got.length; i += 4) {
      if (got[i] !== want[i] || got[i + 1] !== want[i + 1] || got[i + 2] !== want[i + 2]) differing++;
    }
    return differing;
  }, '/__ref/' + encodeURIComponent(png));
}

// With the page's clock faked: runs the game until its result is complete.
async function playToTheResult(page) {
  for (let i = 0; i < 100 && (await probe(page, 2)) !== 2; i++) {
    await page.clock.runFor(20 * 1000);
  }
  assert.equal(await probe(page, 2), 2, 'the run ended and its tally completed');
}

// A profile whose clock stands at `seed` seconds until the test moves it, so
// that the page seeds its game with `seed` and ticks only when told.
async function frozenClock(seed) {
  const context = await browser.newContext();
  await context.clock.install({time: seed * 1000});
  await context.clock.pauseAt(seed * 1000 + 100);
  return context;
}

const storedBest = (page) => page.evaluate(() => localStorage.getItem('nuvalo/save.dat'));

if (measureAt < 0) {
  test('the halted page is the desktop golden frame, pixel for pixel', async () => {
    const context = await browser.newContext();
    const page = await open(context);
    assert.equal(await differingPixels(page, join(goldenDir, 'halted.png')), 0);
    await page.screenshot({path: join(shots, 'halted.png')});
    assert.deepEqual(page.errors, []);
    await context.close();
  });

  test('the frame is scaled by whole device pixels, and a phone plays by touch', async () => {
    const screens = [
      {viewport: {width: 1280, height: 720}, deviceScaleFactor: 1, css: 600},
      {viewport: {width: 1280, height: 720}, deviceScaleFactor: 2, css: 900},
      {viewport: {width: 844, height: 390}, deviceScaleFactor: 3, css: 400, isMobile: true,
       hasTouch: true},
    ];
    for (const {css, ...screen} of screens) {
      const context = await browser.newContext(screen);
      const page = await open(context);
      const box = await page.locator('#frame').boundingBox();
      assert.equal(box.width, css, JSON.stringify(screen));
      assert.equal(box.height, css * 0.75, JSON.stringify(screen));
      if (screen.hasTouch) {
        // Touches in frame pixels: the start button, then the left half held.
        const touch = (type, fx, fy) => page.evaluate(([type, x, y]) => {
          const canvas = document.getElementById('frame');
          const t = new Touch({identifier: 1, target: canvas, clientX: x, clientY: y});
          const held = type === 'touchend' ? [] : [t];
          canvas.dispatchEvent(new TouchEvent(type, {touches: held, changedTouches: [t],
                                                     cancelable: true, bubbles: true}));
        }, [type, box.x + fx * box.width / 600, box.y + fy * box.height / 450]);
        await touch('touchstart', 500, 60);
        await touch('touchend', 500, 60);
        assert.equal(await probe(page, 0), 1, 'a tap on the start button started a run');
        const x0 = await probe(page, 1);
        await touch('touchstart', 50, 300);
        const x1 = await starLeftOf(page, x0 - 20);
        await touch('touchend', 50, 300);
        assert.ok(x1 < x0 - 20, `a touch held on the left steered left: ${x0} -> ${x1}`);
        await page.screenshot({path: join(shots, 'phone.png')});
      }
      assert.deepEqual(page.errors, []);
      await context.close();
    }
  });

  test('Space starts a run, Left steers, the page never scrolls, Escape ends the game', async () => {
    const context = await browser.newContext();
    const page = await open(context);
    await page.evaluate(() => {
      window.unhandled = [];
      window.addEventListener('keydown', (e) => {
        if (!e.defaultPrevented && [' ', 'ArrowLeft', 'ArrowRight'].includes(e.key)) unhandled.push(e.key);
      });
    });
    await page.keyboard.press('Space');
    assert.equal(await probe(page, 0), 1, 'running');
    const x0 = await probe(page, 1);
    await page.keyboard.down('ArrowLeft');
    await starLeftOf(page, x0 - 30);
    // Let go with Ctrl held: a release counts whatever the modifiers.
    await page.keyboard.down('Control');
    await page.keyboard.up('ArrowLeft');
    await page.keyboard.up('Control');
    const x1 = await probe(page, 1);
    assert.ok(x1 <= x0 - 30, `the star moved left: ${x0} -> ${x1}`);
    await ticksPass(page, 10);
    assert.equal(await probe(page, 1), x1, 'and stopped when Left was let go');
    assert.deepEqual(await page.evaluate(() => unhandled), []);
    await page.screenshot({path: join(shots, 'playing.png')});

    await page.keyboard.press('Escape');
    assert.equal(await probe(page, 0), -1, 'the game has ended');
    assert.match(await page.textContent('#status'), /ended.*[Rr]eload/);
    const ticks = await page.evaluate(() => NuvaloPage.timing.count);
    await page.waitForTimeout(300);
    assert.equal(await page.evaluate(() => NuvaloPage.timing.count), ticks, 'no ticks after the end');
    await page.screenshot({path: join(shots, 'ended.png')});
    // The lock went with the game: another tab starts one.
    const next = await open(context);
    assert.equal(await probe(next, 0), 0);
    assert.deepEqual([...page.errors, ...next.errors], []);
    await context.close();
  });

  test('a second tab is refused with the notice; once the first is gone a reload plays', async () => {
    const context = await browser.newContext();
    const first = await open(context);
    const second = await open(context);
    assert.equal(await second.textContent('#status'), '多重起動を確認しました');
    assert.equal(await probe(second, 0), -1, 'no game in the second tab');
    const ink = await second.evaluate(() => {
      const d = document.getElementById('frame').getContext('2d').getImageData(0, 0, 600, 450).data;
      let black = 0;
      for (let i = 0; i < d.length; i += 4) black += d[i] === 0 ? 1 : 0;
      return {black, corner: d[0]};
    });
    assert.ok(ink.black > 100 && ink.corner === 255, 'the notice drawn in the game font');
    await second.screenshot({path: join(shots, 'refused.png')});
    assert.equal(await probe(first, 0), 0, 'the first tab plays on');
    await first.close();
    await second.reload();
    await second.waitForFunction(() => window.NuvaloPage && NuvaloPage.timing.firstFrame >= 0);
    assert.equal(await probe(second, 0), 0, 'the reloaded tab plays');
    assert.deepEqual([...first.errors, ...second.errors], []);
    await context.close();
  });

  test('the page plays the run nuvalo-sim plays, stores its score and shows it after a reload', async () => {
    const seed = 1765300004; // a short first run, then a better one
    const context = await frozenClock(seed);
    const game = await open(context);
    await game.keyboard.press('Space');
    const before = await game.evaluate(() => NuvaloPage.timing.count);
    await game.clock.runFor(20 * 300);
    assert.equal(await game.evaluate(() => NuvaloPage.timing.count) - before, 300);
    const mid = simulate(seed, 'keyup 32\ntimer 300\nsnapshot mid.png\n');
    assert.equal(await differingPixels(game, join(mid.dir, 'mid.png')), 0, 'the same frame at tick 300');
    await playToTheResult(game);
    await game.screenshot({path: join(shots, 'result.png')});
    const whole = simulate(seed, 'keyup 32\ntimer 100000\n');
    assert.match(whole.saveDat, /^-?\d+\n$/);
    assert.equal(await storedBest(game), whole.saveDat, 'the same score, stored as save.dat holds it');

    // A second run, and the tab reloaded while its result is being tallied:
    // the score is saved on the way out as the whole tally would have.
    await game.keyboard.press('Space');
    for (let i = 0; i < 100 && (await probe(game, 2)) !== 1; i++) await game.clock.runFor(1000);
    assert.equal(await probe(game, 2), 1, 'the second run is being tallied');
    const both = simulate(seed, 'keyup 32\ntimer 100000\nkeyup 32\ntimer 100000\n');
    assert.notEqual(both.saveDat, whole.saveDat, 'the second run is the better one');
    await game.reload();
    await game.waitForFunction(() => NuvaloPage.timing.firstFrame >= 0);
    assert.equal(await storedBest(game), both.saveDat, 'saved when the tab was reloaded');
    const shown = simulate(seed, 'paint\nsnapshot best.png\n', both.saveDat);
    assert.equal(await differingPixels(game, join(shown.dir, 'best.png')), 0, 'the best score shown');
    assert.deepEqual(game.errors, []);
    await context.close();
  });

  test('broken storage and missing or broken sounds leave the game playable', async () => {
    const context = await frozenClock(1765300000);
    await context.addInitScript(() => {
      Object.defineProperty(window, 'localStorage', {
        get() { throw new DOMException('storage is disabled', 'SecurityError'); },
      });
      window.sourcesStarted = 0;
      const start = AudioBufferSourceNode.prototype.start;
      AudioBufferSourceNode.prototype.start = function (...args) {
        if (this.buffer) window.sourcesStarted++;
        return start.apply(this, args);
      };
    });
    await context.route('**/Ton/ball01.wav', (route) => route.fulfill({status: 404}));
    await context.route('**/Ton/button03.wav',
                        (route) => route.fulfill({body: 'RIFF, but no sound', contentType: 'audio/wav'}));
    const game = await open(context);
    await game.evaluate(() => {
      window.cues = [];
      const play = NuvaloPage.playCue;
      NuvaloPage.playCue = (path) => { cues.push(path); play(path); };
    });
    await game.keyboard.press('Space');
    await playToTheResult(game);
    const cues = await game.evaluate(() => cues);
    assert.ok(cues.includes('Ton/ball01.wav'));
    assert.equal(cues.filter((c) => c === 'Ton/button03.wav').length, 3);
    assert.ok(!cues.includes('Ton/decide04.wav'), 'no "saved" sound when nothing was saved');
    assert.equal(await game.evaluate(() => sourcesStarted), cues.length,
                 'every cue sounded, the missing and broken ones with the built-in sound');
    await game.keyboard.press('Space');
    assert.equal(await probe(game, 0), 1, 'a new run starts');
    assert.deepEqual(game.errors, []);
    await context.close();
  });

  test('a page whose game cannot be loaded says so', async () => {
    const context = await browser.newContext();
    await context.route('**/nuvalo.wasm', (route) => route.fulfill({status: 404}));
    const page = await context.newPage();
    await page.goto(base);
    await page.waitForFunction(() => /could not start/.test(document.getElementById('status').textContent));
    await context.close();
  });
} else {
  test('figures', async () => {
    const seconds = Number(process.argv[measureAt + 1] ?? 30);
    const context = await browser.newContext();
    const loads = [];
    let transferred = 0;
    for (let i = 0; i < 5; i++) {
      const page = await context.newPage();
      const sizes = [];
      page.on('requestfinished', (r) => sizes.push(r.sizes()));
      await page.goto(base);
      await page.waitForFunction(() => window.NuvaloPage && NuvaloPage.timing.firstFrame >= 0);
      loads.push(await page.evaluate(() => NuvaloPage.timing.firstFrame));
      await page.waitForTimeout(500); // the sounds come after the first frame
      transferred = (await Promise.all(sizes)).reduce(
          (sum, s) => sum + s.responseBodySize + s.responseHeadersSize, 0);
      await page.close();
    }
    const page = await open(context);
    await page.keyboard.press('Space');
    const start = await page.evaluate(() => [performance.now(), NuvaloPage.timing.count]);
    await page.waitForTimeout(seconds * 1000);
    const result = await page.evaluate(([t0, n0]) => {
      const t = NuvaloPage.timing, n = t.count - n0;
      const pick = (ring) => Array.from(ring.slice(n0 % ring.length, t.count % ring.length));
      return {elapsed: performance.now() - t0, ticks: n, late: pick(t.late), work: pick(t.work),
              dropped: Module._nuvalo_probe(3), running: Module._nuvalo_probe(0)};
    }, start);
    const q = (values, p) => {
      const v = [...values].sort((a, b) => a - b);
      return v[Math.min(v.length - 1, Math.floor(p * v.length))];
    };
    const mean = result.elapsed / result.ticks;
    console.log(`figures: over ${(result.elapsed / 1000).toFixed(1)} s, ${result.ticks} ticks,` +
                ` mean period ${mean.toFixed(4)} ms (${((mean / 20 - 1) * 100).toFixed(3)} %),` +
                ` deadline deviation median ${q(result.late, 0.5).toFixed(2)} ms,` +
                ` 99th percentile ${q(result.late, 0.99).toFixed(2)} ms, ticks dropped ${result.dropped}`);
    console.log(`figures: tick + paint + upload median ${q(result.work, 0.5).toFixed(3)} ms,` +
                ` 99th percentile ${q(result.work, 0.99).toFixed(3)} ms`);
    console.log(`figures: page transferred ${(transferred / 1024).toFixed(1)} KiB (gzip);` +
                ` first frame after navigation ${loads.map((l) => l.toFixed(0)).join(', ')} ms`);
    await context.close();
  });
}
