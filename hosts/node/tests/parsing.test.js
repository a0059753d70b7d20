// Reading the event stream: lines split at "\n" only, events checked against the
// documented shapes as the schema checks them, nothing thrown.
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { test } from 'node:test';

import { parseEventLine } from '../index.js';
import { LineReader } from '../lib/line_reader.js';
import { Ring } from '../lib/ring.js';
import { schemaVerdicts } from './support.js';

const lines = (reader, ...chunks) => chunks.flatMap((chunk) => reader.push(Buffer.from(chunk)));

test('lines are cut at line feeds only, across chunks and inside characters', () => {
  const reader = new LineReader(1024);
  const title = Buffer.from('{"title":"Meet – a\u2028b\rc 🔊"}\n', 'utf8');
  const split = title.indexOf(Buffer.from('🔊')) + 2; // inside the emoji's four bytes
  assert.deepEqual(lines(reader, 'one\n\ntw', 'o\n', title.subarray(0, split), title.subarray(split)), [
    { line: 'one' }, { line: '' }, { line: 'two' }, { line: '{"title":"Meet – a\u2028b\rc 🔊"}' },
  ]);
  assert.equal(reader.end(), null);
  assert.deepEqual(lines(reader, 'half'), []);
  assert.deepEqual(reader.end(), { line: 'half' });
  assert.equal(reader.end(), null);
});

test('a line over the limit is dropped whole and the next one is read', () => {
  const reader = new LineReader(8);
  assert.deepEqual(lines(reader, '12345', '6789', '0123\nshort\n', '123456789'), [{ tooLong: 13 }, { line: 'short' }]);
  assert.deepEqual(reader.end(), { tooLong: 9 });
  assert.deepEqual(lines(reader, '12345678\n'), [{ line: '12345678' }]);
});

test('the ring keeps the last items in order', () => {
  const ring = new Ring(3);
  assert.deepEqual(ring.toArray(), []);
  for (const item of ['a', 'b']) ring.push(item);
  assert.deepEqual(ring.toArray(), ['a', 'b']);
  for (const item of ['c', 'd', 'e']) ring.push(item);
  assert.deepEqual(ring.toArray(), ['c', 'd', 'e']);
  const none = new Ring(0);
  none.push('a');
  assert.deepEqual(none.toArray(), []);
});

test('known events come back typed, with unknown keys left out', () => {
  assert.deepEqual(parseEventLine('{"event":"heartbeat"}'), { type: 'event', event: { event: 'heartbeat' } });
  assert.deepEqual(parseEventLine('{"event":"mic-mode","perProcess":false}'),
    { type: 'event', event: { event: 'mic-mode', perProcess: false } });
  assert.deepEqual(parseEventLine('{"event":"mic-active","app":"Zoom","pid":812,"title":"a\\nb","since":3}'),
    { type: 'event', event: { event: 'mic-active', app: 'Zoom', pid: 812, title: 'a\nb' } });
  assert.deepEqual(parseEventLine('{"event":"mic-inactive","app":"","pid":0}'),
    { type: 'event', event: { event: 'mic-inactive', app: '', pid: 0 } });
  assert.deepEqual(parseEventLine('{"event":"mic-paused","pid":3}'),
    { type: 'unknown', value: { event: 'mic-paused', pid: 3 } });
  assert.deepEqual(parseEventLine('{"event":"toString"}'), { type: 'unknown', value: { event: 'toString' } });
});

test('the client accepts the lines the schema accepts and rejects lines with a wrong shape', () => {
  const { valid, wrongShape } = JSON.parse(readFileSync(new URL('../../tests/event_lines.json', import.meta.url), 'utf8'));
  assert.deepEqual(schemaVerdicts([...valid, ...wrongShape]),
    [...valid.map(() => 'valid'), ...wrongShape.map(() => 'invalid')]);
  for (const line of valid) assert.equal(parseEventLine(line).type, 'event', line);
  for (const line of wrongShape) {
    const parsed = parseEventLine(line);
    assert.equal(parsed.type, 'malformed', line);
    assert.match(parsed.reason, /\S/);
  }
});
