// The two text panes: the editor of the music file, with the music language's highlighting and
// the converter's messages marked where they point, and the read-only view of the tavix text.
// Places come as the converter gives them (line, and column in bytes) and are turned into the
// editor's own here.
import {
  Annotation,
  EditorState,
  RangeSetBuilder,
  StateEffect,
  StateField,
  Transaction,
} from '@codemirror/state';
import {
  Decoration,
  EditorView,
  drawSelection,
  highlightActiveLine,
  highlightActiveLineGutter,
  highlightSpecialChars,
  hoverTooltip,
  keymap,
  lineNumbers,
} from '@codemirror/view';
import { defaultKeymap, history, historyKeymap } from '@codemirror/commands';
import { HighlightStyle, StreamLanguage, syntaxHighlighting } from '@codemirror/language';
import { highlightSelectionMatches, search, searchKeymap } from '@codemirror/search';
import { lintGutter, setDiagnostics } from '@codemirror/lint';
import { Tag, tagHighlighter, tags } from '@lezer/highlight';
import { columnOfIndex, indexOfColumn } from './bytes.js';
import { KINDS, startState, token } from './music-grammar.js';

// Each kind of stretch of the music file (music-grammar.js) has a tag of its own.
const kinds = Object.fromEntries(Object.keys(KINDS).map((name) => [name, Tag.define()]));

// The colours are the page's (style.css), light or dark as the browser asks: custom
// properties reach into the views' shadow roots.
const musicLook = HighlightStyle.define(
  Object.entries({
    title: { fontWeight: '600' },
    statement: { fontWeight: '600' },
    argument: {},
    measure: { fontWeight: '600' },
    bar: { fontWeight: '700' },
    pitch: {},
    value: {},
    accidental: { fontWeight: '600' },
    sign: {},
    comma: {},
    rest: { fontStyle: 'italic' },
    passed: {},
    unread: {},
  }).map(([name, style]) => ({ tag: kinds[name], color: `var(--m-${name})`, ...style })),
);
// Each part has a class of its own as well, by which it is found on the page.
const musicClasses = tagHighlighter(
  Object.entries(kinds).map(([name, tag]) => ({ tag, class: `m-${name}` })),
);

const music = StreamLanguage.define({
  name: 'pdp1-music',
  startState,
  token,
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
  { tag: tags.comment, color: 'var(--m-rest)' },
  { tag: tags.keyword, color: 'var(--m-statement)' },
  { tag: tags.number, color: 'var(--m-pitch)' },
]);

// Decorations that the page sets as a whole, by the effect `set`, and that otherwise follow
// the text's edits.
function setDecorations() {
  const set = StateEffect.define();
  const field = StateField.define({
    create: () => Decoration.none,
    update(decorations, tr) {
      for (const e of tr.effects) if (e.is(set)) return e.value;
      return tr.docChanged ? decorations.map(tr.changes) : decorations;
    },
    provide: (f) => EditorView.decorations.from(f),
  });
  return [set, field];
}

// The lines that hold an error, marked as a whole so that they show from afar.
const [setErrorLines, errorLines] = setDecorations();
// The tokens of the notes sounding while the piece plays.
const [setPlaying, playingTokens] = setDecorations();
const playingMark = Decoration.mark({ class: 'm-playing' });

const look = EditorView.theme({
  '&': { height: '100%', color: 'var(--ink)', backgroundColor: 'var(--pane)' },
  '.cm-scroller': {
    fontFamily: 'ui-monospace, "DejaVu Sans Mono", "Liberation Mono", monospace',
    fontSize: '13.5px',
  },
  '.cm-content': { caretColor: 'var(--ink)' },
  '.cm-cursor, .cm-dropCursor': { borderLeftColor: 'var(--ink)' },
  '.cm-gutters': {
    color: 'var(--faint)',
    backgroundColor: 'var(--gutter)',
    borderRightColor: 'var(--line)',
  },
  '.cm-activeLineGutter': { backgroundColor: 'var(--active-gutter)' },
  // Line backgrounds are see-through: the selection, drawn behind the text, shows on them.
  '.cm-activeLine': { backgroundColor: 'var(--active-line)' },
  '.m-error-line': { backgroundColor: 'var(--error-line)' },
  '.m-playing': {
    backgroundColor: 'var(--playing)',
    outline: '1px solid var(--playing-edge)',
  },
  '.cm-selectionBackground, &.cm-focused > .cm-scroller > .cm-selectionLayer .cm-selectionBackground':
    { backgroundColor: 'var(--selection)' },
  '.cm-selectionMatch': { backgroundColor: 'var(--match)' },
  '.cm-searchMatch': { backgroundColor: 'var(--match)', outline: '1px solid var(--faint)' },
  '.cm-panels': { color: 'var(--ink)', backgroundColor: 'var(--gutter)' },
  '.cm-tooltip': {
    color: 'var(--ink)',
    backgroundColor: 'var(--pane)',
    borderColor: 'var(--line)',
  },
  '.cm-tooltip.m-note-tip': { padding: '0.15rem 0.45rem', fontFamily: 'inherit' },
  '.cm-specialChar': { color: 'var(--error)' },
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
        // Editable content is in the tab order already; the tabindex says so to checkers,
        // which take a scrolling region without a focusable element in it for a trap.
        EditorView.contentAttributes.of({ 'aria-label': label, tabindex: '0' }),
      ],
    }),
  });
}

// A tip that says what the token under the pointer means: `describe(pos)` gives
// {from, to, text} for the token at the editor's index `pos`, or null.
const tips = (describe) =>
  hoverTooltip((view, pos) => {
    const tip = describe(pos);
    if (!tip) return null;
    return {
      pos: tip.from,
      end: tip.to,
      above: true,
      create() {
        const dom = document.createElement('div');
        dom.className = 'm-note-tip';
        dom.textContent = tip.text;
        return { dom };
      },
    };
  });

/**
 * The editor of the music file; `onChange` is called after every change of its text, and
 * `describe(pos)` gives the tip for the token under the pointer (see tips).
 */
export function createEditor(parent, { onChange, describe, label }) {
  return viewIn(parent, label, [
    tips(describe),
    history(),
    keymap.of(historyKeymap),
    highlightSelectionMatches(),
    music,
    syntaxHighlighting(musicLook),
    syntaxHighlighting(musicClasses),
    lintGutter(),
    errorLines,
    playingTokens,
    EditorView.domEventHandlers({
      paste(event, view) {
        const text = event.clipboardData?.getData('text/plain') ?? '';
        if (text.length <= PART) return false;
        event.preventDefault();
        const { from, to } = view.state.selection.main;
        replaceInParts(view, from, to, text, 'input.paste');
        return true;
      },
    }),
    EditorView.updateListener.of((u) => {
      // A text that goes in in parts is one change, told when its last part is in.
      const fill = fills.get(u.view);
      if (fill) {
        for (const tr of u.transactions) {
          if (!tr.annotation(inPart)) fill.at = tr.changes.mapPos(fill.at);
        }
      }
      if (u.docChanged && !u.transactions.some((tr) => tr.annotation(inPart))) onChange(u);
    }),
  ]);
}

const PART = 1 << 18; // characters of a large text laid out at a time
const FIRST_PART = 1 << 12;
const fills = new WeakMap(); // a view's text going in in parts: {at, timer}
const inPart = Annotation.define(); // on each part of such a text but its last

/**
 * Replaces `from` to `to` of `view` by `text`, a part at a time, one part a task, so that a
 * paste or a file of megabytes holds up the page for no long task. Each part ends after a line
 * break. Edits made meanwhile stay where they were made; the whole text is one event in the
 * editor's history.
 */
export function replaceInParts(view, from, to, text, userEvent) {
  clearTimeout(fills.get(view)?.timer);
  const fill = { at: from, timer: 0 };
  fills.set(view, fill);
  let done = 0;
  const step = () => {
    const first = done === 0;
    // The first part is small: it goes in within the paste's own task.
    const end = partEnd(text, done, first ? FIRST_PART : PART);
    const last = end === text.length;
    view.dispatch({
      changes: { from: fill.at, to: first ? to : fill.at, insert: text.slice(done, end) },
      // The cursor stays before the text while it goes in, then goes to its end: following
      // each part would lay out and highlight the lines there at every part.
      selection: last ? { anchor: fill.at + end - done } : undefined,
      // Later parts join the first in the history as typing would.
      annotations: [
        Transaction.userEvent.of(first ? userEvent : 'input.type'),
        ...(last ? [] : [inPart.of(true)]),
      ],
    });
    fill.at += end - done;
    done = end;
    if (last) fills.delete(view);
    else fill.timer = setTimeout(step, 0);
  };
  step();
}

// The end of the part of `text` that begins at `from`: after a line break, so that no line
// is cut in two.
function partEnd(text, from, part = PART) {
  if (text.length - from <= part) return text.length;
  const lineEnd = text.indexOf('\n', from + part);
  return lineEnd < 0 ? text.length : lineEnd + 1;
}

/** The tavix text, read-only: it can be searched, selected and copied. */
export function createOutputView(parent, { label }) {
  return viewIn(parent, label, [
    EditorState.readOnly.of(true),
    tavix,
    syntaxHighlighting(tavixHighlight),
  ]);
}

const filling = new WeakMap(); // a view's timer for the part of its text still to come

/**
 * Replaces the text of `view` by `text`, changing only the part between what they have in
 * common at either end: the view keeps its place, and a small edit costs a small redraw.
 * Returns whether anything changed.
 */
export function setText(view, text) {
  clearTimeout(filling.get(view));
  clearTimeout(fills.get(view)?.timer);
  fills.delete(view);
  if (text.length > PART) {
    replaceInParts(view, 0, view.state.doc.length, text, 'input');
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

/**
 * Replaces the text of `view` by the parts that `parts` (an iterator of strings) gives, one
 * part a task, so that the page goes on answering while millions of lines are laid out.
 */
export function fillText(view, parts) {
  clearTimeout(filling.get(view));
  const first = parts.next();
  view.dispatch({
    changes: { from: 0, to: view.state.doc.length, insert: first.done ? '' : first.value },
  });
  const more = () => {
    const part = parts.next();
    if (part.done) return;
    view.dispatch({ changes: { from: view.state.doc.length, insert: part.value } });
    filling.set(view, setTimeout(more, 0));
  };
  if (!first.done) filling.set(view, setTimeout(more, 0));
}

/** The editor's index of a place that the converter gives as line and byte column. */
export function indexOf(view, line, column, encoding) {
  const { doc } = view.state;
  if (line > doc.lines) return doc.length;
  const l = doc.line(line);
  return l.from + indexOfColumn(l.text, column, encoding);
}

/** The converter's place (line, and column in bytes) of the editor's index `pos`. */
export function placeOf(view, pos, encoding) {
  const line = view.state.doc.lineAt(pos);
  return { line: line.number, column: columnOfIndex(line.text, pos - line.from, encoding) };
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

/**
 * Marks the tokens of the notes sounding, `ranges` ({from, to}); with `reveal`, scrolls the
 * first into sight.
 */
export function markPlaying(view, ranges, { reveal = false } = {}) {
  const marks = new RangeSetBuilder();
  const sorted = [...ranges].sort((a, b) => a.from - b.from || a.to - b.to);
  for (const { from, to } of sorted) if (to > from) marks.add(from, to, playingMark);
  const effects = [setPlaying.of(marks.finish())];
  if (reveal && sorted.length > 0) {
    effects.push(EditorView.scrollIntoView(sorted[0].from, { y: 'center' }));
  }
  view.dispatch({ effects });
}

/** Whether editor index `pos` is in sight in `view` (in the part of the text drawn). */
export function inSight(view, pos) {
  return view.visibleRanges.some(({ from, to }) => pos >= from && pos <= to);
}
