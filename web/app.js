// The page's wiring: where a piece comes from (typing, a file, a drop, an example, a link, the
// piece kept from last time), sending it to the worker as it changes, and showing what comes
// back in the output, the messages, the editor's marks and the piano roll.
import {
  createEditor,
  createOutputView,
  inSight,
  fillText,
  indexOf,
  markPlaying,
  placeOf,
  select,
  setText,
  showMessages,
} from './editor.js';
import { createRoll } from './roll.js';
import { noteAtPlace, noteMeaning } from './meaning.js';
import { NOTE_FIELDS as F } from './pn2tavix.mjs';
import { attachSplitter } from './splitter.js';
import { createPlayer } from './playback/player.js';
import { attachControls } from './playback/controls.js';
import { decode, encode, fromBase64url, partsOf, textOf, toBase64url } from './bytes.js';

const $ = (id) => document.getElementById(id);
const KEPT = 'pn2tavix.piece'; // the local storage key of the last piece
const KEEP_LIMIT = 2_000_000; // bytes: larger pieces are not kept, local storage is small
const LINK_LIMIT = 1_500_000; // characters of a link that browsers still open
const LISTED = 200; // messages listed; all of them are marked in the editor

// Where the piece came from and how its bytes are shown (see bytes.js).
const piece = { encoding: 'utf-8', name: null };
let shown = null; // the last result shown
let shownDoc = null; // the editor's text that it is the result of
let examples = []; // [{name, text}]
let rollTimer = 0;
const OUTPUT_PART = 1 << 17; // bytes of a large output laid out at a time

// The editor's range of a place that the converter gives: line, byte column and byte length.
function rangeOf({ line, column, length }) {
  const from = indexOf(editor, line, column, piece.encoding);
  return { from, to: indexOf(editor, line, column + length, piece.encoding) };
}

// The tip for the note token at `pos`: what the converter made of it, while the text is the
// one that it converted.
function describe(pos) {
  if (!shown?.notes || editor.state.doc !== shownDoc) return null;
  const { line, column } = placeOf(editor, pos, piece.encoding);
  const i = noteAtPlace(shown.notes, line, column);
  if (i < 0) return null;
  const base = i * F.count;
  const { from, to } = rangeOf({
    line,
    column: shown.notes[base + F.column],
    length: shown.notes[base + F.tokenLength],
  });
  return { from, to, text: noteMeaning(shown.notes, i, editor.state.sliceDoc(from, to)) };
}

const editor = createEditor($('editor'), {
  onChange: () => {
    forgetExample();
    scheduleConversion();
    unlink();
    clearTimeout(saveTimer);
    saveTimer = setTimeout(keep, 500);
  },
  describe,
  label: 'Music file',
});
const output = createOutputView($('output'), { label: 'tavix text' });
const roll = createRoll($('roll'), {
  onPick: ({ line, column, tokenLength, index }) => {
    const { from, to } = rangeOf({ line, column, length: tokenLength });
    select(editor, from, to);
    player.preview(index);
  },
  onMeasures: (first, last) => controls.measures(first, last),
  onScroll: () => controls.scrolled('roll'),
});

const player = createPlayer({ onChange: () => controls.showState() });
const controls = attachControls(player, roll, {
  mark: (ranges, reveal) => markPlaying(editor, ranges, { reveal }),
  inSight: (pos) => inSight(editor, pos),
  // Places of the text converted; none while the editor holds a newer one.
  rangeOf: (place) => (editor.state.doc === shownDoc ? rangeOf(place) : null),
  cursorPlace: () => placeOf(editor, editor.state.selection.main.head, piece.encoding),
});
// What the user does in the editor is theirs: it no longer follows the music.
for (const kind of ['wheel', 'pointerdown', 'keydown']) {
  editor.scrollDOM.addEventListener(kind, () => controls.scrolled('editor'), { passive: true });
}

function say(text) {
  $('notice').textContent = text;
}

// One conversion at a time: while the worker is busy, only the latest text waits for it.
let worker = null;
let sent = 0;
let busy = false;
let waiting = false;
let sentAt = 0;
let changedAt = null;
let sentDoc = null;
let saveTimer = 0;

// The output pane is busy from a change of the text until the result for it is shown.
function setBusy(on) {
  $('output-pane').setAttribute('aria-busy', String(on));
}

// A change is sent in a task of its own, after the one that made it: a paste or a file of
// megabytes is then not laid out and sent in one long task. Changes in between go together.
let scheduled = false;
function scheduleConversion() {
  setBusy(true);
  if (scheduled) return;
  scheduled = true;
  changedAt = performance.now();
  setTimeout(() => {
    scheduled = false;
    requestConversion();
  }, 0);
}

function requestConversion() {
  setBusy(true);
  if (busy) {
    waiting = true;
    return;
  }
  busy = true;
  sentAt = changedAt ?? performance.now();
  changedAt = null;
  sentDoc = editor.state.doc;
  worker ??= startWorker();
  const id = ++sent;
  sendInParts(id, sentDoc, 0);
  setTimeout(() => {
    if (busy && sent === id) showStatus('converting', 'Converting…');
  }, 150);
}

// The text goes to the worker a part at a time, one part a task, each part whole lines: a
// text of megabytes is not copied in one long task. The worker converts after the last.
const SENT_PART = 1 << 18; // characters
function sendInParts(id, doc, from) {
  if (id !== sent || worker === null) return;
  const to = from + SENT_PART >= doc.length ? doc.length : doc.lineAt(from + SENT_PART).to;
  const last = to === doc.length;
  // The line break after a part is the next part's first character.
  worker.postMessage({ id, part: doc.sliceString(from, to), last, encoding: piece.encoding });
  if (!last) setTimeout(() => sendInParts(id, doc, to), 0);
}

function startWorker() {
  const started = new Worker(new URL('./worker.js', import.meta.url), { type: 'module' });
  started.onmessage = ({ data }) => {
    busy = false;
    // A result for a text that has changed since would mark the wrong places.
    if (waiting) {
      waiting = false;
      requestConversion();
      return;
    }
    show(data);
  };
  // The worker could not be loaded, or failed outside a conversion: it is let go, and the next
  // change starts a new one.
  started.onerror = (e) => {
    started.terminate();
    worker = null;
    busy = false;
    waiting = false;
    setBusy(false);
    showStatus('failed', `The converter could not be loaded: ${e.message ?? 'unknown error'}`);
  };
  return started;
}

function showStatus(status, text) {
  const el = $('status');
  el.dataset.status = status;
  el.textContent = text;
}

const STATUS = {
  0: ['converted', 'Converted'],
  1: ['error', 'Error: the conversion stopped'],
  2: ['mismatch', 'Measure-number mismatch: the conversion stopped'],
};

// The column said in characters, as the editor counts them: the converter's is in bytes, which
// differ from characters after any letter beyond ASCII in the line.
function placeText(m) {
  if (m.line === null) return 'no place in the input';
  const doc = editor.state.doc;
  if (m.line > doc.lines) return `line ${m.line}, column ${m.column}`;
  const line = doc.line(m.line);
  const upTo = indexOf(editor, m.line, m.column, piece.encoding) - line.from;
  return `line ${m.line}, column ${[...line.text.slice(0, upTo)].length + 1}`;
}

function goTo(place) {
  if (place.line === null) return;
  const { from, to } = rangeOf(place);
  select(editor, from, to);
}

// A button that leads to the place of a message or hint; where there is none, plain text.
function linkTo(place, className, ...content) {
  const el = document.createElement(place.line === null ? 'div' : 'button');
  el.className = className;
  el.append(...content);
  if (place.line !== null) {
    el.type = 'button';
    el.addEventListener('click', () => goTo(place));
  }
  return el;
}

function listMessages(messages) {
  const list = $('messages');
  const items = messages.slice(0, LISTED).map((m) => {
    const item = document.createElement('li');
    item.className = `message ${m.printed ? m.severity : 'check'}`;
    const kind = m.printed ? m.severity : 'check';
    const where = document.createElement('span');
    where.className = 'where';
    where.textContent = `${kind}, ${placeText(m)}`;
    const text = document.createElement('span');
    text.className = 'text';
    text.textContent = m.text;
    item.append(linkTo(m, 'place', where, text));
    if (m.hints.length > 0) {
      const hints = document.createElement('ul');
      for (const h of m.hints) {
        const hint = document.createElement('li');
        hint.append(linkTo(h, 'hint', h.line === null ? h.text : `${h.text} (line ${h.line})`));
        hints.append(hint);
      }
      item.append(hints);
    }
    return item;
  });
  if (messages.length > LISTED) {
    const more = document.createElement('li');
    more.textContent = `…and ${messages.length - LISTED} more, marked in the editor.`;
    items.push(more);
  }
  list.replaceChildren(...items);
  $('messages-empty').hidden = messages.length > 0;
}

function markMessages(messages) {
  const marks = [];
  for (const m of messages) {
    if (m.line === null) continue;
    const severity = m.printed ? m.severity : 'info';
    marks.push({ ...rangeOf(m), severity, text: m.text });
    for (const h of m.hints) {
      if (h.line !== null) marks.push({ ...rangeOf(h), severity: 'info', text: h.text });
    }
  }
  showMessages(editor, marks);
}

function show(result) {
  const started = performance.now();
  setBusy(false);
  clearTimeout(rollTimer);
  if (result.failure) {
    showStatus('failed', `The converter could not convert this piece: ${result.failure}`);
    return;
  }
  shown = result;
  shownDoc = sentDoc;
  const [status, text] = STATUS[result.status] ?? ['error', `Status ${result.status}`];
  const warnings = result.messages.filter((m) => m.severity === 'warning').length;
  showStatus(
    status,
    warnings > 0 ? `${text} (${warnings} warning${warnings > 1 ? 's' : ''})` : text,
  );
  const partial = result.status !== 0;
  $('output-pane').classList.toggle('partial', partial);
  $('partial').hidden = !partial;
  // A large output goes into its view a part at a time, decoded as it goes.
  if (result.bytes.length > OUTPUT_PART || output.state.doc.length > OUTPUT_PART) {
    fillText(output, partsOf(result.bytes, piece.encoding, OUTPUT_PART));
  } else {
    setText(output, decode(result.bytes, piece.encoding));
  }
  listMessages(result.messages);
  markMessages(result.messages);
  // While it plays, a text that does not convert (as it often is halfway through an edit)
  // leaves the music as it was.
  if (result.plan && (result.status === 0 || !player.playing)) player.load(result.plan);
  for (const id of ['play', 'stop', 'play-cursor']) $(id).disabled = !result.plan;
  $('download-midi').disabled = result.status !== 0;
  $('download').disabled = false;
  $('copy').disabled = false;
  clearTimeout(rollTimer);
  let redrawMs = performance.now() - started;
  // The roll is drawn in a task of its own.
  rollTimer = setTimeout(() => {
    const drawing = performance.now();
    const errors = result.messages.filter((m) => m.severity === 'error' && m.measure !== null);
    roll.draw(
      result.notes,
      result.title,
      errors.map(({ measure, text }) => ({ measure, severity: 'error', text })),
    );
    controls.legend();
    redrawMs += performance.now() - drawing;
    showDone(result, redrawMs);
  }, 0);
}

// The time from the change to the frame that shows its result, the worker's time to convert
// and the page's to redraw, for the benchmark.
function showDone({ id, convertMs, inputSize }, redrawMs) {
  requestAnimationFrame(() => {
    performance.clearMeasures('pn2tavix:shown');
    performance.measure('pn2tavix:shown', {
      start: sentAt,
      detail: { convertMs, redrawMs, inputSize },
    });
    document.body.dataset.shown = String(id);
  });
}

// --- Where a piece comes from ---

function load(bytes, name, example = '', { text, encoding } = textOf(bytes)) {
  $('examples').value = example;
  piece.encoding = encoding;
  piece.name = name;
  $('encoding').textContent =
    encoding === 'utf-8' ? 'UTF-8' : 'not UTF-8: shown one character a byte, kept exactly';
  // The same text again changes nothing in the editor, and so sends nothing by itself.
  if (!setText(editor, text)) requestConversion();
}

async function openFile(file) {
  try {
    const bytes = new Uint8Array(await file.arrayBuffer());
    const decoded = textOf(bytes);
    // Read and decoded, then laid out in the editor from the next task on.
    await new Promise((resolve) => setTimeout(resolve, 0));
    load(bytes, file.name, '', decoded);
    say(`Opened ${file.name}.`);
  } catch (e) {
    say(`Could not read ${file.name}: ${e.message}`);
  }
}

function pieceFromLink() {
  const hash = location.hash;
  if (!hash.startsWith('#piece=')) return null;
  const bytes = fromBase64url(hash.slice('#piece='.length));
  if (bytes === null) say('The link holds no piece: its text after "#piece=" is not base64url.');
  return bytes;
}

// An address that holds a piece must never hold an older one than the editor: a reload, which
// goes to the address as it is when it starts, would show it. So an edit takes the piece out of
// the address at once, and keep() puts the new one back.
let linked = false; // whether the address is to carry the piece
function unlink() {
  if (!location.hash.startsWith('#piece=')) return;
  linked = true;
  history.replaceState(null, '', location.pathname + location.search);
}

// Keeps the editor's piece for the next visit, and puts it in the address if that held one.
// A character is at least a byte, so a piece of more characters than can be kept is told
// apart without encoding it: that would hold up the page for nothing.
function keep() {
  clearTimeout(saveTimer);
  saveTimer = 0;
  const { doc } = editor.state;
  let kept = { tooLarge: doc.length, name: piece.name };
  if (doc.length <= KEEP_LIMIT) {
    const bytes = encode(doc.toString(), piece.encoding);
    const text = toBase64url(bytes);
    if (bytes.length <= KEEP_LIMIT) kept = { piece: text, name: piece.name };
    else kept.tooLarge = bytes.length;
    if (linked && text.length <= LINK_LIMIT) history.replaceState(null, '', `#piece=${text}`);
  }
  try {
    localStorage.setItem(KEPT, JSON.stringify(kept));
  } catch {
    // Storage full or turned off: the piece is simply not kept.
  }
}

// The piece kept last time: {bytes, name}, or {tooLarge, name} for one too large to keep.
function kept() {
  try {
    const { piece: text, tooLarge, name } = JSON.parse(localStorage.getItem(KEPT));
    if (tooLarge) return { tooLarge, name };
    const bytes = fromBase64url(text);
    return bytes && { bytes, name };
  } catch {
    return null;
  }
}

function fileName(title = null, extension = '.tavix') {
  const base = title || piece.name?.replace(/\.[^.]*$/, '') || shown?.title || 'piece';
  const safe = base
    .replace(/[^\p{L}\p{N} ._-]+/gu, '_')
    .trim()
    .slice(0, 80);
  return `${safe || 'piece'}${extension}`;
}

$('open').addEventListener('click', () => $('file').click());
$('file').addEventListener('change', () => {
  const [file] = $('file').files;
  if (file) openFile(file);
  $('file').value = '';
});

// A file dropped anywhere, the editor included, is read as bytes, not as text.
document.addEventListener('dragover', (e) => {
  if (!e.dataTransfer.types.includes('Files')) return;
  e.preventDefault();
  document.body.classList.add('dropping');
});
document.addEventListener('dragleave', (e) => {
  if (e.relatedTarget === null) document.body.classList.remove('dropping');
});
document.addEventListener(
  'drop',
  (e) => {
    document.body.classList.remove('dropping');
    const [file] = e.dataTransfer.files;
    if (!file) return;
    e.preventDefault();
    e.stopPropagation();
    openFile(file);
  },
  true,
);

$('copy').addEventListener('click', async () => {
  try {
    await navigator.clipboard.writeText(decode(shown.bytes, piece.encoding));
    say('The tavix text is copied.');
  } catch {
    say('The browser refused the clipboard: select the output and copy it.');
  }
});

function save(bytes, type, name) {
  const url = URL.createObjectURL(new Blob([bytes], { type }));
  const a = document.createElement('a');
  a.href = url;
  a.download = name;
  a.click();
  setTimeout(() => URL.revokeObjectURL(url), 10_000);
}

$('download').addEventListener('click', () => save(shown.bytes, 'text/plain', fileName()));
// The MIDI file is made only when asked for, by a worker of its own: making it with every
// change would double the time a key takes to show.
function midiOf(doc) {
  return new Promise((resolve, reject) => {
    const once = new Worker(new URL('./worker.js', import.meta.url), { type: 'module' });
    once.onmessage = ({ data }) => {
      once.terminate();
      if (data.midi) resolve(data.midi);
      else reject(new Error(data.failure));
    };
    once.onerror = (e) => {
      once.terminate();
      reject(new Error(e.message));
    };
    const text = doc.toString();
    once.postMessage({ id: 1, part: text, last: true, encoding: piece.encoding, midiOnly: true });
  });
}

$('download-midi').addEventListener('click', async () => {
  const result = shown;
  try {
    save(await midiOf(shownDoc), 'audio/midi', fileName(result.title, '.mid'));
  } catch (e) {
    say(`The MIDI file could not be made: ${e.message}`);
  }
});

$('link').addEventListener('click', async () => {
  const bytes = encode(editor.state.doc.toString(), piece.encoding);
  const hash = `#piece=${toBase64url(bytes)}`;
  if (hash.length > LINK_LIMIT) {
    say('This piece is too large for a link: save it as a file instead.');
    return;
  }
  history.replaceState(null, '', hash);
  try {
    await navigator.clipboard.writeText(location.href);
    say('The link to this piece is copied. The piece travels in the link itself.');
  } catch {
    say('The address bar now holds the link to this piece.');
  }
});

attachSplitter($('splitter'), document.querySelector('main'), { property: '--roll-height' });
// A reload or a closed tab does not wait for the timer: the latest text is kept at once.
window.addEventListener('pagehide', () => {
  if (saveTimer) keep();
});
$('zoom-in').addEventListener('click', () => roll.zoom(1.5));
$('zoom-out').addEventListener('click', () => roll.zoom(1 / 1.5));

window.addEventListener('hashchange', () => {
  const bytes = pieceFromLink();
  if (bytes) load(bytes, null);
});

// The Example menu names an example only while the editor holds its text.
function forgetExample() {
  const menu = $('examples');
  const example = examples[Number(menu.value)];
  if (menu.value === '' || !example) return;
  const { doc } = editor.state;
  if (doc.length !== example.text.length || doc.toString() !== example.text) menu.value = '';
}

async function start() {
  try {
    examples = await (await fetch('./examples.json')).json();
  } catch {
    say('The examples could not be loaded.');
  }
  const menu = $('examples');
  for (const [i, example] of examples.entries()) {
    const option = document.createElement('option');
    option.value = String(i);
    option.textContent = example.name;
    menu.append(option);
  }
  menu.addEventListener('change', () => {
    const example = examples[Number(menu.value)];
    if (example) load(new TextEncoder().encode(example.text), null, menu.value);
  });
  const first = pieceFromLink() ?? null;
  if (first) return load(first, null);
  const last = kept();
  if (last?.tooLarge) {
    const size = `${(last.tooLarge / 1e6).toFixed(1)} MB`;
    const what = last.name ? `${last.name} (${size})` : `The last piece (${size})`;
    say(`${what} was too large to keep in this browser: open its file again.`);
  } else if (last) return load(last.bytes, last.name);
  if (examples.length > 0) return load(new TextEncoder().encode(examples[0].text), null, '0');
  return requestConversion();
}

start();
