#!/usr/bin/env node
// Serves the browser build's folder on 127.0.0.1, as a plain static web
// server would: the right types (wasm must be application/wasm to compile
// while it downloads), gzip for clients that take it, nothing outside the
// folder. Prints the address, then serves until stopped.
//   node scripts/serve-web.mjs [FOLDER] [PORT]      (PORT 0: any free port)
import {createServer} from 'node:http';
import {readFile, stat} from 'node:fs/promises';
import {extname, join, normalize, resolve, sep} from 'node:path';
import {gzipSync} from 'node:zlib';

const root = resolve(process.argv[2] ?? 'build/web/site');
const port = Number(process.argv[3] ?? 8600);
const types = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.mjs': 'text/javascript; charset=utf-8',
  '.wasm': 'application/wasm',
  '.wav': 'audio/wav',
  '.png': 'image/png',
  '.json': 'application/json',
  '.webmanifest': 'application/manifest+json',
};
const compressed = new Map(); // path -> {mtime, bytes}

async function fileFor(urlPath) {
  let path = decodeURIComponent(urlPath.split('?')[0]);
  if (path.endsWith('/')) path += 'index.html';
  const full = normalize(join(root, path));
  if (full !== root && !full.startsWith(root + sep)) return null;
  try {
    const info = await stat(full);
    return info.isFile() ? {full, info} : null;
  } catch {
    return null;
  }
}

const server = createServer(async (request, response) => {
  const found = request.method === 'GET' || request.method === 'HEAD'
                    ? await fileFor(new URL(request.url, 'http://x').pathname)
                    : null;
  if (found === null) {
    response.writeHead(404, {'content-type': 'text/plain'});
    response.end('not found\n');
    return;
  }
  const type = types[extname(found.full)] ?? 'application/octet-stream';
  let body = await readFile(found.full);
  const headers = {'content-type': type, 'cache-control': 'no-cache'};
  if (/\bgzip\b/.test(request.headers['accept-encoding'] ?? '') && type !== 'image/png') {
    const cached = compressed.get(found.full);
    if (cached && cached.mtime === found.info.mtimeMs) {
      body = cached.bytes;
    } else {
      body = gzipSync(body, {level: 9});
      compressed.set(found.full, {mtime: found.info.mtimeMs, bytes: body});
    }
    headers['content-encoding'] = 'gzip';
    headers.vary = 'accept-encoding';
  }
  headers['content-length'] = body.length;
  response.writeHead(200, headers);
  response.end(request.method === 'HEAD' ? undefined : body);
});

server.listen(port, '127.0.0.1', () => {
  const {port: bound} = server.address();
  console.log(`Nuvalo is served at http://127.0.0.1:${bound}/ (from ${root}); Ctrl+C stops`);
});
