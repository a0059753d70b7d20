"""quorvel-replay --diagnose against scenarios: the document byte for byte, with and
without --all-titles, the summary on standard error, the bounds on lists and titles, and
every document valid against docs/schema/diagnosis.schema.json.

    python3 diagnosis_test.py REPLAY VERSION
"""
import json
import pathlib
import subprocess
import sys
import tempfile
import unittest

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent.parent / "docs" / "schema" / "tests"))
import contracts  # noqa: E402

REPLAY = sys.argv[1]
VERSION = sys.argv[2]


def diagnose(scenario, *options):
    run = subprocess.run([REPLAY, "--diagnose", *options, str(scenario)], capture_output=True, timeout=30)
    return run.returncode, run.stdout.decode("utf-8"), run.stderr.decode("utf-8")


def expected(name):
    return (HERE / "diagnosis" / name).read_text(encoding="utf-8").replace("@VERSION@", VERSION)


class DiagnosisTest(unittest.TestCase):
    def test_titles_of_applications_outside_the_catalogue_are_lengths_unless_all_are_asked_for(self):
        scenario = HERE / "diagnosis" / "private_titles.json"
        status, out, err = diagnose(scenario)
        self.assertEqual(status, 0)
        self.assertEqual(out, expected("private_titles.stdout"))
        self.assertEqual(err, expected("private_titles.stderr"))
        self.assertNotIn("Salary", out)
        status, out, _ = diagnose(scenario, "--all-titles")
        self.assertEqual(status, 0)
        self.assertEqual(out, expected("private_titles.all-titles.stdout"))

    def test_every_scenario_of_the_replay_tests_is_diagnosed_as_the_schema_says(self):
        scenarios = [path for path in (HERE / "scenarios").glob("*.json") if not path.name.startswith("bad_")]
        self.assertGreater(len(scenarios), 3)
        for scenario in scenarios:
            for options in ([], ["--all-titles"]):
                status, out, _ = diagnose(scenario, *options)
                self.assertEqual(status, 0, scenario.name)
                self.assertEqual(contracts.diagnosis_errors(out), [], scenario.name)

    def test_long_lists_and_titles_are_cut_and_the_document_says_so(self):
        title = "Zoom Meeting " + "\u00e9" * 400  # two bytes a letter: the cut falls inside one
        windows = [{"pid": 812, "title": title}] + [{"pid": 900 + n, "title": f"w{n}"} for n in range(260)]
        scenario = {
            "observer": {"pid": 4000, "parentPid": 3000},
            "ticks": 0,
            "states": [{
                "fromTick": 0,
                "processes": [{"pid": 812, "ppid": 1, "comm": "zoom.us"}],
                "audioProcesses": [{"id": 100 + n, "pid": 812, "runningInput": False} for n in range(230)],
                "apps": [{"name": "zoom.us", "bundleId": "us.zoom.xos", "pid": 812}]
                        + [{"name": f"app {n}", "pid": 2000 + n} for n in range(210)],
                "windows": windows,
            }],
        }
        with tempfile.NamedTemporaryFile("w", suffix=".json", encoding="utf-8") as file:
            json.dump(scenario, file)
            file.flush()
            status, out, _ = diagnose(file.name)
        self.assertEqual(status, 0)
        self.assertEqual(contracts.diagnosis_errors(out), [])
        document = json.loads(out)
        self.assertEqual(len(document["audioProcesses"]), 200)
        self.assertEqual(len(document["runningApplications"]), 200)
        self.assertEqual(len(document["windows"]["onScreen"]), 200)
        shown = document["windows"]["onScreen"][0]["title"]
        self.assertTrue(title.startswith(shown))
        self.assertEqual(len(shown.encode("utf-8")), 511, "cut before the letter that 512 bytes would split")
        self.assertEqual(document["cut"], ["audioProcesses: the first 200 of 230",
                                           "runningApplications: the first 200 of 211",
                                           "windows: the first 200 of 261", "titles: at 512 bytes"])


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
