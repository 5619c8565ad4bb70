// The module's side of bench.mjs's side-by-side runs: converts one file once per message, in a
// process of its own. Starting the program forks the process that starts it, and after a fork
// each page that process writes to faults once more (copy on write): the module's 25 MB output
// then took twice as long to copy out. A page never forks, so the module is timed where
// nothing does.
import { readFileSync } from 'node:fs';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';

const [dist, file] = process.argv.slice(2);
const { createConverter } = await import(pathToFileURL(join(dist, 'pn2tavix.mjs')));
const { convert } = await createConverter();
const input = new Uint8Array(readFileSync(file));
process.on('message', () => {
  const cpuBefore = process.cpuUsage();
  const before = performance.now();
  const { status } = convert(input);
  const wall = performance.now() - before;
  const cpu = process.cpuUsage(cpuBefore);
  process.send({ status, wall, cpu: (cpu.user + cpu.system) / 1000 });
});
process.send({ ready: true });
