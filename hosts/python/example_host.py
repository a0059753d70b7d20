#!/usr/bin/env python3
"""Starts quorvel (or quorvel-replay) and prints what it reports, until Ctrl-C.

    python3 example_host.py /path/to/quorvel
    python3 example_host.py /path/to/quorvel-replay --realtime meeting.json
"""
import collections
import json
import signal
import subprocess
import sys
import threading


def main(command):
    # Started directly, never through a shell: quorvel takes its parent's pid as the host's.
    child = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    # The diagnostic log, drained so that quorvel never blocks on it; the last lines kept.
    log = collections.deque(maxlen=200)
    threading.Thread(target=lambda: log.extend(child.stderr), daemon=True).start()

    def stop(*_):
        child.send_signal(signal.SIGINT)
        killer = threading.Timer(5, child.kill)  # if it has not ended by then
        killer.daemon = True
        killer.start()
    signal.signal(signal.SIGINT, stop)
    signal.signal(signal.SIGTERM, stop)

    open_session = False
    # A binary pipe splits at b"\n" only; str.splitlines() would also split at U+2028.
    for line in child.stdout:
        try:
            event = json.loads(line)
        except ValueError:
            print(f"odd line: {line!r}", file=sys.stderr)
            continue
        kind = event.get("event") if isinstance(event, dict) else None
        if kind == "mic-mode":
            print("mode:", "per-process" if event["perProcess"] else "device-level")
        elif kind == "mic-active":
            open_session = True
            print(f"meeting: {event['app']}, pid {event['pid']}, {json.dumps(event['title'], ensure_ascii=False)}")
        elif kind == "mic-inactive":
            open_session = False
            print("meeting ended")
        # Heartbeats, and kinds and keys this host does not know, are ignored.

    status = child.wait()
    if open_session:
        print("meeting ended (quorvel stopped)")
    print(f"quorvel ended with status {status}")
    if status != 0:
        print("last log lines:", *[entry.decode(errors="replace").rstrip("\n") for entry in list(log)[-5:]],
              sep="\n  ", file=sys.stderr)
    return 0 if status == 0 else 1


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(f"usage: {sys.argv[0]} QUORVEL [ARGUMENT...]")
    sys.exit(main(sys.argv[1:]))
