// The two text panes: the editor of the music file, with the music language's highlighting and
// the converter's messages marked where they point, and the read-only view of the tavix text.
// Places come as the converter gives them (line, and column in bytes) and are turned into the
// editor's own here.
import { EditorState, RangeSetBuilder, StateEffect, StateField } from '@codemirror/state';
import {
  Decoration,
  EditorView,
  drawSelection,
  highlightActiveLine,
  highlightActiveLineGutter,
  highlightSpecialChars,
  keymap,
  lineNumbers,
} from '@codemirror/view';
import { defaultKeymap, history, historyKeymap } from '@codemirror/commands';
import { HighlightStyle, StreamLanguage, syntaxHighlighting } from '@codemirror/language';
import { highlightSelectionMatches, search, searchKeymap } from '@codemirror/search';
import { lintGutter, setDiagnostics } from '@codemirror/lint';
import { Tag, tagHighlighter, tags } from '@lezer/highlight';
import { indexOfColumn } from './bytes.js';

// What each stretch of the music file is, as the converter reads it.
const kinds = Object.fromEntries(
  [
    'title', // free text up to '/', at the start of every voice
    'statement', // units, key, end, the clefs and the articulation letters...
    'argument', // the tokens a statement takes after it
    'measure', // a measure number: digits alone
    'bar', // a bar line '/'
    'pitch', // a note's pitch number
    'value', // a note value
    'accidental', // ( sharp, - flat, ) natural
    'sign', // dots, x, triplets, shifts and articulation inside a note
    'comma', // ',' repeats the previous note or rest length
    'rest', // 'r'
    'passed', // capital letters alone: passed over
    'unread', // after the last voice: never read
  ].map((name) => [name, Tag.define()]),
);

const musicLook = HighlightStyle.define(
  Object.entries({
    title: { color: '#7b3a00', fontWeight: '600' },
    statement: { color: '#6d2f9c', fontWeight: '600' },
    argument: { color: '#6d2f9c' },
    measure: { color: '#1b6a6a', fontWeight: '600' },
    bar: { color: '#c02a65', fontWeight: '700' },
    pitch: { color: '#1f4fa8' },
    value: { color: '#2b7a2b' },
    accidental: { color: '#b3261e', fontWeight: '600' },
    sign: { color: '#8a5a00' },
    comma: { color: '#c02a65' },
    rest: { color: '#707070', fontStyle: 'italic' },
    passed: { color: '#9a9a9a' },
    unread: { color: '#9a9a9a' },
  }).map(([name, style]) => ({ tag: kinds[name], ...style })),
);
// Each part has a class of its own as well, by which it is found on the page.
const musicClasses = tagHighlighter(
  Object.entries(kinds).map(([name, tag]) => ({ tag, class: `m-${name}` })),
);

// The statements and how many tokens each takes as its argument.
const statementArguments = new Map([
  ['units', 1],
  ['key', 1],
  ['tempo', 1],
  ['up', 1],
  ['down', 1],
  ['rest', 1],
  ['copy', 2],
  ['end', 0],
  ['treble', 0],
  ['alto', 0],
  ['tenor', 0],
  ['bass', 0],
  ['l', 0],
  ['e', 0],
  ['h', 0],
  ['q', 0],
  ['s', 0],
]);

// A token ends only at a blank, a tab or a line break; the editor's lines end at '\n' alone,
// so a '\r' is one of the characters of a line.
const blank = /[ \t\r]/;
const tokenText = /^[^ \t\r]+/;

// One part of a note or rest token: the first number is the pitch, a later one the value.
function notePart(stream, state) {
  const rest = stream.string.slice(stream.pos, stream.pos + state.noteLeft);
  const digits = /^[0-9]+/.exec(rest);
  let length = 1;
  let kind = 'sign';
  if (digits) {
    length = digits[0].length;
    kind = state.numbers++ === 0 && !state.isRest ? 'pitch' : 'value';
  } else if (rest[0] === 'r' && state.first) {
    kind = 'rest';
    state.isRest = true;
  } else if (rest[0] === ',') {
    kind = 'comma';
  } else if ('()-'.includes(rest[0])) {
    kind = 'accidental';
  }
  state.first = false;
  stream.pos += length;
  state.noteLeft -= length;
  return kind;
}

const music = StreamLanguage.define({
  name: 'pdp1-music',
  startState: () => ({ mode: 'title', titleLength: 0, voices: 0, args: 0, noteLeft: 0 }),
  token(stream, state) {
    if (state.mode === 'unread') {
      stream.skipToEnd();
      return 'unread';
    }
    if (state.mode === 'title') {
      // Blanks, line breaks and '@' before a title are skipped.
      if (state.titleLength === 0 && stream.eatWhile(/[ \t\r@]/)) return null;
      if (stream.eat('/')) {
        // An empty title after a voice ends the piece: nothing after it is read.
        state.mode = state.titleLength === 0 && state.voices > 0 ? 'unread' : 'tokens';
        state.voices++;
        return 'title';
      }
      const before = stream.pos;
      stream.eatWhile(/[^/]/);
      state.titleLength += stream.pos - before;
      return 'title';
    }
    if (state.noteLeft > 0) return notePart(stream, state);
    if (stream.eatWhile(blank)) return null;
    const whole = stream.match(tokenText, false)[0];
    if (whole === '/') {
      stream.next();
      return 'bar';
    }
    // A '/' against the end of a token is a bar line of its own: it is read next.
    const word = whole.endsWith('/') ? whole.slice(0, -1) : whole;
    if (state.args > 0) {
      state.args--;
      stream.pos += word.length;
      return 'argument';
    }
    if (statementArguments.has(word)) {
      state.args = statementArguments.get(word);
      stream.pos += word.length;
      if (word === 'end') {
        state.mode = 'title';
        state.titleLength = 0;
      }
      return 'statement';
    }
    if (/^[0-9]+$/.test(word) || /^[A-Z]+$/.test(word)) {
      stream.pos += word.length;
      return /^[0-9]/.test(word) ? 'measure' : 'passed';
    }
    Object.assign(state, { noteLeft: word.length, numbers: 0, isRest: false, first: true });
    return notePart(stream, state);
  },
  tokenTable: kinds,
});

// The tavix text: blocks, "$" settings, note lines and the comments that close measures.
const tavix = StreamLanguage.define({
  name: 'tavix',
  token(stream) {
    if (stream.sol()) {
      if (stream.match(/^#.*/)) return 'comment';
      if (stream.match(/^\$[a-z_]+/)) return 'keyword';
      if (stream.match(/^@[a-z]+/)) return 'keyword';
      if (stream.match(/^\/L[0-9]+:[0-9]+\//)) return 'number';
    }
    stream.skipToEnd();
    return null;
  },
});

const tavixHighlight = HighlightStyle.define([
  { tag: tags.comment, color: '#707070' },
  { tag: tags.keyword, color: '#6d2f9c' },
  { tag: tags.number, color: '#1f4fa8' },
]);

// The lines that hold an error, marked as a whole so that they show from afar.
const setErrorLines = StateEffect.define();
const errorLines = StateField.define({
  create: () => Decoration.none,
  update(lines, tr) {
    for (const e of tr.effects) if (e.is(setErrorLines)) return e.value;
    return tr.docChanged ? lines.map(tr.changes) : lines;
  },
  provide: (field) => EditorView.decorations.from(field),
});

const look = EditorView.theme({
  '&': { height: '100%', backgroundColor: '#fff' },
  '.cm-scroller': {
    fontFamily: 'ui-monospace, "DejaVu Sans Mono", "Liberation Mono", monospace',
    fontSize: '13.5px',
  },
  '.m-error-line': { backgroundColor: '#fdecec' },
});

// The page allows no style of its own inline: CodeMirror adds its styles to a shadow root as
// constructed style sheets, which the policy does not govern, where in the document it would
// write a <style> element.
function shadowOf(host) {
  return host.shadowRoot ?? host.attachShadow({ mode: 'open' });
}

const common = () => [
  look,
  EditorState.lineSeparator.of('\n'),
  lineNumbers(),
  highlightActiveLineGutter(),
  highlightSpecialChars(),
  drawSelection(),
  highlightActiveLine(),
  search({ top: true }),
  keymap.of([...defaultKeymap, ...searchKeymap]),
];

// A view in its own shadow root (see shadowOf), with the parts every view has, its label for
// screen readers, and `extensions` of its own.
function viewIn(parent, label, extensions) {
  const root = shadowOf(parent);
  return new EditorView({
    parent: root,
    root,
    state: EditorState.create({
      extensions: [
        common(),
        ...extensions,
        EditorView.contentAttributes.of({ 'aria-label': label }),
      ],
    }),
  });
}

/** The editor of the music file; `onChange` is called after every change of its text. */
export function createEditor(parent, { onChange, label }) {
  return viewIn(parent, label, [
    history(),
    keymap.of(historyKeymap),
    highlightSelectionMatches(),
    music,
    syntaxHighlighting(musicLook),
    syntaxHighlighting(musicClasses),
    lintGutter(),
    errorLines,
    EditorView.updateListener.of((u) => {
      if (u.docChanged) onChange(u);
    }),
  ]);
}

/** The tavix text, read-only: it can be searched, selected and copied. */
export function createOutputView(parent, { label }) {
  return viewIn(parent, label, [
    EditorState.readOnly.of(true),
    tavix,
    syntaxHighlighting(tavixHighlight),
  ]);
}

const PART = 1 << 18; // characters of a large text laid out at a time
const filling = new WeakMap(); // a view's timer for the part of its text still to come

// The end of the part of `text` that begins at `from`: after a line break, so that no line
// is cut in two.
function partEnd(text, from) {
  if (text.length - from <= PART) return text.length;
  const lineEnd = text.indexOf('\n', from + PART);
  return lineEnd < 0 ? text.length : lineEnd + 1;
}

/**
 * Replaces the text of `view` by `text`, changing only the part between what they have in
 * common at either end: the view keeps its place, and a small edit costs a small redraw.
 * With `progressive`, a large text goes in a part at a time, one part a task, so that the
 * page goes on answering while millions of lines are laid out. Returns whether anything
 * changed.
 */
export function setText(view, text, { progressive = false } = {}) {
  clearTimeout(filling.get(view));
  if (progressive && (text.length > PART || view.state.doc.length > PART)) {
    let at = partEnd(text, 0);
    view.dispatch({ changes: { from: 0, to: view.state.doc.length, insert: text.slice(0, at) } });
    const more = () => {
      const end = partEnd(text, at);
      view.dispatch({ changes: { from: view.state.doc.length, insert: text.slice(at, end) } });
      at = end;
      if (at < text.length) filling.set(view, setTimeout(more, 0));
    };
    if (at < text.length) filling.set(view, setTimeout(more, 0));
    return true;
  }
  const old = view.state.doc.toString();
  if (old === text) return false;
  let from = 0;
  const shorter = Math.min(old.length, text.length);
  while (from < shorter && old.charCodeAt(from) === text.charCodeAt(from)) from++;
  let end = 0;
  while (
    end < shorter - from &&
    old.charCodeAt(old.length - 1 - end) === text.charCodeAt(text.length - 1 - end)
  ) {
    end++;
  }
  view.dispatch({
    changes: { from, to: old.length - end, insert: text.slice(from, text.length - end) },
  });
  return true;
}

/** The editor's index of a place that the converter gives as line and byte column. */
export function indexOf(view, line, column, encoding) {
  const { doc } = view.state;
  if (line > doc.lines) return doc.length;
  const l = doc.line(line);
  return l.from + indexOfColumn(l.text, column, encoding);
}

/** The token that begins at `from`: up to the next blank or line break, less a bar line. */
export function tokenAt(view, from) {
  const line = view.state.doc.lineAt(from);
  const text = /^[^ \t\r]*/.exec(line.text.slice(from - line.from))[0];
  const length = text.length > 1 && text.endsWith('/') ? text.length - 1 : text.length;
  return { from, to: from + length };
}

/**
 * Marks the converter's messages in the editor. `marks` are {from, to, severity, text}; the
 * lines of the errors are marked whole as well.
 */
export function showMessages(view, marks) {
  const { state } = view;
  const lines = new RangeSetBuilder();
  const seen = new Set();
  for (const m of [...marks].sort((a, b) => a.from - b.from)) {
    if (m.severity !== 'error') continue;
    const line = state.doc.lineAt(m.from);
    if (seen.has(line.from)) continue;
    seen.add(line.from);
    lines.add(line.from, line.from, Decoration.line({ class: 'm-error-line' }));
  }
  const diagnostics = marks.map((m) => ({
    from: m.from,
    to: m.to,
    severity: m.severity,
    message: m.text,
  }));
  view.dispatch(setDiagnostics(state, diagnostics), {
    effects: setErrorLines.of(lines.finish()),
  });
}

/** Selects `from` to `to` in `view`, brings it into sight and gives the view the focus. */
export function select(view, from, to = from) {
  view.dispatch({ selection: { anchor: from, head: to }, scrollIntoView: true });
  view.focus();
}
