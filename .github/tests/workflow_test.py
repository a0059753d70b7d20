"""What can be checked of the macOS workflow without a Mac: the file parses as YAML, has
the jobs and steps docs/macos.md describes, and every program it runs from a build
folder is one that this repository's CMake files make, in the folder it runs it from;
every script it runs exists.

    python3 workflow_test.py
"""
import pathlib
import re
import unittest

import yaml

ROOT = pathlib.Path(__file__).resolve().parent.parent.parent
WORKFLOW = ROOT / ".github" / "workflows" / "macos.yml"


def commands():
    workflow = yaml.safe_load(WORKFLOW.read_text(encoding="utf-8"))
    for job in workflow["jobs"].values():
        for step in job["steps"]:
            if "run" in step:
                yield step["run"]


class WorkflowTest(unittest.TestCase):
    def test_it_runs_on_the_three_runners_and_keeps_the_first_run_as_artifacts(self):
        workflow = yaml.safe_load(WORKFLOW.read_text(encoding="utf-8"))
        job = workflow["jobs"]["first-run"]
        self.assertEqual(job["strategy"]["matrix"]["runner"], ["macos-13", "macos-14", "macos-15"])
        upload = [step for step in job["steps"] if step.get("uses", "").startswith("actions/upload-artifact@")]
        self.assertEqual(len(upload), 1)
        kept = upload[0]["with"]["path"].split()
        self.assertIn("diagnosis.json", kept)
        self.assertIn("sennick.txt", kept)
        script = "\n".join(commands())
        for needed in ("lipo -archs", "ctest --test-dir build", "--diagnose", "macos_platform_smoke_test"):
            self.assertIn(needed, script)

    def test_every_program_run_from_a_build_folder_is_made_there_by_this_repository(self):
        programs = set()
        for command in commands():
            programs.update(re.findall(r"\bbuild(?:-release)?/([\w./-]+)", command))
        self.assertTrue(programs)
        for program in programs:
            folder, name = program.rsplit("/", 1)
            cmake = ROOT / folder / "CMakeLists.txt"
            self.assertTrue(cmake.is_file(), f"{program}: no {folder}/CMakeLists.txt")
            self.assertRegex(cmake.read_text(encoding="utf-8"), rf"add_executable\({re.escape(name)}\b",
                             f"{folder}/CMakeLists.txt makes no {name}")

    def test_every_script_it_runs_exists(self):
        for command in commands():
            for script in re.findall(r"\b(scripts/[\w./-]+)", command):
                self.assertTrue((ROOT / script).is_file(), script)


if __name__ == "__main__":
    unittest.main()
