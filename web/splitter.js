// The bar between the text panes and the piano roll: dragged, or moved with the arrow keys,
// it sets the roll's height (the custom property `property` of `container`), which the page
// keeps for the next visit.
const KEPT = 'pn2tavix.roll-height';
const STEP = 24; // px an arrow key moves it

/** Makes `bar` set the height of the pane below it, between `least` px and all but `least`. */
export function attachSplitter(bar, container, { property, least = 80 }) {
  const room = () => container.getBoundingClientRect().height;
  function set(height) {
    const most = Math.max(least, room() - 2 * least);
    const px = Math.round(Math.max(least, Math.min(most, height)));
    container.style.setProperty(property, `${px}px`);
    bar.setAttribute('aria-valuenow', String(Math.round((px / room()) * 100)));
    return px;
  }
  const current = () =>
    container.getBoundingClientRect().bottom - bar.getBoundingClientRect().bottom;

  bar.setAttribute('aria-valuemin', '0');
  bar.setAttribute('aria-valuemax', '100');
  bar.setAttribute('aria-valuenow', String(Math.round((current() / room()) * 100)));
  try {
    const kept = Number(localStorage.getItem(KEPT));
    if (kept > 0) set(kept);
  } catch {
    // No storage: the height is the page's own.
  }
  const keep = (px) => {
    try {
      localStorage.setItem(KEPT, String(px));
    } catch {
      // Not kept.
    }
  };

  bar.addEventListener('pointerdown', (e) => {
    bar.setPointerCapture(e.pointerId);
    const bottom = container.getBoundingClientRect().bottom;
    const move = (m) => set(bottom - m.clientY);
    const up = () => {
      bar.removeEventListener('pointermove', move);
      keep(current());
    };
    bar.addEventListener('pointermove', move);
    bar.addEventListener('lostpointercapture', up, { once: true });
    e.preventDefault();
  });
  bar.addEventListener('keydown', (e) => {
    const by = { ArrowUp: STEP, ArrowDown: -STEP, PageUp: 4 * STEP, PageDown: -4 * STEP }[e.key];
    if (by === undefined) return;
    keep(set(current() + by));
    e.preventDefault();
  });
}
