// What index.d.ts promises a TypeScript host: compiled by tsc in the tests, where every
// line marked @ts-expect-error must fail to compile and every other line must compile.
import { APP_LABELS, DEFAULTS, EVENT_KINDS, QuorvelProcess, microphonePermission, parseEventLine, runSennick } from '../../index.js';
import type {
  AppLabel, EndReason, ExitInfo, FailureReason, MeetingEnded, MeetingStarted, Permission, QuorvelEvent, StopResult,
} from '../../index.js';

const helper = new QuorvelProcess({
  command: '/path/to/quorvel-replay', args: ['meeting.json'], step: true, clock: () => Date.now(),
  hungAfterMs: DEFAULTS.hungAfterMs, restart: { maxTries: 1, firstDelayMs: 10 }, env: process.env,
});
// @ts-expect-error: the command is required
new QuorvelProcess({ args: [] });
// @ts-expect-error: maxLineBytes is gone: every line reaches the host whole
new QuorvelProcess({ command: 'quorvel', maxLineBytes: 10 });

// Each method that takes a report's name types the listener from that name.
helper.on('event', (event: QuorvelEvent) => event.event === 'mic-active' && event.title.length);
helper.once('meeting-started', ({ app, pid, title, startedAt }: MeetingStarted) => [app, pid, title, startedAt]);
helper.off('line', (line: string) => line.length);
helper.addListener('meeting-ended', (meeting: MeetingEnded) => meeting.durationMs + meeting.endedAt);
helper.removeListener('exit', (info: ExitInfo) => info.error ?? info.code);
helper.prependListener('gave-up', ({ reason, tries }) => [reason satisfies FailureReason, tries]);
helper.prependOnceListener('hung', ({ pid, silentForMs }) => pid + silentForMs);
helper.emit('spawn', { pid: 1, attempt: 0 });
const counted: number = helper.listenerCount('restart');
const listeners: ((line: string) => void)[] = helper.listeners('line');
const raw: ((line: string) => void)[] = helper.rawListeners('line');
helper.removeAllListeners('malformed').removeAllListeners();
helper.on('exit', ({ reason }) => {
  const why: EndReason = reason;
  // @ts-expect-error: "mic-inactive" ends meetings, not children
  return why === 'mic-inactive';
});
helper.on('meeting-ended', ({ reason }) => {
  // @ts-expect-error: a meeting ends by mic-inactive, helper-exit or stopped
  return reason === 'exit';
});

// @ts-expect-error: no such report
helper.on('meeting-start', () => {});
// @ts-expect-error: no such report
helper.once('mic-active', () => {});
// @ts-expect-error: no such report
helper.off('started', () => {});
// @ts-expect-error: no such report
helper.addListener('meeting', () => {});
// @ts-expect-error: no such report
helper.removeListener('stop', () => {});
// @ts-expect-error: no such report
helper.prependListener('error', () => {});
// @ts-expect-error: no such report
helper.prependOnceListener('close', () => {});
// @ts-expect-error: no such report
helper.emit('tick');
// @ts-expect-error: no such report
helper.listenerCount('ticks');
// @ts-expect-error: no such report
helper.listeners('lines');
// @ts-expect-error: no such report
helper.rawListeners('lines');
// @ts-expect-error: no such report
helper.removeAllListeners('exits');
// @ts-expect-error: a line is a string
helper.addListener('line', (line: number) => line);
// @ts-expect-error: the payload of spawn has a pid
helper.emit('spawn', { attempt: 0 });

const state: 'idle' | 'starting' | 'running' | 'stopping' | 'waiting' | 'failed' | 'stopped' = helper.state;
const pid: number | null = helper.pid;
const ticked: boolean = helper.tick() && helper.tick(600);
helper.start();
const stopped: Promise<StopResult> = helper.stop();
const restarted: Promise<StopResult> = helper.restart();
const tail: string[] = helper.stderrTail();

const label: AppLabel = APP_LABELS[0];
const other: AppLabel = 'A meeting app of a later version';
const kinds: readonly string[] = EVENT_KINDS;
const parsed = parseEventLine('{"event":"heartbeat"}');
if (parsed.type === 'event' && parsed.event.event === 'mic-active') parsed.event.pid.toFixed();

async function permission(): Promise<Permission> {
  const { code, error, signal, permission: answer } = await runSennick({ command: '/path/to/sennick', timeoutMs: 100 });
  const status: number | null = code;
  const why: string | null = error;
  return signal === null && status !== null && why === null ? answer : microphonePermission({ command: 'sennick' });
}

export { counted, listeners, raw, state, pid, ticked, stopped, restarted, tail, label, other, kinds, permission };
