// QuorvelProcess starting, stopping, restarting and restarted, against the real
// quorvel-replay (and the real quorvel on Linux) and small stand-ins for what the real
// programs do not do on cue.
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { after, test } from 'node:test';

import { QuorvelProcess } from '../index.js';
import {
  assertValidEvents, named, next, nth, program, record, scenario, scenarios, scratch, standIn, zoomMeeting,
} from './support.js';

const replay = program('QUORVEL_REPLAY');
const folder = scratch(after);

const expectedLines = (name) => readFileSync(join(scenarios, `${name}.stdout`), 'utf8').split('\n').slice(0, -1);
const firstLine = (helper) => next(helper, 'line');
const gone = (pid) => {
  try {
    process.kill(pid, 0);
    return false;
  } catch {
    return true;
  }
};

// Two startup lines, then no event for a long while.
const idle = scenario(folder, 'idle', {
  observer: { pid: 4000, parentPid: 3000 }, ticks: 600, states: [{ fromTick: 0, audioProcesses: [] }],
});
// A meeting that is still on when the replay's last tick has run.
const unfinished = scenario(folder, 'unfinished', zoomMeeting(2));

test('a replayed meeting arrives as typed events in order, and the log is kept', async () => {
  const name = 'zoom_meeting_per_process';
  const helper = new QuorvelProcess({ command: replay, args: [`${name}.json`], cwd: scenarios, restart: false });
  const seen = record(helper);
  helper.start();
  assert.equal(helper.state, 'starting');
  const spawned = await next(helper, 'spawn');
  assert.ok(spawned.pid > 0);
  assert.equal(spawned.attempt, 0);
  const gaveUp = await next(helper, 'gave-up');

  const lines = expectedLines(name);
  assert.deepEqual(named(seen, 'line'), lines);
  assert.deepEqual(named(seen, 'event'), lines.map((line) => JSON.parse(line)));
  assertValidEvents(named(seen, 'line'));
  assert.deepEqual(named(seen, 'malformed'), []);
  const log = readFileSync(join(scenarios, `${name}.stderr`), 'utf8').split('\n').slice(0, -1);
  assert.deepEqual(helper.stderrTail(), log);
  assert.deepEqual(named(seen, 'exit'), [
    { code: 0, signal: null, expected: false, reason: 'exit', openSession: null, error: null },
  ]);
  assert.deepEqual(gaveUp, { reason: 'exit', tries: 0 });
  assert.equal(helper.state, 'failed');
  assert.deepEqual(await helper.stop(), { outcome: 'not-running', code: null, signal: null });
});

test('a child that ends is restarted with growing delays until the tries run out', async () => {
  const helper = new QuorvelProcess({
    command: replay, args: [unfinished], restart: { maxTries: 2, firstDelayMs: 20, factor: 3 },
  });
  const seen = record(helper);
  helper.start();
  await next(helper, 'gave-up');

  const session = { event: 'mic-active', app: 'Zoom', pid: 700, title: 'Zoom Meeting' };
  const oneRun = [{ event: 'heartbeat' }, { event: 'mic-mode', perProcess: true }, session];
  assert.deepEqual(named(seen, 'event'), [...oneRun, ...oneRun, ...oneRun]);
  assert.deepEqual(named(seen, 'spawn').map((spawned) => spawned.attempt), [0, 1, 2]);
  assert.deepEqual(named(seen, 'restart'), [
    { reason: 'exit', attempt: 1, delayMs: 20 },
    { reason: 'exit', attempt: 2, delayMs: 60 },
  ]);
  for (const exit of named(seen, 'exit')) {
    assert.deepEqual(exit, { code: 0, signal: null, expected: false, reason: 'exit', openSession: session, error: null });
  }
  assert.deepEqual(named(seen, 'gave-up'), [{ reason: 'exit', tries: 2 }]);
  assert.deepEqual(named(seen, 'hung'), []);
});

test('stop() ends a running replay with SIGINT and no restart follows', async () => {
  const helper = new QuorvelProcess({ command: replay, args: ['--realtime', idle], restart: { firstDelayMs: 1 } });
  const seen = record(helper);
  helper.start();
  // The replay catches the stop signals from its first instruction, before any output.
  await firstLine(helper);
  const pid = helper.pid;
  assert.ok(pid > 0);
  assert.equal(helper.state, 'running');

  const stopping = helper.stop();
  assert.equal(helper.state, 'stopping');
  assert.equal(helper.stop(), stopping, 'a second stop() while stopping is the same stop');
  assert.deepEqual(await stopping, { outcome: 'exited', code: 0, signal: null });
  assert.equal(helper.state, 'stopped');
  assert.equal(helper.pid, null);
  assert.ok(gone(pid));
  assert.deepEqual(named(seen, 'exit'), [
    { code: 0, signal: null, expected: true, reason: 'stop', openSession: null, error: null },
  ]);
  assert.deepEqual(await helper.stop(), { outcome: 'not-running', code: null, signal: null });
  assert.deepEqual(named(seen, 'restart'), []);
});

test('stop() tells how a child ended that dies of SIGINT or ignores it', async () => {
  const dies = standIn(folder, 'dies', 'echo \'{"event":"heartbeat"}\'\nexec sleep 30');
  const deaf = standIn(folder, 'deaf', 'trap "" INT\necho \'{"event":"heartbeat"}\'\nexec sleep 30');
  const stopAfterHeartbeat = async (command) => {
    const helper = new QuorvelProcess({ command, stopTimeoutMs: 200 });
    helper.start();
    await next(helper, 'event');
    return helper.stop();
  };
  assert.deepEqual(await stopAfterHeartbeat(dies), { outcome: 'signalled', code: null, signal: 'SIGINT' });
  assert.deepEqual(await stopAfterHeartbeat(deaf), { outcome: 'killed', code: null, signal: 'SIGKILL' });
});

test('start() during a stop starts a new child once the stop has finished; a later stop() takes it back', async () => {
  const helper = new QuorvelProcess({ command: replay, args: ['--realtime', idle] });
  const seen = record(helper);
  helper.start();
  await firstLine(helper);
  const first = helper.pid;

  const stopping = helper.stop();
  helper.start();
  assert.equal(helper.state, 'stopping');
  assert.deepEqual(await stopping, { outcome: 'exited', code: 0, signal: null });
  assert.match(helper.state, /^(starting|running)$/);
  const spawned = await nth(seen, helper, 'spawn', 2);
  assert.notEqual(spawned.pid, first);
  assert.equal(spawned.attempt, 0);
  await nth(seen, helper, 'line', 3);
  assert.equal(helper.state, 'running');

  const again = helper.stop();
  helper.start();
  const last = helper.stop();
  assert.equal(last, again);
  assert.deepEqual(await last, { outcome: 'exited', code: 0, signal: null });
  assert.equal(helper.state, 'stopped');
  assert.equal(named(seen, 'spawn').length, 2);
  assert.deepEqual(named(seen, 'exit').map((exit) => exit.reason), ['stop', 'stop']);
});

test('restart() stops the child and starts a new one, in one promise', async () => {
  const helper = new QuorvelProcess({ command: replay, args: ['--realtime', idle] });
  const seen = record(helper);
  helper.start();
  await nth(seen, helper, 'event', 2);
  const first = helper.pid;
  assert.deepEqual(await helper.restart(), { outcome: 'exited', code: 0, signal: null });
  const spawned = await nth(seen, helper, 'spawn', 2);
  assert.ok(spawned.pid !== first && spawned.pid > 0);
  await nth(seen, helper, 'event', 4);
  await helper.stop();
  assert.deepEqual(named(seen, 'event').map((event) => event.event), ['heartbeat', 'mic-mode', 'heartbeat', 'mic-mode']);
  assert.deepEqual(named(seen, 'restart'), [], 'a restart asked for is no restart after a failure');

  const stopped = new QuorvelProcess({ command: replay, args: ['--realtime', idle] });
  const line = firstLine(stopped);
  assert.deepEqual(await stopped.restart(), { outcome: 'not-running', code: null, signal: null });
  await line;
  assert.equal(stopped.state, 'running');
  await stopped.stop();
});

test('start() while starting or running starts nothing more', async () => {
  const helper = new QuorvelProcess({ command: replay, args: ['--realtime', idle] });
  const seen = record(helper);
  helper.start();
  helper.start();
  await firstLine(helper);
  helper.start();
  await helper.stop();
  assert.equal(named(seen, 'spawn').length, 1);
});

test('stop() while a restart is planned cancels it', async () => {
  const helper = new QuorvelProcess({ command: replay, args: [unfinished], restart: { firstDelayMs: 60_000 } });
  const seen = record(helper);
  helper.start();
  await next(helper, 'restart');
  assert.equal(helper.state, 'waiting');
  assert.deepEqual(await helper.stop(), { outcome: 'not-running', code: null, signal: null });
  assert.equal(helper.state, 'stopped');
  assert.equal(named(seen, 'spawn').length, 1);
});

test('a listener that starts the helper again as it gives up is not told that it gave up', async () => {
  const helper = new QuorvelProcess({ command: replay, args: [unfinished], restart: false });
  const seen = record(helper);
  helper.once('exit', () => helper.start());
  helper.start();
  await next(helper, 'gave-up');
  assert.equal(named(seen, 'spawn').length, 2);
  assert.equal(named(seen, 'gave-up').length, 1);
});

test('a child that ran long enough counts as healthy: the tries start again', async () => {
  const shortLived = standIn(folder, 'short-lived', 'echo \'{"event":"heartbeat"}\'\nexec sleep 0.3');
  const helper = new QuorvelProcess({
    command: shortLived, restart: { maxTries: 1, firstDelayMs: 5, healthyAfterMs: 50 },
  });
  const seen = record(helper);
  helper.start();
  for (let restarts = 0; restarts < 3; restarts++) await next(helper, 'restart');
  await helper.stop();
  assert.deepEqual(named(seen, 'restart').slice(0, 3), Array(3).fill({ reason: 'exit', attempt: 1, delayMs: 5 }));
  assert.deepEqual(named(seen, 'gave-up'), []);
});

test('a child still running when the host exits is sent SIGINT', async () => {
  const host = [
    `import { QuorvelProcess } from ${JSON.stringify(new URL('../index.js', import.meta.url).href)};`,
    `const helper = new QuorvelProcess({ command: ${JSON.stringify(replay)}, args: ['--realtime', ${JSON.stringify(idle)}] });`,
    "helper.on('event', (event) => { if (event.event === 'mic-mode') { console.log(helper.pid); process.exit(0); } });",
    'helper.start();',
  ].join('\n');
  const script = join(folder, 'host.mjs');
  writeFileSync(script, host);
  const done = spawnSync(process.execPath, [script], { encoding: 'utf8', timeout: 30_000 });
  assert.equal(done.status, 0, done.stderr);
  const pid = Number(done.stdout);
  assert.ok(pid > 0);
  // The replay may still be on its way out: wait for it, with a generous bound.
  for (let waited = 0; !gone(pid) && waited < 10_000; waited += 50) await new Promise((resolve) => setTimeout(resolve, 50));
  assert.ok(gone(pid), `quorvel-replay ${pid} outlived its host`);
});

test('the real quorvel starts, reports its mode and ends with status 0 on stop()', { skip: process.platform !== 'linux' && 'quorvel runs here only on Linux' }, async () => {
  // No sound server and no X display: quorvel runs in device-level mode and sees nothing.
  const env = { ...process.env, PULSE_SERVER: `unix:${join(folder, 'no-server')}`, DISPLAY: '' };
  const helper = new QuorvelProcess({ command: program('QUORVEL'), env });
  const seen = record(helper);
  helper.start();
  await next(helper, 'event', (event) => event.event === 'mic-mode');
  assert.deepEqual(await helper.stop(), { outcome: 'exited', code: 0, signal: null });
  assert.deepEqual(named(seen, 'event'), [{ event: 'heartbeat' }, { event: 'mic-mode', perProcess: false }]);
  assertValidEvents(named(seen, 'line'));
  // Why neither server could be reached comes first, then the mode line.
  const log = helper.stderrTail();
  assert.match(log[0], /^\[\d\d:\d\d:\d\d\.\d{3}\] X server unreachable: DISPLAY is not set$/);
  assert.match(log[1], /^\[\d\d:\d\d:\d\d\.\d{3}\] sound server unreachable: no sound server at .* \(Connection refused\)$/);
  assert.match(log[2], /^\[\d\d:\d\d:\d\d\.\d{3}\] mic detection: device-level fallback$/);
});
