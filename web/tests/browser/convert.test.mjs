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
  ];
  for (const c of cases) {
    await typeInto(page, c.input);
    assert.equal(await page.getAttribute('#status', 'data-status'), c.status, c.input);
    assert.equal(await page.isVisible('#partial'), true);
    const message = page.locator('#messages > li.error').first();
    assert.equal(await message.locator('.text').textContent(), c.text);
    assert.deepEqual(
      await page.locator('#editor .cm-line.m-error-line').allTextContents(),
      [await editorLine(page, c.line)],
      c.input,
    );
    assert.equal(await editorLine(page, c.line), c.input.split('\n')[c.line - 1]);
    await message.locator('button.place').click();
    assert.equal(await selection(page), c.token, c.input);
  }
  assert.deepEqual(problems, []);
});
