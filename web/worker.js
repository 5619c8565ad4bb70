// The only place that calls the converter. The page's conversions run here, off the page's own
// thread, so that no piece, however large, holds up typing; the page sends the editor's text
// and gets back what to show, with the plan that the player plays.
import { TIMELINE_FIELDS, createConverter } from './pn2tavix.mjs';
import { decode, encode } from './bytes.js';
import { planFromTimeline, transferables } from './playback/plan.js';

let converter = createConverter();
// Pieces up to this size are drawn: a larger one's notes would take hundreds of megabytes.
const DRAWN_UP_TO = 16_000_000; // bytes of input

// The parts of the text being sent (see sendInParts in app.js): converted after the last.
let parts = { id: 0, texts: [] };

self.onmessage = async ({ data: { id, part, last, encoding, midiOnly = false } }) => {
  if (parts.id !== id) parts = { id, texts: [] };
  parts.texts.push(part);
  if (!last) return;
  const text = parts.texts.join('');
  parts = { id: 0, texts: [] };
  try {
    const { convert } = await converter;
    const input = encode(text, encoding);
    // The MIDI file, which takes longer to make than the rest, only when it is asked for.
    if (midiOnly) {
      const { midi } = convert(input, { midi: true });
      self.postMessage({ id, midi }, [midi.buffer]);
      return;
    }
    const started = performance.now();
    const drawn = input.length <= DRAWN_UP_TO;
    const result = convert(input, { notes: drawn, check: true, timeline: drawn });
    const convertMs = performance.now() - started;
    // What the player plays, in seconds, made here rather than on the page's own thread.
    const plan = drawn ? planFromTimeline(result.timeline, TIMELINE_FIELDS) : null;
    // Texts that quote the input, in the editor's own terms: a title or token that is not
    // UTF-8 is shown a character a byte, as the editor shows it.
    const inTerms = ({ textBytes, ...part }) => ({ ...part, text: decode(textBytes, encoding) });
    const messages = result.messages.map((m) => ({ ...inTerms(m), hints: m.hints.map(inTerms) }));
    self.postMessage(
      {
        id,
        status: result.status,
        bytes: result.output,
        messages,
        notes: result.notes ?? null,
        title: decode(result.titleBytes, encoding),
        titles: result.titles.map(inTerms),
        plan,
        inputSize: input.length,
        convertMs,
      },
      [
        result.output.buffer,
        ...(result.notes ? [result.notes.buffer] : []),
        ...(plan ? transferables(plan) : []),
      ],
    );
  } catch (error) {
    // Out of memory for the input, or a trap: start afresh for the next piece.
    converter = createConverter();
    self.postMessage({ id, failure: String(error?.message ?? error) });
  }
};
