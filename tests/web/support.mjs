// What the browser checks share, whichever engine runs them: where the build
// put things, the page served on 127.0.0.1 (plain, and a copy with the tests'
// instrumentation), nuvalo-sim of the same build, frames read back and
// compared pixel for pixel, and waiting without a fixed time.
import {execFileSync, spawn} from 'node:child_process';
import {cpSync, mkdtempSync, readFileSync, rmSync, writeFileSync} from 'node:fs';
import {tmpdir} from 'node:os';
import {join} from 'node:path';
import {inflateSync} from 'node:zlib';

export function where(name) {
  if (!process.env[name]) {
    console.error(`${name} is not set; run the browser checks through CTest (make test-web)`);
    process.exit(2);
  }
  return process.env[name];
}
export const site = where('NUVALO_WEB_SITE');
export const goldenDir = where('NUVALO_GOLDEN_DIR');
const simJs = where('NUVALO_SIM_JS');
const serverJs = where('NUVALO_SERVER');
export const shots = process.env.NUVALO_SHOTS ?? mkdtempSync(join(tmpdir(), 'nuvalo-web-shots-'));
export const scratch = mkdtempSync(join(tmpdir(), 'nuvalo-web-'));
process.on('exit', () => rmSync(scratch, {recursive: true, force: true}));

// Serves `folder` as the project's own static server does; resolves to its
// address and a way to stop it.
export async function serve(folder) {
  const server = spawn(process.execPath, [serverJs, folder, '0'], {stdio: ['ignore', 'pipe', 'inherit']});
  const base = await new Promise((resolve, reject) => {
    server.stdout.on('data', (d) => {
      const m = /http:\/\/127\.0\.0\.1:\d+\//.exec(String(d));
      if (m) resolve(m[0]);
    });
    server.on('exit', (code) => reject(new Error(`the server stopped (${code})`)));
  });
  return {base, stop: () => server.kill()};
}

// A copy of the page whose first script records the page's errors and, as
// the address's #fragment asks, fixes the clock's seconds (seed=S), takes
// storage away (nostorage), loses or breaks sound files (badsounds) or the
// game itself (nowasm). Every engine runs it the same way, before the page's
// own scripts, where no automation protocol offers that to all three.
const instrumentation = `(function () {
  var asked = new URLSearchParams(location.hash.slice(1));
  window.pageErrors = [];
  addEventListener('error', function (e) { pageErrors.push(String(e.message)); });
  addEventListener('unhandledrejection', function (e) { pageErrors.push(String(e.reason)); });
  if (asked.has('seed')) {
    var at = Number(asked.get('seed')) * 1000;
    Date.now = function () { return at; };
  }
  if (asked.has('nostorage')) {
    var refuse = function () { throw new DOMException('storage is disabled', 'SecurityError'); };
    try {
      Object.defineProperty(window, 'localStorage', {get: refuse});
    } catch (e) {
      Storage.prototype.getItem = Storage.prototype.setItem = refuse;
    }
  }
  var broken = {};
  if (asked.has('badsounds')) {
    broken['Ton/ball01.wav'] = function () { return new Response('', {status: 404}); };
    broken['Ton/button03.wav'] = function () {
      return new Response('RIFF, but no sound', {headers: {'content-type': 'audio/wav'}});
    };
    window.sourcesStarted = 0;
    var start = AudioBufferSourceNode.prototype.start;
    AudioBufferSourceNode.prototype.start = function () {
      if (this.buffer) sourcesStarted++;
      return start.apply(this, arguments);
    };
  }
  if (asked.has('nowasm')) broken['nuvalo.wasm'] = function () { return new Response('', {status: 404}); };
  var fetched = window.fetch;
  window.fetch = function (what) {
    var path = new URL(typeof what === 'string' ? what : what.url, location.href).pathname.slice(1);
    return broken[path] ? Promise.resolve(broken[path]()) : fetched.apply(this, arguments);
  };
})();
`;
export function instrumentedSite() {
  const copy = join(scratch, 'instrumented');
  cpSync(site, copy, {recursive: true});
  writeFileSync(join(copy, 'instrumentation.js'), instrumentation);
  const index = readFileSync(join(copy, 'index.html'), 'utf8');
  const first = index.indexOf('<script');
  if (first < 0) throw new Error('index.html has no script to put the instrumentation before');
  writeFileSync(join(copy, 'index.html'),
                index.slice(0, first) + '<script src="instrumentation.js"></script>\n' + index.slice(first));
  return copy;
}

// nuvalo-sim of the same build in a folder of its own, optionally with a
// save.dat; returns that folder and its save.dat afterwards (null if none).
export function simulate(seed, script, saveDat = null) {
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

// The RGB of an 8-bit, non-interlaced RGB or RGBA PNG, a file or its bytes
// (the golden frames, nuvalo-sim's snapshots, screenshots), decoded here so that no engine's image decoder or
// colour management stands between the two frames compared.
export function readPng(path) {
  const file = Buffer.isBuffer(path) ? path : readFileSync(path);
  let at = 8, width = 0, height = 0, channels = 0;
  const data = [];
  while (at < file.length) {
    const length = file.readUInt32BE(at), type = file.toString('latin1', at + 4, at + 8);
    const body = file.subarray(at + 8, at + 8 + length);
    if (type === 'IHDR') {
      [width, height] = [body.readUInt32BE(0), body.readUInt32BE(4)];
      channels = {2: 3, 6: 4}[body[9]];
      if (body[8] !== 8 || !channels || body[12] !== 0) throw new Error('not an 8-bit RGB(A) PNG');
    } else if (type === 'IDAT') {
      data.push(body);
    }
    at += 12 + length;
  }
  const raw = inflateSync(Buffer.concat(data)), stride = width * channels;
  const rgb = Buffer.alloc(width * height * 3);
  let previous = Buffer.alloc(stride);
  for (let y = 0; y < height; y++) {
    const filter = raw[y * (stride + 1)], line = Buffer.from(raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1)));
    for (let i = 0; i < stride; i++) {
      const a = i >= channels ? line[i - channels] : 0, b = previous[i], c = i >= channels ? previous[i - channels] : 0;
      const p = a + b - c, pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
      line[i] += [0, a, b, (a + b) >> 1, pa <= pb && pa <= pc ? a : pb <= pc ? b : c][filter];
    }
    for (let x = 0; x < width; x++) line.copy(rgb, (y * width + x) * 3, x * channels, x * channels + 3);
    previous = line;
  }
  return {width, height, rgb};
}

// The page's 600 x 450 frame as its canvas holds it, in RGBA.
export async function framePixels(tab) {
  const text = await tab.eval(() => {
    const d = document.getElementById('frame').getContext('2d').getImageData(0, 0, 600, 450).data;
    let s = '';
    for (let i = 0; i < d.length; i += 0x8000) s += String.fromCharCode.apply(null, d.subarray(i, i + 0x8000));
    return btoa(s);
  });
  return Buffer.from(text, 'base64');
}

// How many pixels of the page's frame differ from a PNG on the disk.
export async function differingPixels(tab, png) {
  const want = readPng(png).rgb, got = await framePixels(tab);
  let differing = 0;
  for (let p = 0; p < 600 * 450; p++) {
    if (got[p * 4] !== want[p * 3] || got[p * 4 + 1] !== want[p * 3 + 1] || got[p * 4 + 2] !== want[p * 3 + 2]) {
      differing++;
    }
  }
  return differing;
}

// Polls `fn` in the page until it returns something truthy; a busy machine
// gets a generous time, and a timeout says what did not happen. WebKit's
// driver answers a poll of a page that stalled for a while with no result:
// the next poll asks again.
export async function waitFor(tab, what, fn, arg = null, seconds = 60) {
  const until = Date.now() + seconds * 1000;
  for (;;) {
    const value = await tab.eval(fn, arg).catch((e) => {
      if (!/Could not parse script result/.test(e.message)) throw e;
      return null;
    });
    if (value) return value;
    if (Date.now() > until) throw new Error(`${what}: not within ${seconds} s`);
    await new Promise((resolve) => setTimeout(resolve, 50));
  }
}

export const probe = (tab, what) => tab.eval((w) => Module._nuvalo_probe(w), what);
export const ready = (tab) => waitFor(tab, 'the first frame', () => window.NuvaloPage && NuvaloPage.timing.firstFrame >= 0);

// Waits for `n` more ticks of the page, however long they take.
export async function ticksPass(tab, n) {
  const start = await tab.eval(() => NuvaloPage.timing.count);
  await waitFor(tab, `${n} ticks`, (t) => NuvaloPage.timing.count >= t, start + n);
}

export function quantile(values, p) {
  const v = [...values].sort((a, b) => a - b);
  return v[Math.min(v.length - 1, Math.floor(p * v.length))];
}
