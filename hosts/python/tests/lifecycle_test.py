"""QuorvelProcess starting, stopping, restarting and restarted, against the real
quorvel-replay (and the real quorvel on Linux) and small stand-ins for what the real
programs do not do on cue."""
import json
import os
import signal
import subprocess
import sys
import time
import unittest

from quorvel_host import QuorvelProcess
from support import IDLE, PATIENCE, ROOT, SCENARIOS, Recorder, ScratchTestCase, program, zoom_meeting

REPLAY = program("QUORVEL_REPLAY")
STOPPED = {"outcome": "exited", "code": 0, "signal": None}
NOT_RUNNING = {"outcome": "not-running", "code": None, "signal": None}
SESSION = {"event": "mic-active", "app": "Zoom", "pid": 700, "title": "Zoom Meeting"}


def gone(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return True
    return False


class LifecycleTest(ScratchTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.idle = cls.scratch.scenario("idle", IDLE)
        cls.unfinished = cls.scratch.scenario("unfinished", zoom_meeting(2))

    def realtime(self, **options):
        client = QuorvelProcess(REPLAY, ["--realtime", self.idle], **options)
        return client, Recorder(client)

    def test_a_replayed_meeting_arrives_as_typed_events_in_order_and_the_log_is_kept(self):
        name = "zoom_meeting_per_process"
        client = QuorvelProcess(REPLAY, [f"{name}.json"], cwd=str(SCENARIOS), restart=False)
        seen = Recorder(client)
        client.start()
        spawned = seen.wait_for("spawn")
        self.assertGreater(spawned["pid"], 0)
        self.assertEqual(spawned["attempt"], 0)
        self.assertEqual(seen.wait_for("gave-up"), {"reason": "exit", "tries": 0})

        lines = (SCENARIOS / f"{name}.stdout").read_text(encoding="utf-8").splitlines()
        self.assertEqual(seen.named("line"), lines)
        self.assertEqual(seen.named("event"), [json.loads(line) for line in lines])
        self.assertEqual(seen.named("malformed"), [])
        self.assertEqual(client.stderr_tail(), (SCENARIOS / f"{name}.stderr").read_text(encoding="utf-8").splitlines())
        self.assertEqual(seen.named("exit"), [
            {"code": 0, "signal": None, "expected": False, "reason": "exit", "openSession": None, "error": None}])
        self.assertEqual(client.state, "failed")
        self.assertEqual(client.stop().result(), NOT_RUNNING)

    def test_a_child_that_ends_is_restarted_with_growing_delays_until_the_tries_run_out(self):
        client = QuorvelProcess(REPLAY, [self.unfinished], restart={"max_tries": 2, "first_delay_ms": 20, "factor": 3})
        seen = Recorder(client)
        client.start()
        self.assertEqual(seen.wait_for("gave-up"), {"reason": "exit", "tries": 2})
        one_run = [{"event": "heartbeat"}, {"event": "mic-mode", "perProcess": True}, SESSION]
        self.assertEqual(seen.named("event"), one_run * 3)
        self.assertEqual([spawned["attempt"] for spawned in seen.named("spawn")], [0, 1, 2])
        self.assertEqual(seen.named("restart"), [
            {"reason": "exit", "attempt": 1, "delayMs": 20}, {"reason": "exit", "attempt": 2, "delayMs": 60}])
        for exit_info in seen.named("exit"):
            self.assertEqual(exit_info, {"code": 0, "signal": None, "expected": False, "reason": "exit",
                                         "openSession": SESSION, "error": None})

    def test_stop_ends_a_running_replay_with_sigint_and_no_restart_follows(self):
        client, seen = self.realtime(restart={"first_delay_ms": 1})
        client.start()
        self.assertEqual(client.state, "running")
        # The replay catches the stop signals from its first instruction, before any output.
        seen.wait_for("line")
        pid = client.pid
        self.assertEqual(client.stop().result(PATIENCE), STOPPED)
        self.assertEqual(client.state, "stopped")
        self.assertIsNone(client.pid)
        self.assertTrue(gone(pid))
        self.assertEqual(seen.named("exit"), [
            {"code": 0, "signal": None, "expected": True, "reason": "stop", "openSession": None, "error": None}])
        self.assertEqual(client.stop().result(), NOT_RUNNING)
        self.assertEqual(seen.named("restart"), [])

    def test_stop_tells_how_a_child_ended_that_dies_of_sigint_or_ignores_it(self):
        dies = self.scratch.stand_in("dies", "echo '{\"event\":\"heartbeat\"}'\nexec sleep 30")
        deaf = self.scratch.stand_in("deaf", "trap '' INT\necho '{\"event\":\"heartbeat\"}'\nexec sleep 30")
        for command, expected in ((dies, {"outcome": "signalled", "code": None, "signal": "SIGINT"}),
                                  (deaf, {"outcome": "killed", "code": None, "signal": "SIGKILL"})):
            client = QuorvelProcess(command, stop_timeout_ms=200)
            seen = Recorder(client)
            client.start()
            seen.wait_for("event")
            self.assertEqual(client.stop().result(PATIENCE), expected)

    def test_start_during_a_stop_starts_a_new_child_once_the_stop_has_finished(self):
        # A child deaf to SIGINT, and a stop timeout that never runs out here: each stop
        # lasts until the test kills the child.
        deaf = self.scratch.stand_in("deaf-until-killed", "trap '' INT\necho '{\"event\":\"heartbeat\"}'\nexec sleep 60")
        client = QuorvelProcess(deaf, stop_timeout_ms=PATIENCE * 2000)
        seen = Recorder(client)
        client.start()
        seen.wait_for("line")
        first = client.pid
        stopping = client.stop()
        client.start()
        self.assertEqual(client.state, "stopping")
        self.assertIs(client.stop(), stopping, "a second stop() while stopping is the same stop")
        client.start()
        os.kill(first, signal.SIGKILL)
        self.assertEqual(stopping.result(PATIENCE), {"outcome": "signalled", "code": None, "signal": "SIGKILL"})
        spawned = seen.wait_for("spawn", 2)
        self.assertNotEqual(spawned["pid"], first)
        self.assertEqual(spawned["attempt"], 0)
        seen.wait_for("line", 2)
        self.assertEqual(client.state, "running")

        # A stop() after the start() takes it back.
        again = client.stop()
        client.start()
        self.assertIs(client.stop(), again)
        os.kill(spawned["pid"], signal.SIGKILL)
        again.result(PATIENCE)
        self.assertEqual(client.state, "stopped")
        self.assertEqual(len(seen.named("spawn")), 2)
        self.assertEqual([exit_info["reason"] for exit_info in seen.named("exit")], ["stop", "stop"])

    def test_restart_stops_the_child_and_starts_a_new_one(self):
        client, seen = self.realtime()
        client.start()
        seen.wait_for("event", 2)
        first = client.pid
        self.assertEqual(client.restart().result(PATIENCE), STOPPED)
        self.assertNotEqual(seen.wait_for("spawn", 2)["pid"], first)
        seen.wait_for("event", 4)
        client.stop().result(PATIENCE)
        self.assertEqual([event["event"] for event in seen.named("event")], ["heartbeat", "mic-mode"] * 2)
        self.assertEqual(seen.named("restart"), [], "a restart asked for is no restart after a failure")

    def test_start_while_running_starts_nothing_more_and_stop_cancels_a_planned_restart(self):
        client, seen = self.realtime()
        client.start()
        client.start()
        seen.wait_for("line")
        client.start()
        client.stop().result(PATIENCE)
        self.assertEqual(len(seen.named("spawn")), 1)

        waiting = QuorvelProcess(REPLAY, [self.unfinished], restart={"first_delay_ms": 60_000})
        planned = Recorder(waiting)
        waiting.start()
        planned.wait_for("restart")
        self.assertEqual(waiting.state, "waiting")
        self.assertEqual(waiting.stop().result(), NOT_RUNNING)
        self.assertEqual(waiting.state, "stopped")
        self.assertEqual(len(planned.named("spawn")), 1)

    def test_a_child_that_ran_long_enough_counts_as_healthy(self):
        short_lived = self.scratch.stand_in("short-lived", "echo '{\"event\":\"heartbeat\"}'\nexec sleep 0.3")
        client = QuorvelProcess(short_lived, restart={"max_tries": 1, "first_delay_ms": 5, "healthy_after_ms": 50})
        seen = Recorder(client)
        client.start()
        seen.wait_for("restart", 3)
        client.stop().result(PATIENCE)
        self.assertEqual(seen.named("restart")[:3], [{"reason": "exit", "attempt": 1, "delayMs": 5}] * 3)
        self.assertEqual(seen.named("gave-up"), [])

    def test_a_child_still_running_when_the_host_exits_is_sent_sigint(self):
        host = "\n".join([
            "import sys, threading",
            "from quorvel_host import QuorvelProcess",
            f"client = QuorvelProcess({REPLAY!r}, ['--realtime', {self.idle!r}])",
            "started = threading.Event()",
            "client.on('line', lambda line: started.set())",
            "client.start()",
            "started.wait()",
            "print(client.pid)",
        ])
        done = subprocess.run([sys.executable, "-c", host], capture_output=True, text=True, timeout=PATIENCE,
                              cwd=str(ROOT / "hosts" / "python"))
        self.assertEqual(done.returncode, 0, done.stderr)
        pid = int(done.stdout)
        # The replay may still be on its way out: wait for it, with a generous bound.
        deadline = time.monotonic() + 10
        while not gone(pid) and time.monotonic() < deadline:
            time.sleep(0.05)
        self.assertTrue(gone(pid), f"quorvel-replay {pid} outlived its host")

    @unittest.skipUnless(sys.platform.startswith("linux"), "quorvel runs here only on Linux")
    def test_the_real_quorvel_starts_reports_its_mode_and_ends_with_status_0_on_stop(self):
        # No sound server and no X display: quorvel runs in device-level mode and sees nothing.
        env = {**os.environ, "PULSE_SERVER": f"unix:{self.scratch.path / 'no-server'}", "DISPLAY": ""}
        client = QuorvelProcess(program("QUORVEL"), env=env)
        seen = Recorder(client)
        client.start()
        seen.wait_for("event", test=lambda event: event["event"] == "mic-mode")
        self.assertEqual(client.stop().result(PATIENCE), STOPPED)
        self.assertEqual(seen.named("event"), [{"event": "heartbeat"}, {"event": "mic-mode", "perProcess": False}])
        self.assertRegex(client.stderr_tail()[-1], r"^\[\d\d:\d\d:\d\d\.\d{3}\] mic detection: device-level fallback$")


if __name__ == "__main__":
    unittest.main()
