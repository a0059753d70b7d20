// quorvel (or quorvel-replay) as a child process: its events handed to the host typed,
// its diagnostic log kept in a ring, a hung or ended child restarted with growing delays
// up to a limit, and a stop that asks with SIGINT before it kills.
import { spawn } from 'node:child_process';
import { EventEmitter } from 'node:events';

import { signal } from './child_signal.js';
import { parseEventLine } from './events.js';
import { LineReader } from './line_reader.js';
import { Ring } from './ring.js';

export const DEFAULTS = Object.freeze({
  // quorvel writes a heartbeat every 15 s: three missed ones mean that it hangs.
  hungAfterMs: 45_000,
  stopTimeoutMs: 5_000,
  stderrLines: 200,
  maxLineBytes: 1 << 20,
  restart: Object.freeze({ maxTries: 5, firstDelayMs: 1_000, maxDelayMs: 30_000, factor: 2, healthyAfterMs: 60_000 }),
});

const STDERR_LINE_BYTES = 4096;

export class QuorvelProcess extends EventEmitter {
  #command;
  #args;
  #spawnOptions;
  #hungAfterMs;
  #stopTimeoutMs;
  #maxLineBytes;
  #restart;
  #stderr;

  #state = 'idle'; // idle, running, waiting (to restart), failed (gave up), stopped
  #run = null; // the child that runs now: { child, hung, error, killTimer, killed }
  #tries = 0;
  #restartTimer = null;
  #healthyTimer = null;
  #watchdog = null;
  #openSession = null;
  #stopping = null;
  #onHostExit = () => this.#run && signal(this.#run.child, 'SIGINT');

  constructor(options) {
    super();
    if (typeof options?.command !== 'string' || options.command === '') {
      throw new TypeError('QuorvelProcess needs the path of quorvel or quorvel-replay as "command"');
    }
    this.#command = options.command;
    this.#args = options.args ?? [];
    this.#spawnOptions = { cwd: options.cwd, env: options.env, stdio: ['ignore', 'pipe', 'pipe'] };
    this.#hungAfterMs = options.hungAfterMs ?? DEFAULTS.hungAfterMs;
    this.#stopTimeoutMs = options.stopTimeoutMs ?? DEFAULTS.stopTimeoutMs;
    this.#maxLineBytes = options.maxLineBytes ?? DEFAULTS.maxLineBytes;
    this.#restart = options.restart === false
      ? { ...DEFAULTS.restart, maxTries: 0 }
      : { ...DEFAULTS.restart, ...options.restart };
    this.#stderr = new Ring(options.stderrLines ?? DEFAULTS.stderrLines);
  }

  /** running, waiting (to restart), failed (gave up restarting), stopped or idle. */
  get state() {
    return this.#state;
  }

  /** The pid of the child that runs now, or null. */
  get pid() {
    return this.#run?.child.pid ?? null;
  }

  /** The last lines of the children's standard error, oldest first, across restarts. */
  stderrTail() {
    return this.#stderr.toArray();
  }

  start() {
    if (this.#state === 'running' || this.#state === 'waiting') return;
    if (this.#stopping !== null) throw new Error('QuorvelProcess: start() while stop() is under way');
    this.#tries = 0;
    this.#spawn();
  }

  /**
   * Ends the child: SIGINT, then SIGKILL once stopTimeoutMs have gone by. Resolves with
   * how it ended; never rejects. No restart follows.
   */
  stop() {
    if (this.#stopping !== null) return this.#stopping.promise;
    clearTimeout(this.#restartTimer);
    if (this.#run === null) {
      this.#state = 'stopped';
      return Promise.resolve({ outcome: 'not-running', code: null, signal: null });
    }
    let resolve;
    const promise = new Promise((done) => (resolve = done));
    this.#stopping = { promise, resolve };
    // A stop takes over from an end that the watchdog started, with a fresh timeout.
    this.#end(this.#run);
    return promise;
  }

  #spawn() {
    this.#state = 'running';
    const child = spawn(this.#command, this.#args, this.#spawnOptions);
    const run = { child, hung: false, error: null, killTimer: null, killed: false };
    this.#run = run;
    this.#openSession = null;
    process.on('exit', this.#onHostExit);

    const events = new LineReader(this.#maxLineBytes);
    child.stdout.on('data', (chunk) => {
      for (const item of events.push(chunk)) this.#line(item, run);
    });
    child.stdout.on('end', () => {
      const rest = events.end();
      if (rest !== null) this.#malformed(rest, 'the stream ended inside this line');
    });
    const log = new LineReader(STDERR_LINE_BYTES);
    const keep = (item) => this.#stderr.push(item.line ?? `(a line of ${item.tooLong} bytes left out)`);
    child.stderr.on('data', (chunk) => log.push(chunk).forEach(keep));
    child.stderr.on('end', () => {
      const rest = log.end();
      if (rest !== null) keep(rest);
    });
    child.on('error', (error) => (run.error = error));
    child.on('close', (code, signal) => this.#closed(run, code, signal));

    this.#armWatchdog(run);
    clearTimeout(this.#healthyTimer);
    this.#healthyTimer = setTimeout(() => (this.#tries = 0), this.#restart.healthyAfterMs);
    // pid is null when the program could not be started; the 'exit' report that follows says why.
    this.emit('spawn', { pid: child.pid ?? null, attempt: this.#tries });
  }

  #line(item, run) {
    this.#armWatchdog(run);
    if (item.tooLong !== undefined) {
      this.#malformed(item, null);
      return;
    }
    this.emit('line', item.line);
    const parsed = parseEventLine(item.line);
    if (parsed.type === 'malformed') {
      this.#malformed(item, parsed.reason);
    } else if (parsed.type === 'unknown') {
      this.emit('unknown', parsed.value);
    } else {
      if (parsed.event.event === 'mic-active') this.#openSession = parsed.event;
      if (parsed.event.event === 'mic-inactive') this.#openSession = null;
      this.emit('event', parsed.event);
    }
  }

  // A line that is over the limit is reported without its text, which was not kept.
  #malformed(item, reason) {
    this.emit('malformed', {
      line: item.line ?? '',
      reason: item.tooLong === undefined ? reason : `a line of ${item.tooLong} bytes, over the limit of ${this.#maxLineBytes}`,
    });
  }

  #armWatchdog(run) {
    clearTimeout(this.#watchdog);
    this.#watchdog = setTimeout(() => {
      if (this.#run !== run || this.#stopping !== null) return;
      run.hung = true;
      this.emit('hung', { pid: run.child.pid ?? null, silentForMs: this.#hungAfterMs });
      this.#end(run);
    }, this.#hungAfterMs);
  }

  // SIGINT now, SIGKILL if the child is still there after the stop timeout.
  #end(run) {
    signal(run.child, 'SIGINT');
    clearTimeout(run.killTimer);
    run.killTimer = setTimeout(() => {
      run.killed = true;
      signal(run.child, 'SIGKILL');
    }, this.#stopTimeoutMs);
  }

  #closed(run, status, signal) {
    // A program that could not be started has no status (Node gives the error number).
    const started = run.child.pid !== undefined;
    const code = started ? status : null;
    clearTimeout(run.killTimer);
    clearTimeout(this.#watchdog);
    clearTimeout(this.#healthyTimer);
    process.removeListener('exit', this.#onHostExit);
    this.#run = null;
    const openSession = this.#openSession;
    this.#openSession = null;
    const error = run.error ? run.error.message : null;
    if (this.#stopping !== null) {
      const stopping = this.#stopping;
      this.#stopping = null;
      this.#state = 'stopped';
      this.emit('exit', { code, signal, expected: true, reason: 'stop', openSession, error });
      const outcome = !started ? 'not-running' : run.killed ? 'killed' : signal !== null ? 'signalled' : 'exited';
      stopping.resolve({ outcome, code, signal });
      return;
    }
    const reason = run.hung ? 'hung' : 'exit';
    this.emit('exit', { code, signal, expected: false, reason, openSession, error });
    if (this.#tries >= this.#restart.maxTries) {
      this.#state = 'failed';
      this.emit('gave-up', { reason, tries: this.#tries });
      return;
    }
    const delayMs = Math.min(this.#restart.firstDelayMs * this.#restart.factor ** this.#tries, this.#restart.maxDelayMs);
    this.#tries += 1;
    this.#state = 'waiting';
    this.emit('restart', { reason, attempt: this.#tries, delayMs });
    this.#restartTimer = setTimeout(() => this.#spawn(), delayMs);
  }
}
