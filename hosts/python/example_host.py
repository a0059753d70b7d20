#!/usr/bin/env python3
"""Starts quorvel (or quorvel-replay) and prints the meetings it reports, until Ctrl-C.

    python3 example_host.py /path/to/quorvel
    python3 example_host.py /path/to/quorvel-replay --realtime meeting.json
"""
import json
import signal
import sys
import threading

from quorvel_host import QuorvelProcess


def say(*words, error=False):
    print(*words, file=sys.stderr if error else sys.stdout, flush=True)


def main(command, *args):
    quorvel = QuorvelProcess(command, args)
    wake = threading.Event()  # a stop signal came, or quorvel is down for good
    gave_up = []

    def on_event(event):
        if event["event"] == "mic-mode":
            say("mode:", "per-process" if event["perProcess"] else "device-level")

    def on_exit(info):
        if info["expected"]:
            return
        how = info["error"] or (f"signal {info['signal']}" if info["signal"] else f"status {info['code']}")
        say(f"quorvel ended ({info['reason']}: {how}); its last log lines:", error=True)
        for line in quorvel.stderr_tail()[-5:]:
            say(f"  {line}", error=True)

    def on_gave_up(info):
        say(f"quorvel gave up: {info['reason']}")
        gave_up.append(info)
        wake.set()

    quorvel.on("event", on_event)
    quorvel.on("meeting-started", lambda meeting: say(
        f"meeting: {meeting['app']}, pid {meeting['pid']}, {json.dumps(meeting['title'], ensure_ascii=False)}"))
    quorvel.on("meeting-ended", lambda meeting: say(f"meeting ended: {meeting['app']} ({meeting['reason']})"))
    quorvel.on("malformed", lambda odd: say(f"odd line ({odd['reason']}): {odd['line']}", error=True))
    quorvel.on("exit", on_exit)
    quorvel.on("restart", lambda planned: say(
        f"restarting quorvel in {planned['delayMs']} ms (try {planned['attempt']})", error=True))
    quorvel.on("gave-up", on_gave_up)

    for stop_signal in (signal.SIGINT, signal.SIGTERM):
        signal.signal(stop_signal, lambda *_: wake.set())
    quorvel.start()
    wake.wait()
    if gave_up:
        return 1
    result = quorvel.stop().result()
    say(f"quorvel stopped: {result['outcome']}" + ("" if result["code"] is None else f", status {result['code']}"))
    return 0


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(f"usage: {sys.argv[0]} QUORVEL [ARGUMENT...]")
    sys.exit(main(*sys.argv[1:]))
