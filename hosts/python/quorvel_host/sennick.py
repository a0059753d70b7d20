"""sennick: one run, one word. The word and the exit status say the same thing (0
authorized, 1 denied, 2 unknown); when they do not, when the program died of a signal,
said nothing or could not be started, the answer is "unknown"."""
import subprocess

from ._signals import signal_name

_STATUS_OF = {"authorized": 0, "denied": 1, "unknown": 2}
_MAX_OUTPUT = 4096


def _text(data):
    return (data or b"")[:_MAX_OUTPUT].decode("utf-8", errors="replace")


def run_sennick(command, args=(), *, env=None, cwd=None, timeout_ms=10_000):
    """Runs sennick and answers {"permission", "code", "signal", "stdout", "stderr",
    "error"}; never raises for a run that goes wrong. code is the exit status, or None when
    sennick died of a signal or could not be started (error says why). A run that takes
    longer than timeout_ms is killed (and is "unknown")."""
    if not isinstance(command, str) or command == "":
        raise TypeError('run_sennick needs the path of sennick as "command"')
    result = {"permission": "unknown", "code": None, "signal": None, "stdout": "", "stderr": "", "error": None}
    try:
        done = subprocess.run([command, *args], env=env, cwd=cwd, stdin=subprocess.DEVNULL,
                              capture_output=True, timeout=timeout_ms / 1000)
    except subprocess.TimeoutExpired as expired:
        # run() has killed it with SIGKILL.
        result.update(signal="SIGKILL", stdout=_text(expired.stdout), stderr=_text(expired.stderr),
                      error=f"sennick gave no answer within {timeout_ms} ms")
        return result
    except (OSError, ValueError) as error:
        result["error"] = str(error)
        return result
    result.update(stdout=_text(done.stdout), stderr=_text(done.stderr))
    if done.returncode < 0:
        result["signal"] = signal_name(-done.returncode)
        return result
    result["code"] = done.returncode
    word = result["stdout"][:-1] if result["stdout"].endswith("\n") else result["stdout"]
    if _STATUS_OF.get(word) == done.returncode:
        result["permission"] = word
    return result


def microphone_permission(command, args=(), **options):
    """The audio-capture permission as sennick reports it: "authorized", "denied" or "unknown"."""
    return run_sennick(command, args, **options)["permission"]
