"""What the Python client's tests share: the programs under test (paths given by the build
through the environment), scenario files and stand-in executables, and a recorder that
waits for a client's reports."""
import json
import os
import pathlib
import stat
import tempfile
import threading
import unittest

from quorvel_host import REPORTS

ROOT = pathlib.Path(__file__).resolve().parents[3]
SCENARIOS = ROOT / "replay" / "tests" / "scenarios"
# Long enough for any answer on a loaded machine; reached only when a fault leaves one out.
PATIENCE = 30


def program(variable):
    """The path of a built program, from the environment variable that names it."""
    path = os.environ.get(variable)
    if not path:
        raise AssertionError(f"{variable} must name the program under test")
    return path


class Scratch:
    """A folder for one test class's files, removed afterwards."""

    def __init__(self):
        self._folder = tempfile.TemporaryDirectory(prefix="quorvel-host-test-")
        self.path = pathlib.Path(self._folder.name)

    def scenario(self, name, content):
        path = self.path / f"{name}.json"
        path.write_text(json.dumps(content), encoding="utf-8")
        return str(path)

    def stand_in(self, name, body):
        """An executable shell script, the stand-in for a helper."""
        path = self.path / name
        path.write_text(f"#!/bin/sh\n{body}\n", encoding="utf-8")
        path.chmod(path.stat().st_mode | stat.S_IXUSR)
        return str(path)

    def remove(self):
        self._folder.cleanup()


class ScratchTestCase(unittest.TestCase):
    """A test class with a scratch folder of its own, self.scratch."""

    @classmethod
    def setUpClass(cls):
        cls.scratch = Scratch()

    @classmethod
    def tearDownClass(cls):
        cls.scratch.remove()


def zoom_meeting(ticks, start=1, end=None):
    """A world in which Zoom (pid 700) holds a meeting from tick `start` to tick `end`."""
    return {
        "observer": {"pid": 4000, "parentPid": 3000},
        "ticks": ticks,
        "states": [
            {"fromTick": 0, "audioProcesses": []},
            {"fromTick": start, "processes": [{"pid": 700, "ppid": 1, "comm": "zoom.us"}],
             "audioProcesses": [{"id": 20, "pid": 700, "runningInput": True}],
             "apps": [{"name": "zoom.us", "pid": 700}], "frontmostPid": 700,
             "windows": [{"pid": 700, "title": "Zoom Meeting"}]},
            {"fromTick": ticks + 1 if end is None else end, "audioProcesses": []},
        ],
    }


IDLE = {"observer": {"pid": 4000, "parentPid": 3000}, "ticks": 600, "states": [{"fromTick": 0, "audioProcesses": []}]}


class Recorder:
    """Everything a client reports, in order, as (name, payload) pairs."""

    def __init__(self, client):
        self.seen = []
        self._changed = threading.Condition()
        for name in REPORTS:
            client.on(name, lambda payload, name=name: self._keep(name, payload))

    def _keep(self, name, payload):
        with self._changed:
            self.seen.append((name, payload))
            self._changed.notify_all()

    def named(self, name):
        with self._changed:
            return [payload for kind, payload in self.seen if kind == name]

    def names(self, leave_out=("line", "event")):
        with self._changed:
            return [kind for kind, _ in self.seen if kind not in leave_out]

    def wait_for(self, name, count=1, test=lambda payload: True):
        """The `count`-th report `name` that passes `test`, seen already or yet to come."""
        def found():
            return [payload for kind, payload in self.seen if kind == name and test(payload)]
        with self._changed:
            if not self._changed.wait_for(lambda: len(found()) >= count, PATIENCE):
                raise AssertionError(f"no {name} report #{count}; seen: {[kind for kind, _ in self.seen]}")
            return found()[count - 1]
