// The built page served from a local port as any static server would, and Debian's Chromium
// driven headless (no browser of the test tool's own): what the browser tests and the browser
// benchmark share.
import { createServer } from 'node:http';
import { readFile } from 'node:fs/promises';
import { extname, join, normalize } from 'node:path';
import { chromium } from 'playwright-core';

const TYPES = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript',
  '.mjs': 'text/javascript',
  '.css': 'text/css',
  '.json': 'application/json',
  '.wasm': 'application/wasm',
};

/** Serves the files under `root` on a free port of 127.0.0.1: files as they are, and no
 * header that the page relies on. Resolves to the listening server. */
export function serve(root) {
  const server = createServer(async (request, response) => {
    let path = normalize(decodeURIComponent(new URL(request.url, 'http://x').pathname));
    if (path.endsWith('/')) path += 'index.html';
    try {
      const body = await readFile(join(root, path));
      response.writeHead(200, {
        'content-type': TYPES[extname(path)] ?? 'application/octet-stream',
      });
      response.end(body);
    } catch {
      response.writeHead(404);
      response.end();
    }
  });
  return new Promise((resolve) => {
    server.listen(0, '127.0.0.1', () => resolve(server));
  });
}

/** Starts Debian's Chromium headless (or the one PN2TAVIX_CHROMIUM names). */
export function launchChromium() {
  return chromium.launch({
    executablePath: process.env.PN2TAVIX_CHROMIUM ?? '/usr/bin/chromium',
    // Without these Chromium reaches out for updates and sync, which the closed network refuses.
    args: [
      '--disable-gpu',
      '--disable-quic',
      '--no-first-run',
      '--disable-background-networking',
      '--disable-component-update',
      '--disable-sync',
    ],
  });
}
