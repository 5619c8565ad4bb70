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

/**
 * The lists of `timeline` that are packed, each an Int32Array of `count` numbers a record, with
 * each field's index; the core packs the same order. Ticks: 96 to a quarter note, from the
 * start of the piece. Places: the token (or statement) that wrote it, line and column from 1,
 * column and offset in bytes.
 */
export const TIMELINE_FIELDS = Object.freeze({
  tempos: Object.freeze({
    voice: 0,
    tick: 1,
    tempo: 2, // quarter notes a minute, as "$tempo" writes it
    measure: 3,
    line: 4,
    column: 5,
    offset: 6,
    count: 7,
  }),
  notes: Object.freeze({
    voice: 0,
    measure: 1,
    start: 2, // tick
    length: 3, // ticks
    sounding: 4, // ticks that sound: the length less its "$shorten"
    key: 5, // MIDI key: c5 (middle C) is 60
    value: 6, // the note value as written: 1, 2, 4, ... 64
    dots: 7,
    triplet: 8, // 1 for a triplet
    line: 9,
    column: 10,
    offset: 11,
    tokenLength: 12, // bytes
    count: 13,
  }),
  rests: Object.freeze({
    voice: 0,
    measure: 1,
    start: 2,
    length: 3,
    wholeMeasure: 4, // 1 for a rest written by "rest N"
    value: 5, // 0 for a whole-measure rest
    dots: 6,
    triplet: 7,
    line: 8,
    column: 9,
    offset: 10,
    tokenLength: 11,
    count: 12,
  }),
  changes: Object.freeze({
    voice: 0,
    tick: 1,
    measure: 2,
    kind: 3, // CHANGE_KINDS
    value: 4, // clef: 0 treble, 1 alto, 2 tenor, 3 bass; key: sharps (> 0) or flats (< 0); measure length: 64ths
    line: 5,
    column: 6,
    offset: 7,
    count: 8,
  }),
  measures: Object.freeze({
    voice: 0,
    number: 1,
    start: 2,
    length: 3, // ticks that its notes and rests fill
    kind: 4, // MEASURE_KINDS
    copiedFrom: 5, // for a copy, the measure repeated
    count: 6,
  }),
});
export const CHANGE_KINDS = Object.freeze({ clef: 0, key: 1, measureLength: 2 });
export const MEASURE_KINDS = Object.freeze({ written: 0, wholeRest: 1, copy: 2 });

// The core's numbers for the timeline's lists and for what convert() is to keep.
const LIST = Object.freeze({ voices: 0, tempos: 1, notes: 2, rests: 3, changes: 4, measures: 5 });
const VOICE_FIELDS = 6; // voice, pan, program, reverb, chorus, end
const WITH = Object.freeze({ notes: 1, timeline: 2, midi: 4 });

const utf8 = new TextDecoder('utf-8', { ignoreBOM: true });

// In Node the WebAssembly file is read from beside this module; browsers and workers fetch it.
async function wasmBytesForNode() {
  const isNode = typeof process === 'object' && typeof process.versions?.node === 'string';
  if (!isNode || typeof window === 'object') return undefined;
  const { readFile } = await import('node:fs/promises');
  return readFile(new URL('./pn2tavix-core.wasm', import.meta.url));
}

// Room for the text. new Uint8Array() zeroes its room first, which for a 5 MB piece's 30 MB is
// 4 % of the conversion in Node; Node's Buffer.allocUnsafeSlow() leaves it as it is, and is
// never shared with another buffer (bench/README.md, "The memo's compare and the text's room").
// Browsers have no such call.
function room(size) {
  const unzeroed = globalThis.Buffer?.allocUnsafeSlow;
  if (typeof unzeroed !== 'function') return new Uint8Array(size);
  const b = unzeroed(size);
  return new Uint8Array(b.buffer, b.byteOffset, size);
}

// The tavix text as the core hands it over, block by block while it converts (web.cc's
// takeOutput), gathered in one array: room for six times the input at first (at most 256 MiB),
// as the text runs about five times as long, and half as much again whenever it does not fit.
// `heap` gives the core's memory as it is now: growing it replaces the view.
class TextCollector {
  constructor(inputSize, heap) {
    this.out = room(Math.min(Math.max(4096, inputSize * 6), 256 * 2 ** 20));
    this.length = 0;
    this.take = (at, size) => {
      if (this.length + size > this.out.length) {
        const grown = room(Math.max(Math.ceil(this.out.length * 1.5), this.length + size));
        grown.set(this.out.subarray(0, this.length));
        this.out = grown;
      }
      this.out.set(heap().subarray(at, at + size), this.length);
      this.length += size;
    };
  }

  // The text: a view of the array's start where it fills half the array or more, else a copy
  // of just the text, so that a short text does not hold on to a large array. The room past
  // the text is zeroed first: the view's buffer reaches it, and memory that was never zeroed
  // may hold what the process held before.
  bytes() {
    const { out, length } = this;
    if (length < out.length / 2) return out.slice(0, length);
    out.fill(0, length);
    return out.subarray(0, length);
  }
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

  // The packed list `list` of a conversion, copied out of the core's memory.
  function timelineList(converted, list) {
    const count =
      core._pn2tavix_timeline_count(converted, list) * core._pn2tavix_timeline_fields(list);
    const first = core._pn2tavix_timeline(converted, list) >>> 0;
    return core.HEAP32.slice(first / 4, first / 4 + count);
  }

  const emptyTimeline = () => ({
    voices: [],
    notes: new Int32Array(0),
    rests: new Int32Array(0),
    changes: new Int32Array(0),
    measures: new Int32Array(0),
  });

  // The timeline: the voices as objects, with their tempo changes; the rest packed.
  function timelineOf(converted) {
    const packed = timelineList(converted, LIST.voices);
    const tempos = timelineList(converted, LIST.tempos);
    const T = TIMELINE_FIELDS.tempos;
    const voices = [];
    for (let i = 0; i * VOICE_FIELDS < packed.length; i++) {
      const [voice, pan, program, reverb, chorus, end] = packed.subarray(
        i * VOICE_FIELDS,
        (i + 1) * VOICE_FIELDS,
      );
      const own = [];
      for (let k = 0; k < tempos.length; k += T.count) {
        if (tempos[k + T.voice] !== voice) continue;
        own.push({
          tick: tempos[k + T.tick],
          tempo: tempos[k + T.tempo],
          measure: tempos[k + T.measure],
          line: tempos[k + T.line],
          column: tempos[k + T.column],
          offset: tempos[k + T.offset],
        });
      }
      voices.push({
        voice,
        title: textAt(
          core._pn2tavix_timeline_voice_title(converted, i),
          core._pn2tavix_timeline_voice_title_size(converted, i),
        ),
        patch: textAt(
          core._pn2tavix_timeline_voice_patch(converted, i),
          core._pn2tavix_timeline_voice_patch_size(converted, i),
        ),
        program,
        pan,
        reverb,
        chorus,
        end,
        tempos: own,
      });
    }
    return {
      voices,
      notes: timelineList(converted, LIST.notes),
      rests: timelineList(converted, LIST.rests),
      changes: timelineList(converted, LIST.changes),
      measures: timelineList(converted, LIST.measures),
    };
  }

  function message(m, asBytes) {
    const text = bytesAt(core._pn2tavix_message_text(m), core._pn2tavix_message_text_size(m));
    const hints = [];
    for (let i = 0, n = core._pn2tavix_hint_count(m); i < n; i++) {
      const h = core._pn2tavix_hint(m, i);
      const hintText = bytesAt(core._pn2tavix_hint_text(h), core._pn2tavix_hint_text_size(h));
      hints.push({
        text: utf8.decode(hintText),
        ...(asBytes ? { textBytes: hintText.slice() } : {}),
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
   * print (`printed` false). With `timeline`, also `timeline`, the piece as it sounds (see
   * TIMELINE_FIELDS); with `midi`, also `midi`, its Standard MIDI File as a Uint8Array (empty
   * when the piece does not convert), the bytes that pn2tavix-midi writes.
   */
  // The result of a conversion that ran out of memory, as the program reports it.
  function outOfMemory(asBytes, { notes, timeline, midi }) {
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
    if (asBytes) result.titleBytes = new Uint8Array(0);
    if (notes) result.notes = new Int32Array(0);
    if (timeline) result.timeline = emptyTimeline();
    if (midi) result.midi = new Uint8Array(0);
    return result;
  }

  // The core is built without C++ exceptions: running out of memory aborts it, and an aborted
  // core cannot be called again. The conversion is reported as the program reports it, and a
  // new core is made; until it is ready, conversions are reported the same way.
  function aborted(asBytes, asked) {
    restarting ??= start().then((fresh) => {
      core = fresh;
      restarting = null;
    });
    return outOfMemory(asBytes, asked);
  }

  function convert(input, { notes = false, check = false, timeline = false, midi = false } = {}) {
    const asBytes = typeof input !== 'string';
    if (asBytes && !(input instanceof Uint8Array)) {
      throw new TypeError('convert() takes a Uint8Array or a string');
    }
    const bytes = asBytes ? input : encoder.encode(input);
    if (restarting) return outOfMemory(asBytes, { notes, timeline, midi });
    const at = core._malloc(Math.max(bytes.length, 1));
    if (at === 0) throw new RangeError(`no memory for an input of ${bytes.length} bytes`);
    core.HEAPU8.set(bytes, at >>> 0);
    const flags =
      (notes ? WITH.notes : 0) | (timeline ? WITH.timeline : 0) | (midi ? WITH.midi : 0);
    const text = new TextCollector(bytes.length, () => core.HEAPU8);
    core.takeOutput = text.take;
    let converted;
    try {
      converted = core._pn2tavix_convert(at, bytes.length, flags);
    } catch (e) {
      // A trap in the core, or no memory here for the text it hands over (a RangeError from
      // growing the array): either way the core stopped midway and cannot be called again.
      if (!(e instanceof WebAssembly.RuntimeError || e instanceof RangeError)) throw e;
      return aborted(asBytes, { notes, timeline, midi });
    }
    core.takeOutput = null;
    core._free(at);
    try {
      const output = text.bytes();
      const title = bytesAt(core._pn2tavix_title(converted), core._pn2tavix_title_size(converted));
      const result = {
        status: core._pn2tavix_status(converted),
        output: asBytes ? output : utf8.decode(output),
        messages: [],
        title: utf8.decode(title),
        titles: [],
      };
      if (asBytes) result.titleBytes = title.slice();
      for (let i = 0, n = core._pn2tavix_title_count(converted); i < n; i++) {
        const t = core._pn2tavix_voice_title(converted, i);
        const text = bytesAt(
          core._pn2tavix_voice_title_text(t),
          core._pn2tavix_voice_title_text_size(t),
        );
        result.titles.push({
          voice: core._pn2tavix_voice_title_voice(t),
          text: utf8.decode(text),
          ...(asBytes ? { textBytes: text.slice() } : {}),
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
      if (timeline) result.timeline = timelineOf(converted);
      if (midi)
        result.midi = bytesAt(
          core._pn2tavix_midi(converted),
          core._pn2tavix_midi_size(converted),
        ).slice();
      return result;
    } finally {
      core._pn2tavix_release(converted);
    }
  }

  const fieldsAgree = Object.entries(LIST).every(
    ([name, list]) =>
      core._pn2tavix_timeline_fields(list) ===
      (name === 'voices' ? VOICE_FIELDS : TIMELINE_FIELDS[name].count),
  );
  if (core._pn2tavix_note_fields() !== NOTE_FIELDS.count || !fieldsAgree) {
    throw new Error('pn2tavix-core.wasm is not the build this module was written for');
  }
  const versionAt = core._pn2tavix_version() >>> 0;
  const version = textAt(versionAt, core.HEAPU8.indexOf(0, versionAt) - versionAt);
  return { convert, version };
}
