// The music language as the converter reads it, token by token: what each stretch of a music
// file is, for the editor's highlighting, and what the letters of a note token say. Lexical
// only: what a note sounds like comes from the converter, never from here. `token` reads from
// a stream with CodeMirror's StringStream interface (pos, string, eat, eatWhile, match, next,
// skipToEnd), and knows nothing else of the editor.

/** The kinds of stretch, each with what it is. */
export const KINDS = Object.freeze({
  title: 'free text up to "/", at the start of every voice',
  statement: 'units, key, end, the clefs and the articulation letters...',
  argument: 'the tokens a statement takes after it',
  measure: 'a measure number: digits alone',
  bar: 'a bar line "/"',
  pitch: "a note's pitch number",
  value: 'a note value',
  accidental: '( sharp, - flat, ) natural',
  sign: 'dots, x, triplets, shifts and articulation inside a note',
  comma: '"," repeats the previous note or rest length',
  rest: '"r"',
  passed: 'capital letters alone: passed over',
  unread: 'after the last voice: never read',
});

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

/** The state at the start of a file. */
export const startState = () => ({
  mode: 'title',
  titleLength: 0,
  voices: 0,
  args: 0,
  noteLeft: 0,
});

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

/** Reads the next stretch of `stream` and returns its kind (a key of KINDS), or null. */
export function token(stream, state) {
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
}

const ARTICULATIONS = 'lehqs';

/**
 * What the letters of note token `text` say by themselves: its articulation letter (the last
 * one written, or '' for the voice's default), its dots, whether 'x' makes them smaller, a
 * triplet, and its shifts up ('a') and down ('b').
 */
export function noteSigns(text) {
  const signs = { articulation: '', dots: 0, smallDots: false, triplet: false, up: 0, down: 0 };
  for (const c of text) {
    if (ARTICULATIONS.includes(c)) signs.articulation = c;
    else if (c === '.') signs.dots++;
    else if (c === 'x') signs.smallDots = true;
    else if (c === 'c') signs.triplet = true;
    else if (c === 'a') signs.up++;
    else if (c === 'b') signs.down++;
  }
  return signs;
}
