// The piano roll: the converted notes drawn in SVG, time across in measures and pitch up, one
// colour per voice, with bar lines and measure numbers; rests are the gaps. Only the measures
// in sight (and a screen to either side) are drawn, each voice's notes as one path, so that a
// piece of any length draws and scrolls at once; the note under the pointer is found from the
// notes' places, not from elements of their own. Notes come as the module packs them
// (NOTE_FIELDS); nothing here knows the music language.
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

const plural = (n, word) => `${n} ${word}${n === 1 ? '' : 's'}`;
const px = (x) => Math.round(x * 10) / 10;

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
 * Makes the roll inside `parent`. `onPick({line, column, tokenLength})` is called with the
 * place of a note's token when the note is clicked, or chosen with the keyboard and Enter.
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
  const hover = svg('rect', { class: 'hover', visibility: 'hidden' });
  const chosen = svg('rect', { class: 'current', visibility: 'hidden' });
  plane.append(label, grid, layer, hover, chosen);
  scroller.append(plane);
  const tip = html('div', 'roll-tip');
  tip.setAttribute('role', 'status');
  tip.hidden = true;
  frame.append(keys, scroller, tip);
  parent.append(caption, legend, frame);

  let notes = new Int32Array(0);
  let byMeasure = new Uint32Array(0); // note indices by measure, in the order they came
  let starts = new Uint32Array(1); // for each measure, its first place in byMeasure
  let timed = new Set(); // measures whose notes byMeasure holds in time order
  let first = 1; // the measure drawn at x = 0
  let measures = 0;
  let low = 0;
  let high = 0;
  let width = 96; // px a measure
  let zoomed = false; // the user chose the width; else it fits the piece to the roll
  let current = -1; // the place in byMeasure of the note chosen with the keyboard
  let drawn = null; // the measures on the plane now
  let drawnTitle; // of no piece yet
  let frameRequested = false;

  const field = (i, f) => notes[i * F.count + f];
  const rowOf = (semitone) => HEAD + (high - semitone) * ROW;
  const lengthOf = (i) => field(i, F.measureLength) || 192; // before any "units": a whole note
  // Time in measures: each measure the same width, a note placed by its share of it.
  const xOf = (i) => (field(i, F.measure) - first + field(i, F.start) / lengthOf(i)) * width;
  const widthOf = (i) => Math.max(2, (field(i, F.length) / lengthOf(i)) * width - 1);

  // A counting sort by measure: linear, however many notes.
  function order() {
    const count = notes.length / F.count;
    const bounds = new Uint32Array(measures + 2);
    for (let i = 0; i < count; i++) bounds[field(i, F.measure) - first + 1]++;
    for (let m = 1; m < bounds.length; m++) bounds[m] += bounds[m - 1];
    const sorted = new Uint32Array(count);
    const next = bounds.slice();
    for (let i = 0; i < count; i++) sorted[next[field(i, F.measure) - first]++] = i;
    byMeasure = sorted;
    starts = bounds;
    timed = new Set();
  }

  // The keyboard walks the notes in time, so a measure's notes are put in time order (then
  // pitch) when it first reaches them, not all at once.
  function timeOrder(m) {
    if (timed.has(m)) return;
    timed.add(m);
    const bucket = byMeasure.subarray(starts[m], starts[m + 1]);
    const key = (i) => field(i, F.start) / lengthOf(i) + field(i, F.semitone) / 1e6;
    bucket.sort((a, b) => key(a) - key(b));
  }

  function measureAt(k) {
    let lo = 0;
    let hi = measures - 1;
    while (lo < hi) {
      const mid = (lo + hi + 1) >> 1;
      if (starts[mid] <= k) lo = mid;
      else hi = mid - 1;
    }
    return lo;
  }

  function drawKeys(height) {
    const names = [];
    for (let s = low; s <= high; s++) {
      if (s % 12 !== 0) continue;
      names.push(
        svg('text', { x: KEYS - 4, y: rowOf(s) + ROW - 1, 'text-anchor': 'end' }, `c${s / 12 + 2}`),
      );
    }
    keys.setAttribute('height', height);
    keys.replaceChildren(...names);
  }

  function render() {
    frameRequested = false;
    // Before the first layout the scroller has no width: a wide screen's worth is drawn.
    const screen = scroller.clientWidth || 1600;
    const from = Math.max(0, Math.floor((scroller.scrollLeft - screen) / width));
    const to = Math.min(measures, Math.ceil((scroller.scrollLeft + 2 * screen) / width));
    if (drawn && drawn.from === from && drawn.to === to) return;
    drawn = { from, to };
    const height = HEAD + (high - low + 1) * ROW;
    const left = from * width;
    const span = (to - from) * width;
    const lines = [];
    for (let s = low; s <= high; s++) {
      if (BLACK_KEYS.has(s % 12)) {
        lines.push(
          svg('rect', { class: 'row-black', x: left, y: rowOf(s), width: span, height: ROW }),
        );
      } else if (s % 12 === 0) {
        const y = rowOf(s) + ROW;
        lines.push(svg('line', { class: 'row-c', x1: left, x2: left + span, y1: y, y2: y }));
      }
    }
    // Numbers crowd below 28 px a measure: then every fifth is written.
    const every = width < 28 ? 5 : 1;
    for (let m = from; m <= to; m++) {
      const x = px(m * width);
      lines.push(svg('line', { class: 'bar', x1: x, x2: x, y1: HEAD - 4, y2: height }));
      const number = m + first;
      if (m < to && number % every === 0) {
        lines.push(svg('text', { class: 'measure-number', x: x + 3, y: HEAD - 6 }, String(number)));
      }
    }
    grid.replaceChildren(...lines);
    // One path a colour: a rectangle a note.
    const paths = Array.from({ length: VOICE_COLOURS }, () => []);
    for (let k = starts[from]; k < starts[to]; k++) {
      const i = byMeasure[k];
      const y = rowOf(field(i, F.semitone)) + 1;
      const w = px(widthOf(i));
      paths[(field(i, F.voice) - 1) % VOICE_COLOURS].push(
        `M${px(xOf(i))} ${y}h${w}v${ROW - 2}h${-w}z`,
      );
    }
    layer.replaceChildren(
      ...paths.flatMap((d, v) =>
        d.length === 0 ? [] : [svg('path', { class: `note v${v}`, d: d.join('') })],
      ),
    );
  }

  function requestRender() {
    if (frameRequested) return;
    frameRequested = true;
    requestAnimationFrame(render);
  }

  function outline(rect, k) {
    if (k < 0) {
      rect.setAttribute('visibility', 'hidden');
      return;
    }
    const i = byMeasure[k];
    rect.setAttribute('x', px(xOf(i)));
    rect.setAttribute('y', rowOf(field(i, F.semitone)) + 1);
    rect.setAttribute('width', px(widthOf(i)));
    rect.setAttribute('height', ROW - 2);
    rect.setAttribute('visibility', 'visible');
  }

  function showTip(k) {
    const i = byMeasure[k];
    const where = `measure ${field(i, F.measure)}, voice ${field(i, F.voice)}`;
    tip.textContent = `${noteName(notes, i)}: ${where}, line ${field(i, F.line)}`;
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

  // The note under a point of the plane: of those there, the one drawn last (the highest
  // voice); a note may reach past its measure's end when the measure is too long.
  function noteAt(x, y) {
    const m = Math.floor(x / width);
    let found = -1;
    for (let n = Math.max(0, m - 1); n <= Math.min(m, measures - 1); n++) {
      for (let k = starts[n]; k < starts[n + 1]; k++) {
        const i = byMeasure[k];
        const top = rowOf(field(i, F.semitone));
        const left = xOf(i);
        if (y >= top && y < top + ROW && x >= left && x <= left + widthOf(i)) {
          if (found < 0 || field(i, F.voice) >= field(byMeasure[found], F.voice)) found = k;
        }
      }
    }
    return found;
  }

  function pointed(e) {
    const box = plane.getBoundingClientRect();
    return noteAt(e.clientX - box.left, e.clientY - box.top);
  }

  function choose(k) {
    if (byMeasure.length === 0) return;
    k = Math.max(0, Math.min(byMeasure.length - 1, k));
    timeOrder(measureAt(k));
    current = k;
    const x = xOf(byMeasure[current]);
    if (x < scroller.scrollLeft || x > scroller.scrollLeft + scroller.clientWidth - width / 4) {
      scroller.scrollLeft = Math.max(0, x - scroller.clientWidth / 3);
    }
    render();
    outline(chosen, current);
    showTip(current);
  }

  scroller.addEventListener('scroll', requestRender, { passive: true });
  new ResizeObserver(() => {
    if (!zoomed) fit();
    requestRender();
  }).observe(scroller);
  plane.addEventListener('pointermove', (e) => {
    const k = pointed(e);
    outline(hover, k);
    plane.classList.toggle('pointing', k >= 0);
    if (k >= 0) showTip(k);
    else if (current < 0 || document.activeElement !== scroller) tip.hidden = true;
  });
  plane.addEventListener('pointerleave', () => {
    outline(hover, -1);
    if (document.activeElement !== scroller) tip.hidden = true;
  });
  plane.addEventListener('click', (e) => {
    const k = pointed(e);
    if (k < 0) return;
    // Putting the measure in time order moves its notes: the note is found again after.
    timeOrder(measureAt(k));
    current = pointed(e);
    outline(chosen, current);
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

  // Unless the user has zoomed, a short piece fills the roll and a long one scrolls.
  function fit() {
    if (measures === 0) return;
    const screen = scroller.clientWidth || 1200;
    width = Math.max(40, Math.min(240, screen / measures));
    plane.setAttribute('width', Math.max(measures * width, 1));
    drawn = null;
  }

  // Whether `packed` puts every note where the notes drawn now are (the fields from voice to
  // semitone place a note): then only the places of their tokens have changed, as when a
  // blank is typed, and nothing needs drawing again.
  function sameDrawing(packed, title) {
    if (packed.length !== notes.length || title !== drawnTitle) return false;
    for (let base = 0; base < packed.length; base += F.count) {
      for (let f = F.voice; f <= F.semitone; f++) {
        if (packed[base + f] !== notes[base + f]) return false;
      }
    }
    return true;
  }

  /**
   * Draws `packed` notes (NOTE_FIELDS) of the piece called `title`; null for a piece too
   * large to draw.
   */
  function draw(packed, title) {
    if (packed === null) {
      draw(new Int32Array(0), title);
      caption.textContent = `${title ?? 'The piece'} is too large to draw here.`;
      drawnTitle = undefined;
      return;
    }
    if (sameDrawing(packed, title)) {
      notes = packed;
      return;
    }
    notes = packed;
    drawnTitle = title;
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
    order();
    current = -1;

    const name = title ?? 'the piece';
    caption.textContent =
      count === 0
        ? `No notes to draw in ${name}.`
        : `${name}: ${plural(count, 'note')} in ${plural(measures, 'measure')}.`;
    label.textContent = `Piano roll of ${name}`;
    scroller.setAttribute(
      'aria-label',
      `Piano roll of ${name}: the arrow keys go from note to note, ` +
        'Enter selects its token in the editor',
    );
    const shownVoices = Math.min(voices, VOICE_COLOURS);
    legend.replaceChildren(
      ...Array.from({ length: shownVoices }, (_, v) => {
        // More voices than colours: the colours come round again.
        const again = voices > VOICE_COLOURS ? `, ${v + 1 + VOICE_COLOURS}, …` : '';
        return html('li', `v${v}`, `voice ${v + 1}${again}`);
      }),
    );
    const height = HEAD + (high - low + 1) * ROW;
    plane.setAttribute('height', height);
    if (zoomed) plane.setAttribute('width', Math.max(measures * width, 1));
    else fit();
    drawKeys(height);
    tip.hidden = true;
    outline(hover, -1);
    outline(chosen, -1);
    drawn = null;
    render();
  }

  /** Widens (factor above 1) or narrows the measures, keeping the middle in sight. */
  function zoom(factor) {
    zoomed = true;
    const middle = (scroller.scrollLeft + scroller.clientWidth / 2) / width;
    width = Math.max(12, Math.min(480, width * factor));
    plane.setAttribute('width', Math.max(measures * width, 1));
    scroller.scrollLeft = middle * width - scroller.clientWidth / 2;
    drawn = null;
    render();
    outline(chosen, current);
  }

  return { draw, zoom };
}
