// A multi-megabyte paste: the page goes on answering the keyboard while the worker converts,
// and then shows the whole result.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { shown, usePage } from './support.mjs';

const { open } = usePage();

// About 4 MB of music that converts: 240 voices of 1000 measures.
function largePiece() {
  const voices = [];
  for (let v = 1; v <= 240; v++) {
    const measures = Array.from({ length: 1000 }, (_, m) => `${m + 1} 6:4 7:8 8:8/\n`);
    voices.push(`Voice ${v}/\nunits 16\n${measures.join('')}end\n`);
  }
  return voices.join('');
}

test('a multi-megabyte paste leaves the page answering input while it converts', async () => {
  const { page, problems } = await open();
  const piece = largePiece();
  assert.ok(piece.length > 4_000_000);
  await page.evaluate((text) => navigator.clipboard.writeText(text), piece);

  const since = await shown(page);
  await page.click('#editor .cm-content');
  await page.keyboard.press('Control+A');
  await page.keyboard.press('Control+V');
  // "Converting…" appears only if the page's own thread is free while the worker works.
  await page.waitForSelector('#status[data-status="converting"]');
  await page.keyboard.press('Control+End');
  await page.keyboard.type('/');
  const during = await page.evaluate(() => ({
    line: document.querySelector('#editor').shadowRoot.querySelector('.cm-activeLine').textContent,
    status: document.querySelector('#status').dataset.status,
  }));
  assert.deepEqual(during, { line: '/', status: 'converting' });

  // The bar line typed after "end" makes an empty title: the piece ends there, converted.
  await shown(page, since);
  assert.equal(await page.textContent('#status'), 'Converted');
  assert.match(
    await page.textContent('.roll-caption'),
    /^Voice 1: 720000 notes in 1000 measures\.$/,
  );
  assert.ok((await page.locator('#roll path.note').count()) > 0);

  // Too large to keep in the browser: the next visit says so.
  await page.reload();
  await shown(page);
  assert.match(await page.textContent('#notice'), /too large to keep/);
  assert.deepEqual(problems, []);
});
