// Meetings as a host sees them, derived from the events: a "mic-active" starts one, and
// a "mic-inactive", the helper's end or a stop ends it. Each is timed by the client's
// clock when its line arrived, since the events carry no time.

export class Meetings {
  #open = null; // { event, startedAt }

  /** The "mic-active" event of the meeting that is open, or null. */
  get openSession() {
    return this.#open?.event ?? null;
  }

  /**
   * Takes an event that arrived at `at`; answers ['meeting-started' | 'meeting-ended',
   * payload] or null. A second "mic-active" while one is open (quorvel writes none)
   * starts no second meeting.
   */
  take(event, at) {
    if (event.event === 'mic-active' && this.#open === null) {
      this.#open = { event, startedAt: at };
      const { app, pid, title } = event;
      return ['meeting-started', { app, pid, title, startedAt: at }];
    }
    if (event.event === 'mic-inactive') return this.end('mic-inactive', at);
    return null;
  }

  /** Ends the open meeting, if any, for `reason` at `at`: ['meeting-ended', payload] or null. */
  end(reason, at) {
    if (this.#open === null) return null;
    const { event: { app, pid, title }, startedAt } = this.#open;
    this.#open = null;
    // The wall clock may be set back during a meeting.
    const durationMs = Math.max(0, at - startedAt);
    return ['meeting-ended', { app, pid, title, startedAt, endedAt: at, durationMs, reason }];
  }
}
