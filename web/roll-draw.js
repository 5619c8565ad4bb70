// Drawing the roll in SVG from a layout (roll-layout.js): the pitch names, the grid of rows
// and bar lines, the notes (each voice colour's notes as one path, only the measures in sight
// and a screen to either side), the measures marked for a message, and the outlines of the
// note pointed at and the note chosen. The plane's layers, bottom to top: grid, marks, notes,
// overlay (free for what is drawn over the notes as the piece plays), outlines.
import { NOTE_FIELDS as F } from './pn2tavix.mjs';
import { HEAD, field, heightOf, rowOf, widthOf, xOf } from './roll-layout.js';

const SVG = 'http://www.w3.org/2000/svg';
export const VOICE_COLOURS = 8; // classes v0 to v7 in style.css
const BLACK_KEYS = new Set([1, 3, 6, 8, 10]);

export function svg(name, attributes = {}, text) {
  const el = document.createElementNS(SVG, name);
  for (const [key, value] of Object.entries(attributes)) el.setAttribute(key, value);
  if (text !== undefined) el.textContent = text;
  return el;
}

export const px = (x) => Math.round(x * 10) / 10;
/** The colour class of voice `voice` (from 1): more voices than colours, they come round. */
export const colourOf = (voice) => `v${(voice - 1) % VOICE_COLOURS}`;

/** The plane and its layers, empty. */
export function createPlane() {
  const plane = svg('svg', { class: 'roll-plane', role: 'img' });
  const layers = {
    plane,
    label: svg('title'),
    grid: svg('g', { class: 'roll-grid' }),
    marks: svg('g', { class: 'roll-marks' }),
    notes: svg('g', { class: 'roll-notes' }),
    overlay: svg('g', { class: 'roll-overlay' }),
    hover: svg('rect', { class: 'hover', visibility: 'hidden' }),
    chosen: svg('rect', { class: 'current', visibility: 'hidden' }),
  };
  plane.append(...Object.values(layers).slice(1));
  return layers;
}

/** The names of the c's beside the rows. */
export function drawKeys(keys, layout, scale, width) {
  const names = [];
  for (let s = layout.low; s <= layout.high; s++) {
    if (s % 12 !== 0) continue;
    const y = rowOf(layout, scale, s) + scale.row / 2 + 3.5;
    names.push(svg('text', { x: width - 4, y, 'text-anchor': 'end' }, `c${s / 12 + 2}`));
  }
  keys.setAttribute('height', heightOf(layout, scale));
  keys.replaceChildren(...names);
}

/** Draws the grid of measures `from` to `to` (from 0, `to` not included), and no notes. */
export function drawGrid(layers, layout, scale, from, to) {
  const height = heightOf(layout, scale);
  const left = from * scale.width;
  const span = (to - from) * scale.width;
  const lines = [];
  for (let s = layout.low; s <= layout.high; s++) {
    const y = rowOf(layout, scale, s);
    if (BLACK_KEYS.has(s % 12)) {
      lines.push(svg('rect', { class: 'row-black', x: left, y, width: span, height: scale.row }));
    } else if (s % 12 === 0) {
      const bottom = y + scale.row;
      lines.push(
        svg('line', { class: 'row-c', x1: left, x2: left + span, y1: bottom, y2: bottom }),
      );
    }
  }
  // Numbers crowd below 28 px a measure: then every fifth is written.
  const every = scale.width < 28 ? 5 : 1;
  for (let m = from; m <= to; m++) {
    const x = px(m * scale.width);
    lines.push(svg('line', { class: 'bar', x1: x, x2: x, y1: HEAD - 4, y2: height }));
    const number = m + layout.first;
    if (m < to && number % every === 0) {
      lines.push(svg('text', { class: 'measure-number', x: x + 3, y: HEAD - 6 }, String(number)));
    }
  }
  layers.grid.replaceChildren(...lines);
  layers.notes.replaceChildren();
}

/**
 * Adds the notes at places `from` to `to` of the layout's byMeasure to the drawing: one path a
 * colour, a rectangle a note. A large piece is drawn a batch of places at a time.
 */
export function drawNotes(layers, layout, scale, from, to) {
  const paths = Array.from({ length: VOICE_COLOURS }, () => []);
  const h = Math.max(1, scale.row - 2);
  for (let k = from; k < to; k++) {
    const i = layout.byMeasure[k];
    const y = rowOf(layout, scale, field(layout, i, F.semitone)) + (scale.row - h) / 2;
    const w = px(widthOf(layout, scale, i));
    paths[(field(layout, i, F.voice) - 1) % VOICE_COLOURS].push(
      `M${px(xOf(layout, scale, i))} ${px(y)}h${w}v${h}h${-w}z`,
    );
  }
  layers.notes.append(
    ...paths.flatMap((d, v) =>
      d.length === 0 ? [] : [svg('path', { class: `note v${v}`, d: d.join('') })],
    ),
  );
}

/** Puts `rect` round note `i`, or hides it for -1. */
export function outline(rect, layout, scale, i) {
  if (i < 0) {
    rect.setAttribute('visibility', 'hidden');
    return;
  }
  rect.setAttribute('x', px(xOf(layout, scale, i)));
  rect.setAttribute('y', rowOf(layout, scale, field(layout, i, F.semitone)));
  rect.setAttribute('width', px(widthOf(layout, scale, i)));
  rect.setAttribute('height', scale.row);
  rect.setAttribute('visibility', 'visible');
}

/**
 * Marks whole measures: `marks` are {measure, severity, text}, the measure as numbered in the
 * piece. Measures outside the notes drawn are left out.
 */
export function drawMarks(layers, layout, scale, marks) {
  const height = heightOf(layout, scale);
  const bands = [];
  for (const { measure, severity, text } of marks) {
    const m = measure - layout.first;
    if (m < 0 || m >= layout.measures) continue;
    const band = svg('rect', {
      class: `mark ${severity}`,
      x: px(m * scale.width),
      y: HEAD - 4,
      width: px(scale.width),
      height: height - HEAD + 4,
      'data-measure': measure,
    });
    band.append(svg('title', {}, text));
    bands.push(band);
  }
  layers.marks.replaceChildren(...bands);
}
