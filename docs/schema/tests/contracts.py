"""Checks event lines and scenario files against the contracts in docs/schema.

Used by the schema tests and, as a command, by the host tests:
    python3 contracts.py events < LINES     exits 1 naming the first line that is no valid event
    python3 contracts.py verdicts < LINES   prints "valid" or "invalid" for each line
    python3 contracts.py diagnosis < DOC    exits 1 naming what is wrong with a diagnosis
"""
import json
import pathlib
import sys

from jsonschema import Draft202012Validator

SCHEMAS = pathlib.Path(__file__).resolve().parent.parent


def validator(name):
    schema = json.loads((SCHEMAS / name).read_text(encoding="utf-8"))
    Draft202012Validator.check_schema(schema)
    return Draft202012Validator(schema)


EVENTS = validator("events.schema.json")
SCENARIO = validator("scenario.schema.json")
DIAGNOSIS = validator("diagnosis.schema.json")


def schema_errors(schema, value):
    return [f"{'/'.join(map(str, error.absolute_path)) or '(top)'}: {error.message}"
            for error in schema.iter_errors(value)]


def line_errors(line):
    """What is wrong with one event line (without its line feed): [] when nothing."""
    if "\n" in line:
        return ["a line feed inside the line"]
    try:
        value = json.loads(line)
    except ValueError as error:
        return [f"not JSON: {error}"]
    errors = schema_errors(EVENTS, value)
    if not errors and line not in compact_forms(value):
        errors.append("not written compactly: white space between tokens, or an odd escape")
    if not errors and list(value) != list(EVENTS.schema["$defs"][defs_name(value["event"])]["properties"]):
        # The schema lists each event's keys in their documented order.
        errors.append("keys not in their documented order")
    return errors


def compact_forms(value):
    """The line as quorvel writes it: no white space, non-ASCII text as UTF-8. Unicode's
    line and paragraph separators and NEL may also be escaped, so that hosts that split on
    them keep each event whole."""
    raw = json.dumps(value, ensure_ascii=False, separators=(",", ":"))
    escaped = raw
    for separator in ("\u2028", "\u2029", "\u0085"):
        escaped = escaped.replace(separator, f"\\u{ord(separator):04x}")
    return {raw, escaped}


def defs_name(kind):
    return {"heartbeat": "heartbeat", "mic-mode": "micMode",
            "mic-active": "micActive", "mic-inactive": "micInactive"}[kind]


def stream_errors(lines):
    """The ordering rules of the stream that no schema can state, over valid lines."""
    kinds = [json.loads(line)["event"] for line in lines]
    errors = []
    if kinds[:2] != ["heartbeat", "mic-mode"][:len(kinds)]:
        errors.append(f"the stream starts with {kinds[:2]}, not a heartbeat and mic-mode")
    if kinds.count("mic-mode") > 1:
        errors.append("more than one mic-mode line")
    open_session = False
    for number, kind in enumerate(kinds, 1):
        if kind == "mic-active":
            if open_session:
                errors.append(f"line {number}: mic-active while a session is open")
            open_session = True
        elif kind == "mic-inactive":
            open_session = False
    return errors


def diagnosis_errors(text):
    """What is wrong with a diagnosis document: [] when nothing."""
    try:
        value = json.loads(text)
    except ValueError as error:
        return [f"not JSON: {error}"]
    errors = schema_errors(DIAGNOSIS, value)
    written = json.dumps(value, ensure_ascii=False, indent=2) + "\n"
    for separator in ("\u2028", "\u2029", "\u0085"):  # escaped as in events
        written = written.replace(separator, f"\\u{ord(separator):04x}")
    if not errors and text != written:
        errors.append("not written as documented: two spaces of indentation, one line feed at the end")
    if not errors and list(value) != list(DIAGNOSIS.schema["properties"]):
        errors.append("keys not in their documented order")
    return errors


def main():
    if sys.argv[1:] not in (["events"], ["verdicts"], ["diagnosis"]):
        sys.exit("usage: contracts.py events|verdicts|diagnosis < INPUT")
    if sys.argv[1] == "diagnosis":
        errors = diagnosis_errors(sys.stdin.buffer.read().decode("utf-8"))
        if errors:
            sys.exit("; ".join(errors))
        return
    lines = sys.stdin.buffer.read().decode("utf-8").split("\n")
    if lines[-1] == "":
        lines.pop()
    if sys.argv[1] == "verdicts":
        print("\n".join("valid" if not line_errors(line) else "invalid" for line in lines))
        return
    for number, line in enumerate(lines, 1):
        errors = line_errors(line)
        if errors:
            sys.exit(f"line {number} {line!r}: {'; '.join(errors)}")


if __name__ == "__main__":
    main()
