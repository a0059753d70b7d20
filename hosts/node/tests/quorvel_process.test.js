// QuorvelProcess against the real quorvel-replay (and the real quorvel on Linux), and
// against small stand-ins for the misbehaviour the real programs do not show on cue.
import assert from 'node:assert/strict';
import { spawn, spawnSync } from 'node:child_process';
import { once } from 'node:events';
import { readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { after, test } from 'node:test';

import { QuorvelProcess } from '../index.js';
import { signal } from '../lib/child_signal.js';
import { assertValidEvents, named, next, program, record, scenarios, scratch, standIn } from './support.js';

const replay = program('QUORVEL_REPLAY');
const folder = scratch(after);

// quorvel installs its SIGINT handler just after writing the mic-mode line: a test that
// stops it at once could catch it before that, so it waits a moment first.
const settle = () => new Promise((resolve) => setTimeout(resolve, 200));

const expectedLines = (name) => readFileSync(join(scenarios, `${name}.stdout`), 'utf8').split('\n').slice(0, -1);

// A scenario that idles: two startup lines, then no event for the next 15 s.
const idle = join(folder, 'idle.json');
writeFileSync(idle, JSON.stringify({
  observer: { pid: 4000, parentPid: 3000 }, ticks: 600, states: [{ fromTick: 0, audioProcesses: [] }],
}));

// A meeting that is still on when the replay's last tick has run.
const unfinished = join(folder, 'unfinished.json');
writeFileSync(unfinished, JSON.stringify({
  observer: { pid: 4000, parentPid: 3000 },
  ticks: 2,
  states: [
    { fromTick: 0, audioProcesses: [] },
    {
      fromTick: 1,
      processes: [{ pid: 700, ppid: 1, comm: 'zoom.us' }],
      audioProcesses: [{ id: 20, pid: 700, runningInput: true }],
      apps: [{ name: 'zoom.us', pid: 700 }],
      frontmostPid: 700,
      windows: [{ pid: 700, title: 'Zoom Meeting' }],
    },
  ],
}));

test('a replayed meeting arrives as typed events in order, and the log is kept', async () => {
  const name = 'zoom_meeting_per_process';
  const helper = new QuorvelProcess({ command: replay, args: [`${name}.json`], cwd: scenarios, restart: false });
  const seen = record(helper);
  helper.start();
  assert.equal(helper.state, 'running');
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
  assertValidEvents(named(seen, 'line'));
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

test('a child that writes nothing for too long is hung: ended with SIGINT and restarted', async () => {
  const helper = new QuorvelProcess({
    command: replay, args: ['--realtime', idle], hungAfterMs: 600, restart: { maxTries: 1, firstDelayMs: 10 },
  });
  const seen = record(helper);
  helper.start();
  await next(helper, 'gave-up');

  assert.deepEqual(seen.filter(([name]) => name !== 'line' && name !== 'event').map(([name]) => name),
    ['spawn', 'hung', 'exit', 'restart', 'spawn', 'hung', 'exit', 'gave-up']);
  for (const { code, signal, ...exit } of named(seen, 'exit')) {
    assert.deepEqual(exit, { expected: false, reason: 'hung', openSession: null, error: null });
    // The replay ends with status 0 on SIGINT once its handler is in place (see settle).
    assert.ok((code === 0 && signal === null) || (code === null && signal === 'SIGINT'), `${code} ${signal}`);
  }
  assert.deepEqual(named(seen, 'restart'), [{ reason: 'hung', attempt: 1, delayMs: 10 }]);
  assert.equal(named(seen, 'hung')[0].silentForMs, 600);
  assert.deepEqual(named(seen, 'gave-up'), [{ reason: 'hung', tries: 1 }]);
  assertValidEvents(named(seen, 'line'));
});

test('each line puts off the watchdog', async () => {
  const chatty = standIn(folder, 'chatty', 'for n in $(seq 25); do echo \'{"event":"heartbeat"}\'; sleep 0.1; done\nexec sleep 30');
  const helper = new QuorvelProcess({ command: chatty, hungAfterMs: 1000 });
  const seen = record(helper);
  helper.start();
  await next(helper, 'event');
  const hung = next(helper, 'hung');
  await next(helper, 'line', () => named(seen, 'line').length === 25);
  assert.deepEqual(named(seen, 'hung'), [], 'hung while lines came every 0.1 s');
  await hung; // and once they stop, the watchdog fires
  await helper.stop();
});

test('stop() ends a running replay with SIGINT and no restart follows', async () => {
  const helper = new QuorvelProcess({ command: replay, args: ['--realtime', idle], restart: { firstDelayMs: 1 } });
  const seen = record(helper);
  helper.start();
  await next(helper, 'event', (event) => event.event === 'mic-mode');
  await settle();
  const pid = helper.pid;
  assert.ok(pid > 0);

  const stopping = helper.stop();
  assert.equal(helper.stop(), stopping, 'a second stop() while stopping is the same stop');
  assert.deepEqual(await stopping, { outcome: 'exited', code: 0, signal: null });
  assert.equal(helper.state, 'stopped');
  assert.equal(helper.pid, null);
  assert.throws(() => process.kill(pid, 0), { code: 'ESRCH' });
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

test('odd lines are reported, never thrown, and the stream goes on; the log stays bounded', async () => {
  const odd = standIn(folder, 'odd', [
    'echo \'{"event":"heartbeat"}\'',
    'echo \'no json\'',
    'echo \'{"event":"mic-active","app":"Zoom","pid":"700","title":""}\'',
    'echo \'{"event":"mic-paused","pid":700}\'',
    `printf '%0200d\\n' 0`,
    'echo \'{"event":"mic-mode","perProcess":false}\'',
    'for n in 1 2 3 4 5 6 7 8 9 10; do echo "log line $n" >&2; done',
    `printf '%05000d\\n' 0 >&2`,
    'echo "last log line" >&2',
    'printf \'{"event":"hea\'',
  ].join('\n'));
  const helper = new QuorvelProcess({ command: odd, maxLineBytes: 100, stderrLines: 3, restart: false });
  const seen = record(helper);
  helper.start();
  await next(helper, 'gave-up');

  assert.deepEqual(named(seen, 'event'), [{ event: 'heartbeat' }, { event: 'mic-mode', perProcess: false }]);
  assert.deepEqual(named(seen, 'unknown'), [{ event: 'mic-paused', pid: 700 }]);
  const malformed = named(seen, 'malformed');
  assert.deepEqual(malformed.map((report) => report.line),
    ['no json', '{"event":"mic-active","app":"Zoom","pid":"700","title":""}', '', '{"event":"hea']);
  assert.match(malformed[1].reason, /pid/);
  assert.match(malformed[2].reason, /200 bytes/);
  assert.match(malformed[3].reason, /ended inside/);
  assert.deepEqual(helper.stderrTail(), ['log line 10', '(a line of 5000 bytes left out)', 'last log line']);
});

test('a helper that cannot be started is reported and retried like one that ended', async () => {
  const helper = new QuorvelProcess({ command: join(folder, 'missing'), restart: { maxTries: 1, firstDelayMs: 5 } });
  const seen = record(helper);
  helper.start();
  await next(helper, 'gave-up');
  const exits = named(seen, 'exit');
  assert.equal(exits.length, 2);
  for (const exit of exits) {
    assert.match(exit.error, /ENOENT/);
    assert.equal(exit.code, null);
  }
  assert.deepEqual(named(seen, 'event'), []);
});

test('only a running child is signalled', () => {
  // Node signals pid 0, the host's whole process group, for a child that has no pid.
  const sent = [];
  const child = (state) => ({ exitCode: null, signalCode: null, ...state, kill: (name) => sent.push([state, name]) });
  signal(child({ pid: undefined }), 'SIGINT');
  signal(child({ pid: 5, exitCode: 0 }), 'SIGINT');
  signal(child({ pid: 6, signalCode: 'SIGINT' }), 'SIGKILL');
  signal(child({ pid: 7 }), 'SIGKILL');
  assert.deepEqual(sent, [[{ pid: 7 }, 'SIGKILL']]);
});

test('stop() of a helper that could not be started resolves as not running', async () => {
  // In a process group of its own, in case a fault signals the whole group.
  const host = join(folder, 'stop-missing.mjs');
  writeFileSync(host, [
    `import { QuorvelProcess } from ${JSON.stringify(new URL('../index.js', import.meta.url).href)};`,
    `const helper = new QuorvelProcess({ command: ${JSON.stringify(join(folder, 'missing'))}, stopTimeoutMs: 50 });`,
    "helper.on('exit', ({ error }) => console.log(error));",
    'helper.start();',
    'console.log(JSON.stringify(await helper.stop()));',
  ].join('\n'));
  const child = spawn(process.execPath, [host], { detached: true, stdio: ['ignore', 'pipe', 'inherit'] });
  let output = '';
  child.stdout.on('data', (text) => (output += text));
  const [code, signalName] = await once(child, 'close');
  assert.deepEqual({ code, signalName }, { code: 0, signalName: null });
  const [error, result] = output.trim().split('\n');
  assert.match(error, /ENOENT/);
  assert.deepEqual(JSON.parse(result), { outcome: 'not-running', code: null, signal: null });
});

test('stop() while a restart is planned cancels it', async () => {
  const helper = new QuorvelProcess({ command: join(folder, 'missing'), restart: { firstDelayMs: 60_000 } });
  const seen = record(helper);
  helper.start();
  await next(helper, 'restart');
  assert.equal(helper.state, 'waiting');
  assert.deepEqual(await helper.stop(), { outcome: 'not-running', code: null, signal: null });
  assert.equal(helper.state, 'stopped');
  assert.equal(named(seen, 'spawn').length, 1);
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
  const gone = () => { try { process.kill(pid, 0); return false; } catch { return true; } };
  for (let waited = 0; !gone() && waited < 10_000; waited += 50) await new Promise((resolve) => setTimeout(resolve, 50));
  assert.ok(gone(), `quorvel-replay ${pid} outlived its host`);
});

test('the real quorvel starts, reports its mode and ends with status 0 on stop()', { skip: process.platform !== 'linux' && 'quorvel runs here only on Linux' }, async () => {
  // No sound server and no X display: quorvel runs in device-level mode and sees nothing.
  const env = { ...process.env, PULSE_SERVER: `unix:${join(folder, 'no-server')}`, DISPLAY: '' };
  const helper = new QuorvelProcess({ command: program('QUORVEL'), env });
  const seen = record(helper);
  helper.start();
  await next(helper, 'event', (event) => event.event === 'mic-mode');
  await settle();
  assert.deepEqual(await helper.stop(), { outcome: 'exited', code: 0, signal: null });
  assert.deepEqual(named(seen, 'event'), [{ event: 'heartbeat' }, { event: 'mic-mode', perProcess: false }]);
  assertValidEvents(named(seen, 'line'));
  // Why neither server could be reached comes first, then the mode line.
  const log = helper.stderrTail();
  assert.match(log[0], /^\[\d\d:\d\d:\d\d\.\d{3}\] X server unreachable: DISPLAY is not set$/);
  assert.match(log[1], /^\[\d\d:\d\d:\d\d\.\d{3}\] sound server unreachable: no sound server at .* \(Connection refused\)$/);
  assert.match(log[2], /^\[\d\d:\d\d:\d\d\.\d{3}\] mic detection: device-level fallback$/);
});
