// The piano roll: the converted notes drawn in SVG, time across in measures and pitch up, one
// colour per voice, with bar lines and measure numbers; rests are the gaps. Only the measures
// in sight (and a screen to either side) are drawn, so a piece of any length scrolls at once.
// Notes come as the module packs them (NOTE_FIELDS); nothing here knows the music language.
import { NOTE_FIELDS as F } from './pn2tavix.mjs';

const SVG = 'http://www.w3.org/2000/svg';
const ROW = 7; // px a semitone
const HEAD = 18; // px above the notes for the measure numbers
const KEYS = 34; // px of the pitch names on the left
const VOICE_COLOURS = 8; // classes v0 to v7 in style.css
const BLACK_KEYS = new Set([1, 3, 6, 8, 10]);

function svg(name, attributes = {}, text) {
  const el = document.createElementNS(SVG, name);
  for (const [key, value] of Object.entries(attributes)) el.setAttribute(key, value);
  if (text !== undefined) el.textContent = text;
  return el;
}

function html(name, className, text) {
  const el = document.createElement(name);
  if (className) el.className = className;
  if (text !== undefined) el.textContent = text;
  return el;
}

/** A note's name as the output writes it: letter, accidental, octave ("f+5"). */
export function noteName(notes, i) {
  const base = i * F.count;
  const accidental = notes[base + F.accidental];
  return (
    String.fromCharCode(notes[base + F.letter]) +
    (accidental ? String.fromCharCode(accidental) : '') +
    notes[base + F.octave]
  );
}

/**
 * Makes the roll inside `parent`. `onPick(note)` is called with a note's fields when it is
 * clicked, or chosen with the keyboard and Enter.
 */
export function createRoll(parent, { onPick }) {
  const caption = html('p', 'roll-caption');
  const legend = html('ul', 'roll-legend');
  const frame = html('div', 'roll-frame');
  const keys = svg('svg', { class: 'roll-keys', width: KEYS, 'aria-hidden': 'true' });
  const scroller = html('div', 'roll-scroller');
  scroller.tabIndex = 0;
  scroller.setAttribute('role', 'group');
  const label = svg('title');
  const plane = svg('svg', { class: 'roll-plane', role: 'img' });
  const grid = svg('g', { class: 'roll-grid' });
  const layer = svg('g', { class: 'roll-notes' });
  plane.append(label, grid, layer);
  scroller.append(plane);
  const tip = html('div', 'roll-tip');
  tip.setAttribute('role', 'status');
  tip.hidden = true;
  frame.append(keys, scroller, tip);
  parent.append(caption, legend, frame);

  let notes = new Int32Array(0);
  let byMeasure = new Uint32Array(0); // note indices by measure, then start, then pitch
  let first = 1; // the first measure drawn, at x = 0
  let measures = 0;
  let low = 0;
  let high = 0;
  let width = 96; // px a measure
  let current = -1; // position in byMeasure of the note chosen with the keyboard
  let starts = new Uint32Array(1); // for each measure, its first place in byMeasure
  let drawn = null; // the range of measures on the plane now
  let frameRequested = false;

  const field = (i, f) => notes[i * F.count + f];
  const rowOf = (semitone) => HEAD + (high - semitone) * ROW;

  // Time in measures: each measure the same width, a note placed by its share of it.
  function xOf(i) {
    const length = field(i, F.measureLength) || 192;
    return (field(i, F.measure) - first + field(i, F.start) / length) * width;
  }
  function widthOf(i) {
    const length = field(i, F.measureLength) || 192;
    return Math.max(2, (field(i, F.length) / length) * width - 1);
  }

  // Counting sort by measure keeps a large piece's ordering linear; within a measure, by time.
  function order() {
    const count = notes.length / F.count;
    const bounds = new Uint32Array(measures + 2);
    for (let i = 0; i < count; i++) bounds[field(i, F.measure) - first + 1]++;
    for (let m = 1; m < bounds.length; m++) bounds[m] += bounds[m - 1];
    const sorted = new Uint32Array(count);
    const next = bounds.slice();
    for (let i = 0; i < count; i++) sorted[next[field(i, F.measure) - first]++] = i;
    for (let m = 0; m + 1 < bounds.length; m++) {
      const bucket = sorted.subarray(bounds[m], bounds[m + 1]);
      if (bucket.length > 1) {
        bucket.sort(
          (a, b) =>
            field(a, F.start) / (field(a, F.measureLength) || 192) -
              field(b, F.start) / (field(b, F.measureLength) || 192) ||
            field(a, F.semitone) - field(b, F.semitone),
        );
      }
    }
    return { sorted, bounds };
  }

  function drawKeys(height) {
    keys.replaceChildren();
    keys.setAttribute('height', height);
    for (let s = low; s <= high; s++) {
      if (s % 12 !== 0) continue;
      keys.append(
        svg('text', { x: KEYS - 4, y: rowOf(s) + ROW - 1, 'text-anchor': 'end' }, `c${s / 12 + 2}`),
      );
    }
  }

  function render() {
    frameRequested = false;
    // Before the first layout the scroller has no width: a wide screen's worth is drawn.
    const screen = scroller.clientWidth || 1600;
    const from = Math.max(0, Math.floor((scroller.scrollLeft - screen) / width));
    const to = Math.min(measures, Math.ceil((scroller.scrollLeft + 2 * screen) / width));
    if (drawn && drawn.from === from && drawn.to === to && drawn.width === width) return;
    drawn = { from, to, width };
    const height = HEAD + (high - low + 1) * ROW;
    const left = from * width;
    const span = (to - from) * width;
    const lines = [];
    for (let s = low; s <= high; s++) {
      if (BLACK_KEYS.has(s % 12)) {
        lines.push(svg('rect', { class: 'row-black', x: left, y: rowOf(s), width: span, height: ROW }));
      } else if (s % 12 === 0) {
        lines.push(svg('line', { class: 'row-c', x1: left, x2: left + span, y1: rowOf(s) + ROW, y2: rowOf(s) + ROW }));
      }
    }
    // Numbers crowd below 28 px a measure: then every fifth is written.
    const every = width < 28 ? 5 : 1;
    for (let m = from; m <= to; m++) {
      const x = m * width;
      lines.push(svg('line', { class: 'bar', x1: x, x2: x, y1: HEAD - 4, y2: height }));
      const number = m + first;
      if (m < to && number % every === 0) {
        lines.push(svg('text', { class: 'measure-number', x: x + 3, y: HEAD - 6 }, String(number)));
      }
    }
    grid.replaceChildren(...lines);
    const rects = [];
    for (let k = starts[from]; k < starts[to]; k++) {
      const i = byMeasure[k];
      const rect = svg('rect', {
        class: `note v${(field(i, F.voice) - 1) % VOICE_COLOURS}${k === current ? ' current' : ''}`,
        x: xOf(i),
        y: rowOf(field(i, F.semitone)) + 1,
        width: widthOf(i),
        height: ROW - 2,
        'data-k': k,
      });
      rects.push(rect);
    }
    layer.replaceChildren(...rects);
  }

  function requestRender() {
    if (frameRequested) return;
    frameRequested = true;
    requestAnimationFrame(render);
  }

  function describe(k) {
    const i = byMeasure[k];
    return `${noteName(notes, i)}: measure ${field(i, F.measure)}, voice ${field(i, F.voice)}, line ${field(i, F.line)}`;
  }

  function showTip(k) {
    const i = byMeasure[k];
    tip.textContent = describe(k);
    tip.hidden = false;
    const x = KEYS + xOf(i) - scroller.scrollLeft;
    tip.style.left = `${Math.max(0, Math.min(x, frame.clientWidth - tip.offsetWidth))}px`;
    tip.style.top = `${rowOf(field(i, F.semitone)) + ROW + 4}px`;
  }

  function pick(k) {
    const i = byMeasure[k];
    onPick({
      line: field(i, F.line),
      column: field(i, F.column),
      tokenLength: field(i, F.tokenLength),
    });
  }

  // The keyboard walks the notes in time: the chosen one is brought into sight and described.
  function choose(k) {
    if (notes.length === 0) return;
    current = Math.max(0, Math.min(byMeasure.length - 1, k));
    const x = xOf(byMeasure[current]);
    if (x < scroller.scrollLeft || x > scroller.scrollLeft + scroller.clientWidth - width / 4) {
      scroller.scrollLeft = Math.max(0, x - scroller.clientWidth / 3);
    }
    drawn = null;
    render();
    showTip(current);
  }

  scroller.addEventListener('scroll', requestRender, { passive: true });
  new ResizeObserver(requestRender).observe(scroller);
  plane.addEventListener('pointerover', (e) => {
    if (e.target.dataset?.k !== undefined) showTip(Number(e.target.dataset.k));
  });
  plane.addEventListener('pointerout', (e) => {
    if (e.target.dataset?.k !== undefined && Number(e.target.dataset.k) !== current) {
      tip.hidden = true;
    }
  });
  plane.addEventListener('click', (e) => {
    if (e.target.dataset?.k === undefined) return;
    current = Number(e.target.dataset.k);
    pick(current);
  });
  scroller.addEventListener('keydown', (e) => {
    const moves = { ArrowRight: 1, ArrowLeft: -1, PageDown: 20, PageUp: -20 };
    if (e.key in moves) choose(current + moves[e.key]);
    else if (e.key === 'Home') choose(0);
    else if (e.key === 'End') choose(byMeasure.length - 1);
    else if ((e.key === 'Enter' || e.key === ' ') && current >= 0) pick(current);
    else return;
    e.preventDefault();
  });
  scroller.addEventListener('blur', () => {
    tip.hidden = true;
  });

  /** Draws `packed` notes (NOTE_FIELDS) of the piece called `title`. */
  function draw(packed, title) {
    notes = packed;
    const count = notes.length / F.count;
    let last = 0;
    let voices = 0;
    first = Infinity;
    low = 60;
    high = 0;
    for (let i = 0; i < count; i++) {
      first = Math.min(first, field(i, F.measure));
      last = Math.max(last, field(i, F.measure));
      voices = Math.max(voices, field(i, F.voice));
      low = Math.min(low, field(i, F.semitone));
      high = Math.max(high, field(i, F.semitone));
    }
    if (count === 0) {
      first = 1;
      low = 24;
      high = 36;
    }
    // Some room above and below, and at least an octave and a half.
    low = Math.max(0, low - 2);
    high = Math.min(60, Math.max(high + 2, low + 18));
    measures = count === 0 ? 0 : last - first + 1;
    ({ sorted: byMeasure, bounds: starts } = order());
    current = Math.min(current, byMeasure.length - 1);

    const name = title ?? 'the piece';
    const plural = (n, word) => `${n} ${word}${n === 1 ? '' : 's'}`;
    caption.textContent =
      count === 0
        ? `No notes to draw in ${name}.`
        : `${name}: ${plural(count, 'note')} in ${plural(measures, 'measure')}.`;
    label.textContent = `Piano roll of ${name}`;
    scroller.setAttribute('aria-label', `Piano roll of ${name}: arrow keys go from note to note, Enter selects the note's token in the editor`);
    legend.replaceChildren(
      ...Array.from({ length: voices }, (_, v) => {
        const item = html('li', `v${v % VOICE_COLOURS}`, `voice ${v + 1}`);
        return item;
      }),
    );
    const height = HEAD + (high - low + 1) * ROW;
    plane.setAttribute('width', Math.max(measures * width, 1));
    plane.setAttribute('height', height);
    drawKeys(height);
    tip.hidden = true;
    drawn = null;
    render();
  }

  /** Widens (factor above 1) or narrows the measures, keeping the middle in sight. */
  function zoom(factor) {
    const middle = (scroller.scrollLeft + scroller.clientWidth / 2) / width;
    width = Math.max(12, Math.min(480, width * factor));
    plane.setAttribute('width', Math.max(measures * width, 1));
    scroller.scrollLeft = middle * width - scroller.clientWidth / 2;
    drawn = null;
    render();
  }

  return { draw, zoom };
}
