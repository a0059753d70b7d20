// What a helper writes reaches the host line by line, whatever it is: odd lines are
// reported and never thrown, lines of any length arrive whole, a last line cut off by
// the end of the stream arrives too, and the log stays bounded.
import assert from 'node:assert/strict';
import { after, test } from 'node:test';

import { QuorvelProcess } from '../index.js';
import { named, next, record, scratch, standIn } from './support.js';

const folder = scratch(after);
let helpers = 0;

async function runToEnd(body, options = {}) {
  helpers += 1;
  const helper = new QuorvelProcess({ command: standIn(folder, `helper-${helpers}`, body), restart: false, ...options });
  const seen = record(helper);
  helper.start();
  await next(helper, 'gave-up');
  return { helper, seen };
}

test('odd lines are reported, never thrown, and the stream goes on; the log stays bounded', async () => {
  const { helper, seen } = await runToEnd([
    'echo \'{"event":"heartbeat"}\'',
    'echo \'no json\'',
    'echo \'{"event":"mic-active","app":"Zoom","pid":"700","title":""}\'',
    'echo \'{"event":"mic-paused","pid":700}\'',
    'echo \'{"event":"mic-mode","perProcess":false}\'',
    'for n in 1 2 3 4 5 6 7 8 9 10; do echo "log line $n" >&2; done',
    `printf '%05000d\\n' 0 >&2`,
    'echo "last log line" >&2',
  ].join('\n'), { stderrLines: 3 });

  assert.deepEqual(named(seen, 'event'), [{ event: 'heartbeat' }, { event: 'mic-mode', perProcess: false }]);
  assert.deepEqual(named(seen, 'unknown'), [{ event: 'mic-paused', pid: 700 }]);
  const malformed = named(seen, 'malformed');
  assert.deepEqual(malformed.map((report) => report.line),
    ['no json', '{"event":"mic-active","app":"Zoom","pid":"700","title":""}']);
  assert.match(malformed[0].reason, /not JSON/);
  assert.match(malformed[1].reason, /pid/);
  assert.equal(named(seen, 'line').length, 5);
  assert.deepEqual(helper.stderrTail(), ['log line 10', '(a line of 5000 bytes left out)', 'last log line']);
});

test('a line of any length reaches the host whole, and a long title still makes a meeting', async () => {
  const titleBytes = 3 << 19; // 1.5 MiB
  const { seen } = await runToEnd([
    'head -c 2097152 /dev/zero | tr "\\0" x; echo',
    `printf '{"event":"mic-active","app":"Zoom","pid":700,"title":"'; head -c ${titleBytes} /dev/zero | tr "\\0" t; printf '"}\\n'`,
    'echo \'{"event":"mic-inactive","app":"","pid":0}\'',
  ].join('\n'));

  const lines = named(seen, 'line');
  assert.equal(lines.length, 3);
  assert.equal(lines[0], 'x'.repeat(2 << 20));
  assert.match(named(seen, 'malformed')[0].reason, /not JSON/);
  const title = 't'.repeat(titleBytes);
  assert.deepEqual(named(seen, 'event'), [
    { event: 'mic-active', app: 'Zoom', pid: 700, title },
    { event: 'mic-inactive', app: '', pid: 0 },
  ]);
  assert.equal(named(seen, 'meeting-ended')[0].title, title);
});

test('a last line that the end of the stream cut off reaches the host and is reported', async () => {
  const { seen } = await runToEnd('echo \'{"event":"heartbeat"}\'\nprintf \'{"event":"mic-mode","perProcess":true}\'');
  assert.deepEqual(named(seen, 'line'), ['{"event":"heartbeat"}', '{"event":"mic-mode","perProcess":true}']);
  assert.deepEqual(named(seen, 'event'), [{ event: 'heartbeat' }]);
  assert.deepEqual(named(seen, 'malformed'),
    [{ line: '{"event":"mic-mode","perProcess":true}', reason: 'the stream ended inside this line' }]);
  // It comes before the report of the end.
  assert.deepEqual(seen.slice(-3).map(([name]) => name), ['malformed', 'exit', 'gave-up']);
});
