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
  /** quorvel takes none; quorvel-replay takes ["--realtime", "SCENARIO.json"]. */
  args?: string[];
  env?: NodeJS.ProcessEnv;
  cwd?: string;
  /** No line on standard output for this long means the child hangs (default 45000 ms). */
  hungAfterMs?: number;
  /** Time between SIGINT and SIGKILL when stopping (default 5000 ms). */
  stopTimeoutMs?: number;
  /** How many lines of standard error are kept (default 200). */
  stderrLines?: number;
  /** Longer event lines are reported as malformed and dropped (default 1 MiB). */
  maxLineBytes?: number;
  /** How to restart a child that ended or hangs; false never restarts. */
  restart?: RestartOptions | false;
}

export declare const DEFAULTS: Readonly<{
  hungAfterMs: number;
  stopTimeoutMs: number;
  stderrLines: number;
  maxLineBytes: number;
  restart: Readonly<Required<RestartOptions>>;
}>;

export interface ExitInfo {
  code: number | null;
  signal: NodeJS.Signals | null;
  /** True when stop() ended it. */
  expected: boolean;
  /** stop(), the watchdog ("hung"), or the child ended by itself ("exit"). */
  reason: 'stop' | 'hung' | 'exit';
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

export interface QuorvelProcessEvents {
  event: [event: QuorvelEvent];
  unknown: [value: { event: string; [key: string]: unknown }];
  malformed: [info: { line: string; reason: string }];
  line: [line: string];
  spawn: [info: { pid: number | null; attempt: number }];
  hung: [info: { pid: number | null; silentForMs: number }];
  exit: [info: ExitInfo];
  restart: [info: { reason: 'hung' | 'exit'; attempt: number; delayMs: number }];
  'gave-up': [info: { reason: 'hung' | 'exit'; tries: number }];
}

export declare class QuorvelProcess extends EventEmitter {
  constructor(options: QuorvelProcessOptions);
  readonly state: 'idle' | 'running' | 'waiting' | 'failed' | 'stopped';
  readonly pid: number | null;
  start(): void;
  stop(): Promise<StopResult>;
  /** The last lines of standard error, oldest first, across restarts. */
  stderrTail(): string[];
  on<K extends keyof QuorvelProcessEvents>(name: K, listener: (...args: QuorvelProcessEvents[K]) => void): this;
  once<K extends keyof QuorvelProcessEvents>(name: K, listener: (...args: QuorvelProcessEvents[K]) => void): this;
  off<K extends keyof QuorvelProcessEvents>(name: K, listener: (...args: QuorvelProcessEvents[K]) => void): this;
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
  code: number | null;
  signal: NodeJS.Signals | null;
  stdout: string;
  stderr: string;
  error: string | null;
}

/** Runs sennick; never rejects. */
export declare function runSennick(options: SennickOptions): Promise<SennickResult>;
/** The audio-capture permission: the word and the status must agree, anything else is "unknown". */
export declare function microphonePermission(options: SennickOptions): Promise<Permission>;
