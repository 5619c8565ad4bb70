// The piano roll: one drawn note for every note line of the output, and each note leads back
// to the token that wrote it, by mouse and by keyboard.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { download, selection, shown, typeInto, usePage } from './support.mjs';

const { open } = usePage();

// The output's note lines: "/L" lines, less the rests ("/r").
const noteLines = (output) => output.toString().match(/^\/L[0-9:]+\/[a-g]/gm)?.length ?? 0;

// The notes drawn: each voice's notes are one path, a rectangle a note. Their centres, in the
// page's coordinates, in the order they are drawn.
function drawnNotes(page) {
  return page.evaluate(() => {
    const plane = document.querySelector('.roll-plane');
    const box = plane.getBoundingClientRect();
    return [...plane.querySelectorAll('path.note')].flatMap((path) =>
      [...path.getAttribute('d').matchAll(/M([\d.]+) ([\d.]+)h([\d.]+)v([\d.]+)/g)].map(
        ([, x, y, w, h]) => ({ x: box.left + Number(x) + w / 2, y: box.top + Number(y) + h / 2 }),
      ),
    );
  });
}

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
    assert.equal((await drawnNotes(page)).length, expected, name);
  }
  assert.deepEqual(problems, []);
});

test('a note tells what it is and selects its token', async () => {
  const { page, problems } = await open();
  // Measure 2 is written by "copy 1 1": its note points at the token copied.
  await typeInto(page, 'Copied/\nunits 8\n1 6:8 (8:8/\ncopy 1 1\nend\n');
  const notes = await drawnNotes(page);
  assert.equal(notes.length, 4);

  await page.mouse.move(notes[1].x, notes[1].y);
  assert.equal(await page.textContent('.roll-tip'), 'e+6: measure 1, voice 1, line 3');
  await page.mouse.click(notes[1].x, notes[1].y);
  assert.equal(await selection(page), '(8:8');
  await page.mouse.move(notes[2].x, notes[2].y);
  assert.equal(await page.textContent('.roll-tip'), 'c6: measure 2, voice 1, line 3');

  // By keyboard: into the roll, two notes on, and Enter.
  await page.focus('.roll-scroller');
  await page.keyboard.press('Home');
  await page.keyboard.press('ArrowRight');
  await page.keyboard.press('ArrowRight');
  assert.equal(await page.textContent('.roll-tip'), 'c6: measure 2, voice 1, line 3');
  await page.keyboard.press('Enter');
  assert.equal(await selection(page), '6:8');

  // The tip of the lowest note stays inside the roll's frame.
  const lowest = notes.reduce((a, b) => (b.y > a.y ? b : a));
  await page.mouse.move(lowest.x, lowest.y);
  const tip = await page.locator('.roll-tip').boundingBox();
  const frame = await page.locator('.roll-frame').boundingBox();
  assert.ok(tip.y >= frame.y && tip.y + tip.height <= frame.y + frame.height, { tip, frame });
  assert.deepEqual(problems, []);
});

test('a note token tells on hover what the converter made of it', async () => {
  const { page, problems } = await open();
  await typeInto(page, 'Tips/\nunits 24\n1 6q4 7:8. 8:16 9c8 9c8 9c8/\nend\n');
  const pitches = page.locator('#editor .cm-line').nth(2).locator('.m-pitch');
  const expected = [
    '`6q4`: c6, a quarter, articulation q',
    '`7:8.`: d6, a dotted eighth',
    '`8:16`: e6, a 16th',
    '`9c8`: f6, a triplet eighth',
  ];
  for (const [k, text] of expected.entries()) {
    await page.mouse.move(0, 0);
    await page.waitForSelector('.m-note-tip', { state: 'detached' });
    await pitches.nth(k).hover();
    assert.equal(await page.locator('.m-note-tip').textContent(), text);
  }
  assert.deepEqual(problems, []);
});
