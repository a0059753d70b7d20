// Declares a child hung when no line has been read from it for hungAfterMs. Timers run
// before the input that waits in a pipe is read, so a host that blocked its own event
// loop for longer than that would find the timer due while the child's lines sit unread:
// the watchdog looks again once that input has been read (setImmediate runs after it)
// and measures the silence from the last line really read.
import { performance } from 'node:perf_hooks';

export class Watchdog {
  #hungAfterMs;
  #onHung;
  #lastLineAt = 0;
  #timer = null;
  #immediate = null;

  /** onHung(silentForMs) is called once, when the silence has lasted hungAfterMs. */
  constructor(hungAfterMs, onHung) {
    this.#hungAfterMs = hungAfterMs;
    this.#onHung = onHung;
  }

  start() {
    this.#lastLineAt = performance.now();
    this.#arm(this.#hungAfterMs);
  }

  /** A line was read. */
  heard() {
    this.#lastLineAt = performance.now();
  }

  stop() {
    clearTimeout(this.#timer);
    clearImmediate(this.#immediate);
  }

  #arm(delayMs) {
    this.#timer = setTimeout(() => {
      this.#immediate = setImmediate(() => this.#check());
    }, delayMs);
  }

  #check() {
    const silentForMs = performance.now() - this.#lastLineAt;
    if (silentForMs < this.#hungAfterMs) {
      this.#arm(this.#hungAfterMs - silentForMs);
    } else {
      this.#onHung(Math.round(silentForMs));
    }
  }
}
