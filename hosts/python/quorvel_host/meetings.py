"""Meetings as a host sees them, derived from the events: a "mic-active" starts one, and a
"mic-inactive", the helper's end or a stop ends it. Each is timed by the client's clock
when its line arrived, since the events carry no time."""


class Meetings:
    def __init__(self):
        self._open = None  # (the mic-active event, startedAt)

    @property
    def open_session(self):
        """The "mic-active" event of the meeting that is open, or None."""
        return None if self._open is None else self._open[0]

    def take(self, event, at):
        """Takes an event that arrived at `at`; answers ("meeting-started" or
        "meeting-ended", payload) or None. A second "mic-active" while one is open (quorvel
        writes none) starts no second meeting."""
        if event["event"] == "mic-active" and self._open is None:
            self._open = (event, at)
            return "meeting-started", {"app": event["app"], "pid": event["pid"], "title": event["title"],
                                       "startedAt": at}
        if event["event"] == "mic-inactive":
            return self.end("mic-inactive", at)
        return None

    def end(self, reason, at):
        """Ends the open meeting, if any, for `reason` at `at`: ("meeting-ended", payload) or None."""
        if self._open is None:
            return None
        event, started_at = self._open
        self._open = None
        return "meeting-ended", {
            "app": event["app"], "pid": event["pid"], "title": event["title"],
            "startedAt": started_at, "endedAt": at,
            # The wall clock may be set back during a meeting.
            "durationMs": max(0, at - started_at), "reason": reason,
        }
