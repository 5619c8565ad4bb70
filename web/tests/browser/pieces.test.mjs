// Where a piece comes from: a #piece= link, a file opened or dropped (bytes kept exactly,
// whatever they are), and the piece kept from the last visit.
import assert from 'node:assert/strict';
import { existsSync, readFileSync } from 'node:fs';
import { join } from 'node:path';
import { test } from 'node:test';
import { repo } from '../golden.mjs';
import { download, editorLine, shown, typeInto, usePage } from './support.mjs';

const { open } = usePage();
const golden = (name) => readFileSync(join(repo, 'tests/golden', name));

test('a #piece= link opens that piece', async () => {
  const input = golden('19_whole_pieces/01_duet.in');
  // base64url, without its padding (the input's length is not a multiple of three).
  assert.notEqual(input.length % 3, 0);
  const hash = `#piece=${input.toString('base64url')}`;
  const { page, problems } = await open(hash, { acceptDownloads: true });
  assert.equal(await editorLine(page, 1), input.toString().split('\n')[0]);
  assert.equal(await page.textContent('#status'), 'Converted');
  assert.deepEqual(await download(page), golden('19_whole_pieces/01_duet.out'));

  // A link that holds no base64url opens nothing and says so.
  await page.evaluate(() => {
    location.hash = '#piece=%%%';
  });
  await page.waitForFunction(() =>
    document.querySelector('#notice').textContent.includes('base64url'),
  );
  assert.equal(await editorLine(page, 1), input.toString().split('\n')[0]);
  assert.deepEqual(problems, []);
});

// The handful of golden cases that reach the page's own code: each exit status, and pieces
// that are not UTF-8 (shown a character a byte, quoted so in a message). The rest run through
// the module in Node.
test('a file keeps its bytes, edited or not, and is named in the download', async () => {
  const { page, problems } = await open('', { acceptDownloads: true });
  const cases = [
    // Bytes above 127 that are not UTF-8, in the title and in tokens.
    { name: '08_hostile/01_bytes_above_127', status: 'converted', utf8: false },
    // A NUL byte, valid UTF-8: the converter's own message, and the output up to it.
    { name: '08_hostile/04_nul_in_token_read_ahead', status: 'error', utf8: true },
    // A message that quotes a token's bytes, which are not UTF-8.
    { name: '08_hostile/02_keyword_with_byte_above_127', status: 'error', utf8: false },
    { name: '04_measures/02_number_mismatch', status: 'mismatch', utf8: true },
  ];
  for (const c of cases) {
    const since = await shown(page);
    await page.setInputFiles('#file', {
      name: 'piece.pdp1',
      mimeType: 'application/octet-stream',
      buffer: golden(`${c.name}.in`),
    });
    await shown(page, since);
    assert.equal(await page.getAttribute('#status', 'data-status'), c.status, c.name);
    assert.match(await page.textContent('#encoding'), c.utf8 ? /^UTF-8$/ : /^not UTF-8/, c.name);
    const stderr = existsSync(join(repo, 'tests/golden', `${c.name}.err`))
      ? golden(`${c.name}.err`).toString(c.utf8 ? 'utf8' : 'latin1')
      : '';
    const expected = stderr.split('\n').filter(Boolean);
    const texts = await page.locator('#messages .text').allTextContents();
    assert.deepEqual(
      texts.map((t) => `pn2tavix: ${t}`),
      expected,
      c.name,
    );
    if (c.status === 'converted') {
      // The title as the editor shows it, a character a byte where the piece is not UTF-8.
      const title = golden(`${c.name}.in`)
        .toString(c.utf8 ? 'utf8' : 'latin1')
        .split('/')[0];
      const caption = await page.textContent('.roll-caption');
      assert.ok(caption.startsWith(`${title}: `), `${c.name}: ${caption}`);
    }
    const [file] = await Promise.all([page.waitForEvent('download'), page.click('#download')]);
    assert.equal(file.suggestedFilename(), 'piece.tavix');
    assert.deepEqual(readFileSync(await file.path()), golden(`${c.name}.out`), c.name);
  }
  // The piece that is not UTF-8 again.
  const since = await shown(page);
  await page.setInputFiles('#file', {
    name: 'piece.pdp1',
    mimeType: 'application/octet-stream',
    buffer: golden('08_hostile/01_bytes_above_127.in'),
  });
  await shown(page, since);
  // An edit after the end of the piece changes nothing the converter reads: the bytes that
  // were not touched go back as they came, though they are not UTF-8.
  await page.click('#editor .cm-content');
  await page.keyboard.press('Control+End');
  const edited = await shown(page);
  await page.keyboard.type('\n');
  await shown(page, edited);
  assert.deepEqual(await download(page), golden('08_hostile/01_bytes_above_127.out'));
  assert.deepEqual(problems, []);
});

test('a dropped file is opened as bytes, not inserted as text', async () => {
  const { page, problems } = await open();
  const since = await shown(page);
  const input = golden('02_voices/03_settings_across_voices.in');
  const drop = await page.evaluateHandle(
    (bytes) => {
      const transfer = new DataTransfer();
      transfer.items.add(new File([new Uint8Array(bytes)], 'dropped.pdp1'));
      return transfer;
    },
    [...input],
  );
  await page.dispatchEvent('#editor', 'drop', { dataTransfer: drop });
  await shown(page, since);
  assert.equal(await editorLine(page, 1), input.toString().split('\n')[0]);
  assert.match(await page.textContent('#notice'), /Opened dropped\.pdp1/);
  assert.deepEqual(problems, []);
});

test('the last piece is kept for the next visit', async () => {
  const { page, problems } = await open();
  await typeInto(page, 'Kept/\nunits 8\n1 6:2/\nend\n');
  await page.waitForFunction(() => localStorage.getItem('pn2tavix.piece')?.includes('S2VwdC8'));
  await page.reload();
  await shown(page);
  assert.equal(await editorLine(page, 1), 'Kept/');
  assert.deepEqual(problems, []);
});

test('after a link is copied, a reload shows the latest edit, not the linked piece', async () => {
  const piece = 'Linked/\nunits 8\n1 6:2/\nend\n';
  const { page, problems } = await open(`#piece=${Buffer.from(piece).toString('base64url')}`);
  await page.click('#link');
  await page.click('#editor .cm-content');
  await page.keyboard.press('Control+Home');
  await page.keyboard.type('Re');
  // At once: the page keeps the text as it goes, not only after the usual pause.
  await page.reload();
  await shown(page);
  assert.equal(await editorLine(page, 1), 'ReLinked/');
  // The address holds no piece, or the latest.
  const hash = new URL(page.url()).hash;
  if (hash !== '') {
    assert.equal(Buffer.from(hash.slice('#piece='.length), 'base64url').toString(), `Re${piece}`);
  }
  assert.deepEqual(problems, []);
});

test('the Example menu names an example only while the editor holds its text', async () => {
  const { page, problems } = await open();
  const since = await shown(page);
  await page.selectOption('#examples', { label: 'Two voices' });
  await shown(page, since);
  assert.equal(await page.$eval('#examples', (s) => s.selectedOptions[0].text), 'Two voices');
  await page.click('#editor .cm-content');
  await page.keyboard.press('Control+End');
  await page.keyboard.type(' ');
  assert.equal(await page.$eval('#examples', (s) => s.value), '');
  await page.keyboard.press('Backspace');
  assert.deepEqual(problems, []);
});
