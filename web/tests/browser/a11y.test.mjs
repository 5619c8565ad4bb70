// An accessibility check of the page with axe-core, in light and dark colours, with a piece
// that converts, with one whose error is listed and marked, and of the language reference it
// links to: no serious or critical fault.
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { test } from 'node:test';
import { typeInto, usePage } from './support.mjs';

const { open } = usePage();
const axeSource = readFileSync(
  createRequire(import.meta.url).resolve('axe-core/axe.min.js'),
  'utf8',
);

async function faults(page) {
  // Evaluated through the debugging protocol, which the page's policy does not govern.
  await page.evaluate(axeSource);
  const { violations } = await page.evaluate(() => window.axe.run(document));
  return violations
    .filter((v) => v.impact === 'serious' || v.impact === 'critical')
    .map((v) => `${v.id}: ${v.nodes.map((n) => n.target.join(' ')).join(', ')}`);
}

for (const colorScheme of ['light', 'dark']) {
  test(`no serious accessibility fault, ${colorScheme}`, async () => {
    const { page, problems, origin } = await open('', { colorScheme });
    assert.deepEqual(await faults(page), [], 'the Minuet');
    await typeInto(page, 'Long/\nunits 8\n1 6:4 7:4/\n2 6:4/\nend\n');
    assert.deepEqual(await faults(page), [], 'an error');
    // The language reference, linked from the page.
    await page.goto(`${origin}/${await page.getAttribute('header a', 'href')}`);
    assert.match(await page.textContent('h1'), /The input music file/);
    assert.deepEqual(await faults(page), [], 'the reference');
    assert.deepEqual(problems, []);
  });
}
