"""Ends that no restart can mend give up at once: a program that cannot be started, and a
command line or scenario that the helper refuses (status 2)."""
import unittest

from quorvel_host import QuorvelProcess
from support import Recorder, ScratchTestCase, program

REPLAY = program("QUORVEL_REPLAY")


class FailuresTest(ScratchTestCase):
    def test_a_program_that_cannot_be_started_gives_up_at_once_says_why_and_never_reports_a_spawn(self):
        not_executable = self.scratch.path / "not-executable"
        not_executable.write_text("#!/bin/sh\n")
        cases = [
            ({"command": str(self.scratch.path / "missing")}, "No such file or directory"),
            ({"command": str(not_executable)}, "Permission denied"),
            ({"command": REPLAY, "cwd": str(self.scratch.path / "no-such-folder")}, "No such file or directory"),
            ({"command": REPLAY + "\0"}, "null byte"),
        ]
        for options, why in cases:
            with self.subTest(options=options):
                client = QuorvelProcess(restart={"first_delay_ms": 1}, **options)
                seen = Recorder(client)
                client.start()
                self.assertEqual(seen.wait_for("gave-up"), {"reason": "cannot-start", "tries": 0})
                self.assertEqual(client.state, "failed")
                self.assertIsNone(client.pid)
                [exit_info] = seen.named("exit")
                self.assertIn(why, exit_info["error"])
                self.assertEqual({**exit_info, "error": None}, {"code": None, "signal": None, "expected": False,
                                                                "reason": "cannot-start", "openSession": None,
                                                                "error": None})
                self.assertEqual(seen.names(), ["exit", "gave-up"])
                self.assertEqual(client.stop().result(), {"outcome": "not-running", "code": None, "signal": None})

    def test_a_scenario_or_command_line_that_the_replay_refuses_gives_up_at_once_with_its_reason_kept(self):
        bad = self.scratch.scenario("bad", {"observer": {}})
        for args in ([bad], ["--realtime", bad], ["--step", str(self.scratch.path / "missing.json")], ["--no-such"]):
            with self.subTest(args=args):
                client = QuorvelProcess(REPLAY, args, restart={"first_delay_ms": 1})
                seen = Recorder(client)
                client.start()
                self.assertEqual(seen.wait_for("gave-up"), {"reason": "refused", "tries": 0})
                self.assertEqual(seen.named("exit"), [{"code": 2, "signal": None, "expected": False,
                                                       "reason": "refused", "openSession": None, "error": None}])
                self.assertEqual(seen.named("line"), [])
                [line] = client.stderr_tail()
                self.assertTrue(line.startswith("quorvel-replay: "), line)


if __name__ == "__main__":
    unittest.main()
