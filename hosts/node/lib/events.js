// The event lines of quorvel's standard output, checked against their documented shapes
// (docs/protocol.md, docs/schema/events.schema.json). Unknown keys are left out of the
// typed event and unknown kinds are handed on as such: later versions may add both.

export const EVENT_KINDS = Object.freeze(['heartbeat', 'mic-mode', 'mic-active', 'mic-inactive']);

export const APP_LABELS = Object.freeze([
  'Zoom', 'Microsoft Teams', 'Webex', 'Slack',
  'Google Chrome', 'Microsoft Edge', 'Safari', 'Firefox', 'Opera', 'Brave',
]);

const isPid = (value) => Number.isInteger(value) && value >= -2147483648 && value <= 2147483647;

function expect(value, key, test, what) {
  return test(value[key]) ? null : `"${key}" of ${value.event} is not ${what}`;
}

// Each known kind: the problem with a parsed object, or null, and the typed event.
const KINDS = {
  heartbeat: {
    problem: () => null,
    event: () => ({ event: 'heartbeat' }),
  },
  'mic-mode': {
    problem: (v) => expect(v, 'perProcess', (x) => typeof x === 'boolean', 'true or false'),
    event: (v) => ({ event: 'mic-mode', perProcess: v.perProcess }),
  },
  'mic-active': {
    problem: (v) =>
      expect(v, 'app', (x) => typeof x === 'string', 'a string') ??
      expect(v, 'pid', isPid, 'a 32-bit integer') ??
      expect(v, 'title', (x) => typeof x === 'string', 'a string'),
    event: (v) => ({ event: 'mic-active', app: v.app, pid: v.pid, title: v.title }),
  },
  'mic-inactive': {
    problem: (v) =>
      expect(v, 'app', (x) => typeof x === 'string', 'a string') ??
      expect(v, 'pid', isPid, 'a 32-bit integer'),
    event: (v) => ({ event: 'mic-inactive', app: v.app, pid: v.pid }),
  },
};

/**
 * Reads one line of the event stream (without its line feed). Never throws:
 * { type: 'event', event } for a known event, { type: 'unknown', value } for a JSON
 * object with an event kind this version does not know, { type: 'malformed', reason }
 * for anything else.
 */
export function parseEventLine(line) {
  let value;
  try {
    value = JSON.parse(line);
  } catch (error) {
    return { type: 'malformed', reason: `not JSON: ${error.message}` };
  }
  if (value === null || typeof value !== 'object' || Array.isArray(value)) {
    return { type: 'malformed', reason: 'not a JSON object' };
  }
  if (typeof value.event !== 'string') return { type: 'malformed', reason: 'no "event" string' };
  const kind = Object.hasOwn(KINDS, value.event) ? KINDS[value.event] : null;
  if (kind === null) return { type: 'unknown', value };
  const problem = kind.problem(value);
  return problem === null ? { type: 'event', event: kind.event(value) } : { type: 'malformed', reason: problem };
}
