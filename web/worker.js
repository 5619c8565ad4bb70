// The only place that calls the converter. The page's conversions run here, off the page's own
// thread, so that no piece, however large, holds up typing; the page sends the editor's text
// and gets back what to show.
import { createConverter } from './pn2tavix.mjs';
import { decode, encode } from './bytes.js';

let converter = createConverter();
// Pieces up to this size are drawn: a larger one's notes would take hundreds of megabytes.
const DRAWN_UP_TO = 16_000_000; // bytes of input

// The parts of the text being sent (see sendInParts in app.js): converted after the last.
let parts = { id: 0, texts: [] };

self.onmessage = async ({ data: { id, part, last, encoding } }) => {
  if (parts.id !== id) parts = { id, texts: [] };
  parts.texts.push(part);
  if (!last) return;
  const text = parts.texts.join('');
  parts = { id: 0, texts: [] };
  try {
    const { convert } = await converter;
    const input = encode(text, encoding);
    const started = performance.now();
    const result = convert(input, { notes: input.length <= DRAWN_UP_TO, check: true });
    const convertMs = performance.now() - started;
    const messages = result.messages.map(({ textBytes, ...m }) => ({
      ...m,
      text: decode(textBytes, encoding),
    }));
    self.postMessage(
      {
        id,
        status: result.status,
        bytes: result.output,
        messages,
        notes: result.notes ?? null,
        title: result.title,
        titles: result.titles,
        inputSize: input.length,
        convertMs,
      },
      result.notes ? [result.output.buffer, result.notes.buffer] : [result.output.buffer],
    );
  } catch (error) {
    // Out of memory for the input, or a trap: start afresh for the next piece.
    converter = createConverter();
    self.postMessage({ id, failure: String(error?.message ?? error) });
  }
};
