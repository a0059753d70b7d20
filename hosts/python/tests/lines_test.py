"""What a helper writes reaches the host line by line, whatever it is: odd lines are
reported and never raised, lines of any length arrive whole, a last line cut off by the
end of the stream arrives too, and the log stays bounded."""
import unittest

from quorvel_host import QuorvelProcess
from support import Recorder, ScratchTestCase


class LinesTest(ScratchTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.helpers = 0

    def run_to_end(self, body, **options):
        LinesTest.helpers += 1
        client = QuorvelProcess(self.scratch.stand_in(f"helper-{self.helpers}", body), restart=False, **options)
        seen = Recorder(client)
        client.start()
        seen.wait_for("gave-up")
        return client, seen

    def test_odd_lines_are_reported_and_the_stream_goes_on_the_log_stays_bounded(self):
        client, seen = self.run_to_end("\n".join([
            "echo '{\"event\":\"heartbeat\"}'",
            "echo 'no json'",
            "echo '{\"event\":\"mic-active\",\"app\":\"Zoom\",\"pid\":\"700\",\"title\":\"\"}'",
            "echo '{\"event\":\"mic-paused\",\"pid\":700}'",
            "echo '{\"event\":\"mic-mode\",\"perProcess\":false}'",
            "for n in 1 2 3 4 5 6 7 8 9 10; do echo \"log line $n\" >&2; done",
            "printf '%05000d\\n' 0 >&2",
            "echo 'last log line' >&2",
        ]), stderr_lines=3)
        self.assertEqual(seen.named("event"), [{"event": "heartbeat"}, {"event": "mic-mode", "perProcess": False}])
        self.assertEqual(seen.named("unknown"), [{"event": "mic-paused", "pid": 700}])
        malformed = seen.named("malformed")
        self.assertEqual([report["line"] for report in malformed],
                         ["no json", '{"event":"mic-active","app":"Zoom","pid":"700","title":""}'])
        self.assertIn("not JSON", malformed[0]["reason"])
        self.assertIn("pid", malformed[1]["reason"])
        self.assertEqual(len(seen.named("line")), 5)
        self.assertEqual(client.stderr_tail(), ["log line 10", "(a line of 5000 bytes left out)", "last log line"])

    def test_a_line_of_any_length_reaches_the_host_whole_and_a_long_title_still_makes_a_meeting(self):
        title_bytes = 3 << 19  # 1.5 MiB
        _, seen = self.run_to_end("\n".join([
            "head -c 2097152 /dev/zero | tr '\\0' x; echo",
            "printf '{\"event\":\"mic-active\",\"app\":\"Zoom\",\"pid\":700,\"title\":\"'; "
            f"head -c {title_bytes} /dev/zero | tr '\\0' t; printf '\"}}\\n'",
            "echo '{\"event\":\"mic-inactive\",\"app\":\"\",\"pid\":0}'",
        ]))
        lines = seen.named("line")
        self.assertEqual(len(lines), 3)
        self.assertEqual(lines[0], "x" * (2 << 20))
        title = "t" * title_bytes
        self.assertEqual(seen.named("event"), [{"event": "mic-active", "app": "Zoom", "pid": 700, "title": title},
                                               {"event": "mic-inactive", "app": "", "pid": 0}])
        self.assertEqual(seen.named("meeting-ended")[0]["title"], title)

    def test_a_last_line_that_the_end_of_the_stream_cut_off_reaches_the_host_and_is_reported(self):
        _, seen = self.run_to_end("echo '{\"event\":\"heartbeat\"}'\nprintf '{\"event\":\"mic-mode\",\"perProcess\":true}'")
        self.assertEqual(seen.named("line"), ['{"event":"heartbeat"}', '{"event":"mic-mode","perProcess":true}'])
        self.assertEqual(seen.named("event"), [{"event": "heartbeat"}])
        self.assertEqual(seen.named("malformed"), [{"line": '{"event":"mic-mode","perProcess":true}',
                                                    "reason": "the stream ended inside this line"}])
        self.assertEqual(seen.names(leave_out=("line",))[-3:], ["malformed", "exit", "gave-up"])


if __name__ == "__main__":
    unittest.main()
