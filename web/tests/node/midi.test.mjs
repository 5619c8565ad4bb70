// The module's MIDI file and timeline in Node: on every golden case, `midi` holds the very bytes
// that pn2tavix-midi writes for the same input (nothing for a piece that does not convert), and
// the timeline of the Minuet comes through as docs/web.md describes it. The program is the
// release build's, or the one PN2TAVIX_MIDI names.
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { existsSync, readFileSync } from 'node:fs';
import { join } from 'node:path';
import { test } from 'node:test';
import { pathToFileURL } from 'node:url';
import { dist, goldenCases, repo } from '../golden.mjs';

const { createConverter, TIMELINE_FIELDS, CHANGE_KINDS } = await import(
  pathToFileURL(join(dist, 'pn2tavix.mjs'))
);
const converter = await createConverter();
const program = process.env.PN2TAVIX_MIDI ?? join(repo, 'build/release/pn2tavix-midi');

test('midi holds the bytes of pn2tavix-midi', async (t) => {
  assert.ok(existsSync(program), `${program} is not built: build the release preset first`);
  for (const c of goldenCases()) {
    await t.test(c.name, () => {
      const { status, midi } = converter.convert(c.input, { midi: true });
      assert.ok(midi instanceof Uint8Array);
      const run = spawnSync(program, ['-o', '-'], { input: c.input, maxBuffer: 1 << 30 });
      assert.equal(run.status, status === 0 ? 0 : 1, run.stderr.toString());
      assert.deepEqual(Buffer.from(midi), run.stdout);
    });
  }
});

test('the timeline of the Minuet', () => {
  const minuet = readFileSync(join(repo, 'examples/minuet.pdp1'));
  const { timeline } = converter.convert(new Uint8Array(minuet), { timeline: true });
  assert.deepEqual(timeline.voices, [
    {
      voice: 1,
      title: 'Minuet',
      patch: 'flute',
      program: 73,
      pan: 127,
      reverb: 0,
      chorus: 0,
      end: 576, // two measures of three quarters
      tempos: [],
    },
  ]);
  const N = TIMELINE_FIELDS.notes;
  const notes = timeline.notes;
  assert.equal(notes.length, 7 * N.count);
  const note = (i, f) => notes[i * N.count + N[f]];
  // 4q4: a5, a quarter, its last quarter silent; the ',' that ends the piece repeats f+5.
  assert.deepEqual(
    ['start', 'length', 'sounding', 'key', 'measure'].map((f) => note(0, f)),
    [0, 96, 72, 69, 1],
  );
  assert.deepEqual(
    ['start', 'length', 'sounding', 'key', 'measure'].map((f) => note(6, f)),
    [480, 96, 84, 66, 2],
  );
  const R = TIMELINE_FIELDS.rests;
  assert.deepEqual([...timeline.rests.subarray(0, R.count)].slice(0, 4), [1, 1, 192, 96]);
  // "units 24", the first change of the piece: measures of 48 64ths from tick 0.
  const C = TIMELINE_FIELDS.changes;
  const change = (f) => timeline.changes[C[f]];
  assert.deepEqual(['tick', 'kind', 'value'].map(change), [0, CHANGE_KINDS.measureLength, 48]);
  assert.equal(timeline.measures.length, 2 * TIMELINE_FIELDS.measures.count);
});
