// The last few items of an endless sequence, in order: where a helper's diagnostic log
// goes, so that it can be shown when something went wrong without growing for ever.

export class Ring {
  #items;
  #next = 0;
  #count = 0;

  constructor(capacity) {
    this.#items = new Array(Math.max(0, capacity));
  }

  push(item) {
    if (this.#items.length === 0) return;
    this.#items[this.#next] = item;
    this.#next = (this.#next + 1) % this.#items.length;
    this.#count = Math.min(this.#count + 1, this.#items.length);
  }

  toArray() {
    const start = (this.#next - this.#count + this.#items.length) % this.#items.length;
    return Array.from({ length: this.#count }, (_, index) => this.#items[(start + index) % this.#items.length]);
  }
}
