// Signals a child only while it is a running process: a child that could not be started
// has no pid, and Node then signals pid 0, which is the host's whole process group.
export function signal(child, name) {
  if (!child || child.pid === undefined || child.exitCode !== null || child.signalCode !== null) return;
  child.kill(name);
}
