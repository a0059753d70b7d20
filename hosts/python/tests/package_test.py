"""What the package promises as a package: MIT, the project's version, no dependencies,
standard library only, Python 3.9 and later, and a wheel that holds the client and works
where it is installed."""
import ast
import json
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import tomllib
import unittest
import zipfile

from support import PATIENCE, ROOT, program, zoom_meeting

HERE = ROOT / "hosts" / "python"
PACKAGE = HERE / "quorvel_host"
PROJECT = tomllib.loads((HERE / "pyproject.toml").read_text(encoding="utf-8"))["project"]


def project_version():
    """The project's one version number, in the top CMakeLists.txt."""
    found = re.search(r"^project\(quorvel VERSION (\S+)", (ROOT / "CMakeLists.txt").read_text(), re.M)
    assert found, "no project(quorvel VERSION ...) in CMakeLists.txt"
    return found.group(1)


class PackageTest(unittest.TestCase):
    def test_the_package_is_mit_of_the_project_version_with_no_dependencies(self):
        self.assertEqual(PROJECT["version"], project_version())
        self.assertEqual(PROJECT["license"], {"text": "MIT"})
        self.assertEqual((HERE / "LICENSE").read_text(), (ROOT / "LICENSE").read_text())
        self.assertEqual(PROJECT["dependencies"], [])
        self.assertEqual(PROJECT["requires-python"], ">=3.9")
        self.assertTrue((HERE / PROJECT["readme"]).read_text(encoding="utf-8").startswith("# quorvel-host\n"))

    def test_the_client_reads_as_python_3_9_and_imports_the_standard_library_only(self):
        standard = sys.stdlib_module_names
        for source in sorted(PACKAGE.glob("*.py")):
            with self.subTest(source.name):
                tree = ast.parse(source.read_text(encoding="utf-8"), str(source), feature_version=(3, 9))
                for node in ast.walk(tree):
                    if isinstance(node, ast.Import):
                        names = [alias.name for alias in node.names]
                    elif isinstance(node, ast.ImportFrom) and node.level == 0:
                        names = [node.module]
                    else:
                        continue
                    for name in names:
                        self.assertIn(name.split(".")[0], standard, f"{source.name} imports {name}")

    def test_a_wheel_built_from_the_package_holds_the_client_and_works_where_it_is_installed(self):
        with tempfile.TemporaryDirectory() as folder:
            work = pathlib.Path(folder)
            # Built from a copy, so that the build leaves nothing in the source tree.
            source = work / "source"
            shutil.copytree(HERE, source, ignore=shutil.ignore_patterns("tests", "__pycache__", "*.pyc"))
            built = subprocess.run(
                [sys.executable, "-c", "import setuptools.build_meta as b, sys; print(b.build_wheel(sys.argv[1]))",
                 str(work / "dist")], cwd=source, capture_output=True, text=True, timeout=PATIENCE)
            self.assertEqual(built.returncode, 0, built.stderr)
            wheel = work / "dist" / built.stdout.split()[-1]
            self.assertEqual(wheel.name, f"quorvel_host-{project_version()}-py3-none-any.whl")
            with zipfile.ZipFile(wheel) as archive:
                names = archive.namelist()
                metadata = archive.read(f"quorvel_host-{project_version()}.dist-info/METADATA").decode()
                archive.extractall(work / "site")
            self.assertEqual(sorted(name for name in names if not name.startswith("quorvel_host-")),
                             sorted(f"quorvel_host/{path.name}" for path in PACKAGE.glob("*.py")))
            self.assertIn("\nLicense: MIT\n", metadata)
            self.assertIn("\nRequires-Python: >=3.9\n", metadata)
            self.assertNotIn("Requires-Dist", metadata)

            scenario = work / "meeting.json"
            scenario.write_text(json.dumps(zoom_meeting(3, end=2)))
            # Isolated (-I) from the source tree and the environment: the wheel's files alone.
            host = "\n".join([
                f"import sys; sys.path.insert(0, {str(work / 'site')!r})",
                "from quorvel_host import QuorvelProcess",
                "import threading",
                f"client = QuorvelProcess({program('QUORVEL_REPLAY')!r}, [{str(scenario)!r}], restart=False,"
                " clock=lambda: 0)",
                "done = threading.Event()",
                "client.on('meeting-ended', print)",
                "client.on('gave-up', lambda info: done.set())",
                "client.start()",
                "done.wait()",
            ])
            ran = subprocess.run([sys.executable, "-I", "-c", host], cwd=work, capture_output=True, text=True,
                                 timeout=PATIENCE)
            self.assertEqual(ran.returncode, 0, ran.stderr)
            self.assertEqual(ran.stdout, str({"app": "Zoom", "pid": 700, "title": "Zoom Meeting", "startedAt": 0,
                                              "endedAt": 0, "durationMs": 0, "reason": "mic-inactive"}) + "\n")


if __name__ == "__main__":
    unittest.main()
