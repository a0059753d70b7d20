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

export const REPORTS = Object.freeze([
  'event', 'unknown', 'malformed', 'line', 'meeting-started', 'meeting-ended',
  'spawn', 'hung', 'exit', 'restart', 'gave-up',
]);

/** Writes a scenario file into `folder` and returns its path. */
export function scenario(folder, name, content) {
  const path = join(folder, `${name}.json`);
  writeFileSync(path, JSON.stringify(content));
  return path;
}

/** A world in which Zoom (pid 700) holds a meeting from tick `from` to tick `to`. */
export function zoomMeeting(ticks, from = 1, to = ticks + 1) {
  return {
    observer: { pid: 4000, parentPid: 3000 },
    ticks,
    states: [
      { fromTick: 0, audioProcesses: [] },
      {
        fromTick: from,
        processes: [{ pid: 700, ppid: 1, comm: 'zoom.us' }],
        audioProcesses: [{ id: 20, pid: 700, runningInput: true }],
        apps: [{ name: 'zoom.us', pid: 700 }],
        frontmostPid: 700,
        windows: [{ pid: 700, title: 'Zoom Meeting' }],
      },
      { fromTick: to, audioProcesses: [] },
    ],
  };
}

/** Everything a QuorvelProcess reports, in order, as [name, payload] pairs. */
export function record(helper) {
  const seen = [];
  for (const name of REPORTS) {
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

/**
 * Resolves with the payload of the `count`-th `name` report, seen already or yet to come:
 * a report may have been made before the caller could listen for it.
 */
export function nth(seen, helper, name, count) {
  const reports = named(seen, name);
  if (reports.length >= count) return Promise.resolve(reports[count - 1]);
  return next(helper, name, () => named(seen, name).length >= count);
}
