"""The event lines of quorvel's standard output, checked against their documented shapes
(docs/protocol.md, docs/schema/events.schema.json). Unknown keys are left out of the typed
event and unknown kinds are handed on as such: later versions may add both."""
import json
import math

EVENT_KINDS = ("heartbeat", "mic-mode", "mic-active", "mic-inactive")

APP_LABELS = (
    "Zoom", "Microsoft Teams", "Webex", "Slack",
    "Google Chrome", "Microsoft Edge", "Safari", "Firefox", "Opera", "Brave",
)


def _is_pid(value):
    # JSON has one kind of number: 812.0 is the integer 812, and true is no number.
    if isinstance(value, bool) or not isinstance(value, (int, float)):
        return False
    if isinstance(value, float) and not (math.isfinite(value) and value.is_integer()):
        return False
    return -2147483648 <= value <= 2147483647


def _is_string(value):
    return isinstance(value, str)


def _is_bool(value):
    return isinstance(value, bool)


# Each known kind: its keys with their checks and what the check says, in order.
_KINDS = {
    "heartbeat": (),
    "mic-mode": (("perProcess", _is_bool, "true or false"),),
    "mic-active": (("app", _is_string, "a string"), ("pid", _is_pid, "a 32-bit integer"),
                   ("title", _is_string, "a string")),
    "mic-inactive": (("app", _is_string, "a string"), ("pid", _is_pid, "a 32-bit integer")),
}


def _not_a_constant(name):
    raise ValueError(f"{name} is not JSON")


def parse_event_line(line):
    """Reads one line of the event stream (without its line feed). Never raises:
    {"type": "event", "event": ...} for a known event, {"type": "unknown", "value": ...}
    for a JSON object with an event kind this version does not know, {"type":
    "malformed", "reason": ...} for anything else."""
    try:
        value = json.loads(line, parse_constant=_not_a_constant)
    except (ValueError, RecursionError) as error:
        return {"type": "malformed", "reason": f"not JSON: {error}"}
    if not isinstance(value, dict):
        return {"type": "malformed", "reason": "not a JSON object"}
    kind = value.get("event")
    if not isinstance(kind, str):
        return {"type": "malformed", "reason": 'no "event" string'}
    if kind not in _KINDS:
        return {"type": "unknown", "value": value}
    event = {"event": kind}
    for key, check, what in _KINDS[kind]:
        if not check(value.get(key)):
            return {"type": "malformed", "reason": f'"{key}" of {kind} is not {what}'}
        event[key] = int(value[key]) if key == "pid" else value[key]
    return {"type": "event", "event": event}
