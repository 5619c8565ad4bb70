// What the player plays: the converter's timeline turned into seconds. Each voice keeps its own
// tempo map, so a tick becomes seconds through the tempos of its own voice; "piece seconds"
// count from the start of the piece at 100 %, the same for every voice. The plan is plain
// numbers in typed arrays, made in the worker and handed to the page without a copy.
//
// The timeline's shape is read here and nowhere else.

export const TICKS_PER_QUARTER = 96;
export const HEAD_TEMPO = 67; // quarter notes a minute until a voice's first "$tempo"

/**
 * A voice's tempo map: segments {tick, sec, perTick} from tick 0, one for each change of
 * tempo. A tempo of 0 or below sounds nothing sensible: the voice keeps the tempo it had.
 */
export function tempoMap(tempos = []) {
  const map = [{ tick: 0, sec: 0, perTick: 60 / (HEAD_TEMPO * TICKS_PER_QUARTER) }];
  for (const { tick, tempo } of tempos) {
    if (!(tempo > 0)) continue;
    const last = map[map.length - 1];
    const perTick = 60 / (tempo * TICKS_PER_QUARTER);
    if (tick <= last.tick) last.perTick = perTick;
    else map.push({ tick, sec: last.sec + (tick - last.tick) * last.perTick, perTick });
  }
  return map;
}

function segmentOf(map, key, value) {
  let lo = 0;
  let hi = map.length - 1;
  while (lo < hi) {
    const mid = (lo + hi + 1) >> 1;
    if (map[mid][key] <= value) lo = mid;
    else hi = mid - 1;
  }
  return map[lo];
}

/** Piece seconds of `tick` in a voice with tempo map `map`. */
export function secondsAt(map, tick) {
  if (map.length === 1) return tick * map[0].perTick;
  const s = segmentOf(map, 'tick', tick);
  return s.sec + (tick - s.tick) * s.perTick;
}

/** The tick (fractional) sounding at piece second `sec` in a voice with tempo map `map`. */
export function tickAt(map, sec) {
  const s = segmentOf(map, 'sec', sec);
  return s.tick + (sec - s.sec) / s.perTick;
}

// Indices 0..n-1 sorted by `keys` (seconds), ties in index order. The index rides in the low
// bits of a number sorted natively (keys to a tenth of a millisecond, which only orders
// notes, never times them): a million notes take a few dozen milliseconds where a compare
// function takes a second.
const INDEX_BITS = 2 ** 21;
function sortedBy(keys) {
  const n = keys.length;
  const order = new Uint32Array(n);
  let most = 0;
  for (let i = 0; i < n; i++) most = Math.max(most, keys[i]);
  if (n < INDEX_BITS && most * 1e4 < 2 ** 31) {
    const packed = new Float64Array(n);
    for (let i = 0; i < n; i++) packed[i] = Math.round(keys[i] * 1e4) * INDEX_BITS + i;
    packed.sort();
    for (let k = 0; k < n; k++) order[k] = packed[k] % INDEX_BITS;
    return order;
  }
  for (let i = 0; i < n; i++) order[i] = i;
  return order.sort((a, b) => keys[a] - keys[b] || a - b);
}

/**
 * The plan of `timeline`, as the module's convert() gives it, whose packed lists `fields`
 * (the module's TIMELINE_FIELDS) describes:
 * - `voices`: by voice number, {voice, pan, program, map} (map: the voice's tempo map);
 * - the notes, index for index as the timeline lists them, in typed arrays: `voice`,
 *   `measure`, `key` (MIDI), `on` and `off` (piece seconds of the start and of the end of its
 *   sounding part), `line`, `column` and `tokenLength` of its token; `order`: the indices by
 *   `on`;
 * - the measures, voice by voice in time order: `bars` {voice, number, tick, ticks, on, off};
 * - `end`: piece seconds when the last voice ends.
 */
export function planFromTimeline(timeline, fields) {
  const voices = [];
  for (const v of timeline.voices) {
    voices[v.voice] = { voice: v.voice, pan: v.pan, program: v.program, map: tempoMap(v.tempos) };
  }
  const mapOf = (voice) => (voices[voice] ??= { voice, pan: 64, map: tempoMap() }).map;

  const N = fields.notes;
  const notes = timeline.notes;
  const count = notes.length / N.count;
  const plan = {
    count,
    voices,
    voice: new Int32Array(count),
    measure: new Int32Array(count),
    key: new Int32Array(count),
    on: new Float64Array(count),
    off: new Float64Array(count),
    line: new Float64Array(count),
    column: new Float64Array(count),
    tokenLength: new Float64Array(count),
    order: null,
    bars: null,
    end: 0,
  };
  for (let i = 0, base = 0; i < count; i++, base += N.count) {
    const voice = notes[base + N.voice];
    const map = mapOf(voice);
    const start = notes[base + N.start];
    plan.voice[i] = voice;
    plan.measure[i] = notes[base + N.measure];
    plan.key[i] = notes[base + N.key];
    plan.on[i] = secondsAt(map, start);
    plan.off[i] = secondsAt(map, start + notes[base + N.sounding]);
    plan.line[i] = notes[base + N.line];
    plan.column[i] = notes[base + N.column];
    plan.tokenLength[i] = notes[base + N.tokenLength];
    plan.end = Math.max(plan.end, plan.off[i]);
  }
  plan.order = sortedBy(plan.on);

  // The measures as they come are in the order of the text: each voice's in time order.
  const M = fields.measures;
  const measures = timeline.measures;
  const bars = measures.length / M.count;
  const at = (b, f) => measures[b * M.count + f];
  const order = sortedBy(Float64Array.from({ length: bars }, (_, b) => at(b, M.voice)));
  plan.bars = {
    voice: new Int32Array(bars),
    number: new Int32Array(bars),
    tick: new Float64Array(bars),
    ticks: new Float64Array(bars),
    on: new Float64Array(bars),
    off: new Float64Array(bars),
  };
  for (let k = 0; k < bars; k++) {
    const b = order[k];
    const voice = at(b, M.voice);
    const map = mapOf(voice);
    plan.bars.voice[k] = voice;
    plan.bars.number[k] = at(b, M.number);
    plan.bars.tick[k] = at(b, M.start);
    plan.bars.ticks[k] = at(b, M.length);
    plan.bars.on[k] = secondsAt(map, at(b, M.start));
    plan.bars.off[k] = secondsAt(map, at(b, M.start) + at(b, M.length));
  }
  for (const off of plan.bars.off) plan.end = Math.max(plan.end, off);
  return plan;
}

/** The typed arrays of `plan`, to hand to postMessage without a copy. */
export function transferables(plan) {
  const arrays = [plan.voice, plan.measure, plan.key, plan.on, plan.off, plan.line];
  arrays.push(plan.column, plan.tokenLength, plan.order, ...Object.values(plan.bars));
  return arrays.map((a) => a.buffer);
}

/**
 * Piece seconds where measure `number` begins (its earliest voice, or voice `voice` alone)
 * and where it ends (its latest voice); null where no voice has it.
 */
export function measureSpan(plan, number, voice = 0) {
  const { bars } = plan;
  let on = Infinity;
  let off = -Infinity;
  for (let b = 0; b < bars.number.length; b++) {
    if (bars.number[b] !== number || (voice && bars.voice[b] !== voice)) continue;
    on = Math.min(on, bars.on[b]);
    off = Math.max(off, bars.off[b]);
  }
  return on === Infinity ? null : { on, off };
}

/** The first index of `order` whose note starts at or after piece second `sec`. */
export function firstFrom(plan, sec) {
  let lo = 0;
  let hi = plan.count;
  while (lo < hi) {
    const mid = (lo + hi) >> 1;
    if (plan.on[plan.order[mid]] < sec) lo = mid + 1;
    else hi = mid;
  }
  return lo;
}

/**
 * Where voice `voice` is at piece second `sec`: {number, share} of the measure sounding (share
 * from 0 to 1, in ticks, as the roll places notes), or null outside its measures.
 */
export function placeAt(plan, voice, sec) {
  const { bars } = plan;
  // The voice's bars are consecutive and in time order.
  let lo = 0;
  let hi = bars.voice.length;
  while (lo < hi) {
    const mid = (lo + hi) >> 1;
    if (bars.voice[mid] < voice || (bars.voice[mid] === voice && bars.on[mid] <= sec)) lo = mid + 1;
    else hi = mid;
  }
  const b = lo - 1;
  if (b < 0 || bars.voice[b] !== voice || sec >= bars.off[b]) return null;
  const tick = tickAt(plan.voices[voice].map, sec);
  return {
    number: bars.number[b],
    share: bars.ticks[b] ? (tick - bars.tick[b]) / bars.ticks[b] : 0,
  };
}

/**
 * The measure that comes after piece second `sec`: the number of the first measure of any
 * voice that begins later, or null.
 */
export function nextMeasure(plan, sec) {
  const { bars } = plan;
  let best = null;
  let at = Infinity;
  for (let b = 0; b < bars.on.length; b++) {
    if (bars.on[b] > sec && bars.on[b] < at) [best, at] = [bars.number[b], bars.on[b]];
  }
  return best;
}

/**
 * The note that the editor's place (line, column) is in or after: among the notes whose
 * token begins at or before it, the one that begins last; -1 for none.
 */
export function noteAtOrBefore(plan, line, column) {
  let found = -1;
  for (let i = 0; i < plan.count; i++) {
    const l = plan.line[i];
    if (l > line || (l === line && plan.column[i] > column)) continue;
    if (
      found < 0 ||
      l > plan.line[found] ||
      (l === plan.line[found] && plan.column[i] > plan.column[found])
    ) {
      found = i;
    }
  }
  return found;
}
