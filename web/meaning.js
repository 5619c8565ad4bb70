// What a note token means, in words, for the editor's tips: its name and length as the
// converter gives them (the notes packed as NOTE_FIELDS), and its articulation and dots as
// its own letters write them (music-grammar.js).
import { NOTE_FIELDS as F } from './pn2tavix.mjs';
import { noteSigns } from './music-grammar.js';

// The plain values and what each counts, in 192nds of a whole note.
const VALUES = [
  ['whole', 192],
  ['half', 96],
  ['quarter', 48],
  ['eighth', 24],
  ['16th', 12],
  ['32nd', 6],
  ['64th', 3],
];
// Lengths as a share of the plain value: two dots add a half and a quarter.
const FORMS = [
  { words: '', triplet: false, dots: 0, share: 1 },
  { words: 'dotted ', triplet: false, dots: 1, share: 3 / 2 },
  { words: 'double-dotted ', triplet: false, dots: 2, share: 7 / 4 },
  { words: 'triplet ', triplet: true, dots: 0, share: 2 / 3 },
  { words: 'dotted triplet ', triplet: true, dots: 1, share: 1 },
];

const article = (words) => (/^[aeiou]/.test(words) ? 'an' : 'a');

/**
 * A length of `length` 192nds in words ("a dotted quarter"). Where several readings give the
 * same length, the one that the token's own signs write comes first.
 */
export function lengthInWords(length, signs) {
  const forms = [...FORMS].sort(
    (a, b) =>
      Number(b.triplet === signs.triplet && b.dots === signs.dots) -
      Number(a.triplet === signs.triplet && a.dots === signs.dots),
  );
  for (const form of forms) {
    for (const [name, plain] of VALUES) {
      if (plain * form.share === length)
        return `${article(form.words + name)} ${form.words}${name}`;
    }
  }
  return `${length} 192nds of a whole note`;
}

/** The note's name as the output writes it: letter, accidental, octave ("f+5"). */
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
 * The first note of `notes` written by the token that holds byte `column` of line `line`, or
 * -1. A copied measure's notes point at the tokens copied: the first is the token's own.
 */
export function noteAtPlace(notes, line, column) {
  for (let base = 0; base < notes.length; base += F.count) {
    if (notes[base + F.line] !== line) continue;
    const start = notes[base + F.column];
    if (column >= start && column < start + notes[base + F.tokenLength]) return base / F.count;
  }
  return -1;
}

/** What note `i`, written by `token`, means: "`6q4`: c6, a quarter, articulation q". */
export function noteMeaning(notes, i, token) {
  const signs = noteSigns(token);
  const parts = [noteName(notes, i), lengthInWords(notes[i * F.count + F.length], signs)];
  if (signs.articulation) parts.push(`articulation ${signs.articulation}`);
  return `\`${token}\`: ${parts.join(', ')}`;
}
