// A piece from a link is untrusted: markup in its title and tokens shows as text in the
// editor, the output, the messages and the roll's labels, and nothing of it runs.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { usePage } from './support.mjs';

const { open } = usePage();

test('markup in a linked piece injects nothing', async () => {
  const title = '<img src=x onerror="document.title=1">';
  const token = '<i/onfocus=x/autofocus>';
  const piece = `${title}/\nunits 8\n1 6:4 ${token}/\nend\n`;
  const { page, problems } = await open(`#piece=${Buffer.from(piece).toString('base64url')}`);

  // Elements the markup would have made, in the document or in the editors' shadow roots.
  const injected = await page.evaluate(() => {
    const roots = [
      document,
      ...[...document.querySelectorAll('*')].flatMap((e) => e.shadowRoot ?? []),
    ];
    return roots.flatMap((r) => [
      ...r.querySelectorAll('img:not(.cm-widgetBuffer), i, [onerror], [onfocus]'),
    ]).length;
  });
  assert.equal(injected, 0);
  assert.equal(await page.title(), 'pn2tavix: PDP-1 music to tavix');

  assert.equal(await page.locator('#editor .cm-line').first().textContent(), `${title}/`);
  assert.equal(await page.locator('#output .cm-line').nth(1).textContent(), `$title "${title}"`);
  const [message] = await page.locator('#messages .text').allTextContents();
  assert.equal(message, `No pitch found for note ${token} in measure 1`);
  assert.equal(await page.textContent('.roll-caption'), `${title}: 1 note in 1 measure.`);
  assert.match(await page.getAttribute('#roll path.note', 'd'), /^M[^M]*$/); // one note

  // The page's own policy: its files only, no inline script or style, nothing from elsewhere.
  const policy = await page.getAttribute('meta[http-equiv="Content-Security-Policy"]', 'content');
  assert.match(policy, /script-src 'self' 'wasm-unsafe-eval';/);
  assert.doesNotMatch(policy, /unsafe-inline|https?:|\*/);
  assert.deepEqual(problems, []);
});
