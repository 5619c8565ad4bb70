// The piano roll: the converted notes drawn in SVG, time across in measures and pitch up, one
// colour per voice, with bar lines and measure numbers; rests are the gaps, and the measures
// that a message names are marked. This file puts together the layout (roll-layout.js), the
// drawing (roll-draw.js) and what the pointer and keyboard do (roll-interaction.js), and keeps
// the view's state: the layout of the notes shown, the scale, and what is in sight. Nothing
// here knows the music language.
import { NOTE_FIELDS as F } from './pn2tavix.mjs';
import {
  HEAD,
  heightOf,
  layOut,
  rowOf,
  samePlaces,
  widthOf,
  xOf,
  xOfMeasure,
} from './roll-layout.js';
import { colourOf, createPlane, drawGrid, drawKeys, drawMarks, drawNotes } from './roll-draw.js';
import { attachInteraction } from './roll-interaction.js';

const KEYS = 34; // px of the pitch names on the left
const ROWS = { least: 3, most: 9 }; // px a semitone: the roll fits its frame's height
const LEGEND_ROWS = 16; // voices listed in the legend, each in a row of its own
const BATCH = 6_000; // notes drawn in one task: a dense piece is drawn over a few frames

function html(name, className, text) {
  const el = document.createElement(name);
  if (className) el.className = className;
  if (text !== undefined) el.textContent = text;
  return el;
}

const plural = (n, word) => `${n} ${word}${n === 1 ? '' : 's'}`;

/**
 * Makes the roll inside `parent`. `onPick({line, column, tokenLength, index})` is called with
 * the place of a note's token (and the note's index) when the note is clicked, or chosen with
 * the keyboard and Enter. `onMeasures(first, last)` is called when the measure numbers are
 * clicked (first = last) or dragged across; `onScroll()` when the user scrolls the roll.
 */
export function createRoll(parent, { onPick, onMeasures = () => {}, onScroll = () => {} }) {
  const caption = html('p', 'roll-caption');
  const legend = html('ul', 'roll-legend');
  const frame = html('div', 'roll-frame');
  const keys = document.createElementNS('http://www.w3.org/2000/svg', 'svg');
  keys.setAttribute('class', 'roll-keys');
  keys.setAttribute('width', KEYS);
  keys.setAttribute('aria-hidden', 'true');
  const scroller = html('div', 'roll-scroller');
  scroller.tabIndex = 0;
  scroller.setAttribute('role', 'group');
  const layers = createPlane();
  scroller.append(layers.plane);
  const tip = html('div', 'roll-tip');
  tip.setAttribute('role', 'status');
  tip.hidden = true;
  frame.append(keys, scroller, tip);
  parent.append(caption, legend, frame);

  // The view's state. `drawn`: the measures on the plane now (null: draw again); `batch`: the
  // timer of the next batch of their notes, and `next` its first place in byMeasure; `title`:
  // of the piece shown (undefined before any).
  const state = {
    layout: layOut(new Int32Array(0)),
    scale: { width: 96, row: 7 },
    zoomed: false, // the user chose the width; else it fits the piece to the roll
    marks: [],
    drawn: null,
    batch: 0,
    next: 0,
    title: undefined,
    frameRequested: false,
  };
  const view = () => ({ layout: state.layout, scale: state.scale, keysWidth: KEYS });

  // The measures in sight and half a screen to either side are drawn; the plane is drawn again
  // only when what is in sight leaves them.
  function render() {
    state.frameRequested = false;
    const { layout, scale } = state;
    // Before the first layout the scroller has no width: a wide screen's worth is drawn.
    const screen = scroller.clientWidth || 1600;
    const left = scroller.scrollLeft;
    const seen = {
      from: Math.max(0, Math.floor(left / scale.width)),
      to: Math.min(layout.measures, Math.ceil((left + screen) / scale.width)),
    };
    const { drawn } = state;
    if (drawn && drawn.from <= seen.from && seen.to <= drawn.to) return;
    const from = Math.max(0, Math.floor((left - screen / 2) / scale.width));
    const to = Math.min(layout.measures, Math.ceil((left + 1.5 * screen) / scale.width));
    state.drawn = { from, to };
    drawGrid(layers, layout, scale, from, to);
    clearTimeout(state.batch);
    state.next = layout.starts[from];
    drawBatch();
  }

  function drawBatch() {
    const { layout, scale } = state;
    if (state.drawn === null) return; // to be drawn again from the start
    const end = layout.starts[state.drawn.to];
    const to = Math.min(end, state.next + BATCH);
    drawNotes(layers, layout, scale, state.next, to);
    state.next = to;
    if (to < end) state.batch = setTimeout(drawBatch, 0);
  }

  function requestRender() {
    if (state.frameRequested) return;
    state.frameRequested = true;
    requestAnimationFrame(render);
  }

  const interaction = attachInteraction(
    { frame, scroller, layers, tip },
    {
      view,
      render,
      onMeasures: (from, to) => {
        const first = state.layout.first;
        onMeasures(Math.min(from, to) + first, Math.max(from, to) + first);
      },
      onPick: (i) => {
        const base = i * F.count;
        const { notes } = state.layout;
        onPick({
          index: i,
          line: notes[base + F.line],
          column: notes[base + F.column],
          tokenLength: notes[base + F.tokenLength],
        });
      },
    },
  );

  // The sizes: rows that fit the frame's height, and unless the user has zoomed, measures
  // that fit a short piece to the roll's width (a long one scrolls).
  function scaleToFit() {
    const { layout, scale } = state;
    const bar = scroller.offsetHeight - scroller.clientHeight; // the scroll bar's height
    const room = (frame.clientHeight || 300) - bar - HEAD - 2;
    const rows = layout.high - layout.low + 1;
    scale.row = Math.max(ROWS.least, Math.min(ROWS.most, Math.floor(room / rows)));
    if (!state.zoomed && layout.measures > 0) {
      const screen = scroller.clientWidth || 1200;
      scale.width = Math.max(40, Math.min(480, screen / layout.measures));
    }
    sizePlane();
  }

  function sizePlane() {
    const { layout, scale } = state;
    layers.plane.setAttribute('width', Math.max(layout.measures * scale.width, 1));
    layers.plane.setAttribute('height', heightOf(layout, scale));
    drawKeys(keys, layout, scale, KEYS);
    drawMarks(layers, layout, scale, state.marks);
    state.drawn = null;
    clearTimeout(state.batch);
  }

  new ResizeObserver(() => {
    const { row, width } = state.scale;
    scaleToFit();
    if (row !== state.scale.row || width !== state.scale.width) interaction.redraw();
    requestRender();
  }).observe(frame);
  // Scrolls that the roll makes itself, to follow the music, are not the user's.
  let ownScroll = -1;
  scroller.addEventListener(
    'scroll',
    () => {
      requestRender();
      if (Math.abs(scroller.scrollLeft - ownScroll) > 1) onScroll();
    },
    { passive: true },
  );

  function describe(name) {
    const { count, measures, voices } = state.layout;
    caption.textContent =
      count === 0
        ? `No notes to draw in ${name}.`
        : `${name}: ${plural(count, 'note')} in ${plural(measures, 'measure')}.`;
    layers.label.textContent = `Piano roll of ${name}`;
    scroller.setAttribute(
      'aria-label',
      `Piano roll of ${name}: the arrow keys go from note to note, ` +
        'Enter selects its token in the editor',
    );
    // A row a voice, in its colour, up to LEGEND_ROWS; then how many more there are.
    const rows = Array.from({ length: Math.min(voices, LEGEND_ROWS) }, (_, v) => {
      const row = html('li', `roll-voice ${colourOf(v + 1)}`);
      row.dataset.voice = String(v + 1);
      row.append(html('span', 'roll-voice-name', `voice ${v + 1}`));
      return row;
    });
    if (voices > LEGEND_ROWS) {
      rows.push(html('li', 'roll-more', `and ${plural(voices - LEGEND_ROWS, 'more voice')}`));
    }
    legend.replaceChildren(...rows);
  }

  /**
   * Draws `packed` notes (NOTE_FIELDS) of the piece called `title`, null for a piece too large
   * to draw, and marks the measures of `marks` ({measure, severity, text}).
   */
  function draw(packed, title, marks = []) {
    const sameMarks = JSON.stringify(marks) === JSON.stringify(state.marks);
    if (packed !== null && title === state.title && sameMarks && samePlaces(state.layout, packed)) {
      // Only the tokens' places moved: the layout takes the new places, as it is.
      state.layout = { ...state.layout, notes: packed };
      return;
    }
    state.marks = marks;
    state.layout = layOut(
      packed ?? new Int32Array(0),
      marks.map((m) => m.measure),
    );
    state.title = packed === null ? undefined : title;
    const name = title ?? 'the piece';
    describe(name);
    if (packed === null) caption.textContent = `${title ?? 'The piece'} is too large to draw here.`;
    interaction.reset();
    scaleToFit();
    render();
  }

  /** Widens (factor above 1) or narrows the measures, keeping the middle in sight. */
  function zoom(factor) {
    const { scale } = state;
    state.zoomed = true;
    const middle = (scroller.scrollLeft + scroller.clientWidth / 2) / scale.width;
    scale.width = Math.max(12, Math.min(480, scale.width * factor));
    sizePlane();
    scroller.scrollLeft = middle * scale.width - scroller.clientWidth / 2;
    render();
    interaction.redraw();
  }

  return {
    draw,
    zoom,
    /** The layer drawn over the notes, for what moves as the piece plays. */
    overlay: layers.overlay,
    /** The x in the overlay of measure `measure` (as numbered) plus `share` of it. */
    xOfMeasure: (measure, share = 0) => xOfMeasure(state.layout, state.scale, measure, share),
    /** The box of note `i` in the overlay's coordinates, or null when it is not drawn. */
    boxOf(i) {
      const { layout, scale } = state;
      if (i < 0 || i >= layout.count) return null;
      const semitone = layout.notes[i * F.count + F.semitone];
      return {
        x: xOf(layout, scale, i),
        y: rowOf(layout, scale, semitone),
        width: widthOf(layout, scale, i),
        height: scale.row,
      };
    },
    /** The plane's height. */
    height: () => heightOf(state.layout, state.scale),
    /** Whether x (in the overlay) is in sight, away from the edges. */
    inSight: (x) =>
      x >= scroller.scrollLeft && x <= scroller.scrollLeft + scroller.clientWidth * 0.9,
    /** Scrolls x into sight, near the left, as the roll's own scroll. */
    reveal(x) {
      ownScroll = Math.max(
        0,
        Math.min(x - scroller.clientWidth * 0.1, scroller.scrollWidth - scroller.clientWidth),
      );
      scroller.scrollLeft = ownScroll;
    },
    /** The number of notes drawn. */
    count: () => state.layout.count,
    /** The legend's row of voice `voice` (from 1), or null where the legend lists no row. */
    legendRow: (voice) => legend.querySelector(`li[data-voice="${voice}"]`),
  };
}
