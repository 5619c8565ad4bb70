// Playback: the page's own player renders the music into an OfflineAudioContext, and what
// sounds is found again in the samples (onsets from the envelope, pitches from the square
// wave's zero crossings) and compared with what the tavix text says, read here on its own.
// Then real-time playback in the page: the cursor reaches the note sounding.
import assert from 'node:assert/strict';
import { readFile } from 'node:fs/promises';
import { join } from 'node:path';
import { test } from 'node:test';
import * as esbuild from 'esbuild';
import { repo } from '../golden.mjs';
import { usePage } from './support.mjs';

const { open } = usePage();

const RATE = 44100;

// The player's modules, bundled as the page bundles them, to be run in the page.
const bundle = esbuild
  .build({
    stdin: {
      contents: `export * from './playback/player.js'; export * from './playback/plan.js';`,
      resolveDir: join(repo, 'web'),
    },
    bundle: true,
    format: 'iife',
    globalName: 'playback',
    write: false,
  })
  .then((r) => r.outputFiles[0].text);

/**
 * The notes that the tavix text `text` sounds, from its own lines: per channel its tempo and
 * "$shorten", each "/L" line's length, and the note's name. [{voice, on, off, key}] in
 * seconds from the start, and `measures[n]`: {on, off}, from the earliest voice's start of
 * measure n to the latest's end.
 */
function readTavix(text) {
  const notes = [];
  const measures = [];
  let measureOn = 0;
  const SEMITONES = { c: 0, d: 2, e: 4, f: 5, g: 7, a: 9, b: 11 };
  let voice = 0;
  let tick = 0;
  let sec = 0;
  let perTick = 0;
  let shorten = 0;
  for (const line of text.split('\n')) {
    let m;
    if ((m = line.match(/^@channel (\d+)/))) {
      [voice, tick, sec, perTick, shorten] = [Number(m[1]), 0, 0, 60 / (67 * 96), 0];
      measureOn = 0;
    } else if ((m = line.match(/^# End measure (\d+)/))) {
      const span = (measures[Number(m[1])] ??= { on: Infinity, off: 0 });
      [span.on, span.off, measureOn] = [Math.min(span.on, measureOn), Math.max(span.off, sec), sec];
    } else if ((m = line.match(/^\$tempo (\d+)/)) && voice > 0) {
      perTick = 60 / (Number(m[1]) * 96);
    } else if ((m = line.match(/^\$shorten (\d+)/))) {
      shorten = Number(m[1]);
    } else if ((m = line.match(/^\/L(\d+):(\d+)\/(r|([a-g])([+-]?)(\d))/))) {
      const ticks = (Number(m[1]) * 384) / Number(m[2]);
      if (m[3] !== 'r') {
        const key = 12 * Number(m[6]) + SEMITONES[m[4]] + { '': 0, '+': 1, '-': -1 }[m[5]];
        notes.push({ voice, on: sec, off: sec + (ticks - shorten) * perTick, key });
      }
      tick += ticks;
      sec += ticks * perTick;
    }
  }
  notes.sort((a, b) => a.on - b.on);
  return Object.assign(notes, { measures });
}

/**
 * Renders `input` with the page's player into an OfflineAudioContext of `seconds`, with the
 * square wave, from the start or from measure `from` (its earliest voice), with the voices of `muted`
 * muted, those of `solo` alone, and a `loop` ({first, last}); with `edit` ({input, at}), the
 * text is changed to `input` at second `at`. Returns the samples, both channels added.
 */
async function render(page, input, seconds, setup = {}) {
  await page.evaluate(await bundle);
  const samples = await page.evaluate(
    async ({ input, seconds, rate, setup }) => {
      const { createConverter, TIMELINE_FIELDS } = await import('/pn2tavix.mjs');
      const { convert } = await createConverter();
      const { createPlayer, planFromTimeline } = window.playback;
      const planOf = (text) =>
        planFromTimeline(convert(text, { timeline: true }).timeline, TIMELINE_FIELDS);
      const plan = planOf(input);
      const context = new OfflineAudioContext(2, Math.ceil(seconds * rate), rate);
      const player = createPlayer({ context });
      player.load(plan);
      player.setSound('square');
      for (const voice of setup.muted ?? []) player.setMuted(voice, true);
      for (const voice of setup.solo ?? []) player.setMuted(voice, true, true);
      if (setup.loop) player.setLoop(setup.loop);
      player.play(setup.from ? window.playback.measureSpan(plan, setup.from).on : 0);
      if (setup.edit) {
        context.suspend(setup.edit.at).then(() => {
          player.load(planOf(setup.edit.input));
          context.resume();
        });
      }
      const buffer = await context.startRendering();
      const [left, right] = [buffer.getChannelData(0), buffer.getChannelData(1)];
      return Array.from(left, (x, i) => x + right[i]);
    },
    { input, seconds, rate: RATE, setup },
  );
  return Float32Array.from(samples);
}

/** The notes heard in `samples`: stretches of sound between silences, {on, off, key}. */
function hear(samples) {
  const WINDOW = 44; // 1 ms
  const loud = [];
  for (let w = 0; w * WINDOW < samples.length; w++) {
    let peak = 0;
    for (let i = w * WINDOW; i < Math.min(samples.length, (w + 1) * WINDOW); i++) {
      peak = Math.max(peak, Math.abs(samples[i]));
    }
    loud.push(peak > 0.02);
  }
  const heard = [];
  for (let w = 0; w < loud.length; w++) {
    if (!loud[w] || (w > 0 && loud[w - 1])) continue;
    let end = w;
    while (end < loud.length && loud[end]) end++;
    // The pitch: rising zero crossings, found to the sample, over the steady middle.
    const from = (w + 5) * WINDOW;
    const to = (end - 5) * WINDOW;
    const crossings = [];
    for (let i = from; i < to; i++) {
      if (samples[i - 1] < 0 && samples[i] >= 0) {
        crossings.push(i - 1 + samples[i - 1] / (samples[i - 1] - samples[i]));
      }
    }
    const period = (crossings.at(-1) - crossings[0]) / (crossings.length - 1) / RATE;
    heard.push({ on: (w * WINDOW) / RATE, off: (end * WINDOW) / RATE, frequency: 1 / period });
    w = end;
  }
  return heard;
}

// Each note expected is heard within 5 ms of its time, within half a semitone of its pitch.
function assertHeard(heard, expected) {
  assert.equal(heard.length, expected.length, JSON.stringify(heard));
  expected.forEach((note, n) => {
    const got = heard[n];
    assert.ok(Math.abs(got.on - note.on) <= 0.005, `note ${n}: onset ${got.on}, not ${note.on}`);
    const semitones = 12 * Math.log2(got.frequency / (440 * 2 ** ((note.key - 69) / 12)));
    assert.ok(Math.abs(semitones) < 0.5, `note ${n}: ${semitones} semitones off key ${note.key}`);
  });
}

const tavixOf = (page, input) =>
  page.evaluate(async (input) => {
    const { createConverter } = await import('/pn2tavix.mjs');
    return (await createConverter()).convert(input).output;
  }, input);

test('the Minuet sounds every note at its time and pitch', async () => {
  const { page, problems } = await open();
  const minuet = await readFile(join(repo, 'examples/minuet.pdp1'), 'utf8');
  const expected = readTavix(await tavixOf(page, minuet));
  assert.equal(expected.length, 7);
  const end = expected.at(-1).off + 0.5;
  assertHeard(hear(await render(page, minuet, end)), expected);
  assert.deepEqual(problems, []);
});

test('an edit while playing is heard from the next measure on', async () => {
  const { page, problems } = await open();
  const minuet = await readFile(join(repo, 'examples/minuet.pdp1'), 'utf8');
  const edited = minuet.replace(/^1 4q4 2\)4/m, '1 4q4 3)4').replace(/^2 .*$/m, '2 9q4 8q4 7q4/');
  assert.notEqual(edited, minuet);
  const before = readTavix(await tavixOf(page, minuet));
  const after = readTavix(await tavixOf(page, edited));
  const start = after.measures[2].on;
  assert.equal(start, before.measures[2].on);
  // Both measures changed while measure 1 plays, before its second note: measure 1 as it was,
  // measure 2 as it is now.
  const expected = [...before.filter((n) => n.on < start), ...after.filter((n) => n.on >= start)];
  const samples = await render(page, minuet, after.at(-1).off + 0.5, {
    edit: { input: edited, at: 0.5 },
  });
  assertHeard(hear(samples), expected);
  assert.deepEqual(problems, []);
});

test('a muted voice is silent, and a loop of one measure plays it twice', async () => {
  const { page, problems } = await open();
  // Two voices, each at a tempo of its own: the second changes tempo within the piece.
  const input =
    'Two/\nunits 16\n1 6q4 7q4/\n2 8q4 9q4/\nend\n' +
    'Second/\nunits 16\ntempo 100\n1 1q8 2q8 3q8 4q8/\ntempo 240\n2 1q4 2q4/\nend\n';
  const expected = readTavix(await tavixOf(page, input));
  const first = expected.filter((n) => n.voice === 1);
  const second = expected.filter((n) => n.voice === 2);
  assert.equal(second.length, 6);
  assert.notEqual(second[0].off - second[0].on, first[0].off - first[0].on);
  assertHeard(hear(await render(page, input, 6, { muted: [1] })), second);
  assertHeard(hear(await render(page, input, 6, { solo: [2] })), second);

  // Measure 2 looped, the first voice heard: its two notes, then the same again. A pass
  // lasts from the earliest voice's start of the measure to the latest voice's end.
  const { on, off } = expected.measures[2];
  const length = off - on;
  assert.ok(length > first[2].on - first[0].on);
  const measure = first.slice(2).map((n) => ({ ...n, on: n.on - on }));
  const twice = [...measure, ...measure.map((n) => ({ ...n, on: n.on + length }))];
  const looped = await render(page, input, 2 * length + 0.3, {
    muted: [2],
    loop: { first: 2, last: 2 },
    from: 2,
  });
  assertHeard(hear(looped), twice);
  assert.deepEqual(problems, []);
});

test('playing in real time, the cursor reaches the note sounding and marks its token; Alt+P pauses', async () => {
  const { page, problems } = await open();
  const minuet = await readFile(join(repo, 'examples/minuet.pdp1'), 'utf8');
  const notes = readTavix(await tavixOf(page, minuet));
  // The Minuet's note tokens, in the order of its notes: the rests and measure numbers left out.
  const tokens = minuet
    .split('\n')
    .slice(2, 4)
    .flatMap((line) => line.split(/\s+/).slice(1))
    .map((t) => t.replace(/\/$/, ''))
    .filter((t) => t && !t.startsWith('r'));
  assert.equal(tokens.length, notes.length);

  // Measure 2 clicked in the roll plays from there; two seconds on, all is read in one frame.
  await page.locator('.roll-plane .measure-number', { hasText: /^2$/ }).click();
  await page.waitForTimeout(2000);
  const seen = await page.evaluate(
    () =>
      new Promise((resolve) =>
        requestAnimationFrame(() => {
          const cursor = document.querySelector('.play-cursor');
          const lit = [...document.querySelectorAll('.play-lit path')].flatMap((p) => [
            ...p.getAttribute('d').matchAll(/M([\d.]+) [\d.]+h([\d.]+)/g),
          ]);
          const marked = document
            .querySelector('#editor')
            .shadowRoot.querySelectorAll('.m-playing');
          resolve({
            place: document.querySelector('#play-place').textContent,
            x: Number(cursor.getAttribute('x1')),
            lit: lit.map(([, x, width]) => [Number(x), Number(width)]),
            marked: [...marked].map((m) => m.textContent),
          });
        }),
      ),
  );
  const [, measure, sec] = seen.place.match(/^measure (\d+) · ([\d.]+) s$/).map(Number);
  assert.equal(measure, 2);
  assert.ok(sec > notes.measures[2].on + 1.5 && sec < notes.measures[2].on + 2.5, seen.place);
  const sounding = notes.findIndex((n) => n.on <= sec - 0.05 && sec + 0.05 < n.off);
  assert.ok(sounding >= 0, `a note sounds at ${sec} s`);
  assert.deepEqual(seen.marked, [tokens[sounding]]);
  assert.equal(seen.lit.length, 1);
  const [x, width] = seen.lit[0];
  assert.ok(seen.x >= x && seen.x <= x + width, JSON.stringify(seen));
  // The shortcut pauses, the editor having the focus.
  await page.click('#editor .cm-content');
  await page.keyboard.press('Alt+P');
  assert.equal(await page.textContent('#play'), 'Play');
  assert.deepEqual(problems, []);
});

test('Download MIDI saves the MIDI file that the module makes of the piece', async () => {
  const { page, problems } = await open('', { acceptDownloads: true });
  const [file] = await Promise.all([page.waitForEvent('download'), page.click('#download-midi')]);
  assert.match(file.suggestedFilename(), /\.mid$/);
  const expected = await page.evaluate(async () => {
    const { createConverter } = await import('/pn2tavix.mjs');
    const text = await (await fetch('/examples.json')).json();
    return Array.from((await createConverter()).convert(text[0].text, { midi: true }).midi);
  });
  assert.deepEqual([...(await readFile(await file.path()))], expected);
  assert.ok(expected.length > 0);
  assert.deepEqual(problems, []);
});
