// What the host tests share: the programs under test (paths given by the build through
// the environment), stand-in executables, and the event contract's own checker.
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { chmodSync, mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
export const repository = resolve(here, '../../..');
export const scenarios = join(repository, 'replay/tests/scenarios');

/** The path of a built program, from the environment variable that names it. */
export function program(variable) {
  const path = process.env[variable];
  assert.ok(path, `${variable} must name the program under test`);
  return path;
}

/** A scratch folder that is removed after the tests of the calling file. */
export function scratch(after) {
  const folder = mkdtempSync(join(tmpdir(), 'quorvel-host-test-'));
  after(() => rmSync(folder, { recursive: true, force: true }));
  return folder;
}

/** Writes an executable shell script (the stand-in for a helper) and returns its path. */
export function standIn(folder, name, body) {
  const path = join(folder, name);
  writeFileSync(path, `#!/bin/sh\n${body}\n`);
  chmodSync(path, 0o755);
  return path;
}

function contracts(mode, lines) {
  const python = process.env.QUORVEL_PYTHON || 'python3';
  const done = spawnSync(python, [join(repository, 'docs/schema/tests/contracts.py'), mode], {
    input: lines.map((line) => `${line}\n`).join(''),
    encoding: 'utf8',
  });
  assert.equal(done.status, 0, `contracts.py ${mode}: ${done.stderr}${done.error ?? ''}`);
  return done.stdout;
}

/** Every line is a valid event by docs/schema/events.schema.json. */
export function assertValidEvents(lines) {
  assert.ok(lines.length > 0, 'no lines to check');
  contracts('events', lines);
}

/** The schema's verdict on each line: "valid" or "invalid". */
export function schemaVerdicts(lines) {
  return contracts('verdicts', lines).trim().split('\n');
}

/** Everything a QuorvelProcess reports, in order, as [name, payload] pairs. */
export function record(helper) {
  const seen = [];
  for (const name of ['event', 'unknown', 'malformed', 'line', 'spawn', 'hung', 'exit', 'restart', 'gave-up']) {
    helper.on(name, (payload) => seen.push([name, payload]));
  }
  return seen;
}

/** Resolves with the payload of the next `name` report that satisfies `test`. */
export function next(helper, name, test = () => true) {
  return new Promise((resolve) => {
    const listener = (payload) => {
      if (!test(payload)) return;
      helper.off(name, listener);
      resolve(payload);
    };
    helper.on(name, listener);
  });
}

export const named = (seen, name) => seen.filter(([kind]) => kind === name).map(([, payload]) => payload);
