// Types of the host-side client of quorvel and sennick (index.js).
import { EventEmitter } from 'node:events';

/** The application labels that this version of quorvel writes; later versions may add others. */
export type KnownAppLabel =
  | 'Zoom' | 'Microsoft Teams' | 'Webex' | 'Slack'
  | 'Google Chrome' | 'Microsoft Edge' | 'Safari' | 'Firefox' | 'Opera' | 'Brave';
/** An application label: one of the known ones, or one that a later version added. */
export type AppLabel = KnownAppLabel | (string & {});

export declare const APP_LABELS: readonly KnownAppLabel[];
export declare const EVENT_KINDS: readonly ['heartbeat', 'mic-mode', 'mic-active', 'mic-inactive'];

/** Written at startup, then every 15 ticks (every 15 s while ticks are on time). */
export interface HeartbeatEvent { event: 'heartbeat' }
/** Once, the second line: whether capture is seen per process or only per device. */
export interface MicModeEvent { event: 'mic-mode'; perProcess: boolean }
/** A microphone session has been attributed to a meeting application. */
export interface MicActiveEvent { event: 'mic-active'; app: AppLabel; pid: number; title: string }
/** The microphone session ended; app is "" and pid 0. */
export interface MicInactiveEvent { event: 'mic-inactive'; app: string; pid: number }
export type QuorvelEvent = HeartbeatEvent | MicModeEvent | MicActiveEvent | MicInactiveEvent;

export type ParsedLine =
  | { type: 'event'; event: QuorvelEvent }
  | { type: 'unknown'; value: { event: string; [key: string]: unknown } }
  | { type: 'malformed'; reason: string };

/** Reads one event line (without its line feed); never throws. */
export declare function parseEventLine(line: string): ParsedLine;

export interface RestartOptions {
  /** Restarts in a row before giving up (default 5; 0 never restarts). */
  maxTries?: number;
  /** Delay before the first restart (default 1000 ms). */
  firstDelayMs?: number;
  /** Each further delay is the previous one times this (default 2). */
  factor?: number;
  /** Longest delay (default 30000 ms). */
  maxDelayMs?: number;
  /** A child that ran this long counts as healthy: the tries start again from 0 (default 60000 ms). */
  healthyAfterMs?: number;
}

export interface QuorvelProcessOptions {
  /** Path of quorvel, or of quorvel-replay in a host's tests. Started directly, never through a shell. */
  command: string;
  /** quorvel takes none; quorvel-replay takes ["--realtime", "SCENARIO.json"], or with `step` just ["SCENARIO.json"]. */
  args?: string[];
  env?: NodeJS.ProcessEnv;
  cwd?: string;
  /** No line on standard output for this long means the child hangs (default 60000 ms, four heartbeats). */
  hungAfterMs?: number;
  /** Time between SIGINT and SIGKILL when stopping (default 5000 ms). */
  stopTimeoutMs?: number;
  /** How many lines of standard error are kept (default 200). */
  stderrLines?: number;
  /** How to restart a child that ended or hangs; false never restarts. */
  restart?: RestartOptions | false;
  /** For tests: the child is quorvel-replay --step ("--step" goes before args), and tick() runs its ticks. */
  step?: boolean;
  /** The clock that times meetings, in milliseconds since the epoch (default Date.now). */
  clock?: () => number;
}

export declare const DEFAULTS: Readonly<{
  hungAfterMs: number;
  stopTimeoutMs: number;
  stderrLines: number;
  restart: Readonly<Required<RestartOptions>>;
}>;

/**
 * Why a child ended: stop() ended it ("stop"), the watchdog did ("hung"), it could not be
 * started ("cannot-start"), it refused its command line or input with status 2
 * ("refused"), or it ended by itself ("exit"). No restart follows "cannot-start" or "refused".
 */
export type EndReason = 'stop' | 'hung' | 'cannot-start' | 'refused' | 'exit';
/** The ends after which the client restarts the child, or gives up. */
export type FailureReason = Exclude<EndReason, 'stop'>;

export interface ExitInfo {
  /** The exit status; null when the child died of a signal or could not be started. */
  code: number | null;
  signal: NodeJS.Signals | null;
  /** True when stop() ended it. */
  expected: boolean;
  reason: EndReason;
  /** The mic-active event of a session that was open when the child ended: no mic-inactive will close it. */
  openSession: MicActiveEvent | null;
  /** Why the child could not be started, if it could not. */
  error: string | null;
}

export interface StopResult {
  /** exited: by itself (status in code); signalled: by a signal it did not handle; killed: SIGKILL after the timeout; not-running: nothing to stop. */
  outcome: 'exited' | 'signalled' | 'killed' | 'not-running';
  code: number | null;
  signal: NodeJS.Signals | null;
}

/** A meeting: a mic-active event, timed by the client's clock when its line arrived. */
export interface MeetingStarted {
  app: AppLabel;
  pid: number;
  title: string;
  /** Milliseconds since the epoch, by the client's clock. */
  startedAt: number;
}

export interface MeetingEnded extends MeetingStarted {
  endedAt: number;
  /** endedAt - startedAt, never below 0. */
  durationMs: number;
  /** A mic-inactive event ended it, the child ended without one, or stop() (or restart()) ended the child. */
  reason: 'mic-inactive' | 'helper-exit' | 'stopped';
}

export interface QuorvelProcessEvents {
  event: [event: QuorvelEvent];
  unknown: [value: { event: string; [key: string]: unknown }];
  malformed: [info: { line: string; reason: string }];
  line: [line: string];
  'meeting-started': [meeting: MeetingStarted];
  'meeting-ended': [meeting: MeetingEnded];
  spawn: [info: { pid: number; attempt: number }];
  hung: [info: { pid: number; silentForMs: number }];
  exit: [info: ExitInfo];
  restart: [info: { reason: 'hung' | 'exit'; attempt: number; delayMs: number }];
  'gave-up': [info: { reason: FailureReason; tries: number }];
}

type Reports = QuorvelProcessEvents;
type Listener<K extends keyof Reports> = (...args: Reports[K]) => void;

export declare class QuorvelProcess extends EventEmitter {
  constructor(options: QuorvelProcessOptions);
  readonly state: 'idle' | 'starting' | 'running' | 'stopping' | 'waiting' | 'failed' | 'stopped';
  readonly pid: number | null;
  /** Starts the child; during a stop, once the stop has finished. */
  start(): void;
  /** Ends the child (SIGINT, then SIGKILL); never rejects. */
  stop(): Promise<StopResult>;
  /** stop(), then start(): resolves with the stop's result. */
  restart(): Promise<StopResult>;
  /** With `step`: runs `count` (default 1) more ticks of quorvel-replay; false when no child takes them. */
  tick(count?: number): boolean;
  /** The last lines of standard error, oldest first, across restarts. */
  stderrTail(): string[];

  on<K extends keyof Reports>(name: K, listener: Listener<K>): this;
  once<K extends keyof Reports>(name: K, listener: Listener<K>): this;
  off<K extends keyof Reports>(name: K, listener: Listener<K>): this;
  addListener<K extends keyof Reports>(name: K, listener: Listener<K>): this;
  removeListener<K extends keyof Reports>(name: K, listener: Listener<K>): this;
  prependListener<K extends keyof Reports>(name: K, listener: Listener<K>): this;
  prependOnceListener<K extends keyof Reports>(name: K, listener: Listener<K>): this;
  removeAllListeners(name?: keyof Reports): this;
  emit<K extends keyof Reports>(name: K, ...args: Reports[K]): boolean;
  listeners<K extends keyof Reports>(name: K): Listener<K>[];
  rawListeners<K extends keyof Reports>(name: K): Listener<K>[];
  listenerCount(name: keyof Reports, listener?: (...args: any[]) => void): number;
  eventNames(): (keyof Reports)[];
}

export type Permission = 'authorized' | 'denied' | 'unknown';

export interface SennickOptions {
  /** Path of sennick. */
  command: string;
  args?: string[];
  env?: NodeJS.ProcessEnv;
  cwd?: string;
  /** A run that takes longer is killed and answers "unknown" (default 10000 ms). */
  timeoutMs?: number;
}

export interface SennickResult {
  permission: Permission;
  /** The exit status; null when sennick died of a signal or could not be started (see error). */
  code: number | null;
  signal: NodeJS.Signals | null;
  stdout: string;
  stderr: string;
  /** Why sennick could not be started or was killed, or null. */
  error: string | null;
}

/** Runs sennick; never rejects. */
export declare function runSennick(options: SennickOptions): Promise<SennickResult>;
/** The audio-capture permission: the word and the status must agree, anything else is "unknown". */
export declare function microphonePermission(options: SennickOptions): Promise<Permission>;
