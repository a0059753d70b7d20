#!/usr/bin/env python3
"""How long after its start a stop signal still kills a helper by that signal: the time the
system's loader takes before the helper's first instruction installs its handlers
(docs/protocol.md, "How each program ends").

    python3 bench/stop_signal_window.py [--trials N] PROGRAM [ARGUMENT...]

For each delay it starts the program (with no display and no sound server, so that
quorvel starts as fast as it can), sends SIGINT that long after the start returned, and
counts the runs that the signal killed rather than ended with status 0."""
import argparse
import os
import signal
import subprocess
import time

DELAYS_MS = (0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 12, 15, 20, 30)


def killed_by_signal(command, delay, env):
    child = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL, env=env)
    started = time.perf_counter()
    while time.perf_counter() - started < delay:  # sleep() would wake up late
        pass
    child.send_signal(signal.SIGINT)
    return child.wait() == -signal.SIGINT


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--trials", type=int, default=40)
    parser.add_argument("command", nargs=argparse.REMAINDER)
    options = parser.parse_args()
    if not options.command:
        parser.error("the program to start is missing")
    env = {**os.environ, "DISPLAY": "", "PULSE_SERVER": "unix:/nonexistent/socket"}
    print(f"load average {os.getloadavg()[0]:.2f} on {os.cpu_count()} cores, {options.trials} runs per delay")
    for delay_ms in DELAYS_MS:
        killed = sum(killed_by_signal(options.command, delay_ms / 1000, env) for _ in range(options.trials))
        print(f"{delay_ms:3d} ms: killed by SIGINT in {killed} of {options.trials}", flush=True)


if __name__ == "__main__":
    main()
