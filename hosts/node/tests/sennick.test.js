// sennick's answer as the host sees it: the real sennick, and stand-ins for the answers
// it gives elsewhere and for the ways a run can go wrong.
import assert from 'node:assert/strict';
import { join } from 'node:path';
import { after, test } from 'node:test';

import { microphonePermission, runSennick } from '../index.js';
import { program, scratch, standIn } from './support.js';

const folder = scratch(after);

test('the real sennick answers with one word and the matching status', async () => {
  const result = await runSennick({ command: program('SENNICK') });
  const status = { authorized: 0, denied: 1, unknown: 2 }[result.permission];
  assert.equal(result.code, status, result.stderr);
  assert.equal(result.stdout, `${result.permission}\n`);
  if (process.platform === 'linux') {
    // No privacy-consent service outside macOS.
    assert.deepEqual({ ...result, stderr: undefined },
      { permission: 'unknown', code: 2, signal: null, stdout: 'unknown\n', stderr: undefined, error: null });
    assert.match(result.stderr, /^ERROR: /);
  }
});

test('each word with its status is the answer', async () => {
  const answers = [['authorized', 0], ['denied', 1], ['unknown', 2]];
  for (const [word, status] of answers) {
    const command = standIn(folder, `says-${word}`, `echo "DEBUG: $0" >&2\necho ${word}\nexit ${status}`);
    assert.equal(await microphonePermission({ command }), word);
  }
});

test('a signal death, no word, a word the status contradicts, or no program is unknown', async () => {
  const cases = {
    'killed-after-word': 'echo authorized\nkill -TERM $$',
    'silent': 'exit 0',
    'contradicted': 'echo authorized\nexit 1',
    'unknown-word': 'echo allowed\nexit 0',
    'two-words': 'echo authorized\necho authorized\nexit 0',
  };
  for (const [name, body] of Object.entries(cases)) {
    const result = await runSennick({ command: standIn(folder, name, body) });
    assert.equal(result.permission, 'unknown', name);
  }
  const killed = await runSennick({ command: join(folder, 'killed-after-word') });
  assert.equal(killed.signal, 'SIGTERM');

  const missing = await runSennick({ command: join(folder, 'missing') });
  assert.equal(missing.permission, 'unknown');
  assert.match(missing.error, /ENOENT/);
});

test('a sennick that hangs is killed after the timeout and is unknown', async () => {
  const command = standIn(folder, 'hangs', 'exec sleep 30');
  const result = await runSennick({ command, timeoutMs: 200 });
  assert.equal(result.permission, 'unknown');
  assert.equal(result.signal, 'SIGKILL');
  assert.match(result.error, /no answer within 200 ms/);
});
