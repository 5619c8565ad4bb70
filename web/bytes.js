// The user's bytes and the editor's text, each turned into the other without losing a byte.
// A piece in valid UTF-8 is shown as UTF-8; any other piece is shown one character a byte
// ("bytes"), so that what was never edited goes back to the converter exactly as it came.

const strictUtf8 = new TextDecoder('utf-8', { fatal: true, ignoreBOM: true });
const lenientUtf8 = new TextDecoder('utf-8', { ignoreBOM: true });
const encoder = new TextEncoder();

// String.fromCharCode takes its arguments on the stack: a large piece goes in slices.
function oneCharEachByte(bytes) {
  let text = '';
  for (let i = 0; i < bytes.length; i += 0x8000) {
    text += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
  }
  return text;
}

/** The text to show for `bytes`, and the encoding that gives the same bytes back. */
export function textOf(bytes) {
  try {
    return { text: strictUtf8.decode(bytes), encoding: 'utf-8' };
  } catch {
    return { text: oneCharEachByte(bytes), encoding: 'bytes' };
  }
}

/** Bytes in `encoding` shown as text: what the converter wrote, in the input's own terms. */
export function decode(bytes, encoding) {
  return encoding === 'bytes' ? oneCharEachByte(bytes) : lenientUtf8.decode(bytes);
}

/**
 * `bytes` in `encoding` as text, in parts of about `size` bytes that each end after a line
 * feed (or at the end), so that each part decodes alone as the whole would.
 */
export function* partsOf(bytes, encoding, size) {
  for (let at = 0; at < bytes.length;) {
    const lineFeed = at + size < bytes.length ? bytes.indexOf(10, at + size) : -1;
    const end = lineFeed < 0 ? bytes.length : lineFeed + 1;
    yield decode(bytes.subarray(at, end), encoding);
    at = end;
  }
}

/**
 * The bytes of the editor's text. In "bytes", a character up to U+00FF is that byte and
 * anything typed beyond it is written in UTF-8.
 */
export function encode(text, encoding) {
  if (encoding !== 'bytes') return encoder.encode(text);
  const bytes = new Uint8Array(text.length);
  for (let i = 0; i < text.length; i++) {
    const c = text.charCodeAt(i);
    if (c > 0xff) return encodeMixed(text, bytes.subarray(0, i), i);
    bytes[i] = c;
  }
  return bytes;
}

// From the first character beyond U+00FF on, each character goes its own way.
function encodeMixed(text, head, from) {
  const tail = [];
  for (const ch of text.slice(from)) {
    const c = ch.codePointAt(0);
    if (c <= 0xff) tail.push(c);
    else tail.push(...encoder.encode(ch));
  }
  const whole = new Uint8Array(head.length + tail.length);
  whole.set(head);
  whole.set(tail, head.length);
  return whole;
}

// The bytes that one UTF-16 code unit of the editor's text stands for.
function byteLength(code, encoding) {
  if (encoding === 'bytes' && code <= 0xff) return 1;
  if (code < 0x80) return 1;
  if (code < 0x800) return 2;
  if (code >= 0xd800 && code <= 0xdfff) return 2; // half of a pair: 4 bytes for the two
  return 3;
}

/** The index in `lineText` of the byte at `column` (from 1) of its line. */
export function indexOfColumn(lineText, column, encoding) {
  let bytes = 0;
  let i = 0;
  while (i < lineText.length && bytes < column - 1) {
    bytes += byteLength(lineText.charCodeAt(i), encoding);
    i++;
  }
  return i;
}

/** The byte column (from 1) of index `index` of `lineText`. */
export function columnOfIndex(lineText, index, encoding) {
  let bytes = 0;
  for (let i = 0; i < index && i < lineText.length; i++) {
    bytes += byteLength(lineText.charCodeAt(i), encoding);
  }
  return bytes + 1;
}

/** Bytes as base64url without padding (RFC 4648 §5). */
export function toBase64url(bytes) {
  let binary = '';
  for (let i = 0; i < bytes.length; i += 0x8000) {
    binary += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
  }
  return btoa(binary).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
}

/** The bytes of base64url text, padded or not; null where it is not base64url. */
export function fromBase64url(text) {
  if (!/^[A-Za-z0-9_-]*={0,2}$/.test(text) || text.replace(/=+$/, '').length % 4 === 1) {
    return null;
  }
  const binary = atob(text.replace(/=+$/, '').replace(/-/g, '+').replace(/_/g, '/'));
  const bytes = new Uint8Array(binary.length);
  for (let i = 0; i < binary.length; i++) bytes[i] = binary.charCodeAt(i);
  return bytes;
}
