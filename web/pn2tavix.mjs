// pn2tavix as an ES module: the converter's own C++ compiled to WebAssembly, for pages, web
// workers and Node. Converts a PDP-1 music file to tavix text exactly as the program does, and
// hands over its messages with the places in the input that they name.
import createCore from './pn2tavix-core.mjs';

/** The fields of one note in `notes`, NOTE_FIELDS numbers a note, in this order. */
export const NOTE_FIELDS = Object.freeze({
  voice: 0,
  measure: 1,
  start: 2, // 192nds of a whole note from the start of the measure
  length: 3, // 192nds
  measureLength: 4, // 192nds that the measure holds; 0 before any "units"
  semitone: 5, // 0 for c2 to 60 for c7
  letter: 6, // character code of 'a' to 'g'
  accidental: 7, // character code of '+' or '-'; 0 for none
  octave: 8,
  line: 9, // the token that wrote the note (for a copied measure, the token copied)
  column: 10, // in bytes, from 1
  tokenLength: 11, // bytes
  count: 12,
});

const utf8 = new TextDecoder('utf-8', { ignoreBOM: true });

// In Node the WebAssembly file is read from beside this module; browsers and workers fetch it.
async function wasmBytesForNode() {
  const isNode = typeof process === 'object' && typeof process.versions?.node === 'string';
  if (!isNode || typeof window === 'object') return undefined;
  const { readFile } = await import('node:fs/promises');
  return readFile(new URL('./pn2tavix-core.wasm', import.meta.url));
}

/**
 * Loads the converter. `options.wasm` may give the bytes of pn2tavix-core.wasm where they
 * are not found beside this module.
 * @returns {Promise<{convert: Function, version: string}>}
 */
export async function createConverter(options = {}) {
  const wasmBinary = options.wasm ?? (await wasmBytesForNode());
  const core = await createCore(wasmBinary ? { wasmBinary } : {});
  const encoder = new TextEncoder();

  // Memory past 2 GiB gives pointers that read as negative 32-bit numbers.
  const bytesAt = (at, size) => core.HEAPU8.subarray(at >>> 0, (at >>> 0) + size);
  const textAt = (at, size) => utf8.decode(bytesAt(at, size));
  const place = (n) => (n < 0 ? null : n);

  function message(m, asBytes) {
    const text = bytesAt(core._pn2tavix_message_text(m), core._pn2tavix_message_text_size(m));
    const hints = [];
    for (let i = 0, n = core._pn2tavix_hint_count(m); i < n; i++) {
      const h = core._pn2tavix_hint(m, i);
      hints.push({
        text: textAt(core._pn2tavix_hint_text(h), core._pn2tavix_hint_text_size(h)),
        line: place(core._pn2tavix_hint_line(h)),
        column: place(core._pn2tavix_hint_column(h)),
        offset: place(core._pn2tavix_hint_offset(h)),
      });
    }
    const result = {
      severity: core._pn2tavix_message_severity(m) === 1 ? 'warning' : 'error',
      text: utf8.decode(text),
      line: place(core._pn2tavix_message_line(m)),
      column: place(core._pn2tavix_message_column(m)),
      offset: place(core._pn2tavix_message_offset(m)),
      voice: core._pn2tavix_message_voice(m) || null,
      measure: core._pn2tavix_message_measure(m) || null,
      status: core._pn2tavix_message_status(m),
      printed: core._pn2tavix_message_printed(m) === 1,
      hints,
    };
    if (asBytes) result.textBytes = text.slice();
    return result;
  }

  /**
   * Converts `input`, the bytes of a music file (a Uint8Array) or its text (a string, read as
   * UTF-8). Returns {status, output, messages}: `output` is a Uint8Array for bytes in and a
   * string for a string in. With `notes`, also `notes`, an Int32Array of NOTE_FIELDS.count
   * numbers a note; with `check`, `messages` also holds the warnings that the program does not
   * print (`printed` false).
   */
  function convert(input, { notes = false, check = false } = {}) {
    const asBytes = typeof input !== 'string';
    if (asBytes && !(input instanceof Uint8Array)) {
      throw new TypeError('convert() takes a Uint8Array or a string');
    }
    const bytes = asBytes ? input : encoder.encode(input);
    const at = core._malloc(Math.max(bytes.length, 1));
    if (at === 0) throw new RangeError(`no memory for an input of ${bytes.length} bytes`);
    core.HEAPU8.set(bytes, at >>> 0);
    const converted = core._pn2tavix_convert(at, bytes.length, notes ? 1 : 0);
    core._free(at);
    if (converted === 0) throw new RangeError(`no memory to convert ${bytes.length} bytes`);
    try {
      const output = bytesAt(
        core._pn2tavix_output(converted),
        core._pn2tavix_output_size(converted),
      );
      const result = {
        status: core._pn2tavix_status(converted),
        output: asBytes ? output.slice() : utf8.decode(output),
        messages: [],
      };
      for (let i = 0, n = core._pn2tavix_message_count(converted); i < n; i++) {
        const m = core._pn2tavix_message(converted, i);
        if (check || core._pn2tavix_message_printed(m) === 1) {
          result.messages.push(message(m, asBytes));
        }
      }
      if (notes) {
        const count = core._pn2tavix_note_count(converted) * NOTE_FIELDS.count;
        const first = core._pn2tavix_notes(converted) >>> 0;
        result.notes = core.HEAP32.slice(first / 4, first / 4 + count);
      }
      return result;
    } finally {
      core._pn2tavix_release(converted);
    }
  }

  if (core._pn2tavix_note_fields() !== NOTE_FIELDS.count) {
    throw new Error('pn2tavix-core.wasm is not the build this module was written for');
  }
  const versionAt = core._pn2tavix_version() >>> 0;
  const version = textAt(versionAt, core.HEAPU8.indexOf(0, versionAt) - versionAt);
  return { convert, version };
}
