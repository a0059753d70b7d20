// The watchdog: a child that writes nothing for hungAfterMs is hung, ended and restarted;
// every line puts that off, also the lines that waited in the pipe while the host's own
// event loop was blocked; the silence reported is the one that was measured.
import assert from 'node:assert/strict';
import { after, test } from 'node:test';
import { performance } from 'node:perf_hooks';

import { QuorvelProcess } from '../index.js';
import { assertValidEvents, named, next, program, record, scenario, scratch, standIn } from './support.js';

const replay = program('QUORVEL_REPLAY');
const folder = scratch(after);

const busyFor = (ms) => {
  const until = performance.now() + ms;
  while (performance.now() < until);
};

test('a child that writes nothing for too long is hung: ended with SIGINT and restarted', async () => {
  const idle = scenario(folder, 'idle', {
    observer: { pid: 4000, parentPid: 3000 }, ticks: 600, states: [{ fromTick: 0, audioProcesses: [] }],
  });
  const helper = new QuorvelProcess({
    command: replay, args: ['--realtime', idle], hungAfterMs: 600, restart: { maxTries: 1, firstDelayMs: 10 },
  });
  const seen = record(helper);
  helper.start();
  await next(helper, 'gave-up');

  assert.deepEqual(seen.filter(([name]) => name !== 'line' && name !== 'event').map(([name]) => name),
    ['spawn', 'hung', 'exit', 'restart', 'spawn', 'hung', 'exit', 'gave-up']);
  for (const exit of named(seen, 'exit')) {
    assert.deepEqual(exit, { code: 0, signal: null, expected: false, reason: 'hung', openSession: null, error: null });
  }
  assert.deepEqual(named(seen, 'restart'), [{ reason: 'hung', attempt: 1, delayMs: 10 }]);
  for (const hung of named(seen, 'hung')) assert.ok(hung.silentForMs >= 600, `${hung.silentForMs} ms`);
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

test('lines that waited while the host blocked its event loop count: the helper is not hung', async () => {
  const steady = standIn(folder, 'steady', 'while :; do echo \'{"event":"heartbeat"}\'; sleep 0.02; done');
  const helper = new QuorvelProcess({ command: steady, hungAfterMs: 1000 });
  const seen = record(helper);
  // A host that shows a synchronous dialog, say, for longer than hungAfterMs.
  helper.once('event', () => busyFor(1500));
  helper.start();
  await next(helper, 'event');
  const linesAfter = named(seen, 'line').length + 20;
  await next(helper, 'line', () => named(seen, 'line').length >= linesAfter);
  await helper.stop();
  assert.deepEqual(named(seen, 'hung'), []);
});

test('the silence reported is the real one, however late the host looked', async () => {
  const mute = standIn(folder, 'mute', 'echo \'{"event":"heartbeat"}\'\nexec sleep 30');
  const helper = new QuorvelProcess({ command: mute, hungAfterMs: 300, restart: false });
  helper.once('event', () => busyFor(1000));
  helper.start();
  const { silentForMs } = await next(helper, 'hung');
  // The line was read before the listener blocked for 1000 ms.
  assert.ok(silentForMs >= 1000, `${silentForMs} ms`);
  await next(helper, 'gave-up');
});
