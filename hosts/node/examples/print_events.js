// Starts quorvel (or quorvel-replay) and prints the meetings it reports, until Ctrl-C.
//   node print_events.js /path/to/quorvel
//   node print_events.js /path/to/quorvel-replay --realtime meeting.json
import { QuorvelProcess } from 'quorvel-host';

const [command, ...args] = process.argv.slice(2);
const quorvel = new QuorvelProcess({ command, args });

quorvel.on('event', (event) => {
  if (event.event === 'mic-mode') console.log(`mode: ${event.perProcess ? 'per-process' : 'device-level'}`);
});
quorvel.on('meeting-started', ({ app, pid, title }) => console.log(`meeting: ${app}, pid ${pid}, ${JSON.stringify(title)}`));
quorvel.on('meeting-ended', ({ app, reason }) => console.log(`meeting ended: ${app} (${reason})`));
quorvel.on('malformed', ({ line, reason }) => console.error(`odd line (${reason}): ${line}`));
quorvel.on('exit', ({ code, signal, expected, reason, error }) => {
  if (expected) return;
  const how = error ?? (signal ? `signal ${signal}` : `status ${code}`);
  console.error(`quorvel ended (${reason}: ${how}); its last log lines:`);
  for (const line of quorvel.stderrTail().slice(-5)) console.error(`  ${line}`);
});
quorvel.on('restart', ({ attempt, delayMs }) => console.error(`restarting quorvel in ${delayMs} ms (try ${attempt})`));
quorvel.on('gave-up', ({ reason }) => {
  console.log(`quorvel gave up: ${reason}`);
  process.exitCode = 1;
});

for (const signal of ['SIGINT', 'SIGTERM']) {
  process.on(signal, async () => {
    const { outcome, code } = await quorvel.stop();
    console.log(`quorvel stopped: ${outcome}${code === null ? '' : `, status ${code}`}`);
  });
}
quorvel.start();
