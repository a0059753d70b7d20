"""The contracts in docs/schema hold for what quorvel-replay writes and reads.

QUORVEL_REPLAY names the quorvel-replay under test: the schema's verdict on a scenario
is checked against the replay's own.
"""
import copy
import json
import os
import pathlib
import subprocess
import tempfile
import unittest

import contracts

ROOT = pathlib.Path(__file__).resolve().parents[3]
SCENARIOS = sorted((ROOT / "replay" / "tests" / "scenarios").glob("*.json"))
REPLAY = os.environ.get("QUORVEL_REPLAY")

# Mistakes between fields, which the schema's description lists as beyond it: fromTick
# not increasing, a frontmostPid without its application, a pid or an audio object id
# used twice.
CROSS_FIELD = ("previous state", "no application", "twice")


class BeyondSchema(ValueError):
    pass


def as_schema_sees_it(data):
    """The JSON value of a scenario file, or BeyondSchema when what is wrong with it is
    out of any schema's sight: not UTF-8 JSON, a repeated key, or an integer written
    with a fraction or an exponent (which JSON Schema takes for an integer)."""
    def no_repeats(pairs):
        keys = [key for key, _ in pairs]
        if len(set(keys)) != len(keys):
            raise BeyondSchema("a repeated key")
        return dict(pairs)

    def number(text):
        value = float(text)
        if value.is_integer():
            raise BeyondSchema("an integer written as " + text)
        return value

    try:
        return json.loads(data.decode("utf-8"), object_pairs_hook=no_repeats, parse_float=number)
    except BeyondSchema:
        raise
    except ValueError as error:
        raise BeyondSchema(str(error)) from error


def replay(scenario):
    """Runs quorvel-replay on a scenario (text or bytes): (status, standard error)."""
    if not REPLAY:
        raise AssertionError("QUORVEL_REPLAY must name the quorvel-replay under test")
    with tempfile.NamedTemporaryFile("wb", suffix=".json") as file:
        file.write(scenario if isinstance(scenario, bytes) else scenario.encode("utf-8"))
        file.flush()
        done = subprocess.run([REPLAY, file.name], capture_output=True, timeout=60)
    return done.returncode, done.stderr.decode("utf-8", "replace")


def scenario_valid(value):
    return not contracts.schema_errors(contracts.SCENARIO, value)


BASE = {
    "observer": {"pid": 4000, "parentPid": 3000},
    "clock": "09:00:00.000",
    "ticks": 2,
    "states": [
        {"fromTick": 0,
         "processes": [{"pid": 700, "ppid": 1, "comm": "zoom.us"}],
         "audioProcesses": [{"id": 20, "pid": 700, "runningInput": True}, {"id": 21, "pid": None}],
         "devices": [{"id": 50, "inputChannels": [0, 2], "running": None}, {"id": 51}],
         "apps": [{"name": "zoom.us", "bundleId": None, "pid": 700}],
         "frontmostPid": 700,
         "windows": [{"pid": 700, "title": "Zoom Meeting"}, {"pid": "700", "title": 5}, {}]},
        {"fromTick": 2, "audioProcesses": None, "frontmostPid": None},
    ],
}


def changed(path, value):
    """BASE with the value at `path` (a list of keys and indexes) replaced, or removed
    when value is REMOVE."""
    scenario = copy.deepcopy(BASE)
    *parents, last = path
    target = scenario
    for key in parents:
        target = target[key]
    if value is REMOVE:
        del target[last]
    else:
        target[last] = value
    return scenario


REMOVE = object()


class ScenarioSchemaTest(unittest.TestCase):
    def test_every_scenario_file_is_judged_as_the_replay_judges_it(self):
        self.assertTrue(SCENARIOS)
        for path in SCENARIOS:
            with self.subTest(path.name):
                data = path.read_bytes()
                status, stderr = replay(data)
                try:
                    value = as_schema_sees_it(data)
                except BeyondSchema:
                    self.assertNotEqual(status, 0, "the replay takes a file no schema can judge")
                    continue
                if status == 0:
                    self.assertEqual(contracts.schema_errors(contracts.SCENARIO, value), [])
                elif not any(blind in stderr for blind in CROSS_FIELD):
                    self.assertFalse(scenario_valid(value), stderr)

    def test_scenarios_the_replay_accepts_are_valid(self):
        accepted = [
            BASE,
            changed(["clock"], REMOVE),
            changed(["states", 0, "audioProcesses"], None),
            changed(["states", 0, "windows"], [{"pid": 2**40, "title": None}, {"pid": 1.5}, {"title": [1]}]),
            changed(["states", 0, "devices"], [{"id": 0, "inputChannels": [], "running": False}, {"id": 4294967295}]),
            changed(["states", 1], {"fromTick": 9223372036854775807}),
            changed(["observer"], {"pid": -2147483648, "parentPid": 2147483647}),
            changed(["ticks"], 0),
            changed(["clock"], "23:59:59.999"),
        ]
        for scenario in accepted:
            with self.subTest(json.dumps(scenario)):
                self.assertEqual(replay(json.dumps(scenario))[0], 0)
                self.assertEqual(contracts.schema_errors(contracts.SCENARIO, scenario), [])

    def test_shape_mistakes_are_rejected_by_both(self):
        rejected = {
            "not an object": [],
            "no observer": changed(["observer"], REMOVE),
            "no ticks": changed(["ticks"], REMOVE),
            "no states": changed(["states"], REMOVE),
            "unknown top key": changed(["tick"], 1),
            "observer pid a string": changed(["observer", "pid"], "4000"),
            "observer parentPid missing": changed(["observer", "parentPid"], REMOVE),
            "observer pid over 32 bits": changed(["observer", "pid"], 2**31),
            "negative ticks": changed(["ticks"], -1),
            "clock hour 24": changed(["clock"], "24:00:00.000"),
            "clock without milliseconds": changed(["clock"], "09:00:00"),
            "clock a number": changed(["clock"], 900),
            "empty states": changed(["states"], []),
            "states an object": changed(["states"], {"fromTick": 0}),
            "first fromTick 1": changed(["states", 0, "fromTick"], 1),
            "fromTick missing": changed(["states", 1, "fromTick"], REMOVE),
            "unknown state key": changed(["states", 1, "frontmost"], 700),
            "process without comm": changed(["states", 0, "processes", 0, "comm"], REMOVE),
            "process comm null": changed(["states", 0, "processes", 0, "comm"], None),
            "unknown process key": changed(["states", 0, "processes", 0, "name"], "x"),
            "processes null": changed(["states", 0, "processes"], None),
            "audio object id 1": changed(["states", 0, "audioProcesses", 0, "id"], 1),
            "audio object id negative": changed(["states", 0, "audioProcesses", 0, "id"], -5),
            "audio object without id": changed(["states", 0, "audioProcesses", 0, "id"], REMOVE),
            "runningInput a number": changed(["states", 0, "audioProcesses", 0, "runningInput"], 1),
            "device id over 32 bits": changed(["states", 0, "devices", 0, "id"], 2**32),
            "channel count negative": changed(["states", 0, "devices", 0, "inputChannels"], [-1]),
            "channel counts a number": changed(["states", 0, "devices", 0, "inputChannels"], 2),
            "devices null": changed(["states", 0, "devices"], None),
            "app name a number": changed(["states", 0, "apps", 0, "name"], 3),
            "app without pid": changed(["states", 0, "apps", 0, "pid"], REMOVE),
            "apps null": changed(["states", 0, "apps"], None),
            "frontmostPid a string": changed(["states", 0, "frontmostPid"], "700"),
            "unknown window key": changed(["states", 0, "windows", 0, "owner"], 700),
            "window a list": changed(["states", 0, "windows", 0], [700, "Zoom Meeting"]),
            "windows null": changed(["states", 0, "windows"], None),
        }
        for name, scenario in rejected.items():
            with self.subTest(name):
                status, stderr = replay(json.dumps(scenario))
                self.assertEqual(status, 2, stderr)
                self.assertFalse(scenario_valid(scenario), f"the schema accepts what the replay rejects: {stderr}")

    def test_what_other_versions_add_is_within_the_schema(self):
        # A locale, and later states that list only what changes.
        scenario = changed(["locale"], "tr_TR")
        scenario["states"].append({"fromTick": 3, "windows": []})
        self.assertEqual(contracts.schema_errors(contracts.SCENARIO, scenario), [])


class EventSchemaTest(unittest.TestCase):
    def test_every_event_line_of_the_scenario_tests_is_valid_and_in_order(self):
        outputs = sorted((ROOT / "replay" / "tests" / "scenarios").glob("*.stdout"))
        self.assertTrue(any(path.stat().st_size for path in outputs))
        for path in outputs:
            with self.subTest(path.name):
                lines = path.read_bytes().decode("utf-8").split("\n")
                self.assertEqual(lines.pop(), "", "the last line ends with a line feed")
                for line in lines:
                    self.assertEqual(contracts.line_errors(line), [], line)
                self.assertEqual(contracts.stream_errors(lines), [])

    def test_lines_off_the_protocol_are_rejected(self):
        bad = [
            '{"event":"mic-active","app":"Zoom","pid":"812","title":"Zoom Meeting"}',
            '{"event":"mic-active","app":"Zoom","pid":812}',
            '{"event":"mic-active","app":"Zoom","pid":2147483648,"title":""}',
            '{"event":"mic-active","app":"zoom","pid":812,"title":""}',
            '{"event":"mic-active","app":"Zoom","pid":812,"title":null}',
            '{"event":"mic-inactive","app":"Zoom","pid":812}',
            '{"event":"mic-inactive"}',
            '{"event":"mic-mode","perProcess":"true"}',
            '{"event":"mic-mode"}',
            '{"event":"heartbeat","at":5}',
            '{"event":"mic-idle"}',
            '{"kind":"heartbeat"}',
            '["heartbeat"]',
            '{"event":"heartbeat"',
            '{"event":"mic-active","app":"Zoom","title":"","pid":812}',
            '{"event": "heartbeat"}',
        ]
        for line in bad:
            with self.subTest(line):
                self.assertNotEqual(contracts.line_errors(line), [])

    def test_escaped_titles_are_valid(self):
        for title in ['Meet \u2013 \U0001F50A', 'a\\"b\\n{\\"event\\"}', 'tab\\tand\\u001f', 'line\\u2028sep']:
            line = '{"event":"mic-active","app":"Google Chrome","pid":710,"title":"' + title + '"}'
            with self.subTest(line):
                self.assertEqual(contracts.line_errors(line), [])

    def test_stream_rules(self):
        heartbeat, mode = '{"event":"heartbeat"}', '{"event":"mic-mode","perProcess":true}'
        active = '{"event":"mic-active","app":"Zoom","pid":7,"title":""}'
        inactive = '{"event":"mic-inactive","app":"","pid":0}'
        self.assertEqual(contracts.stream_errors([heartbeat, mode, inactive, inactive, active, inactive, active]), [])
        self.assertNotEqual(contracts.stream_errors([mode, heartbeat]), [])
        self.assertNotEqual(contracts.stream_errors([heartbeat, mode, heartbeat, mode]), [])
        self.assertNotEqual(contracts.stream_errors([heartbeat, mode, active, heartbeat, active]), [])


if __name__ == "__main__":
    unittest.main()
