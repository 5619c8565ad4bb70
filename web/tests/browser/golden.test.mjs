// Every golden case through the module inside the page, in Chromium: the same stdout, stderr
// and status as the program, byte for byte.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { goldenCases, stderrOf } from '../golden.mjs';
import { usePage } from './support.mjs';

const { open } = usePage();

test('golden cases through the module in the page', async (t) => {
  const { page, problems } = await open();
  const cases = goldenCases();
  assert.ok(cases.length > 0, 'no golden case found');
  const results = await page.evaluate(
    async (inputs) => {
      const { createConverter } = await import('./pn2tavix.mjs');
      const { convert } = await createConverter();
      const toBase64 = (bytes) => btoa(Array.from(bytes, (b) => String.fromCharCode(b)).join(''));
      return inputs.map((input) => {
        const bytes = Uint8Array.from(atob(input), (c) => c.charCodeAt(0));
        const { status, output, messages } = convert(bytes);
        return {
          status,
          output: toBase64(output),
          messages: messages.map((m) => ({ textBytes: toBase64(m.textBytes) })),
        };
      });
    },
    cases.map((c) => Buffer.from(c.input).toString('base64')),
  );

  for (const [i, c] of cases.entries()) {
    await t.test(c.name, () => {
      const r = results[i];
      const messages = r.messages.map((m) => ({ textBytes: Buffer.from(m.textBytes, 'base64') }));
      assert.deepEqual(Buffer.from(r.output, 'base64'), c.out, 'stdout');
      assert.deepEqual(stderrOf(messages), c.err, 'stderr');
      assert.equal(r.status, c.status, 'status');
    });
  }
  assert.deepEqual(problems, []);
});
