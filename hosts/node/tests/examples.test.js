// The Node example host of docs/hosts.md, run as a host would run it.
import assert from 'node:assert/strict';
import { spawn, spawnSync } from 'node:child_process';
import { join } from 'node:path';
import { createInterface } from 'node:readline';
import { after, test } from 'node:test';
import { fileURLToPath } from 'node:url';

import { program, scenario, scratch } from './support.js';

const example = fileURLToPath(new URL('../examples/print_events.js', import.meta.url));
const replay = program('QUORVEL_REPLAY');
const folder = scratch(after);

test('the example prints a replayed meeting and stops quorvel on SIGINT', { timeout: 60_000 }, async () => {
  const meeting = scenario(folder, 'meeting', {
    observer: { pid: 4000, parentPid: 3000 },
    ticks: 600,
    states: [
      { fromTick: 0, audioProcesses: [] },
      {
        fromTick: 1,
        processes: [{ pid: 710, ppid: 1, comm: 'Google Chrome' }],
        audioProcesses: [{ id: 30, pid: 710, runningInput: true }],
        apps: [{ name: 'Google Chrome', pid: 710 }],
        frontmostPid: 710,
        windows: [{ pid: 710, title: 'Meet \u2028 "abc"' }],
      },
    ],
  });
  const host = spawn(process.execPath, [example, replay, '--realtime', meeting], { stdio: ['ignore', 'pipe', 'pipe'] });
  after(() => host.kill('SIGKILL'));
  let errors = '';
  host.stderr.on('data', (text) => (errors += text));
  const ended = new Promise((resolve) => host.on('close', (code, signal) => resolve({ code, signal })));
  const lines = [];
  for await (const line of createInterface({ input: host.stdout, crlfDelay: Infinity })) {
    lines.push(line);
    if (line.startsWith('meeting:')) host.kill('SIGINT');
  }
  assert.deepEqual(await ended, { code: 0, signal: null }, errors);
  assert.deepEqual(lines, [
    'mode: per-process',
    'meeting: Google Chrome, pid 710, "Meet \u2028 \\"abc\\""',
    'meeting ended: Google Chrome (stopped)',
    'quorvel stopped: exited, status 0',
  ]);
  assert.equal(errors, '');
});

test('the example says why quorvel could not be started, or was refused, and gives up at once', () => {
  const missing = join(folder, 'missing');
  const bad = scenario(folder, 'bad', { observer: {} });
  const run = (...args) => spawnSync(process.execPath, [example, ...args], { encoding: 'utf8', timeout: 30_000 });

  const notStarted = run(missing);
  assert.equal(notStarted.status, 1);
  assert.equal(notStarted.stdout, 'quorvel gave up: cannot-start\n');
  assert.equal(notStarted.stderr, `quorvel ended (cannot-start: spawn ${missing} ENOENT); its last log lines:\n`);

  const refused = run(replay, bad);
  assert.equal(refused.status, 1);
  assert.equal(refused.stdout, 'quorvel gave up: refused\n');
  assert.equal(refused.stderr,
    `quorvel ended (refused: status 2); its last log lines:\n  quorvel-replay: ${bad}: observer: missing key "pid"\n`);
});
