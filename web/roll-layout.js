// Where the roll puts each note: time across in measures (each measure the same width, a note
// placed by its share of it) and pitch up. A layout is made once for the notes of a result and
// then only read, except for the time order of a measure's notes, which is put in place when
// the keyboard first reaches it. The sizes (`scale`: px a measure, px a semitone) belong to
// the view and come with each call. Notes come as the module packs them (NOTE_FIELDS).
import { NOTE_FIELDS as F } from './pn2tavix.mjs';

export const HEAD = 18; // px above the notes for the measure numbers

/**
 * The layout of `notes`: the measures and semitones they span (and the measures of
 * `alsoMeasures` too: measures marked for a message), their voices, and the notes' indices
 * sorted by measure (a counting sort: linear, however many notes).
 */
export function layOut(notes, alsoMeasures = []) {
  const count = notes.length / F.count;
  let first = Infinity;
  let last = 0;
  let voices = 0;
  let low = count === 0 ? 24 : 60;
  let high = count === 0 ? 36 : 0;
  for (let base = 0; base < notes.length; base += F.count) {
    first = Math.min(first, notes[base + F.measure]);
    last = Math.max(last, notes[base + F.measure]);
    voices = Math.max(voices, notes[base + F.voice]);
    low = Math.min(low, notes[base + F.semitone]);
    high = Math.max(high, notes[base + F.semitone]);
  }
  for (const m of alsoMeasures) {
    first = Math.min(first, m);
    last = Math.max(last, m);
  }
  if (first > last) [first, last] = [1, 0];
  // Some room above and below, and at least an octave and a half.
  low = Math.max(0, low - 2);
  high = Math.min(60, Math.max(high + 2, low + 18));
  const measures = last - first + 1;

  const starts = new Uint32Array(measures + 2);
  for (let i = 0; i < count; i++) starts[notes[i * F.count + F.measure] - first + 1]++;
  for (let m = 1; m < starts.length; m++) starts[m] += starts[m - 1];
  const byMeasure = new Uint32Array(count);
  const next = starts.slice();
  for (let i = 0; i < count; i++) byMeasure[next[notes[i * F.count + F.measure] - first]++] = i;
  // byMeasure: note indices by measure, in the order they came; starts[m]: measure m's first
  // place in it; timed: the measures whose notes byMeasure holds in time order.
  return { notes, count, first, measures, voices, low, high, byMeasure, starts, timed: new Set() };
}

export const field = (layout, i, f) => layout.notes[i * F.count + f];
const lengthOf = (layout, i) => field(layout, i, F.measureLength) || 192; // before "units": a whole

/** The height of the plane at `scale`. */
export const heightOf = (layout, scale) => HEAD + (layout.high - layout.low + 1) * scale.row;
/** The top of the row of `semitone`. */
export const rowOf = (layout, scale, semitone) => HEAD + (layout.high - semitone) * scale.row;
/** The x of the start of measure `measure` (a number as written, from 1), plus `share` of it. */
export const xOfMeasure = (layout, scale, measure, share = 0) =>
  (measure - layout.first + share) * scale.width;
/** The x of note `i`'s start, and its drawn width. */
export const xOf = (layout, scale, i) =>
  xOfMeasure(
    layout,
    scale,
    field(layout, i, F.measure),
    field(layout, i, F.start) / lengthOf(layout, i),
  );
export const widthOf = (layout, scale, i) =>
  Math.max(2, (field(layout, i, F.length) / lengthOf(layout, i)) * scale.width - 1);

/** Puts the notes of measure `m` (from 0 at the first drawn) in time order, then pitch. */
export function timeOrder(layout, m) {
  if (layout.timed.has(m)) return;
  layout.timed.add(m);
  const bucket = layout.byMeasure.subarray(layout.starts[m], layout.starts[m + 1]);
  const key = (i) =>
    field(layout, i, F.start) / lengthOf(layout, i) + field(layout, i, F.semitone) / 1e6;
  bucket.sort((a, b) => key(a) - key(b));
}

/** The measure (from 0) that holds place `k` of byMeasure. */
export function measureAt(layout, k) {
  let lo = 0;
  let hi = layout.measures - 1;
  while (lo < hi) {
    const mid = (lo + hi + 1) >> 1;
    if (layout.starts[mid] <= k) lo = mid;
    else hi = mid - 1;
  }
  return lo;
}

/**
 * The place in byMeasure of the note under point (x, y) of the plane, or -1: of those there,
 * the one drawn last (the highest voice); a note may reach past its measure's end when the
 * measure is too long.
 */
export function noteAt(layout, scale, x, y) {
  const m = Math.floor(x / scale.width);
  let found = -1;
  for (let n = Math.max(0, m - 1); n <= Math.min(m, layout.measures - 1); n++) {
    for (let k = layout.starts[n]; k < layout.starts[n + 1]; k++) {
      const i = layout.byMeasure[k];
      const top = rowOf(layout, scale, field(layout, i, F.semitone));
      const left = xOf(layout, scale, i);
      if (y >= top && y < top + scale.row && x >= left && x <= left + widthOf(layout, scale, i)) {
        const voice = field(layout, i, F.voice);
        if (found < 0 || voice >= field(layout, layout.byMeasure[found], F.voice)) found = k;
      }
    }
  }
  return found;
}

/**
 * Whether `packed` puts every note where `layout`'s notes are (the fields from voice to
 * semitone place a note): then only the places of their tokens differ, as when a blank is
 * typed, and nothing needs drawing again.
 */
export function samePlaces(layout, packed) {
  const { notes } = layout;
  if (packed.length !== notes.length) return false;
  for (let base = 0; base < packed.length; base += F.count) {
    for (let f = F.voice; f <= F.semitone; f++) {
      if (packed[base + f] !== notes[base + f]) return false;
    }
  }
  return true;
}
