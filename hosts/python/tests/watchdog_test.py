"""The watchdog: a child that writes nothing for hung_after_ms is hung, ended and
restarted; every line puts that off, also the lines that came while a listener held up the
client's thread; the silence reported is the one that was measured."""
import time
import unittest

from quorvel_host import QuorvelProcess
from support import IDLE, PATIENCE, Recorder, ScratchTestCase, program

REPLAY = program("QUORVEL_REPLAY")
HEARTBEAT = "echo '{\"event\":\"heartbeat\"}'"


class WatchdogTest(ScratchTestCase):
    def test_a_child_that_writes_nothing_for_too_long_is_hung_ended_with_sigint_and_restarted(self):
        client = QuorvelProcess(REPLAY, ["--realtime", self.scratch.scenario("idle", IDLE)], hung_after_ms=600,
                                restart={"max_tries": 1, "first_delay_ms": 10})
        seen = Recorder(client)
        client.start()
        self.assertEqual(seen.wait_for("gave-up"), {"reason": "hung", "tries": 1})
        self.assertEqual(seen.names(), ["spawn", "hung", "exit", "restart", "spawn", "hung", "exit", "gave-up"])
        for exit_info in seen.named("exit"):
            self.assertEqual(exit_info, {"code": 0, "signal": None, "expected": False, "reason": "hung",
                                         "openSession": None, "error": None})
        for hung in seen.named("hung"):
            self.assertGreaterEqual(hung["silentForMs"], 600)
        self.assertEqual(seen.named("restart"), [{"reason": "hung", "attempt": 1, "delayMs": 10}])

    def test_lines_that_came_while_a_listener_held_up_the_client_count(self):
        steady = self.scratch.stand_in("steady", f"while :; do {HEARTBEAT}; sleep 0.02; done")
        client = QuorvelProcess(steady, hung_after_ms=1000)
        seen = Recorder(client)
        held = []

        def hold_up(event):  # a host that shows a modal dialog, say, for longer than hung_after_ms
            if not held:
                held.append(event)
                time.sleep(1.5)
        client.on("event", hold_up)
        client.start()
        seen.wait_for("line", len(seen.named("line")) + 100)
        client.stop().result(PATIENCE)
        self.assertEqual(seen.named("hung"), [])

    def test_the_silence_reported_is_the_real_one_however_late_the_client_looked(self):
        mute = self.scratch.stand_in("mute", f"{HEARTBEAT}\nexec sleep 30")
        client = QuorvelProcess(mute, hung_after_ms=300, restart=False)
        seen = Recorder(client)
        client.on("event", lambda event: time.sleep(1))
        client.start()
        # The line was read before the listener held the client up for a second.
        self.assertGreaterEqual(seen.wait_for("hung")["silentForMs"], 1000)
        seen.wait_for("gave-up")


if __name__ == "__main__":
    unittest.main()
