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
  const start = () => createCore(wasmBinary ? { wasmBinary } : {});
  let core = await start();
  // Set while a new core is being made: the one before ran out of memory and aborted.
  let restarting = null;
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
        length: core._pn2tavix_hint_length(h),
      });
    }
    const result = {
      severity: core._pn2tavix_message_severity(m) === 1 ? 'warning' : 'error',
      text: utf8.decode(text),
      line: place(core._pn2tavix_message_line(m)),
      column: place(core._pn2tavix_message_column(m)),
      offset: place(core._pn2tavix_message_offset(m)),
      length: core._pn2tavix_message_length(m),
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
  // The result of a conversion that ran out of memory, as the program reports it.
  function outOfMemory(asBytes, notes) {
    const text = 'Out of memory';
    const message = {
      severity: 'error',
      text,
      line: null,
      column: null,
      offset: null,
      length: 0,
      voice: null,
      measure: null,
      status: 1,
      printed: true,
      hints: [],
    };
    if (asBytes) message.textBytes = encoder.encode(text);
    const result = {
      status: 1,
      output: asBytes ? new Uint8Array(0) : '',
      messages: [message],
      title: '',
      titles: [],
    };
    if (notes) result.notes = new Int32Array(0);
    return result;
  }

  // The core is built without C++ exceptions: running out of memory aborts it, and an aborted
  // core cannot be called again. The conversion is reported as the program reports it, and a
  // new core is made; until it is ready, conversions are reported the same way.
  function aborted(asBytes, notes) {
    restarting ??= start().then((fresh) => {
      core = fresh;
      restarting = null;
    });
    return outOfMemory(asBytes, notes);
  }

  function convert(input, { notes = false, check = false } = {}) {
    const asBytes = typeof input !== 'string';
    if (asBytes && !(input instanceof Uint8Array)) {
      throw new TypeError('convert() takes a Uint8Array or a string');
    }
    const bytes = asBytes ? input : encoder.encode(input);
    if (restarting) return outOfMemory(asBytes, notes);
    const at = core._malloc(Math.max(bytes.length, 1));
    if (at === 0) throw new RangeError(`no memory for an input of ${bytes.length} bytes`);
    core.HEAPU8.set(bytes, at >>> 0);
    let converted;
    try {
      converted = core._pn2tavix_convert(at, bytes.length, notes ? 1 : 0);
    } catch (e) {
      if (!(e instanceof WebAssembly.RuntimeError)) throw e;
      return aborted(asBytes, notes);
    }
    core._free(at);
    try {
      const output = bytesAt(
        core._pn2tavix_output(converted),
        core._pn2tavix_output_size(converted),
      );
      const result = {
        status: core._pn2tavix_status(converted),
        output: asBytes ? output.slice() : utf8.decode(output),
        messages: [],
        title: textAt(core._pn2tavix_title(converted), core._pn2tavix_title_size(converted)),
        titles: [],
      };
      for (let i = 0, n = core._pn2tavix_title_count(converted); i < n; i++) {
        const t = core._pn2tavix_voice_title(converted, i);
        result.titles.push({
          voice: core._pn2tavix_voice_title_voice(t),
          text: textAt(core._pn2tavix_voice_title_text(t), core._pn2tavix_voice_title_text_size(t)),
          line: core._pn2tavix_voice_title_line(t),
          column: core._pn2tavix_voice_title_column(t),
          offset: core._pn2tavix_voice_title_offset(t),
        });
      }
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
