// Meetings derived from the events, timed by the client's clock as each line arrives:
// ended by "mic-inactive", by the helper's end or by a stop. quorvel-replay --step runs
// the ticks, and a clock that the test sets stands for the minutes between them.
import assert from 'node:assert/strict';
import { after, test } from 'node:test';

import { QuorvelProcess } from '../index.js';
import { named, next, nth, program, record, scenario, scratch, zoomMeeting } from './support.js';

const replay = program('QUORVEL_REPLAY');
const folder = scratch(after);
const zoom = { app: 'Zoom', pid: 700, title: 'Zoom Meeting' };
const startup = (helper) => next(helper, 'event', (event) => event.event === 'mic-mode');

// A stepped replay of a meeting from tick 1 to tick `to`, with a clock the test moves.
function stepped(to, options = {}) {
  const clock = { now: 1_700_000_000_000 };
  const helper = new QuorvelProcess({
    command: replay, args: [scenario(folder, `meeting-to-${to}`, zoomMeeting(1000, 1, to))],
    step: true, clock: () => clock.now, restart: false, ...options,
  });
  return { helper, clock, seen: record(helper) };
}

test('a ten-minute meeting, stepped: started, ended by mic-inactive, timed by the client clock', async () => {
  const { helper, clock, seen } = stepped(601);
  helper.start();
  await startup(helper);
  const startedAt = clock.now;
  assert.equal(helper.tick(), true);
  assert.deepEqual(await next(helper, 'meeting-started'), { ...zoom, startedAt });

  clock.now += 600_000;
  helper.tick(600);
  const ended = await next(helper, 'meeting-ended');
  assert.deepEqual(ended, { ...zoom, startedAt, endedAt: clock.now, durationMs: 600_000, reason: 'mic-inactive' });
  assert.deepEqual(await helper.stop(), { outcome: 'exited', code: 0, signal: null });

  // The events around them, in order; a heartbeat every 15 ticks, as quorvel writes them.
  const order = seen.filter(([name]) => ['event', 'meeting-started', 'meeting-ended'].includes(name))
    .map(([name, payload]) => (name === 'event' ? payload.event : name))
    .filter((name) => name !== 'heartbeat');
  assert.deepEqual(order, ['mic-mode', 'mic-active', 'meeting-started', 'mic-inactive', 'meeting-ended']);
  assert.equal(named(seen, 'event').filter((event) => event.event === 'heartbeat').length, 1 + 40);
  assert.deepEqual(named(seen, 'exit').map((exit) => exit.openSession), [null]);
});

test('a meeting still on when the helper ends by itself ends with it', async () => {
  const helper = new QuorvelProcess({
    command: replay, args: [scenario(folder, 'unfinished', zoomMeeting(2))], clock: () => 5_000, restart: false,
  });
  const seen = record(helper);
  helper.start();
  await next(helper, 'gave-up');
  assert.deepEqual(named(seen, 'meeting-ended'),
    [{ ...zoom, startedAt: 5_000, endedAt: 5_000, durationMs: 0, reason: 'helper-exit' }]);
  assert.deepEqual(named(seen, 'exit')[0].openSession, { event: 'mic-active', ...zoom });
  assert.deepEqual(seen.slice(-3).map(([name]) => name), ['meeting-ended', 'exit', 'gave-up']);
});

test('a meeting still on at a stop or a restart ends as stopped, and the next run starts afresh', async () => {
  const { helper, clock, seen } = stepped(601);
  helper.start();
  await startup(helper);
  helper.tick();
  const { startedAt } = await next(helper, 'meeting-started');
  clock.now += 90_000;
  assert.deepEqual(await helper.restart(), { outcome: 'exited', code: 0, signal: null });
  assert.deepEqual(named(seen, 'meeting-ended'),
    [{ ...zoom, startedAt, endedAt: startedAt + 90_000, durationMs: 90_000, reason: 'stopped' }]);

  await nth(seen, helper, 'event', 5); // the new child's mic-mode
  helper.tick();
  await nth(seen, helper, 'meeting-started', 2);
  clock.now += 1_000;
  await helper.stop();
  assert.deepEqual(named(seen, 'meeting-ended').map((ended) => [ended.reason, ended.durationMs]),
    [['stopped', 90_000], ['stopped', 1_000]]);
  assert.equal(helper.tick(), false, 'no child takes ticks after a stop');
});

test('a session that was never attributed makes no meeting', async () => {
  // A recorder that no meeting application owns takes the microphone from tick 1 to 3.
  const recorder = scenario(folder, 'recorder', {
    observer: { pid: 4000, parentPid: 3000 },
    ticks: 4,
    states: [
      { fromTick: 0, audioProcesses: [] },
      { fromTick: 1, processes: [{ pid: 800, ppid: 1, comm: 'arecord' }], audioProcesses: [{ id: 30, pid: 800, runningInput: true }] },
      { fromTick: 3, audioProcesses: [] },
    ],
  });
  const helper = new QuorvelProcess({ command: replay, args: [recorder], restart: false });
  const seen = record(helper);
  helper.start();
  await next(helper, 'gave-up');
  assert.deepEqual(named(seen, 'event').map((event) => event.event), ['heartbeat', 'mic-mode', 'mic-inactive']);
  assert.deepEqual([...named(seen, 'meeting-started'), ...named(seen, 'meeting-ended')], []);
});

test('tick() takes whole numbers and needs a stepped child', async () => {
  const { helper } = stepped(601);
  assert.equal(helper.tick(), false, 'nothing runs yet');
  for (const count of [0, -1, 1.5, '2']) assert.throws(() => helper.tick(count), RangeError);
  const unstepped = new QuorvelProcess({ command: replay, args: ['--realtime', scenario(folder, 'idle', zoomMeeting(1, 1, 2))] });
  unstepped.start();
  await startup(unstepped);
  assert.equal(unstepped.tick(), false);
  await unstepped.stop();
});
