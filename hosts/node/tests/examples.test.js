// The Node example host of docs/hosts.md, run as a host would run it.
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { createInterface } from 'node:readline';
import { after, test } from 'node:test';
import { fileURLToPath } from 'node:url';

import { program, scratch } from './support.js';

const example = fileURLToPath(new URL('../examples/print_events.js', import.meta.url));

test('the example prints a replayed meeting and stops quorvel on SIGINT', { timeout: 60_000 }, async () => {
  const scenario = join(scratch(after), 'meeting.json');
  writeFileSync(scenario, JSON.stringify({
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
  }));
  const host = spawn(process.execPath, [example, program('QUORVEL_REPLAY'), '--realtime', scenario],
    { stdio: ['ignore', 'pipe', 'pipe'] });
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
    'meeting ended (quorvel stopped)',
    'quorvel stopped: exited, status 0',
  ]);
});
