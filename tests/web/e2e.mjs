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
import {mkdtempSync, readFileSync, readdirSync, rmSync, writeFileSync} from 'node:fs';
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
const chromiumArgs = ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
                      '--disable-background-networking', '--disable-component-update', '--disable-sync',
                      '--disable-background-timer-throttling', '--disable-renderer-backgrounding'];
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
    executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium', args: chromiumArgs});
  // The page's service worker would answer requests before the tests' own
  // routes see them; only the offline test lets it work.
  const newContext = browser.newContext.bind(browser);
  browser.newContext = (options = {}) => newContext({serviceWorkers: 'block', ...options});
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

  // Phones and tablets upright and sideways, and desktops: the frame's share
  // of the screen, and on whole factors the frame on the screen is the golden
  // frame, each frame pixel a square of device pixels.
  const devices = [
    {name: 'phone 390x844@3', viewport: {width: 390, height: 844}, deviceScaleFactor: 3, upright: true},
    {name: 'phone 412x915@2.625', viewport: {width: 412, height: 915}, deviceScaleFactor: 2.625, upright: true},
    {name: 'phone 360x640@2', viewport: {width: 360, height: 640}, deviceScaleFactor: 2, upright: true},
    {name: 'phone 844x390@3', viewport: {width: 844, height: 390}, deviceScaleFactor: 3, upright: false},
    {name: 'tablet 820x1180@2', viewport: {width: 820, height: 1180}, deviceScaleFactor: 2, upright: true},
    {name: 'desktop 1280x720@2', viewport: {width: 1280, height: 720}, deviceScaleFactor: 2, whole: 3},
    {name: 'desktop 1920x1080@1', viewport: {width: 1920, height: 1080}, deviceScaleFactor: 1, whole: 2},
  ];
  test('the frame fills each screen, crisp, with touch controls only on touch screens', async () => {
    for (const {name, upright, whole, ...screen} of devices) {
      const touch = whole === undefined;
      const context = await browser.newContext({...screen, isMobile: touch, hasTouch: touch});
      const page = await open(context);
      const box = await page.locator('#frame').boundingBox();
      const {width, height} = screen.viewport;
      const share = upright ? box.width / width : box.height / height;
      if (touch) {
        assert.ok(share >= (upright ? 0.9 : 0.85), `${name}: the frame takes ${share} of the screen`);
        for (const id of ['#left', '#right', '#start']) {
          const control = await page.locator(id).boundingBox();
          assert.ok(control && control.width >= 48 && control.height >= 48, `${name}: ${id} ${JSON.stringify(control)}`);
        }
      } else {
        assert.equal(box.width * screen.deviceScaleFactor, 600 * whole, name);
        assert.equal(await page.locator('#start').isVisible(), false, `${name}: no touch controls`);
        // The frame on the screen, sampled back at its whole factor.
        const shot = await page.screenshot({clip: box});
        assert.equal(await page.evaluate(async ([png, k, ref]) => {
          const shown = await createImageBitmap(new Blob([Uint8Array.from(atob(png), (c) => c.charCodeAt(0))]));
          const want = await createImageBitmap(await (await fetch(ref)).blob(), {colorSpaceConversion: 'none'});
          const read = (picture) => {
            const c = new OffscreenCanvas(picture.width, picture.height).getContext('2d');
            c.drawImage(picture, 0, 0);
            return c.getImageData(0, 0, picture.width, picture.height).data;
          };
          const a = read(shown), b = read(want);
          let differing = 0;
          for (let y = 0; y < 450; y++) {
            for (let x = 0; x < 600; x++) {
              const i = ((y * k + (k >> 1)) * shown.width + x * k + (k >> 1)) * 4, j = (y * 600 + x) * 4;
              if (a[i] !== b[j] || a[i + 1] !== b[j + 1] || a[i + 2] !== b[j + 2]) differing++;
            }
          }
          return differing;
        }, [shot.toString('base64'), whole, '/__ref/' + encodeURIComponent(join(goldenDir, 'halted.png'))]), 0, `${name}: the frame shown`);
      }
      await page.screenshot({path: join(shots, `${name.replace(/[ @]/g, '-')}.png`)});
      assert.deepEqual(page.errors, []);
      await context.close();
    }
  });

  // Real touches through the browser's own input pipeline (CDP), on a phone
  // held upright; the page's clock moves only when told, so the run is the
  // same every time, and short enough that no stone has come up yet.
  test('on a phone every control and the whole screen steer, and nothing scrolls or zooms', async () => {
    const context = await browser.newContext({viewport: {width: 390, height: 844}, deviceScaleFactor: 3,
                                              isMobile: true, hasTouch: true});
    await context.clock.install({time: 1765300000 * 1000});
    await context.clock.pauseAt(1765300000 * 1000 + 100);
    const page = await open(context);
    const cdp = await context.newCDPSession(page);
    const touches = (type, points) => cdp.send('Input.dispatchTouchEvent', {
      type, touchPoints: points.map(([x, y], id) => ({x, y, id}))});
    const centre = async (id) => {
      const b = await page.locator(id).boundingBox();
      return [b.x + b.width / 2, b.y + b.height / 2];
    };
    const tap = async (point) => {
      await touches('touchStart', [point]);
      await touches('touchEnd', []);
    };
    await tap(await centre('#start'));
    assert.equal(await probe(page, 0), 1, 'the start control started a run');
    const frame = await page.locator('#frame').boundingBox();
    const holds = [
      ['#left', await centre('#left'), -1], ['#right', await centre('#right'), 1],
      ['the screen below the controls, left', [100, 842], -1], ['the screen below the controls, right', [290, 842], 1],
      ['the playfield\'s left half', [frame.x + 50 * frame.width / 600, frame.y + frame.height / 2], -1],
      ['the playfield\'s right half', [frame.x + 350 * frame.width / 600, frame.y + frame.height / 2], 1],
    ];
    for (const [where, point, way] of holds) {
      const x0 = await probe(page, 1);
      await touches('touchStart', [point]);
      await page.clock.runFor(4 * 20);
      await touches('touchEnd', []);
      const x1 = await probe(page, 1);
      assert.ok((x1 - x0) * way >= 9, `a touch held on ${where} steered ${way < 0 ? 'left' : 'right'}: ${x0} -> ${x1}`);
    }
    // Both steering controls held at once: straight on.
    const x0 = await probe(page, 1);
    await touches('touchStart', [await centre('#left'), await centre('#right')]);
    await page.clock.runFor(4 * 20);
    await touches('touchEnd', []);
    assert.equal(await probe(page, 1), x0, 'both held: straight on');
    // Drags, a double tap and a pinch move nothing.
    await touches('touchStart', [[200, 700]]);
    for (let y = 690; y > 300; y -= 40) await touches('touchMove', [[200, y]]);
    await touches('touchEnd', []);
    await tap([200, 500]);
    await tap([200, 500]);
    await touches('touchStart', [[150, 500], [250, 500]]);
    for (let d = 10; d <= 100; d += 10) await touches('touchMove', [[150 - d, 500], [250 + d, 500]]);
    await touches('touchEnd', []);
    assert.deepEqual(await page.evaluate(() => [scrollX, scrollY, visualViewport.scale,
                                                 document.scrollingElement.scrollTop]), [0, 0, 1, 0]);
    await page.screenshot({path: join(shots, 'phone-playing.png')});
    assert.deepEqual(page.errors, []);
    await context.close();
  });

  test('at rest the page runs no timer; input wakes it on its grid', async () => {
    const context = await browser.newContext();
    const page = await open(context);
    await page.waitForFunction(() => Module._nuvalo_asleep() === 1, null, {timeout: 20000});
    const ticks = await page.evaluate(() => NuvaloPage.timing.count);
    await page.waitForTimeout(5000);
    assert.equal(await page.evaluate(() => NuvaloPage.timing.count), ticks, 'no tick in 5 s at rest');
    await page.keyboard.press('Space');
    assert.equal(await probe(page, 0), 1, 'Space started a run');
    await ticksPass(page, 5);
    assert.deepEqual(page.errors, []);
    await context.close();
  });

  test('installable, and after one visit it plays offline', async () => {
    const profile = mkdtempSync(join(scratch, 'profile-'));
    const context = await chromium.launchPersistentContext(profile, {
      executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium', args: chromiumArgs});
    const page = await open(context);
    const cdp = await context.newCDPSession(page);
    const {installabilityErrors} = await cdp.send('Page.getInstallabilityErrors');
    assert.deepEqual(installabilityErrors, [], 'Chromium would install it');
    await page.waitForFunction(async () => {
      const ready = await navigator.serviceWorker.ready;
      return ready.active && navigator.serviceWorker.controller !== null;
    }, null, {timeout: 20000});
    await context.setOffline(true);
    await page.reload();
    await page.waitForFunction(() => window.NuvaloPage && NuvaloPage.timing.firstFrame >= 0);
    await page.keyboard.press('Space');
    assert.equal(await probe(page, 0), 1, 'offline, a run starts');
    assert.deepEqual(page.errors, []);
    await context.close();
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
    // A connected controller keeps the ticks coming between runs, as it does
    // for a player holding one: the period is measured without rests.
    await page.evaluate(() => Module._nuvalo_pads_attached(1));
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

  // CPU of each of the browser's processes, in % of one core over 20 s: a
  // blank page, the game at rest with its sound unlocked, and playing.
  test('CPU at rest and playing', async () => {
    const ticks = (pid) => {
      try {
        const f = readFileSync(`/proc/${pid}/stat`, 'latin1').split(') ')[1].split(' ');
        return Number(f[11]) + Number(f[12]); // utime + stime, in 1/100 s
      } catch {
        return 0;
      }
    };
    const processes = (profile) => {
      const all = readdirSync('/proc').filter((d) => /^\d+$/.test(d)).map((pid) => {
        try {
          return {pid, parent: readFileSync(`/proc/${pid}/stat`, 'latin1').split(') ')[1].split(' ')[1],
                  line: readFileSync(`/proc/${pid}/cmdline`, 'latin1').replace(/\0/g, ' ')};
        } catch {
          return null;
        }
      }).filter(Boolean);
      const ours = new Set(all.filter((p) => p.line.includes(profile) && !/--type=/.test(p.line)).map((p) => p.pid));
      for (let grew = true; grew;) {
        grew = false;
        for (const p of all) if (!ours.has(p.pid) && ours.has(p.parent)) { ours.add(p.pid); grew = true; }
      }
      const kind = (line) => /audio\.mojom/.test(line) ? 'audio service'
                           : /--type=renderer/.test(line) ? 'renderer'
                           : /--type=gpu-process/.test(line) ? 'GPU'
                           : /--type=/.test(line) ? 'other' : 'browser';
      return all.filter((p) => ours.has(p.pid)).map((p) => ({pid: p.pid, kind: kind(p.line)}));
    };
    const cpu = async (profile, during = async () => {}) => {
      const before = processes(profile).map((p) => ({...p, t: ticks(p.pid)}));
      const t0 = performance.now();
      while (performance.now() < t0 + 20000) await during();
      const wall = (performance.now() - t0) / 1000;
      const sums = {};
      for (const p of processes(profile)) {
        const was = before.find((b) => b.pid === p.pid)?.t ?? 0;
        sums[p.kind] = (sums[p.kind] ?? 0) + (ticks(p.pid) - was) / wall;
      }
      return Object.entries(sums).map(([k, v]) => `${k} ${v.toFixed(2)} %`).join(', ');
    };
    const profile = mkdtempSync(join(scratch, 'cpu-'));
    const context = await chromium.launchPersistentContext(profile, {
      executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium', args: chromiumArgs});
    const blank = context.pages()[0] ?? await context.newPage();
    await blank.goto('about:blank');
    console.log(`cpu: blank page: ${await cpu(profile)}`);
    const page = await open(context);
    await page.keyboard.press('ArrowLeft'); // the sound unlocked, as by a player
    await page.waitForFunction(() => Module._nuvalo_asleep() === 1, null, {timeout: 20000});
    console.log(`cpu: at rest: ${await cpu(profile)}`);
    console.log(`cpu: playing: ${await cpu(profile, async () => {
      if ((await probe(page, 0)) !== 1) await page.keyboard.press('Space');
      await new Promise((resolve) => setTimeout(resolve, 500));
    })}`);
    await context.close();
  });
}
