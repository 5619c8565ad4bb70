// The web build's speed, beside the native program's on the same inputs, and the size of what
// the page downloads. Measures; asserts nothing.
//
//   node web/bench/bench.mjs [--native PROGRAM] [--gen GEN_MUSIC] [--dist DIR] [--compare DIR]
//                            [--runs N] [--keys N] [--side-by-side N] [--only SECTION,...]
//
// The inputs come from the project's generator (bench/gen_music, built by the release preset):
// typical pieces of 5 and 30 KB and a large one of 5 MB. Figures:
// - native: the program on each file, output to /dev/null (median of the runs);
// - node: the module's convert() on the same bytes, with and without the notes for the roll;
// - side by side: the module and the program on the 5 MB file, taking turns run by run (N
//   runs each, 15 by default), and the ratio of their medians; the program both with its output
//   to /dev/null and read through a pipe into this process, as the module's output is whole
//   bytes the caller holds; with --side-by-side alone, nothing else is measured;
// - page, typing: in headless Chromium, a key typed into the typical piece, from the change to
//   the frame that shows its result (the page's "pn2tavix:shown" measure), and the worker's own
//   conversion time;
// - page, 5 MB: the file opened, from the change to the frame that shows it, and from choosing
//   the file to that frame as seen from outside;
// - page, long tasks: the longest task on the page's own thread (the browser's 'longtask'
//   timing) while a 5 MB piece is pasted, and while one is opened, until it is converted, shown
//   and drawn;
// - the files of the page, plain and gzipped.
// --compare DIR times another build's module beside DIST's in Node (e.g. one without SIMD).
// --only runs some of the sections: native, node, page, long, size.
import { fork, spawnSync } from 'node:child_process';
import { mkdtempSync, readdirSync, readFileSync, rmSync, statSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';
import { gzipSync } from 'node:zlib';
import { launchChromium, serve } from '../tests/browser/chromium.mjs';

const repo = new URL('../../', import.meta.url).pathname;
const args = Object.fromEntries(
  process.argv
    .slice(2)
    .reduce(
      (pairs, a, i, all) => (a.startsWith('--') ? [...pairs, [a.slice(2), all[i + 1]]] : pairs),
      [],
    ),
);
const native = args.native ?? join(repo, 'build/release/pn2tavix');
const gen = args.gen ?? join(repo, 'build/release/bench/gen_music');
const dist = args.dist ?? join(repo, 'build/web/dist');
const runs = Number(args.runs ?? 9);
const keys = Number(args.keys ?? 40);
const only = new Set((args.only ?? 'native,node,page,long,size').split(','));

const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];
const p90 = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length * 0.9)];
const ms = (x) => `${x.toFixed(1)} ms`;

const work = mkdtempSync(join(tmpdir(), 'pn2tavix-bench-'));
function generate(size) {
  const path = join(work, `${size}.pdp1`);
  const made = spawnSync(gen, [String(size), '1'], { maxBuffer: 1 << 30 });
  if (made.status !== 0) throw new Error(`${gen} failed: is the release preset built?`);
  writeFileSync(path, made.stdout);
  return path;
}
const typicals = [generate(5_000), generate(30_000)];
const large = generate(5_000_000);
const inputs = [...typicals, large];
const size = (file) => `${Math.round(statSync(file).size / 1000)} KB`;

// --- The module beside the program, taking turns on the 5 MB file ---
// The module converts bytes already in memory; the program's time includes starting it and
// reading the file, as a user running it would see. Processor time (user and system) is given
// beside the wall time: on a busy machine it leaves out the waits for the processor. The
// program runs twice a turn: with its output to /dev/null, and with its output read through a
// pipe into this process, where it ends as bytes in memory as the module's does. The module
// runs in a process of its own (module-turns.mjs), which nothing forks.
{
  const turner = fork(new URL('module-turns.mjs', import.meta.url).pathname, [dist, large]);
  const reply = () => new Promise((resolve) => turner.once('message', resolve));
  await reply();
  const turns = Number(args['side-by-side'] ?? 15);
  const program = { wall: [], cpu: [] };
  const piped = { wall: [], cpu: [] };
  const module = { wall: [], cpu: [] };
  const expected = statSync(large).size;
  function runProgram(times, output) {
    const started = process.hrtime.bigint();
    const run = spawnSync('/usr/bin/time', ['-f', '%U %S', native, large], {
      stdio: ['ignore', output, 'pipe'],
      maxBuffer: 1 << 30,
    });
    times.wall.push(Number(process.hrtime.bigint() - started) / 1e6);
    if (run.status !== 0) throw new Error(`${native}: status ${run.status}`);
    if (output === 'pipe' && run.stdout.length < expected) throw new Error('program: output cut');
    const [user, system] = run.stderr.toString().trim().split('\n').at(-1).split(' ');
    times.cpu.push((Number(user) + Number(system)) * 1000);
  }
  for (let i = 0; i < turns; i++) {
    runProgram(program, 'ignore');
    turner.send('convert');
    const converted = await reply();
    if (converted.status !== 0) throw new Error('module: the 5 MB file did not convert');
    module.wall.push(converted.wall);
    module.cpu.push(converted.cpu);
    runProgram(piped, 'pipe');
  }
  const ratio = (key, to) => (median(module[key]) / median(to[key])).toFixed(2);
  console.log(
    `side by side, ${size(large)}, ${turns} turns: program ${ms(median(program.wall))}, ` +
      `module ${ms(median(module.wall))}, module/program ${ratio('wall', program)}; processor time: ` +
      `program ${ms(median(program.cpu))}, module ${ms(median(module.cpu))}, ` +
      `module/program ${ratio('cpu', program)}`,
  );
  console.log(
    `  the program's output read through a pipe: ${ms(median(piped.wall))}, ` +
      `module/program ${ratio('wall', piped)}; processor time (the program's own) ` +
      `${ms(median(piped.cpu))}`,
  );
  const list = (xs) => xs.map((t) => t.toFixed(1)).join(' ');
  console.log(`  program runs: ${list(program.wall)}; processor ${list(program.cpu)}`);
  console.log(`  piped runs:   ${list(piped.wall)}; processor ${list(piped.cpu)}`);
  console.log(`  module runs:  ${list(module.wall)}; processor ${list(module.cpu)}`);
  turner.disconnect();
}
if (process.argv.includes('--side-by-side') && process.argv.length <= 4) {
  rmSync(work, { recursive: true, force: true });
  process.exit(0);
}

// --- The native program ---
function timeNative(file) {
  const times = [];
  for (let i = 0; i < runs; i++) {
    const started = process.hrtime.bigint();
    const run = spawnSync('/bin/sh', ['-c', `"$0" "$1" >/dev/null`, native, file]);
    times.push(Number(process.hrtime.bigint() - started) / 1e6);
    if (run.status !== 0) throw new Error(`${native} ${file}: status ${run.status}`);
  }
  return median(times);
}
if (only.has('native')) {
  for (const file of inputs) console.log(`native, ${size(file)}: ${ms(timeNative(file))}`);
}

// --- The module in Node ---
async function timeModule(dir, file, notes) {
  const { createConverter } = await import(pathToFileURL(join(dir, 'pn2tavix.mjs')));
  const { convert } = await createConverter();
  const input = new Uint8Array(readFileSync(file));
  const times = [];
  for (let i = 0; i < runs; i++) {
    const started = performance.now();
    const { status } = convert(input, { notes });
    times.push(performance.now() - started);
    if (status !== 0) throw new Error(`module: status ${status}`);
  }
  return median(times);
}
for (const dir of only.has('node') ? [dist, args.compare].filter(Boolean) : []) {
  const label = dir === dist ? 'node' : `node (${dir})`;
  for (const file of inputs) {
    const plain = await timeModule(dir, file, false);
    console.log(
      `${label}, ${size(file)}: ${ms(plain)}, with notes ${ms(await timeModule(dir, file, true))}`,
    );
  }
}

// --- The page in headless Chromium ---
const server = await serve(dist);
const browser = await launchChromium();
const context = await browser.newContext({
  viewport: { width: 1400, height: 1000 },
  permissions: ['clipboard-read', 'clipboard-write'],
});
const page = await context.newPage();
// Every long task of the page's own thread is kept from the start, for the 'long' section.
await page.addInitScript(() => {
  window.longTasks = [];
  new PerformanceObserver((list) => {
    for (const e of list.getEntries()) window.longTasks.push(e.duration);
  }).observe({ type: 'longtask', buffered: true });
});
await page.goto(`http://127.0.0.1:${server.address().port}/`);

const shownId = () => page.evaluate(() => Number(document.body.dataset.shown ?? 0));
async function waitShown(since) {
  await page.waitForFunction(
    (n) =>
      Number(document.body.dataset.shown ?? 0) > n &&
      document.querySelector('#output-pane').getAttribute('aria-busy') === 'false',
    since,
    { timeout: 120_000 },
  );
  return page.evaluate(() => {
    const [m] = performance.getEntriesByName('pn2tavix:shown');
    return { shown: m.duration, convert: m.detail.convertMs, redraw: m.detail.redrawMs };
  });
}
async function open(file) {
  const since = await shownId();
  const started = performance.now();
  await page.setInputFiles('#file', file);
  const result = await waitShown(since);
  return { ...result, outside: performance.now() - started };
}

await waitShown(0);
for (const typical of only.has('page') ? typicals : []) {
  await open(typical);
  await page.click('#editor .cm-content');
  await page.keyboard.press('Control+End');
  const times = [];
  for (let i = 0; i < keys; i++) {
    const since = await shownId();
    // A blank typed and taken back: the piece stays the same size, and converts.
    await page.keyboard.press(i % 2 === 0 ? 'Space' : 'Backspace');
    times.push(await waitShown(since));
  }
  const of = (key) => times.map((t) => t[key]);
  console.log(
    `page, a key in ${size(typical)}: worker's conversion ${ms(median(of('convert')))}, ` +
      `redraw ${ms(median(of('redraw')))}, change to the frame that shows it ` +
      `${ms(median(of('shown')))} (90% within ${ms(p90(of('shown')))})`,
  );
  // A '.' typed and taken back early in the piece: the notes after it change or go, and the
  // roll draws again.
  await page.keyboard.press('Control+Home');
  for (let i = 0; i < 4; i++) await page.keyboard.press('ArrowDown');
  await page.keyboard.press('End');
  const moved = [];
  for (let i = 0; i < keys; i++) {
    const since = await shownId();
    await page.keyboard.press(i % 2 === 0 ? '.' : 'Backspace');
    moved.push(await waitShown(since));
  }
  const by = (key) => ms(median(moved.map((t) => t[key])));
  console.log(
    `  a key that changes the notes: redraw ${by('redraw')}, change to frame ${by('shown')}`,
  );
}

if (only.has('page')) {
  const bigRuns = [];
  for (let i = 0; i < 3; i++) {
    await open(typicals[0]);
    bigRuns.push(await open(large));
  }
  const big = (key) => ms(median(bigRuns.map((r) => r[key])));
  console.log(
    `page, 5 MB opened: worker's conversion ${big('convert')}, redraw ${big('redraw')}, ` +
      `change to frame ${big('shown')}, file chosen to frame ${big('outside')}`,
  );
}

// The longest task on the page's thread from `action` until the result is shown and the page
// has been quiet (no long task) for a second: the output view fills in parts after it is shown.
async function longestTask(action) {
  await open(typicals[0]);
  await page.waitForTimeout(1000);
  await page.evaluate(() => {
    window.longTasks = [];
  });
  const since = await shownId();
  await action();
  await waitShown(since);
  let count = -1;
  for (;;) {
    await page.waitForTimeout(1000);
    const now = await page.evaluate(() => window.longTasks.length);
    if (now === count) break;
    count = now;
  }
  return page.evaluate(() => Math.max(0, ...window.longTasks));
}
if (only.has('long')) {
  const text = readFileSync(large, 'latin1');
  const pasted = [];
  const opened = [];
  for (let i = 0; i < 3; i++) {
    pasted.push(
      await longestTask(async () => {
        await page.evaluate((t) => navigator.clipboard.writeText(t), text);
        await page.click('#editor .cm-content');
        await page.keyboard.press('Control+A');
        await page.keyboard.press('Control+V');
      }),
    );
    opened.push(await longestTask(() => page.setInputFiles('#file', large)));
  }
  console.log(
    `page, longest task on its own thread: 5 MB pasted ${ms(median(pasted))} ` +
      `(at most ${ms(Math.max(...pasted))}), 5 MB opened ${ms(median(opened))} ` +
      `(at most ${ms(Math.max(...opened))}); medians of 3`,
  );
}
await browser.close();
server.close();

// --- What the page downloads ---
if (!only.has('size')) {
  rmSync(work, { recursive: true, force: true });
  process.exit(0);
}
const served = [
  'index.html',
  'style.css',
  'app.js',
  'worker.js',
  'pn2tavix.mjs',
  'pn2tavix-core.mjs',
  'pn2tavix-core.wasm',
  'examples.json',
];
let plain = 0;
let zipped = 0;
console.log('download:');
for (const file of served) {
  const bytes = readFileSync(join(dist, file));
  const gz = gzipSync(bytes, { level: 9 }).length;
  plain += bytes.length;
  zipped += gz;
  console.log(
    `  ${file.padEnd(20)} ${String(bytes.length).padStart(8)} B  gzip ${String(gz).padStart(7)} B`,
  );
}
console.log(
  `  ${'total'.padEnd(20)} ${String(plain).padStart(8)} B  gzip ${String(zipped).padStart(7)} B`,
);
const unlisted = readdirSync(dist).filter(
  (f) => !served.includes(f) && !['package.json', 'README.md'].includes(f),
);
if (unlisted.length > 0) console.log(`  (not counted: ${unlisted.join(', ')})`);
rmSync(work, { recursive: true, force: true });
