// The piano roll: one drawn note for every note line of the output, and each note leads back
// to the token that wrote it, by mouse and by keyboard.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { download, selection, shown, typeInto, usePage } from './support.mjs';

const { open } = usePage();

// The output's note lines: "/L" lines, less the rests ("/r").
const noteLines = (output) => output.toString().match(/^\/L[0-9:]+\/[a-g]/gm)?.length ?? 0;

test('the roll draws as many notes as the output has note lines', async () => {
  const { page, problems } = await open('', { acceptDownloads: true });
  const options = await page.locator('#examples option').allTextContents();
  // Every example that converts: the Minuet, two voices, clefs, dots, commas, copy.
  const examples = options.slice(1, -1);
  assert.equal(examples.length, 6);
  for (const name of examples) {
    const since = await shown(page);
    await page.selectOption('#examples', { label: name });
    await shown(page, since);
    const expected = noteLines(await download(page));
    assert.ok(expected > 0, name);
    assert.equal(await page.locator('#roll rect.note').count(), expected, name);
  }
  assert.deepEqual(problems, []);
});

test('a note tells what it is and selects its token', async () => {
  const { page, problems } = await open();
  // Measure 2 is written by "copy 1 1": its note points at the token copied.
  await typeInto(page, 'Copied/\nunits 8\n1 6:8 (8:8/\ncopy 1 1\nend\n');
  const notes = page.locator('#roll rect.note');
  assert.equal(await notes.count(), 4);

  await notes.nth(1).hover();
  assert.equal(await page.textContent('.roll-tip'), 'e+6: measure 1, voice 1, line 3');
  await notes.nth(1).click();
  assert.equal(await selection(page), '(8:8');
  await notes.nth(2).hover();
  assert.equal(await page.textContent('.roll-tip'), 'c6: measure 2, voice 1, line 3');

  // By keyboard: into the roll, two notes on, and Enter.
  await page.focus('.roll-scroller');
  await page.keyboard.press('Home');
  await page.keyboard.press('ArrowRight');
  await page.keyboard.press('ArrowRight');
  assert.equal(await page.textContent('.roll-tip'), 'c6: measure 2, voice 1, line 3');
  await page.keyboard.press('Enter');
  assert.equal(await selection(page), '6:8');
  assert.deepEqual(problems, []);
});
