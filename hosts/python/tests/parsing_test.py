"""Reading the event stream: events checked against the documented shapes as the schema
checks them (the cases the Node client's tests share), unknown keys left out, nothing
raised; diagnostic lines bounded."""
import io
import json
import sys
import unittest

from quorvel_host import parse_event_line
from quorvel_host._streams import event_lines, log_lines
from support import ROOT

sys.path.insert(0, str(ROOT / "docs" / "schema" / "tests"))
from contracts import line_errors  # noqa: E402  (the event contract's own checker)

CASES = json.loads((ROOT / "hosts" / "tests" / "event_lines.json").read_text(encoding="utf-8"))


class ParsingTest(unittest.TestCase):
    def test_the_client_accepts_the_lines_the_schema_accepts_and_rejects_lines_with_a_wrong_shape(self):
        for line in CASES["valid"]:
            with self.subTest(line):
                self.assertEqual(line_errors(line), [])
                self.assertEqual(parse_event_line(line)["type"], "event")
        for line in CASES["wrongShape"]:
            with self.subTest(line):
                self.assertNotEqual(line_errors(line), [])
                parsed = parse_event_line(line)
                self.assertEqual(parsed["type"], "malformed")
                self.assertRegex(parsed["reason"], r"\S")

    def test_known_events_come_back_typed_with_unknown_keys_left_out(self):
        self.assertEqual(parse_event_line('{"event":"mic-active","app":"Zoom","pid":812,"title":"a\\nb","since":3}'),
                         {"type": "event", "event": {"event": "mic-active", "app": "Zoom", "pid": 812, "title": "a\nb"}})
        self.assertEqual(parse_event_line('{"event":"mic-inactive","app":"","pid":0}'),
                         {"type": "event", "event": {"event": "mic-inactive", "app": "", "pid": 0}})
        self.assertEqual(parse_event_line('{"event":"mic-paused","pid":3}'),
                         {"type": "unknown", "value": {"event": "mic-paused", "pid": 3}})
        self.assertEqual(parse_event_line("[" * 100_000)["type"], "malformed")

    def test_lines_are_cut_at_line_feeds_only_and_kept_whole(self):
        stream = io.BytesIO("one\n\n{\"title\":\"Meet – a\u2028b\rc 🔊\"}\nhalf".encode())
        self.assertEqual(list(event_lines(stream)),
                         [("one", True), ("", True), ('{"title":"Meet – a\u2028b\rc 🔊"}', True), ("half", False)])

    def test_a_log_line_over_the_limit_is_read_past_and_noted(self):
        stream = io.BytesIO(b"short\n" + b"x" * 4096 + b"\n" + b"y" * 4097 + b"\n" + b"z" * 10_000 + b"\nlast")
        self.assertEqual(list(log_lines(stream)), ["short", "x" * 4096, "(a line of 4097 bytes left out)",
                                                   "(a line of 10000 bytes left out)", "last"])


if __name__ == "__main__":
    unittest.main()
