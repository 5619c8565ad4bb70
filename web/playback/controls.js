// The page's playback: the transport's controls, mute and solo in the roll's legend, and what
// follows the music: a line in the roll at the sounding place, the sounding notes lit there
// and their tokens marked in the editor. Each frame reads the place from the player's clock;
// the roll and the editor follow it unless the user has scrolled them away.
import { measureSpan, noteAtOrBefore, placeAt } from './plan.js';
import { svg } from '../roll-draw.js';

const $ = (id) => document.getElementById(id);
const MARKED = 64; // tokens marked in the editor at most

/**
 * Wires the controls to `player`. `roll` is the page's roll; `editor` has
 * `mark(ranges, reveal)`, `inSight(pos)`, `rangeOf(place)` (the editor's range of a token's
 * place, or null while the editor holds a text newer than the plan) and `cursorPlace()`.
 */
export function attachControls(player, roll, editor) {
  const cursor = svg('line', { class: 'play-cursor', visibility: 'hidden' });
  const lit = svg('g', { class: 'play-lit' });
  roll.overlay.append(lit, cursor);
  const follow = { roll: true, editor: true };
  let frame = 0;
  let litKey = '';

  const play = $('play');
  function showState() {
    const on = player.playing;
    play.textContent = on ? 'Pause' : 'Play';
    play.setAttribute('aria-pressed', String(on));
    play.title = `${on ? 'Pause' : 'Play'} (Alt+P)`;
    document.body.classList.toggle('playing', on);
    if (on && !frame) frame = requestAnimationFrame(draw);
    if (!on) clear();
  }

  function clear() {
    cancelAnimationFrame(frame);
    frame = 0;
    cursor.setAttribute('visibility', 'hidden');
    lit.replaceChildren();
    litKey = '';
    editor.mark([], false);
    $('play-place').textContent = '';
  }

  // The place of the cursor: that of the first voice heard that is within a measure.
  function cursorPlace(plan, sec) {
    for (let v = 1; v < plan.voices.length; v++) {
      if (!plan.voices[v] || !player.audible(v)) continue;
      const place = placeAt(plan, v, sec);
      if (place) return place;
    }
    return null;
  }

  function draw() {
    frame = requestAnimationFrame(draw);
    const { sec, plan } = player.position();
    if (!plan) return;
    const place = cursorPlace(plan, sec);
    if (place) {
      const x = roll.xOfMeasure(place.number, place.share);
      cursor.setAttribute('x1', x);
      cursor.setAttribute('x2', x);
      cursor.setAttribute('y1', 0);
      cursor.setAttribute('y2', roll.height());
      cursor.setAttribute('visibility', 'visible');
      if (roll.inSight(x)) follow.roll = true;
      else if (follow.roll) roll.reveal(x);
      $('play-place').textContent = `measure ${place.number} · ${sec.toFixed(1)} s`;
    }
    // The notes sounding: lit in the roll, their tokens marked in the editor, when they change.
    // By voice, so that the editor follows the first voice's tokens.
    const sounding = plan.count === roll.count() ? player.sounding().sort((a, b) => a - b) : [];
    const key = sounding.join();
    if (key === litKey) return;
    litKey = key;
    // One path a voice colour, as the roll draws its notes.
    const paths = new Map();
    for (const i of sounding) {
      const box = roll.boxOf(i);
      if (!box) continue;
      const colour = `v${(plan.voice[i] - 1) % 8}`;
      const { x, y, width, height } = box;
      paths.set(colour, `${paths.get(colour) ?? ''}M${x} ${y}h${width}v${height}h${-width}z`);
    }
    lit.replaceChildren(
      ...[...paths].map(([colour, d]) => svg('path', { class: `lit ${colour}`, d })),
    );
    // In the editor, the tokens in sight (a piece of many voices has many at once), or the
    // first, to bring it into sight while the editor follows.
    const ranges = [];
    for (const i of sounding) {
      const range = editor.rangeOf({
        line: plan.line[i],
        column: plan.column[i],
        length: plan.tokenLength[i],
      });
      if (range) ranges.push(range);
    }
    const inSight = ranges.filter((r) => editor.inSight(r.from)).slice(0, MARKED);
    if (inSight.length > 0) follow.editor = true;
    const reveal = inSight.length === 0 && follow.editor;
    editor.mark(inSight.length > 0 ? inSight : ranges.slice(0, 1), reveal);
  }

  // Where to play from.
  const fromMeasure = (number, voice = 0) => measureSpan(player.plan, number, voice)?.on ?? 0;
  function fromCursor() {
    const { plan } = player;
    const place = editor.cursorPlace();
    const i = place ? noteAtOrBefore(plan, place.line, place.column) : -1;
    return i < 0 ? 0 : fromMeasure(plan.measure[i], plan.voice[i]);
  }
  function start(from) {
    follow.roll = true;
    follow.editor = true;
    player.play(from);
  }

  play.addEventListener('click', () => (player.playing ? player.pause() : start()));
  $('stop').addEventListener('click', () => player.stop());
  $('play-cursor').addEventListener('click', () => start(fromCursor()));
  // The shortcut works wherever the focus is, the editor included.
  document.addEventListener(
    'keydown',
    (e) => {
      if (!(e.altKey && e.code === 'KeyP') || e.ctrlKey || e.metaKey) return;
      e.preventDefault();
      if (player.playing) player.pause();
      else start();
    },
    true,
  );

  // The loop: two measure numbers, or a range dragged across the roll's measure numbers.
  const loop = $('loop');
  const loopFirst = $('loop-first');
  const loopLast = $('loop-last');
  function setLoop() {
    const first = Number(loopFirst.value);
    const last = Number(loopLast.value);
    const valid = loop.checked && first >= 1 && last >= first;
    player.setLoop(valid ? { first, last } : null);
  }
  for (const el of [loop, loopFirst, loopLast]) el.addEventListener('change', setLoop);

  const rate = $('rate');
  rate.addEventListener('input', () => {
    $('rate-shown').textContent = `${rate.value} %`;
    player.setRate(Number(rate.value) / 100);
  });
  $('sound').addEventListener('change', (e) => player.setSound(e.target.value));
  $('volume').addEventListener('input', (e) => player.setVolume(Number(e.target.value) / 100));
  $('width').addEventListener('input', (e) => player.setWidth(Number(e.target.value) / 100));

  const muted = new Set();
  const solo = new Set();
  function toggle(voice, alone, button) {
    const set = alone ? solo : muted;
    const on = !set.has(voice);
    if (on) set.add(voice);
    else set.delete(voice);
    button.setAttribute('aria-pressed', String(on));
    player.setMuted(voice, on, alone);
  }

  return {
    /** After the roll is drawn: the legend's mute and solo buttons, as they were. */
    legend() {
      for (let v = 1; ; v++) {
        const row = roll.legendRow(v);
        if (!row) break;
        if (row.querySelector('button')) continue;
        for (const [alone, letter, what] of [
          [false, 'M', 'Mute'],
          [true, 'S', 'Solo'],
        ]) {
          const button = document.createElement('button');
          button.type = 'button';
          button.className = alone ? 'solo' : 'mute';
          button.textContent = letter;
          button.title = `${what} voice ${v}`;
          button.setAttribute('aria-label', `${what} voice ${v}`);
          button.setAttribute('aria-pressed', String((alone ? solo : muted).has(v)));
          button.addEventListener('click', () => toggle(v, alone, button));
          row.append(button);
        }
      }
    },
    /** The roll's measures chosen: one plays from it, a range becomes the loop. */
    measures(first, last) {
      if (first === last) {
        start(fromMeasure(first));
        return;
      }
      loopFirst.value = String(first);
      loopLast.value = String(last);
      loop.checked = true;
      setLoop();
      start(fromMeasure(first));
    },
    /** The user scrolled the roll or the editor: it stops following until it is in sight. */
    scrolled(what) {
      if (player.playing) follow[what] = false;
    },
    showState,
  };
}
