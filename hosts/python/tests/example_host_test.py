"""The example hosts of docs/hosts.md: the doc shows the tested files, and the Python one
reads quorvel-replay's stream and stops it as a host should. QUORVEL_REPLAY names the
quorvel-replay under test."""
import json
import os
import pathlib
import re
import signal
import subprocess
import sys
import tempfile
import unittest

ROOT = pathlib.Path(__file__).resolve().parents[3]
EXAMPLE = ROOT / "hosts" / "python" / "example_host.py"
SCENARIOS = ROOT / "replay" / "tests" / "scenarios"


def replay():
    path = os.environ.get("QUORVEL_REPLAY")
    if not path:
        raise AssertionError("QUORVEL_REPLAY must name the quorvel-replay under test")
    return path


class DocumentedExamplesTest(unittest.TestCase):
    def test_the_doc_shows_the_tested_files(self):
        doc = (ROOT / "docs" / "hosts.md").read_text(encoding="utf-8")
        blocks = re.findall(r"<!-- file: (\S+) -->\n```\w*\n(.*?)```", doc, re.S)
        self.assertEqual(sorted(path for path, _ in blocks),
                         ["hosts/node/examples/print_events.js", "hosts/python/example_host.py"])
        for path, block in blocks:
            with self.subTest(path):
                self.assertEqual(block, (ROOT / path).read_text(encoding="utf-8"))


class PythonExampleHostTest(unittest.TestCase):
    def test_a_replayed_session_is_printed_and_the_end_reported(self):
        done = subprocess.run([sys.executable, str(EXAMPLE), replay(), "browser_fallback_and_attribution.json"],
                              cwd=SCENARIOS, capture_output=True, timeout=60)
        title = "Meet \u2013 abc-defg-hij\n" + json.dumps({"event": "mic-inactive", "app": "", "pid": 0},
                                                        separators=(",", ":"))
        self.assertEqual(done.stdout.decode().splitlines(), [
            "mode: per-process",
            "meeting: Google Chrome, pid 710, " + json.dumps(title, ensure_ascii=False),
            "meeting ended",
            "quorvel ended with status 0",
        ])
        self.assertEqual(done.returncode, 0, done.stderr)

    def test_sigterm_stops_quorvel_with_sigint_and_an_open_session_ends(self):
        with tempfile.TemporaryDirectory() as folder:
            scenario = pathlib.Path(folder) / "meeting.json"
            scenario.write_text(json.dumps({
                "observer": {"pid": 4000, "parentPid": 3000}, "ticks": 600,
                "states": [
                    {"fromTick": 0, "audioProcesses": []},
                    {"fromTick": 1, "processes": [{"pid": 700, "ppid": 1, "comm": "zoom.us"}],
                     "audioProcesses": [{"id": 20, "pid": 700, "runningInput": True}],
                     "apps": [{"name": "zoom.us", "pid": 700}], "frontmostPid": 700}]}))
            host = subprocess.Popen([sys.executable, str(EXAMPLE), replay(), "--realtime", str(scenario)],
                                    stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                    env={**os.environ, "PYTHONUNBUFFERED": "1"})
            try:
                seen = [host.stdout.readline().decode().rstrip("\n") for _ in range(2)]
                self.assertEqual(seen, ["mode: per-process", 'meeting: Zoom, pid 700, ""'])
                host.send_signal(signal.SIGTERM)
                rest, errors = host.communicate(timeout=30)
            finally:
                host.kill()
                host.wait()
            self.assertEqual(rest.decode().splitlines(), ["meeting ended (quorvel stopped)", "quorvel ended with status 0"])
            self.assertEqual(host.returncode, 0, errors)


if __name__ == "__main__":
    unittest.main()
