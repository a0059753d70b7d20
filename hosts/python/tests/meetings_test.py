"""Meetings derived from the events, timed by the client's clock as each line arrives:
ended by "mic-inactive", by the helper's end or by a stop. quorvel-replay --step runs the
ticks, and a clock that the test sets stands for the minutes between them."""
import unittest

from quorvel_host import QuorvelProcess
from support import PATIENCE, Recorder, ScratchTestCase, program, zoom_meeting

REPLAY = program("QUORVEL_REPLAY")
ZOOM = {"app": "Zoom", "pid": 700, "title": "Zoom Meeting"}
STOPPED = {"outcome": "exited", "code": 0, "signal": None}


def is_mode(event):
    return event["event"] == "mic-mode"


class MeetingsTest(ScratchTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.meeting = cls.scratch.scenario("meeting", zoom_meeting(1000, end=601))

    def stepped(self):
        self.now = 1_700_000_000_000
        client = QuorvelProcess(REPLAY, [self.meeting], step=True, clock=lambda: self.now, restart=False)
        return client, Recorder(client)

    def test_a_ten_minute_meeting_stepped_is_started_ended_by_mic_inactive_and_timed_by_the_client_clock(self):
        client, seen = self.stepped()
        client.start()
        seen.wait_for("event", test=is_mode)
        started_at = self.now
        self.assertTrue(client.tick())
        self.assertEqual(seen.wait_for("meeting-started"), {**ZOOM, "startedAt": started_at})
        self.now += 600_000
        client.tick(600)
        self.assertEqual(seen.wait_for("meeting-ended"), {**ZOOM, "startedAt": started_at, "endedAt": self.now,
                                                          "durationMs": 600_000, "reason": "mic-inactive"})
        self.assertEqual(client.stop().result(PATIENCE), STOPPED)
        order = [payload["event"] if name == "event" else name for name, payload in seen.seen
                 if name in ("event", "meeting-started", "meeting-ended")]
        self.assertEqual([name for name in order if name != "heartbeat"],
                         ["mic-mode", "mic-active", "meeting-started", "mic-inactive", "meeting-ended"])
        self.assertEqual(order.count("heartbeat"), 1 + 40)

    def test_a_meeting_still_on_when_the_helper_ends_by_itself_ends_with_it(self):
        client = QuorvelProcess(REPLAY, [self.scratch.scenario("unfinished", zoom_meeting(2))], clock=lambda: 5_000,
                                restart=False)
        seen = Recorder(client)
        client.start()
        seen.wait_for("gave-up")
        self.assertEqual(seen.named("meeting-ended"), [{**ZOOM, "startedAt": 5_000, "endedAt": 5_000, "durationMs": 0,
                                                        "reason": "helper-exit"}])
        self.assertEqual(seen.named("exit")[0]["openSession"], {"event": "mic-active", **ZOOM})
        self.assertEqual(seen.names()[-3:], ["meeting-ended", "exit", "gave-up"])

    def test_a_meeting_still_on_at_a_restart_or_a_stop_ends_as_stopped(self):
        client, seen = self.stepped()
        client.start()
        seen.wait_for("event", test=is_mode)
        client.tick()
        started_at = seen.wait_for("meeting-started")["startedAt"]
        self.now += 90_000
        self.assertEqual(client.restart().result(PATIENCE), STOPPED)
        self.assertEqual(seen.named("meeting-ended"), [{**ZOOM, "startedAt": started_at, "endedAt": started_at + 90_000,
                                                        "durationMs": 90_000, "reason": "stopped"}])
        seen.wait_for("event", 2, test=is_mode)
        client.tick()
        seen.wait_for("meeting-started", 2)
        self.now += 1_000
        client.stop().result(PATIENCE)
        self.assertEqual([(ended["reason"], ended["durationMs"]) for ended in seen.named("meeting-ended")],
                         [("stopped", 90_000), ("stopped", 1_000)])
        self.assertFalse(client.tick(), "no child takes ticks after a stop")

    def test_a_session_that_was_never_attributed_makes_no_meeting(self):
        recorder = self.scratch.scenario("recorder", {
            "observer": {"pid": 4000, "parentPid": 3000}, "ticks": 4,
            "states": [{"fromTick": 0, "audioProcesses": []},
                       {"fromTick": 1, "processes": [{"pid": 800, "ppid": 1, "comm": "arecord"}],
                        "audioProcesses": [{"id": 30, "pid": 800, "runningInput": True}]},
                       {"fromTick": 3, "audioProcesses": []}]})
        client = QuorvelProcess(REPLAY, [recorder], restart=False)
        seen = Recorder(client)
        client.start()
        seen.wait_for("gave-up")
        self.assertEqual([event["event"] for event in seen.named("event")], ["heartbeat", "mic-mode", "mic-inactive"])
        self.assertEqual(seen.named("meeting-started") + seen.named("meeting-ended"), [])

    def test_tick_takes_whole_numbers_and_needs_a_stepped_child(self):
        client, _ = self.stepped()
        self.assertFalse(client.tick(), "nothing runs yet")
        for count in (0, -1, 1.5, "2", True):
            with self.assertRaises(ValueError):
                client.tick(count)
        unstepped = QuorvelProcess(REPLAY, ["--realtime", self.meeting])
        seen = Recorder(unstepped)
        unstepped.start()
        seen.wait_for("line")
        self.assertFalse(unstepped.tick())
        unstepped.stop().result(PATIENCE)


if __name__ == "__main__":
    unittest.main()
