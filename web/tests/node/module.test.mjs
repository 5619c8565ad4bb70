// The ES module in Node 20, as another tool would use it: every golden case gives the
// program's own stdout, stderr and status, byte for byte; the extras that the page draws on
// (places, hints, the checker's warnings, notes) come through as the library gives them; and
// the package that npm packs runs the example of docs/web.md.
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { mkdtempSync, readdirSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { test } from 'node:test';
import { pathToFileURL } from 'node:url';
import { dist, goldenCases, repo, stderrOf } from '../golden.mjs';

const { createConverter, NOTE_FIELDS } = await import(pathToFileURL(join(dist, 'pn2tavix.mjs')));
const converter = await createConverter();

test('golden cases', async (t) => {
  const cases = goldenCases();
  assert.ok(cases.length > 0, 'no golden case found');
  for (const c of cases) {
    await t.test(c.name, () => {
      const result = converter.convert(c.input);
      assert.ok(result.output instanceof Uint8Array);
      assert.deepEqual(Buffer.from(result.output), c.out, 'stdout');
      assert.deepEqual(stderrOf(result.messages), c.err, 'stderr');
      assert.equal(result.status, c.status, 'status');
    });
  }
});

test('no memory for the text midway is the program\'s "Out of memory", and the next piece converts', async (t) => {
  // A copy of the whole voice makes a text many times its input, which outgrows its first array
  // while the core is converting; here that array cannot grow past 100 kB. Node's room comes
  // from Buffer.allocUnsafeSlow(), a browser's from new Uint8Array(): each fails in turn.
  const grows = new TextEncoder().encode('Grows/ units 8 1 6q4/ copy 1 4999 end\n');
  const minuet = new Uint8Array(readFileSync(join(repo, 'examples/minuet.pdp1')));
  const tooLarge = (size) => {
    if (typeof size === 'number' && size > 100_000) {
      throw new RangeError('Array buffer allocation failed');
    }
  };
  const ways = {
    "Node's Buffer": () => {
      const plain = Buffer.allocUnsafeSlow;
      Buffer.allocUnsafeSlow = (size) => (tooLarge(size), plain(size));
      return () => (Buffer.allocUnsafeSlow = plain);
    },
    "a browser's Uint8Array": () => {
      const plain = { Buffer: globalThis.Buffer, Uint8Array: globalThis.Uint8Array };
      globalThis.Buffer = undefined;
      globalThis.Uint8Array = new Proxy(plain.Uint8Array, {
        construct(target, args) {
          tooLarge(args[0]);
          return Reflect.construct(target, args);
        },
      });
      return () => Object.assign(globalThis, plain);
    },
  };
  for (const [way, failLarge] of Object.entries(ways)) {
    await t.test(way, async () => {
      const restore = failLarge();
      let result;
      try {
        result = converter.convert(grows);
      } finally {
        restore();
      }
      assert.equal(result.status, 1);
      assert.deepEqual(
        result.messages.map((m) => m.text),
        ['Out of memory'],
      );
      // A fresh core takes over once it is made; until then each conversion says the same.
      let again = converter.convert(minuet);
      for (let waited = 0; again.status !== 0 && waited < 10_000; waited += 20) {
        assert.deepEqual(
          again.messages.map((m) => m.text),
          ['Out of memory'],
        );
        await new Promise((resolve) => setTimeout(resolve, 20));
        again = converter.convert(minuet);
      }
      assert.equal(again.status, 0);
      assert.deepEqual(
        Buffer.from(again.output),
        readFileSync(join(repo, 'tests/data/minuet.tavix')),
      );
    });
  }
});

test('what the room for the text held before never reaches the caller', () => {
  // In Node the room comes unzeroed: here as though it held another buffer's bytes. This
  // case's text fills more than half its room, so the caller gets a view of the room itself.
  const at = join(repo, 'tests/golden/07_limits_and_errors/04_measure_text_5007_chars');
  const plain = Buffer.allocUnsafeSlow;
  Buffer.allocUnsafeSlow = (size) => plain(size).fill(0xee);
  let result;
  try {
    result = converter.convert(new Uint8Array(readFileSync(`${at}.in`)));
  } finally {
    Buffer.allocUnsafeSlow = plain;
  }
  assert.deepEqual(Buffer.from(result.output), readFileSync(`${at}.out`));
  const { buffer, byteOffset, length } = result.output;
  assert.ok(byteOffset + length < buffer.byteLength, 'a view of a larger room');
  assert.ok(new Uint8Array(buffer, byteOffset + length).every((b) => b === 0));
});

test('a string in gives a string out', () => {
  const minuet = readFileSync(join(repo, 'examples/minuet.pdp1'), 'utf8');
  const result = converter.convert(minuet);
  assert.equal(result.output, readFileSync(join(repo, 'tests/data/minuet.tavix'), 'utf8'));
  assert.deepEqual(result.messages, []);
  assert.equal(result.status, 0);
});

test('messages carry their places and hints', () => {
  const cases = [
    {
      // A measure too long: the place is its bar line; the hints say by how much, after which
      // note it was full, and where the measure began.
      input: 'Short/\nunits 8\n1 6:4 7:4/\n2 6:4/\nend\n',
      message: {
        severity: 'error',
        text: 'found 96 192th notes of music, expected 48 in measure 1, voice 1',
        line: 3,
        column: 10,
        offset: 24,
        length: 1,
        voice: 1,
        measure: 1,
        status: 1,
        printed: true,
        hints: [
          {
            text: 'measure 1 is long by a quarter (48 192nds)',
            line: null,
            column: null,
            offset: null,
            length: 0,
          },
          {
            text: 'measure 1 is full after this note: is a bar line missing after it?',
            line: 3,
            column: 3,
            offset: 17,
            length: 3,
          },
          { text: 'measure 1 began here', line: 3, column: 1, offset: 15, length: 1 },
        ],
      },
    },
    {
      // A character of two bytes before the token: columns count bytes.
      input: 'Café/ units 8 1 ,4/\nend\n',
      message: {
        severity: 'error',
        text: 'You cannot specify a duration with the , in measure 1',
        line: 1,
        column: 18,
        offset: 17,
        length: 2,
        voice: 1,
        measure: 1,
        status: 1,
        printed: true,
        hints: [],
      },
    },
  ];
  for (const c of cases) {
    const { messages } = converter.convert(c.input);
    assert.deepEqual(messages.at(-1), c.message, c.input);
  }
});

test("the checker's warnings come only when asked for", () => {
  const input = 'Tail/\nunits 8\n1 6:4/\n6:4\nend\n';
  assert.deepEqual(converter.convert(input).messages, []);
  const [warning] = converter.convert(input, { check: true }).messages;
  assert.equal(warning.printed, false);
  assert.equal(warning.severity, 'warning');
  assert.equal(
    warning.text,
    'measure 2 of voice 1 is never checked: "end" comes before its bar line',
  );
});

test('notes are packed as NOTE_FIELDS says', () => {
  const minuet = readFileSync(join(repo, 'examples/minuet.pdp1'));
  const { notes } = converter.convert(new Uint8Array(minuet), { notes: true });
  const F = NOTE_FIELDS;
  const note = (i) =>
    Object.fromEntries(
      Object.entries(F)
        .filter(([k]) => k !== 'count')
        .map(([k, f]) => [k, notes[i * F.count + f]]),
    );
  assert.equal(notes.length / F.count, 7); // the Minuet's seven notes; its rest is left out
  // 4q4, the first note: a5, a quarter, at line 3, column 3.
  assert.deepEqual(note(0), {
    voice: 1,
    measure: 1,
    start: 0,
    length: 48,
    measureLength: 144,
    semitone: 45,
    letter: 'a'.charCodeAt(0),
    accidental: 0,
    octave: 5,
    line: 3,
    column: 3,
    tokenLength: 3,
  });
  // ',' in measure 2 repeats f+5: the sharp comes from the key.
  assert.deepEqual(note(6), {
    voice: 1,
    measure: 2,
    start: 96,
    length: 48,
    measureLength: 144,
    semitone: 42,
    letter: 'f'.charCodeAt(0),
    accidental: '+'.charCodeAt(0),
    octave: 5,
    line: 4,
    column: 19,
    tokenLength: 1,
  });
});

test('the package that npm packs runs the documented example', () => {
  const work = mkdtempSync(join(tmpdir(), 'pn2tavix-pack-'));
  try {
    const pack = spawnSync('npm', ['pack', '--silent', '--pack-destination', work, dist], {
      encoding: 'utf8',
    });
    assert.equal(pack.status, 0, pack.stderr);
    const tar = spawnSync('tar', ['-xzf', join(work, pack.stdout.trim()), '-C', work]);
    assert.equal(tar.status, 0);
    // Only the module: the page is not in the package.
    assert.deepEqual(readdirSync(join(work, 'package')).sort(), [
      'README.md',
      'package.json',
      'pn2tavix-core.mjs',
      'pn2tavix-core.wasm',
      'pn2tavix.mjs',
    ]);
    const doc = readFileSync(join(repo, 'docs/web.md'), 'utf8');
    const example = /^```js\n([\s\S]*?)^```$/m.exec(doc)[1];
    writeFileSync(join(work, 'package', 'example.mjs'), example);
    const run = spawnSync(process.execPath, [join(work, 'package', 'example.mjs')], { cwd: repo });
    assert.equal(run.stderr.toString(), '');
    assert.deepEqual(run.stdout, readFileSync(join(repo, 'tests/data/minuet.tavix')));
    assert.equal(run.status, 0);
  } finally {
    rmSync(work, { recursive: true, force: true });
  }
});
