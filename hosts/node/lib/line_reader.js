// Splits a byte stream into lines at "\n" only: JSON escapes every line break inside a
// string, and splitting on other characters (U+2028, "\r") could cut one event in two.
// Each line is decoded as UTF-8 on its own, so a character split across two chunks stays
// whole. With a limit, a longer line is dropped (and reported) rather than buffered.

export class LineReader {
  #maxBytes;
  #parts = [];
  #size = 0;
  #dropped = 0;
  #decoder = new TextDecoder('utf-8');

  /** maxBytes: the longest line kept; Infinity keeps every line whole. */
  constructor(maxBytes = Infinity) {
    this.#maxBytes = maxBytes;
  }

  /** The lines that this chunk completes: { line } or { tooLong: byteCount }. */
  push(chunk) {
    const lines = [];
    let start = 0;
    for (;;) {
      const end = chunk.indexOf(0x0a, start);
      this.#take(chunk.subarray(start, end === -1 ? chunk.length : end));
      if (end === -1) return lines;
      lines.push(this.#finish());
      start = end + 1;
    }
  }

  /** What is left when the stream ends without a final line feed, or null. */
  end() {
    return this.#size > 0 || this.#dropped > 0 ? this.#finish() : null;
  }

  #take(piece) {
    if (piece.length === 0) return;
    if (this.#dropped > 0 || this.#size + piece.length > this.#maxBytes) {
      this.#dropped += this.#size + piece.length;
      this.#parts = [];
      this.#size = 0;
      return;
    }
    this.#parts.push(piece);
    this.#size += piece.length;
  }

  #finish() {
    const result = this.#dropped > 0
      ? { tooLong: this.#dropped }
      : { line: this.#decoder.decode(Buffer.concat(this.#parts, this.#size)) };
    this.#parts = [];
    this.#size = 0;
    this.#dropped = 0;
    return result;
  }
}
