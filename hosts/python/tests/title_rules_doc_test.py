"""The table of docs/hosts.md that tells host developers which window titles count as a
meeting, checked against quorvel's rules through quorvel-replay: each example in the
"Counts" column makes a meeting of a browser in the background, each one in the "Does not
count" column does not, and (as the doc says) a frontmost browser counts whatever its
title."""
import json
import re
import subprocess
import tempfile
import unittest

from support import PATIENCE, ROOT, program

HEADER = "| A title counts when it | Counts | Does not count |"


def documented_titles():
    """(counting, not counting) examples of the table, in its order."""
    doc = (ROOT / "docs" / "hosts.md").read_text(encoding="utf-8")
    rows = doc[doc.index(HEADER):].split("\n\n", 1)[0].splitlines()[2:]
    counting, not_counting = [], []
    for row in rows:
        # Cells are split at pipes that are not escaped; examples are code spans.
        cells = re.split(r"(?<!\\)\|", row)[1:-1]
        for cell, titles in ((cells[1], counting), (cells[2], not_counting)):
            titles.extend(title.replace("\\|", "|") for title in re.findall(r"`([^`]+)`", cell))
    return counting, not_counting


def meeting_reported(title, frontmost):
    """Whether quorvel-replay reports a meeting for Google Chrome capturing the microphone
    and showing `title`, in front of all other windows or behind them."""
    world = {"processes": [{"pid": 710, "ppid": 1, "comm": "Google Chrome"}],
             "audioProcesses": [{"id": 30, "pid": 710, "runningInput": True}],
             "apps": [{"name": "Google Chrome", "pid": 710}],
             "frontmostPid": 710 if frontmost else None,
             "windows": [{"pid": 710, "title": title}]}
    scenario = {"observer": {"pid": 4000, "parentPid": 3000}, "ticks": 1,
                "states": [{"fromTick": 0, "audioProcesses": []}, {"fromTick": 1, **world}]}
    with tempfile.NamedTemporaryFile("w", suffix=".json", encoding="utf-8") as file:
        json.dump(scenario, file)
        file.flush()
        done = subprocess.run([program("QUORVEL_REPLAY"), file.name], capture_output=True, timeout=PATIENCE)
    assert done.returncode == 0, done.stderr
    events = [json.loads(line) for line in done.stdout.decode().splitlines()]
    active = [event for event in events if event["event"] == "mic-active"]
    assert active in ([], [{"event": "mic-active", "app": "Google Chrome", "pid": 710, "title": title}]), active
    return bool(active)


class TitleRulesDocTest(unittest.TestCase):
    def test_the_table_has_examples_of_both_kinds(self):
        counting, not_counting = documented_titles()
        self.assertGreaterEqual(len(counting), 7)
        self.assertGreaterEqual(len(not_counting), 7)
        self.assertIn("Slack | Huddle", counting)
        for title in ("meet.google.com/abc-defg-hij", "Jitsi Meet", "Whereby"):
            self.assertIn(title, not_counting)

    def test_each_example_counts_in_the_background_as_the_table_says(self):
        counting, not_counting = documented_titles()
        for title in counting:
            with self.subTest(title=title):
                self.assertTrue(meeting_reported(title, frontmost=False))
        for title in not_counting:
            with self.subTest(title=title):
                self.assertFalse(meeting_reported(title, frontmost=False))

    def test_a_frontmost_browser_counts_whatever_its_title(self):
        for title in documented_titles()[1] + [""]:
            with self.subTest(title=title):
                self.assertTrue(meeting_reported(title, frontmost=True))


if __name__ == "__main__":
    unittest.main()
