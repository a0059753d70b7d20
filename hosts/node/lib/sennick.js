// sennick: one run, one word. The word and the exit status say the same thing (0
// authorized, 1 denied, 2 unknown); when they do not, when the program died of a signal,
// said nothing or could not be started, the answer is "unknown".
import { spawn } from 'node:child_process';

import { signal } from './child_signal.js';

const STATUS_OF = Object.freeze({ authorized: 0, denied: 1, unknown: 2 });
const MAX_OUTPUT = 4096;

/**
 * Runs sennick and resolves with { permission, code, signal, stdout, stderr, error };
 * never rejects. code is the exit status, or null when sennick died of a signal or could
 * not be started (error says why). A run that takes longer than timeoutMs is killed (and
 * is "unknown").
 */
export function runSennick({ command, args = [], env, cwd, timeoutMs = 10_000 } = {}) {
  if (typeof command !== 'string' || command === '') {
    throw new TypeError('runSennick needs the path of sennick as "command"');
  }
  return new Promise((resolve) => {
    let child;
    try {
      child = spawn(command, args, { env, cwd, stdio: ['ignore', 'pipe', 'pipe'] });
    } catch (spawnError) {
      // What the system cannot even be asked to start (a NUL byte in the path) throws.
      resolve({ permission: 'unknown', code: null, signal: null, stdout: '', stderr: '', error: spawnError.message });
      return;
    }
    const output = { stdout: '', stderr: '' };
    let error = null;
    const keep = (stream, name) => {
      stream.setEncoding('utf8');
      stream.on('data', (text) => {
        if (output[name].length < MAX_OUTPUT) output[name] = (output[name] + text).slice(0, MAX_OUTPUT);
      });
    };
    keep(child.stdout, 'stdout');
    keep(child.stderr, 'stderr');
    const timer = setTimeout(() => {
      error = new Error(`sennick gave no answer within ${timeoutMs} ms`);
      signal(child, 'SIGKILL');
    }, timeoutMs);
    child.on('error', (spawnError) => (error ??= spawnError));
    child.on('close', (status, signal) => {
      clearTimeout(timer);
      // A program that could not be started has no status (Node gives the error number).
      const code = child.pid === undefined ? null : status;
      const word = output.stdout.replace(/\n$/, '');
      const permission = signal === null && error === null && Object.hasOwn(STATUS_OF, word) && STATUS_OF[word] === code
        ? word
        : 'unknown';
      resolve({ permission, code, signal, stdout: output.stdout, stderr: output.stderr, error: error?.message ?? null });
    });
  });
}

/** The audio-capture permission as sennick reports it: "authorized", "denied" or "unknown". */
export async function microphonePermission(options) {
  return (await runSennick(options)).permission;
}
