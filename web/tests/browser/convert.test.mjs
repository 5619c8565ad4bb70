// Typing into the page and reading what it shows: the output, the status, the messages and the
// marks in the editor.
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { join } from 'node:path';
import { test } from 'node:test';
import { repo } from '../golden.mjs';
import { artifacts, download, editorLine, selection, typeInto, usePage } from './support.mjs';

const { open } = usePage();

test('the Minuet typed into the editor gives its tavix text byte for byte', async () => {
  const { page, problems } = await open('', { acceptDownloads: true });
  await typeInto(page, readFileSync(join(repo, 'examples/minuet.pdp1'), 'utf8'));
  const expected = readFileSync(join(repo, 'tests/data/minuet.tavix'));

  assert.equal(await page.textContent('#status'), 'Converted');
  assert.deepEqual(await download(page), expected);
  await page.click('#copy');
  assert.equal(await page.evaluate(() => navigator.clipboard.readText()), expected.toString());
  assert.equal(await page.isHidden('#partial'), true);
  await page.screenshot({ path: join(artifacts, 'page.png'), fullPage: true });
  assert.deepEqual(problems, []);
});

test('an error shows its message, marks its line and leads to its place', async () => {
  const { page, problems } = await open();
  const cases = [
    {
      // The bar line closes a measure that is too long.
      input: 'Long/\nunits 8\n1 6:4 7:4/\n2 6:4/\nend\n',
      status: 'error',
      text: 'found 96 192th notes of music, expected 48 in measure 1, voice 1',
      line: 3,
      token: '/',
    },
    {
      // A note run into its measure number reads as measure 74.
      input: 'Run together/\nunits 8\n1 74/\nend\n',
      status: 'mismatch',
      text: 'input claims measure 74, but actually on measure 1',
      line: 3,
      token: '74',
    },
    {
      input: 'No pitch/\nunits 8\n1 hq/\nend\n',
      status: 'error',
      text: 'No pitch found for note hq in measure 1',
      line: 3,
      token: 'hq',
    },
    {
      // Columns are said in characters, as the editor counts them: byte 32 is character 29.
      input: 'Étude für Bläser/ units 8 1 hq/\nend\n',
      status: 'error',
      text: 'No pitch found for note hq in measure 1',
      line: 1,
      token: 'hq',
      where: 'error, line 1, column 29',
    },
  ];
  for (const c of cases) {
    await typeInto(page, c.input);
    assert.equal(await page.getAttribute('#status', 'data-status'), c.status, c.input);
    assert.equal(await page.isVisible('#partial'), true);
    const message = page.locator('#messages > li.error').first();
    assert.equal(await message.locator('.text').textContent(), c.text);
    if (c.where) assert.equal(await message.locator('.where').textContent(), c.where);
    assert.deepEqual(
      await page.locator('#editor .cm-line.m-error-line').allTextContents(),
      [await editorLine(page, c.line)],
      c.input,
    );
    assert.equal(await editorLine(page, c.line), c.input.split('\n')[c.line - 1]);
    await message.locator('button.place').click();
    assert.equal(await selection(page), c.token, c.input);
    // The selection, drawn beneath the lines (in the next frame), shows through the error
    // line's colour.
    await page.waitForFunction(() =>
      document.querySelector('#editor').shadowRoot.querySelector('.cm-selectionBackground'),
    );
    const seeThrough = await page.evaluate(() => {
      const line = document.querySelector('#editor').shadowRoot.querySelector('.m-error-line');
      const alpha = /rgba?\([^)]*,\s*([\d.]+)\)/.exec(getComputedStyle(line).backgroundColor);
      return alpha !== null && Number(alpha[1]) < 1;
    });
    assert.equal(seeThrough, true, c.input);
    // The roll marks the measure of the error.
    const marked = await page
      .locator('#roll rect.mark.error')
      .evaluateAll((rects) => rects.map((r) => r.dataset.measure));
    assert.deepEqual(marked, ['1'], c.input);
  }
  assert.deepEqual(problems, []);
});

test('the title as the converter read it names the roll and the download', async () => {
  const { page, problems } = await open('', { acceptDownloads: true });
  // Its own quote and "$tempo" line do not end it: only its '/' does.
  const title = 'A"\n$tempo 5 B';
  await typeInto(page, `${title}/\nunits 8\n1 6:4/\nend\n`);
  assert.equal(await page.textContent('.roll-caption'), `${title}: 1 note in 1 measure.`);
  const [file] = await Promise.all([page.waitForEvent('download'), page.click('#download')]);
  assert.equal(file.suggestedFilename(), 'A_tempo 5 B.tavix');
  assert.deepEqual(problems, []);
});

test('at 1280×800 the roll is in sight without scrolling the page', async () => {
  const { page, problems } = await open('', { viewport: { width: 1280, height: 800 } });
  const frame = await page.locator('.roll-frame').boundingBox();
  assert.ok(frame.y >= 0 && frame.y + frame.height <= 800 && frame.height >= 150, frame);
  assert.equal(await page.evaluate(() => window.scrollY), 0);
  await page.screenshot({ path: join(artifacts, 'page-1280x800.png') });
  assert.deepEqual(problems, []);
});

test('a converter that fails to load leaves the page able to convert again', async () => {
  let broken = true;
  const { page, problems } = await open('', {
    wait: false,
    route: (context) =>
      context.route('**/worker.js', (route) =>
        broken
          ? route.fulfill({ contentType: 'text/javascript', body: 'throw new Error("broken");' })
          : route.continue(),
      ),
  });
  await page.waitForSelector('#status[data-status="failed"]');
  broken = false;
  await typeInto(page, 'Again/\nunits 8\n1 6:4/\nend\n');
  assert.equal(await page.textContent('#status'), 'Converted');
  // The failure itself is the browser's report of the broken worker, and nothing else.
  assert.deepEqual(
    problems.filter((p) => !/broken/.test(p)),
    [],
  );
});
