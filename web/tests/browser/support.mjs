// What every browser test needs: the built page served from a local port, Debian's Chromium
// driven headless (chromium.mjs), and a watch on what the page must never do: throw, break its
// Content-Security-Policy, or ask any other host for anything.
import { mkdirSync } from 'node:fs';
import { readFile } from 'node:fs/promises';
import { join } from 'node:path';
import { after, before } from 'node:test';
import { dist, repo } from '../golden.mjs';
import { launchChromium, serve } from './chromium.mjs';

export const artifacts = process.env.PN2TAVIX_WEB_ARTIFACTS ?? join(repo, 'build/web/artifacts');

/**
 * Starts the server and the browser for one test file, and gives `open(hash, options)`, which
 * loads the page in a fresh context and returns {page, problems, context, origin}; the file's
 * tests check that `problems` stays empty.
 */
export function usePage() {
  const state = {};
  before(async () => {
    mkdirSync(artifacts, { recursive: true });
    state.server = await serve(dist);
    state.origin = `http://127.0.0.1:${state.server.address().port}`;
    state.browser = await launchChromium();
  });
  after(async () => {
    await state.browser?.close();
    state.server?.close();
  });

  async function open(
    hash = '',
    {
      acceptDownloads = false,
      viewport = { width: 1400, height: 1000 },
      colorScheme = 'light',
      route = null, // (context) => ..., before the page is loaded
      wait = true, // for the first result
    } = {},
  ) {
    const context = await state.browser.newContext({
      viewport,
      colorScheme,
      acceptDownloads,
      permissions: ['clipboard-read', 'clipboard-write'],
    });
    const page = await context.newPage();
    const problems = [];
    page.on('pageerror', (e) => problems.push(`page error: ${e.message}`));
    page.on('console', (m) => {
      if (m.type() === 'error') problems.push(`console: ${m.text()}`);
    });
    page.on('request', (r) => {
      const url = r.url();
      if (!url.startsWith(`${state.origin}/`) && !/^(blob|data):/.test(url)) {
        problems.push(`request to another origin: ${url}`);
      }
    });
    page.on('dialog', (d) => {
      problems.push(`dialog: ${d.message()}`);
      d.dismiss();
    });
    await page.addInitScript(() => {
      document.addEventListener('securitypolicyviolation', (e) => {
        console.error(`CSP violation: ${e.violatedDirective} ${e.blockedURI}`);
      });
    });
    await route?.(context);
    await page.goto(`${state.origin}/${hash}`);
    if (wait) await shown(page);
    return { page, problems, context, origin: state.origin };
  }

  return { open };
}

/**
 * Waits until the page shows the result of a conversion newer than `since` (an id) and no
 * change waits for its own.
 */
export async function shown(page, since = 0) {
  await page.waitForFunction(
    (n) =>
      Number(document.body.dataset.shown ?? 0) > n &&
      document.querySelector('#output-pane').getAttribute('aria-busy') === 'false',
    since,
  );
  return Number(await page.evaluate(() => document.body.dataset.shown));
}

/** Replaces the editor's whole text by typing `text` into it, key by key. */
export async function typeInto(page, text) {
  const since = Number((await page.evaluate(() => document.body.dataset.shown)) ?? 0);
  await page.click('#editor .cm-content');
  await page.keyboard.press('Control+A');
  await page.keyboard.press('Delete');
  await page.keyboard.type(text);
  return shown(page, since);
}

/** The bytes that the Download button saves. */
export async function download(page) {
  const [file] = await Promise.all([page.waitForEvent('download'), page.click('#download')]);
  return readFile(await file.path());
}

/** The text of line `n` (from 1) of the editor, as the page shows it. */
export function editorLine(page, n) {
  return page
    .locator('#editor .cm-line')
    .nth(n - 1)
    .textContent();
}

/** The text selected in the editor. */
export function selection(page) {
  return page.evaluate(() => {
    const root = document.querySelector('#editor').shadowRoot;
    return root.getSelection?.().toString() ?? '';
  });
}
