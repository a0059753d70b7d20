// Ends that no restart can mend give up at once: a program that cannot be started, and
// a command line or scenario that the helper refuses (status 2). A child that could not
// be started is never signalled, since Node would signal the host's process group.
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { once } from 'node:events';
import { chmodSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { after, test } from 'node:test';

import { QuorvelProcess } from '../index.js';
import { signal } from '../lib/child_signal.js';
import { named, next, program, record, scratch } from './support.js';

const replay = program('QUORVEL_REPLAY');
const folder = scratch(after);

const notExecutable = join(folder, 'not-executable');
writeFileSync(notExecutable, '#!/bin/sh\n');
chmodSync(notExecutable, 0o644);

test('a program that cannot be started gives up at once, says why and never reports a spawn', async () => {
  const cases = [
    [{ command: join(folder, 'missing') }, /ENOENT/],
    [{ command: notExecutable }, /EACCES/],
    [{ command: replay, cwd: join(folder, 'no-such-folder') }, /ENOENT/],
    [{ command: `${replay}\0` }, /null bytes/],
  ];
  for (const [options, why] of cases) {
    const helper = new QuorvelProcess({ ...options, restart: { maxTries: 5, firstDelayMs: 1 } });
    const seen = record(helper);
    helper.start();
    assert.equal(helper.state, 'starting');
    assert.deepEqual(await next(helper, 'gave-up'), { reason: 'cannot-start', tries: 0 });
    assert.equal(helper.state, 'failed');
    assert.equal(helper.pid, null);
    const [exit] = named(seen, 'exit');
    assert.deepEqual({ ...exit, error: null },
      { code: null, signal: null, expected: false, reason: 'cannot-start', openSession: null, error: null });
    assert.match(exit.error, why);
    assert.deepEqual(seen.map(([name]) => name), ['exit', 'gave-up'], options.command);
  }
});

test('a scenario or command line that the replay refuses (status 2) gives up at once, with its reason kept', async () => {
  const bad = join(folder, 'bad.json');
  writeFileSync(bad, '{"observer": {}}');
  for (const args of [[bad], ['--realtime', bad], ['--step', join(folder, 'missing.json')], ['--no-such-option']]) {
    const helper = new QuorvelProcess({ command: replay, args, restart: { firstDelayMs: 1 } });
    const seen = record(helper);
    helper.start();
    assert.deepEqual(await next(helper, 'gave-up'), { reason: 'refused', tries: 0 });
    assert.deepEqual(named(seen, 'exit'),
      [{ code: 2, signal: null, expected: false, reason: 'refused', openSession: null, error: null }]);
    assert.equal(named(seen, 'spawn').length, 1);
    assert.deepEqual(named(seen, 'line'), []);
    const log = helper.stderrTail();
    assert.equal(log.length, 1);
    assert.match(log[0], /^quorvel-replay: /);
  }
});

test('only a running child is signalled', () => {
  const sent = [];
  const child = (state) => ({ exitCode: null, signalCode: null, ...state, kill: (name) => sent.push([state, name]) });
  signal(null, 'SIGINT');
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
    "helper.on('exit', ({ error, reason }) => console.log(reason, error));",
    'helper.start();',
    'console.log(JSON.stringify(await helper.stop()), helper.state);',
  ].join('\n'));
  const child = spawn(process.execPath, [host], { detached: true, stdio: ['ignore', 'pipe', 'inherit'] });
  let output = '';
  child.stdout.on('data', (text) => (output += text));
  const [code, signalName] = await once(child, 'close');
  assert.deepEqual({ code, signalName }, { code: 0, signalName: null });
  const [exit, result] = output.trim().split('\n');
  assert.match(exit, /^stop .*ENOENT/);
  assert.equal(result, `${JSON.stringify({ outcome: 'not-running', code: null, signal: null })} stopped`);
});
