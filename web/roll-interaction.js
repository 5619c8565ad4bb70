// What the pointer and the keyboard do in the roll: the note under the pointer is outlined and
// told in a tip, a click picks it; in the roll, the arrow keys, Page Up/Down, Home and End go
// from note to note in time and Enter or Space picks the note. Its one piece of state is the
// note chosen with the keyboard (a place in the layout's byMeasure, or -1).
import { NOTE_FIELDS as F } from './pn2tavix.mjs';
import { HEAD, field, measureAt, noteAt, rowOf, timeOrder, xOf } from './roll-layout.js';
import { outline } from './roll-draw.js';
import { noteName } from './meaning.js';

/**
 * Makes the roll's elements answer the pointer and the keyboard. `view()` gives the roll as
 * it is drawn now ({layout, scale, keysWidth}); `render()` draws the measures in sight;
 * `onPick(i)` is called with the note (index) picked; `onMeasures(from, to)` with the
 * measures (from 0) that a press and release on the measure numbers spans. Returns {reset},
 * which forgets the chosen note when the notes change.
 */
export function attachInteraction(
  { frame, scroller, layers, tip },
  { view, render, onPick, onMeasures },
) {
  let current = -1;
  const { plane, hover, chosen } = layers;

  function showTip(k) {
    const { layout, scale, keysWidth } = view();
    const i = layout.byMeasure[k];
    const where = `measure ${field(layout, i, F.measure)}, voice ${field(layout, i, F.voice)}`;
    tip.textContent = `${noteName(layout.notes, i)}: ${where}, line ${field(layout, i, F.line)}`;
    tip.hidden = false;
    // Inside the frame, below the note or, where there is no room, above it.
    const x = keysWidth + xOf(layout, scale, i) - scroller.scrollLeft;
    tip.style.left = `${Math.max(0, Math.min(x, frame.clientWidth - tip.offsetWidth))}px`;
    const top = rowOf(layout, scale, field(layout, i, F.semitone));
    const below = top + scale.row + 4;
    const fits = below + tip.offsetHeight <= frame.clientHeight;
    tip.style.top = `${fits ? below : Math.max(0, top - tip.offsetHeight - 4)}px`;
  }

  function pointed(e) {
    const box = plane.getBoundingClientRect();
    const { layout, scale } = view();
    return noteAt(layout, scale, e.clientX - box.left, e.clientY - box.top);
  }

  function show(rect, k) {
    const { layout, scale } = view();
    outline(rect, layout, scale, k < 0 ? -1 : layout.byMeasure[k]);
  }

  function choose(k) {
    const { layout, scale } = view();
    if (layout.count === 0) return;
    k = Math.max(0, Math.min(layout.count - 1, k));
    timeOrder(layout, measureAt(layout, k));
    current = k;
    const x = xOf(layout, scale, layout.byMeasure[current]);
    if (
      x < scroller.scrollLeft ||
      x > scroller.scrollLeft + scroller.clientWidth - scale.width / 4
    ) {
      scroller.scrollLeft = Math.max(0, x - scroller.clientWidth / 3);
    }
    render();
    show(chosen, current);
    showTip(current);
  }

  plane.addEventListener('pointermove', (e) => {
    const k = pointed(e);
    show(hover, k);
    plane.classList.toggle('pointing', k >= 0);
    if (k >= 0) showTip(k);
    else if (current < 0 || document.activeElement !== scroller) tip.hidden = true;
  });
  plane.addEventListener('pointerleave', () => {
    show(hover, -1);
    if (document.activeElement !== scroller) tip.hidden = true;
  });
  // The strip of measure numbers: a click chooses a measure, a drag a range of them.
  let pressed = -1;
  const measureOf = (e) => {
    const box = plane.getBoundingClientRect();
    if (e.clientY - box.top >= HEAD) return -1;
    const m = Math.floor((e.clientX - box.left) / view().scale.width);
    return m >= 0 && m < view().layout.measures ? m : -1;
  };
  plane.addEventListener('pointerdown', (e) => {
    pressed = measureOf(e);
  });
  plane.addEventListener('pointerup', (e) => {
    const m = measureOf(e);
    if (pressed >= 0 && m >= 0) onMeasures(pressed, m);
    pressed = -1;
  });
  plane.addEventListener('click', (e) => {
    const k = pointed(e);
    if (k < 0) return;
    // Putting the measure in time order moves its notes: the note is found again after.
    timeOrder(view().layout, measureAt(view().layout, k));
    current = pointed(e);
    show(chosen, current);
    onPick(view().layout.byMeasure[current]);
  });
  scroller.addEventListener('keydown', (e) => {
    const moves = { ArrowRight: 1, ArrowLeft: -1, PageDown: 20, PageUp: -20 };
    if (e.key in moves) choose(current + moves[e.key]);
    else if (e.key === 'Home') choose(0);
    else if (e.key === 'End') choose(view().layout.count - 1);
    else if ((e.key === 'Enter' || e.key === ' ') && current >= 0) {
      onPick(view().layout.byMeasure[current]);
    } else return;
    e.preventDefault();
  });
  scroller.addEventListener('blur', () => {
    tip.hidden = true;
  });

  return {
    reset() {
      current = -1;
      tip.hidden = true;
      show(hover, -1);
      show(chosen, -1);
    },
    /** Draws the outline of the chosen note again, after the scale changed. */
    redraw() {
      show(chosen, current);
    },
  };
}
