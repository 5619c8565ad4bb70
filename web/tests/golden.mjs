// The end-to-end cases that the program's own tests run (tests/golden): each input with the
// stdout, stderr and status the program gives for it. Read from the tree, never copied.
import { existsSync, readdirSync, readFileSync } from 'node:fs';
import { join, relative } from 'node:path';
import { fileURLToPath } from 'node:url';

export const repo = fileURLToPath(new URL('../../', import.meta.url));
export const dist = process.env.PN2TAVIX_WEB_DIST ?? join(repo, 'build/web/dist');
const goldenDir = join(repo, 'tests/golden');

const orEmpty = (path) => (existsSync(path) ? readFileSync(path) : Buffer.alloc(0));

function* inputsUnder(dir) {
  for (const entry of readdirSync(dir, { withFileTypes: true })) {
    const path = join(dir, entry.name);
    if (entry.isDirectory()) yield* inputsUnder(path);
    else if (entry.name.endsWith('.in')) yield path;
  }
}

export function goldenCases() {
  return [...inputsUnder(goldenDir)].sort().map((input) => {
    const base = input.slice(0, -'.in'.length);
    const status = orEmpty(`${base}.status`).toString().trim();
    return {
      name: relative(goldenDir, input),
      input: new Uint8Array(readFileSync(input)),
      out: orEmpty(`${base}.out`),
      err: orEmpty(`${base}.err`),
      status: status === '' ? 0 : Number(status),
    };
  });
}

/** What the program writes to standard error for these messages, as bytes. */
export function stderrOf(messages) {
  const lines = messages.map((m) =>
    Buffer.concat([Buffer.from('pn2tavix: '), Buffer.from(m.textBytes), Buffer.from('\n')]),
  );
  return Buffer.concat(lines);
}
