// Starts quorvel (or quorvel-replay) and prints what it reports, until Ctrl-C.
//   node print_events.js /path/to/quorvel
//   node print_events.js /path/to/quorvel-replay --realtime meeting.json
import { QuorvelProcess } from 'quorvel-host';

const [command, ...args] = process.argv.slice(2);
const quorvel = new QuorvelProcess({ command, args });

quorvel.on('event', (event) => {
  switch (event.event) {
    case 'mic-mode':
      console.log(`mode: ${event.perProcess ? 'per-process' : 'device-level'}`);
      break;
    case 'mic-active':
      console.log(`meeting: ${event.app}, pid ${event.pid}, ${JSON.stringify(event.title)}`);
      break;
    case 'mic-inactive':
      console.log('meeting ended');
      break;
  }
});
quorvel.on('malformed', ({ line, reason }) => console.error(`odd line (${reason}): ${line}`));
quorvel.on('exit', ({ code, signal, expected, openSession }) => {
  if (!expected) console.error(`quorvel ended (status ${code}, signal ${signal}); last log lines:`, quorvel.stderrTail().slice(-5));
  if (openSession) console.log('meeting ended (quorvel stopped)');
});
quorvel.on('restart', ({ attempt, delayMs }) => console.error(`restarting quorvel in ${delayMs} ms (try ${attempt})`));
quorvel.on('gave-up', () => (process.exitCode = 1));

for (const signal of ['SIGINT', 'SIGTERM']) {
  process.on(signal, async () => {
    const { outcome, code } = await quorvel.stop();
    console.log(`quorvel stopped: ${outcome}${code === null ? '' : `, status ${code}`}`);
  });
}
quorvel.start();
