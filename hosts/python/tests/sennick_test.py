"""sennick's answer as the host sees it: the real sennick, and stand-ins for the answers it
gives elsewhere and for the ways a run can go wrong."""
import sys
import unittest

from quorvel_host import microphone_permission, run_sennick
from support import ScratchTestCase, program


class SennickTest(ScratchTestCase):
    def test_the_real_sennick_answers_with_one_word_and_the_matching_status(self):
        result = run_sennick(program("SENNICK"))
        self.assertEqual(result["code"], {"authorized": 0, "denied": 1, "unknown": 2}[result["permission"]])
        self.assertEqual(result["stdout"], f"{result['permission']}\n")
        if sys.platform.startswith("linux"):  # no privacy-consent service outside macOS
            self.assertEqual({**result, "stderr": None}, {"permission": "unknown", "code": 2, "signal": None,
                                                         "stdout": "unknown\n", "stderr": None, "error": None})
            self.assertTrue(result["stderr"].startswith("ERROR: "), result["stderr"])

    def test_each_word_with_its_status_is_the_answer(self):
        for word, status in (("authorized", 0), ("denied", 1), ("unknown", 2)):
            command = self.scratch.stand_in(f"says-{word}", f'echo "DEBUG: $0" >&2\necho {word}\nexit {status}')
            self.assertEqual(microphone_permission(command), word)

    def test_a_signal_death_no_word_or_a_word_the_status_contradicts_is_unknown(self):
        cases = {
            "silent": ("exit 0", 0),
            "contradicted": ("echo authorized\nexit 1", 1),
            "unknown-word": ("echo allowed\nexit 0", 0),
            "two-words": ("echo authorized\necho authorized\nexit 0", 0),
        }
        for name, (body, code) in cases.items():
            with self.subTest(name):
                result = run_sennick(self.scratch.stand_in(name, body))
                self.assertEqual((result["permission"], result["code"], result["error"]), ("unknown", code, None))
        killed = run_sennick(self.scratch.stand_in("killed-after-word", "echo authorized\nkill -TERM $$"))
        self.assertEqual((killed["permission"], killed["code"], killed["signal"]), ("unknown", None, "SIGTERM"))

    def test_a_sennick_that_cannot_be_started_has_no_status_and_says_why(self):
        for command in (str(self.scratch.path / "missing"), "sennick\0"):
            with self.subTest(command=command):
                result = run_sennick(command)
                self.assertEqual((result["permission"], result["code"], result["signal"]), ("unknown", None, None))
                self.assertRegex(result["error"], "No such file or directory|null byte")

    def test_a_sennick_that_hangs_is_killed_after_the_timeout_and_is_unknown(self):
        result = run_sennick(self.scratch.stand_in("hangs", "echo authorized\nexec sleep 30"), timeout_ms=200)
        self.assertEqual((result["permission"], result["code"], result["signal"]), ("unknown", None, "SIGKILL"))
        self.assertEqual(result["error"], "sennick gave no answer within 200 ms")


if __name__ == "__main__":
    unittest.main()
