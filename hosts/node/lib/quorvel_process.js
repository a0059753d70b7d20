// quorvel (or quorvel-replay) as a child process: its events handed to the host typed,
// with the meetings they make, its diagnostic log kept in a ring, a hung or ended child
// restarted with growing delays up to a limit unless no restart can mend its end, and a
// stop that asks with SIGINT before it kills.
import { spawn } from 'node:child_process';
import { EventEmitter } from 'node:events';

import { signal } from './child_signal.js';
import { parseEventLine } from './events.js';
import { LineReader } from './line_reader.js';
import { Meetings } from './meetings.js';
import { Ring } from './ring.js';
import { Watchdog } from './watchdog.js';

export const DEFAULTS = Object.freeze({
  // quorvel writes a heartbeat every 15 s: no line for four intervals means that it hangs.
  hungAfterMs: 60_000,
  stopTimeoutMs: 5_000,
  stderrLines: 200,
  restart: Object.freeze({ maxTries: 5, firstDelayMs: 1_000, maxDelayMs: 30_000, factor: 2, healthyAfterMs: 60_000 }),
});

const STDERR_LINE_BYTES = 4096;
// quorvel and quorvel-replay end with status 2 on a command line or scenario they refuse:
// starting them again would only be refused again.
const REFUSED_STATUS = 2;

export class QuorvelProcess extends EventEmitter {
  #command;
  #args;
  #spawnOptions;
  #hungAfterMs;
  #stopTimeoutMs;
  #restart;
  #stderr;
  #clock;
  #stepped;

  #state = 'idle'; // idle, starting, running, stopping, waiting (to restart), failed (gave up), stopped
  #run = null; // the child of now: { child, started, hung, error, killTimer, killed, watchdog }
  #tries = 0;
  #restartTimer = null;
  #healthyTimer = null;
  #meetings = new Meetings();
  #stopping = null; // { promise, resolve }
  #startAfterStop = false;
  #onHostExit = () => this.#run && signal(this.#run.child, 'SIGINT');

  constructor(options) {
    super();
    if (typeof options?.command !== 'string' || options.command === '') {
      throw new TypeError('QuorvelProcess needs the path of quorvel or quorvel-replay as "command"');
    }
    this.#command = options.command;
    this.#stepped = options.step === true;
    this.#args = [...(this.#stepped ? ['--step'] : []), ...(options.args ?? [])];
    const input = this.#stepped ? 'pipe' : 'ignore';
    this.#spawnOptions = { cwd: options.cwd, env: options.env, stdio: [input, 'pipe', 'pipe'] };
    this.#hungAfterMs = options.hungAfterMs ?? DEFAULTS.hungAfterMs;
    this.#stopTimeoutMs = options.stopTimeoutMs ?? DEFAULTS.stopTimeoutMs;
    this.#restart = options.restart === false
      ? { ...DEFAULTS.restart, maxTries: 0 }
      : { ...DEFAULTS.restart, ...options.restart };
    this.#stderr = new Ring(options.stderrLines ?? DEFAULTS.stderrLines);
    this.#clock = options.clock ?? Date.now;
  }

  /** idle, starting, running, stopping, waiting (to restart), failed (gave up) or stopped. */
  get state() {
    return this.#state;
  }

  /** The pid of the child of now, or null. */
  get pid() {
    return this.#run?.child?.pid ?? null;
  }

  /** The last lines of the children's standard error, oldest first, across restarts. */
  stderrTail() {
    return this.#stderr.toArray();
  }

  /** Starts the child; during a stop, once the stop has finished. */
  start() {
    if (this.#state === 'stopping') {
      this.#startAfterStop = true;
      return;
    }
    if (this.#state === 'starting' || this.#state === 'running' || this.#state === 'waiting') return;
    this.#tries = 0;
    this.#spawn();
  }

  /**
   * Ends the child: SIGINT (or, with `step`, the end of its input), then SIGKILL once
   * stopTimeoutMs have gone by. Resolves with how it ended; never rejects. No restart
   * follows, and a start() asked for during an earlier stop is dropped.
   */
  stop() {
    this.#startAfterStop = false;
    if (this.#stopping !== null) return this.#stopping.promise;
    clearTimeout(this.#restartTimer);
    if (this.#run === null) {
      this.#state = 'stopped';
      return Promise.resolve({ outcome: 'not-running', code: null, signal: null });
    }
    let resolve;
    const promise = new Promise((done) => (resolve = done));
    this.#stopping = { promise, resolve };
    this.#state = 'stopping';
    // A stop takes over from an end that the watchdog started, with a fresh timeout.
    this.#end(this.#run);
    return promise;
  }

  /** stop(), then start(): resolves with the stop's result once the new child is on its way. */
  restart() {
    const stopped = this.stop();
    this.start();
    return stopped;
  }

  /** With `step`: has quorvel-replay --step run `count` more ticks; false when no child takes them. */
  tick(count = 1) {
    if (!Number.isInteger(count) || count < 1) throw new RangeError('tick() takes a whole number of ticks, 1 or more');
    const input = this.#run?.child?.stdin;
    if (!input?.writable || (this.#state !== 'starting' && this.#state !== 'running')) return false;
    input.write('\n'.repeat(count));
    return true;
  }

  #spawn() {
    this.#state = 'starting';
    const run = { child: null, started: false, hung: false, error: null, killTimer: null, killed: false, watchdog: null };
    this.#run = run;
    try {
      run.child = spawn(this.#command, this.#args, this.#spawnOptions);
    } catch (error) {
      // What the system cannot even be asked to start (a NUL byte in the path) throws.
      run.error = error;
      setImmediate(() => this.#closed(run, null, null));
      return;
    }
    const { child } = run;
    process.on('exit', this.#onHostExit);
    child.on('spawn', () => this.#started(run));
    child.on('error', (error) => (run.error ??= error));
    child.on('close', (code, signalName) => this.#closed(run, code, signalName));
    // The end of a stepped replay's input is reported by its exit, not here.
    child.stdin?.on('error', () => {});

    const events = new LineReader();
    child.stdout.on('data', (chunk) => {
      const at = this.#clock();
      for (const { line } of events.push(chunk)) this.#line(run, line, at);
    });
    child.stdout.on('end', () => {
      const rest = events.end();
      if (rest !== null) this.#unterminated(run, rest.line);
    });
    const log = new LineReader(STDERR_LINE_BYTES);
    const keep = (item) => this.#stderr.push(item.line ?? `(a line of ${item.tooLong} bytes left out)`);
    child.stderr.on('data', (chunk) => log.push(chunk).forEach(keep));
    child.stderr.on('end', () => {
      const rest = log.end();
      if (rest !== null) keep(rest);
    });
  }

  #started(run) {
    run.started = true;
    if (this.#state === 'starting') this.#state = 'running';
    run.watchdog = new Watchdog(this.#hungAfterMs, (silentForMs) => this.#hung(run, silentForMs));
    run.watchdog.start();
    clearTimeout(this.#healthyTimer);
    this.#healthyTimer = setTimeout(() => (this.#tries = 0), this.#restart.healthyAfterMs);
    this.emit('spawn', { pid: run.child.pid, attempt: this.#tries });
  }

  #line(run, line, at) {
    run.watchdog?.heard();
    this.emit('line', line);
    const parsed = parseEventLine(line);
    if (parsed.type === 'malformed') {
      this.emit('malformed', { line, reason: parsed.reason });
    } else if (parsed.type === 'unknown') {
      this.emit('unknown', parsed.value);
    } else {
      this.emit('event', parsed.event);
      const meeting = this.#meetings.take(parsed.event, at);
      if (meeting !== null) this.emit(...meeting);
    }
  }

  // Every event line ends with a line feed: a rest without one was cut off.
  #unterminated(run, line) {
    run.watchdog?.heard();
    this.emit('line', line);
    this.emit('malformed', { line, reason: 'the stream ended inside this line' });
  }

  #hung(run, silentForMs) {
    if (this.#run !== run || this.#stopping !== null) return;
    run.hung = true;
    this.emit('hung', { pid: run.child.pid, silentForMs });
    this.#end(run);
  }

  // SIGINT (a stepped replay: the end of its input) now, SIGKILL if the child is still
  // there after the stop timeout.
  #end(run) {
    if (this.#stepped) {
      run.child?.stdin?.end();
    } else {
      signal(run.child, 'SIGINT');
    }
    clearTimeout(run.killTimer);
    run.killTimer = setTimeout(() => {
      run.killed = true;
      signal(run.child, 'SIGKILL');
    }, this.#stopTimeoutMs);
  }

  #closed(run, status, signalName) {
    // A program that could not be started has no status (Node gives the error number).
    const started = run.child?.pid !== undefined;
    const code = started ? status : null;
    run.watchdog?.stop();
    clearTimeout(run.killTimer);
    clearTimeout(this.#healthyTimer);
    process.removeListener('exit', this.#onHostExit);
    this.#run = null;
    const stopping = this.#stopping;
    this.#stopping = null;
    const reason = stopping !== null ? 'stop'
      : !started ? 'cannot-start'
        : run.hung ? 'hung'
          : code === REFUSED_STATUS ? 'refused' : 'exit';
    const openSession = this.#meetings.openSession;
    const ended = this.#meetings.end(stopping !== null ? 'stopped' : 'helper-exit', this.#clock());
    const error = run.error ? run.error.message : null;

    // The state is settled before anything is reported, so that a listener that starts
    // or stops the helper finds it as it now is.
    let restartTimer = null;
    let delayMs = 0;
    if (stopping !== null) {
      this.#state = 'stopped';
    } else if (reason === 'cannot-start' || reason === 'refused' || this.#tries >= this.#restart.maxTries) {
      this.#state = 'failed';
    } else {
      delayMs = Math.min(this.#restart.firstDelayMs * this.#restart.factor ** this.#tries, this.#restart.maxDelayMs);
      this.#tries += 1;
      this.#state = 'waiting';
      restartTimer = setTimeout(() => this.#spawn(), delayMs);
      this.#restartTimer = restartTimer;
    }
    const stillSo = (state) => this.#state === state && this.#run === null;

    if (ended !== null) this.emit(...ended);
    this.emit('exit', { code, signal: signalName, expected: stopping !== null, reason, openSession, error });
    if (stopping !== null) {
      const outcome = !started ? 'not-running' : run.killed ? 'killed' : signalName !== null ? 'signalled' : 'exited';
      stopping.resolve({ outcome, code, signal: signalName });
      // A start() asked for during the stop, and not taken back by a stop() since.
      if (this.#startAfterStop && stillSo('stopped')) {
        this.#startAfterStop = false;
        this.start();
      }
    } else if (restartTimer === null) {
      if (stillSo('failed')) this.emit('gave-up', { reason, tries: this.#tries });
    } else if (stillSo('waiting') && this.#restartTimer === restartTimer) {
      this.emit('restart', { reason, attempt: this.#tries, delayMs });
    }
  }
}
