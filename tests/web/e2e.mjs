// What only Chromium's own protocol lets a test do to the page, beyond the
// checks every engine runs (engines.mjs): phones and tablets emulated at
// their sizes and densities, real touches through the browser's input
// pipeline, installability, a clock that moves only when told, and the CPU
// of each of the browser's processes.
//   node --test e2e.mjs        the checks (CTest runs them: make test-web)
//   node e2e.mjs --measure S   CPU at rest and playing, and seeking a long run
// CTest runs a copy in the build tree, beside its playwright-core, and says
// where things are: NUVALO_WEB_SITE the page folder, NUVALO_SIM_JS
// nuvalo-sim.js of the same build, NUVALO_GOLDEN_DIR the renderer's
// reference frames, NUVALO_SERVER the static server, NUVALO_SHOTS where the
// screenshots go (to be looked at).
import {mkdtempSync, readFileSync, readdirSync} from 'node:fs';
import {join} from 'node:path';
import {after, before, test} from 'node:test';
import assert from 'node:assert/strict';
import {chromium} from 'playwright-core';
import {differingPixels, goldenDir, instrumentedSite, quantile, readPng, scratch, serve, shots, simulate} from './support.mjs';

const measureAt = process.argv.indexOf('--measure');

let server, base, browser;
const chromiumArgs = ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
                      '--disable-background-networking', '--disable-component-update', '--disable-sync',
                      '--disable-background-timer-throttling', '--disable-renderer-backgrounding'];

before(async () => {
  server = await serve(instrumentedSite());
  base = server.base;
  // A fresh profile each run; none of Chromium's own connections to the
  // internet (there is none here).
  browser = await chromium.launch({
    executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium', args: chromiumArgs});
  // The page's service worker would answer requests before the tests' own
  // routes see them.
  const newContext = browser.newContext.bind(browser);
  browser.newContext = (options = {}) => newContext({serviceWorkers: 'block', ...options});
});

after(async () => {
  await browser?.close();
  server?.stop();
});

async function open(context, path = '') {
  const page = await context.newPage();
  page.errors = [];
  page.on('pageerror', (e) => page.errors.push(e.message));
  page.eval = (fn, arg) => page.evaluate(fn, arg);
  await page.goto(base + path);
  await page.waitForFunction(() => window.NuvaloPage && NuvaloPage.timing.firstFrame >= 0);
  return page;
}

const probe = (page, what) => page.evaluate((w) => Module._nuvalo_probe(w), what);

// Everything the page shows (the frame, the help line's words, every control
// and button) lies within the screen, clear of everything else, and what a
// finger presses is at least 48 CSS px each way.
async function laidOut(page, what) {
  const boxes = await page.evaluate(() => [...document.querySelectorAll(
    '#frame, #help-en, #help canvas, .control, .share, #fullscreen, #watch button, #seek, #time, #verdict')]
    .filter((e) => e.getClientRects().length > 0 && getComputedStyle(e).visibility !== 'hidden')
    .map((e) => {
      const r = e.getBoundingClientRect();
      return {name: e.id || e.className, x: r.left, y: r.top, right: r.right, bottom: r.bottom,
              pressed: e.matches('button, input')};
    }));
  const {width, height} = page.viewportSize();
  for (const [i, b] of boxes.entries()) {
    assert.ok(b.x > -0.5 && b.y > -0.5 && b.right < width + 0.5 && b.bottom < height + 0.5,
              `${what}: ${b.name} leaves the screen: ${JSON.stringify(b)}`);
    assert.ok(!b.pressed || (b.right - b.x >= 48 && b.bottom - b.y >= 48), `${what}: ${b.name} is small`);
    for (const c of boxes.slice(i + 1)) {
      assert.ok(Math.min(b.right, c.right) - Math.max(b.x, c.x) < 0.5 || Math.min(b.bottom, c.bottom) - Math.max(b.y, c.y) < 0.5,
                `${what}: ${b.name} and ${c.name} overlap: ${JSON.stringify([b, c])}`);
    }
  }
}

if (measureAt < 0) {
  // Phones and tablets upright and sideways, and desktops: the frame's share
  // of the screen, and on whole factors the frame on the screen is the golden
  // frame, each frame pixel a square of device pixels. Then, as opened, on a
  // result and watching that run: nothing shown leaves the screen or overlaps.
  const devices = [
    {name: 'phone 390x844@3', viewport: {width: 390, height: 844}, deviceScaleFactor: 3, least: 0.9},
    {name: 'phone 412x915@2.625', viewport: {width: 412, height: 915}, deviceScaleFactor: 2.625, least: 0.9},
    {name: 'phone 360x640@2', viewport: {width: 360, height: 640}, deviceScaleFactor: 2, least: 0.9},
    {name: 'phone 844x390@3', viewport: {width: 844, height: 390}, deviceScaleFactor: 3, least: 0.85},
    {name: 'tablet 820x1180@2', viewport: {width: 820, height: 1180}, deviceScaleFactor: 2, least: 0.9},
    {name: 'tablet 1180x820@2', viewport: {width: 1180, height: 820}, deviceScaleFactor: 2, least: 0.8},
    {name: 'desktop 1280x720@2', viewport: {width: 1280, height: 720}, deviceScaleFactor: 2, whole: 3},
    {name: 'desktop 1920x1080@1', viewport: {width: 1920, height: 1080}, deviceScaleFactor: 1, whole: 2},
  ];
  test('the frame fills each screen, crisp, with touch controls only on touch screens; nothing shown overlaps', async () => {
    for (const {name, least, whole, ...screen} of devices) {
      const touch = whole === undefined;
      const context = await browser.newContext({...screen, isMobile: touch, hasTouch: touch});
      await context.clock.install();
      const page = await open(context);
      const box = await page.locator('#frame').boundingBox();
      const {width, height} = screen.viewport;
      const share = height >= width ? box.width / width : box.height / height;
      const file = name.replace(/[ @]/g, '-');
      if (touch) {
        assert.ok(share >= least, `${name}: the frame takes ${share} of the screen`);
        for (const id of ['#left', '#right', '#start']) {
          const control = await page.locator(id).boundingBox();
          assert.ok(control && control.width >= 48 && control.height >= 48, `${name}: ${id} ${JSON.stringify(control)}`);
        }
      } else {
        assert.equal(box.width * screen.deviceScaleFactor, 600 * whole, name);
        assert.equal(await page.locator('#start').isVisible(), false, `${name}: no touch controls`);
        // The frame on the screen, sampled back at its whole factor.
        const shown = readPng(await page.screenshot({clip: box})), want = readPng(join(goldenDir, 'halted.png'));
        let differing = 0;
        for (let y = 0; y < 450; y++) {
          for (let x = 0; x < 600; x++) {
            const k = whole, i = ((y * k + (k >> 1)) * shown.width + x * k + (k >> 1)) * 3, j = (y * 600 + x) * 3;
            if (shown.rgb.compare(want.rgb, j, j + 3, i, i + 3) !== 0) differing++;
          }
        }
        assert.equal(differing, 0, `${name}: the frame shown`);
      }
      await page.screenshot({path: join(shots, `${file}.png`)});
      await laidOut(page, `${name}, opened`);
      // A run to its result, the page's clock hurried: both runs to share.
      const cdp = touch && await context.newCDPSession(page);
      const press = async (id) => {
        if (!touch) return page.keyboard.press({'#start': 'Space', '#play': 'Space'}[id]);
        const b = await page.locator(id).boundingBox(), at = {x: b.x + b.width / 2, y: b.y + b.height / 2};
        await cdp.send('Input.dispatchTouchEvent', {type: 'touchStart', touchPoints: [at]});
        await cdp.send('Input.dispatchTouchEvent', {type: 'touchEnd', touchPoints: []});
      };
      await press('#start');
      while (await probe(page, 2) !== 2) await page.clock.runFor(2000);
      assert.deepEqual(await page.evaluate(() => ['share-run', 'share-best'].map((id) => !document.getElementById(id).hidden)),
                       [true, true], `${name}: the share buttons`);
      await laidOut(page, `${name}, on a result`);
      await page.screenshot({path: join(shots, `${file}-result.png`)});
      // That run watched, at its end: the verdict and the step buttons show.
      await page.evaluate(() => { location.hash = 'run=' + localStorage.getItem('nuvalo/last.nuvrun'); });
      await page.waitForFunction(() => NuvaloPage.watch.on);
      await page.evaluate(() => Module._nuvalo_watch_seek(1e9));
      await laidOut(page, `${name}, watching`);
      await page.screenshot({path: join(shots, `${file}-watching.png`)});
      await press('#play');
      await page.waitForFunction(() => NuvaloPage.watch.playing === 1);
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

  test('Chromium would install it', async () => {
    const profile = mkdtempSync(join(scratch, 'profile-'));
    const context = await chromium.launchPersistentContext(profile, {
      executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium', args: chromiumArgs});
    const page = await open(context);
    const cdp = await context.newCDPSession(page);
    const {installabilityErrors} = await cdp.send('Page.getInstallabilityErrors');
    assert.deepEqual(installabilityErrors, [], 'Chromium would install it');
    assert.deepEqual(page.errors, []);
    await context.close();
  });

  test('with the clock moving only when told, the page\'s frame is nuvalo-sim\'s, tick for tick', async () => {
    const seed = 1765300004;
    const context = await browser.newContext();
    await context.clock.install({time: seed * 1000});
    await context.clock.pauseAt(seed * 1000 + 100);
    const game = await open(context);
    await game.keyboard.press('Space');
    const before = await game.evaluate(() => NuvaloPage.timing.count);
    await game.clock.runFor(20 * 300);
    assert.equal(await game.evaluate(() => NuvaloPage.timing.count) - before, 300);
    const mid = simulate(seed, 'keyup 32\ntimer 300\nsnapshot mid.png\n');
    assert.equal(await differingPixels(game, join(mid.dir, 'mid.png')), 0, 'the same frame at tick 300');
    assert.deepEqual(game.errors, []);
    await context.close();
  });
} else {
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
    const cpu = async (profile, during = () => new Promise((resolve) => setTimeout(resolve, 500))) => {
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

  // How soon a seek shows its frame in a 62-second run (3102 ticks, then the
  // tally; steered by a script through nuvalo-sim): the host's seek with its
  // paint and the canvas upload, back from the end (a replay from the start)
  // and forward from the start, to 100 places across the run.
  test('seeking a 60-second run, and a clip of it', async () => {
    const context = await browser.newContext();
    const page = await open(context, '#run=TlVWUgEBAF_aBRMAILZEAAEAAAAAAJ4YovUFSMkBAgYA0AICAwAFAgYAGQIMABQBAwB5AgEABQICAAQCAgADAgIABAICAAMCAgAEAgIAAwICAAQCAgBPAQEAkAIBAQAuAQQAvQECAwBRAQYAAgECAAEBAgACAQIAAgECAAIBAgBxAgMAfQEVAPICAgkAigECCABDAg8AggEBBABIAg4AiAECCQA4AQoAQgEMAFICFABKAgIARtQwAA');
    const {length, times} = await page.evaluate(() => {
      const n = NuvaloPage.watch.length, took = [];
      Module._nuvalo_watch_play(0);
      for (let i = 0; i < 100; i++) {
        const to = Math.floor(n * (1 - i / 100)) - 1;
        for (const from of [n, 0]) {
          Module._nuvalo_watch_seek(from);
          const t0 = performance.now();
          Module._nuvalo_watch_seek(to);
          took.push(performance.now() - t0);
        }
      }
      return {length: n, times: took};
    });
    console.log(`seek: ${length} steps; ${times.length} seeks: median ${quantile(times, 0.5).toFixed(2)} ms,` +
                ` 99th percentile ${quantile(times, 0.99).toFixed(2)} ms, longest ${Math.max(...times).toFixed(2)} ms`);
    // The clip the GIF button makes unmarked, its last 10 s, at 50 frames a
    // second and 1x: the host's request, then the page making it, read back
    // and offered (the download held back).
    const clip = await page.evaluate(() => {
      HTMLAnchorElement.prototype.click = () => {};
      const took = [];
      for (let i = 0; i < 3; i++) {
        const t0 = performance.now();
        Module._nuvalo_watch_clip();
        Module._nuvalo_clip_make(50, 1);
        took.push(performance.now() - t0);
      }
      return {took, said: document.getElementById('status').textContent};
    });
    console.log(`clip: ${clip.said}; made in ${clip.took.map((t) => (t / 1000).toFixed(2)).join(', ')} s`);
    await context.close();
  });
}
