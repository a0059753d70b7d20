// Host-side client of quorvel and sennick; see docs/hosts.md.
export { APP_LABELS, EVENT_KINDS, parseEventLine } from './lib/events.js';
export { DEFAULTS, QuorvelProcess } from './lib/quorvel_process.js';
export { microphonePermission, runSennick } from './lib/sennick.js';
