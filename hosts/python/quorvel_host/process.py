"""quorvel (or quorvel-replay) as a child process: its events handed to the host typed,
with the meetings they make, its diagnostic log kept in a bounded deque, a hung or ended
child restarted with growing delays up to a limit unless no restart can mend its end, and
a stop that asks with SIGINT before it kills.

Everything the client decides happens on one thread of its own, in order (_serial.py):
reader threads hand it the child's lines and, once both streams are read to their end,
the child's exit; the methods hand it what the host asks for. So no two changes of state
race, and no line is lost to an exit reported early. Listeners are called on that thread."""
import atexit
import collections
import signal
import subprocess
import sys
import threading
import time
import traceback
from concurrent.futures import Future

from ._serial import Serial
from ._signals import signal_name
from ._streams import event_lines, log_lines
from .events import parse_event_line
from .meetings import Meetings

DEFAULTS = {
    # quorvel writes a heartbeat every 15 s: no line for four intervals means that it hangs.
    "hung_after_ms": 60_000,
    "stop_timeout_ms": 5_000,
    "stderr_lines": 200,
    "restart": {"max_tries": 5, "first_delay_ms": 1_000, "max_delay_ms": 30_000, "factor": 2,
                "healthy_after_ms": 60_000},
}

REPORTS = ("event", "unknown", "malformed", "line", "meeting-started", "meeting-ended",
           "spawn", "hung", "exit", "restart", "gave-up")

# quorvel and quorvel-replay end with status 2 on a command line or scenario they refuse:
# starting them again would only be refused again.
_REFUSED_STATUS = 2


def _milliseconds_now():
    return time.time_ns() // 1_000_000


class _Run:
    """One child and what is known about it."""

    def __init__(self):
        self.proc = None
        self.error = None
        self.hung = False
        self.killed = False
        self.last_line_at = time.monotonic()  # set by the reader thread
        self.input_lock = threading.Lock()
        self.input_closed = False


class QuorvelProcess:
    def __init__(self, command, args=(), *, cwd=None, env=None, hung_after_ms=None, stop_timeout_ms=None,
                 stderr_lines=None, restart=None, step=False, clock=None):
        if not isinstance(command, str) or command == "":
            raise TypeError('QuorvelProcess needs the path of quorvel or quorvel-replay as "command"')
        restart_policy = dict(DEFAULTS["restart"])
        if restart is False:
            restart_policy["max_tries"] = 0
        elif restart is not None:
            unknown = set(restart) - set(restart_policy)
            if unknown:
                raise TypeError(f"unknown restart options: {', '.join(sorted(unknown))}")
            restart_policy.update(restart)
        self._argv = [command, *(["--step"] if step else []), *args]
        self._cwd = cwd
        self._env = env
        self._step = step
        self._hung_after = (DEFAULTS["hung_after_ms"] if hung_after_ms is None else hung_after_ms) / 1000
        self._stop_timeout = (DEFAULTS["stop_timeout_ms"] if stop_timeout_ms is None else stop_timeout_ms) / 1000
        self._restart = restart_policy
        self._log = collections.deque(maxlen=DEFAULTS["stderr_lines"] if stderr_lines is None else stderr_lines)
        self._log_lock = threading.Lock()
        self._clock = clock or _milliseconds_now
        self._listeners = {name: [] for name in REPORTS}
        self._listeners_lock = threading.Lock()

        self._serial = Serial(busy=lambda: self._run is not None)

        self._state = "idle"  # idle, starting, running, stopping, waiting, failed, stopped
        self._run = None
        self._tries = 0
        self._meetings = Meetings()
        self._stopping = None  # the Future of the stop under way
        self._start_after_stop = False

    # What the host calls, from any thread.

    @property
    def state(self):
        """idle, starting, running, stopping, waiting (to restart), failed (gave up) or stopped."""
        return self._state

    @property
    def pid(self):
        """The pid of the child of now, or None."""
        run = self._run
        return run.proc.pid if run is not None and run.proc is not None else None

    def stderr_tail(self):
        """The last lines of the children's standard error, oldest first, across restarts."""
        with self._log_lock:
            return list(self._log)

    def on(self, name, listener):
        """Calls listener(payload) for each report `name` (see REPORTS), on the client's thread."""
        with self._listeners_lock:
            self._names(name).append(listener)
        return self

    def off(self, name, listener):
        with self._listeners_lock:
            if listener in self._names(name):
                self._names(name).remove(listener)
        return self

    def start(self):
        """Starts the child; during a stop, once the stop has finished."""
        self._serial.call(self._start)

    def stop(self):
        """Ends the child: SIGINT (or, with step, the end of its input), then SIGKILL once
        stop_timeout_ms have gone by. Answers a Future of how it ended, {"outcome", "code",
        "signal"}, which never fails. No restart follows, and a start() asked for during an
        earlier stop is dropped."""
        return self._serial.call(self._stop)

    def restart(self):
        """stop(), then start(): answers the stop's Future."""
        return self._serial.call(self._restart_now)

    def tick(self, count=1):
        """With step: has quorvel-replay --step run `count` more ticks; False when no child takes them."""
        if isinstance(count, bool) or not isinstance(count, int) or count < 1:
            raise ValueError("tick() takes a whole number of ticks, 1 or more")
        return self._serial.call(self._tick, count)

    # The client's thread.

    def _names(self, name):
        if name not in self._listeners:
            raise ValueError(f"no such report: {name!r}; the reports are {', '.join(REPORTS)}")
        return self._listeners[name]

    def _emit(self, name, payload):
        with self._listeners_lock:
            listeners = list(self._listeners[name])
        for listener in listeners:
            try:
                listener(payload)
            except Exception:
                # A listener's fault is the host's to see, and the client goes on.
                traceback.print_exc(file=sys.stderr)

    def _start(self):
        if self._state == "stopping":
            self._start_after_stop = True
            return
        if self._state in ("starting", "running", "waiting"):
            return
        self._tries = 0
        self._spawn()

    def _stop(self):
        self._start_after_stop = False
        if self._stopping is not None:
            return self._stopping
        self._serial.clear_timer("restart")
        if self._run is None:
            self._state = "stopped"
            stopped = Future()
            stopped.set_result({"outcome": "not-running", "code": None, "signal": None})
            return stopped
        self._stopping = Future()
        self._state = "stopping"
        # A stop takes over from an end that the watchdog started, with a fresh timeout.
        self._end(self._run)
        return self._stopping

    def _restart_now(self):
        stopped = self._stop()
        self._start()
        return stopped

    def _tick(self, count):
        run = self._run
        if not self._step or run is None or run.proc is None or self._state not in ("starting", "running"):
            return False
        with run.input_lock:
            if run.input_closed:
                return False
            try:
                run.proc.stdin.write(b"\n" * count)
                run.proc.stdin.flush()
            except (OSError, ValueError):  # the replay has gone
                return False
        return True

    def _spawn(self):
        self._state = "starting"
        run = _Run()
        self._run = run
        try:
            run.proc = subprocess.Popen(
                self._argv, cwd=self._cwd, env=self._env,
                stdin=subprocess.PIPE if self._step else subprocess.DEVNULL,
                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        except (OSError, ValueError, subprocess.SubprocessError) as error:
            run.error = error
            self._serial.post(self._closed, run, None)
            return
        atexit.register(self._on_host_exit)
        log = threading.Thread(target=self._read_log, args=(run,), daemon=True)
        log.start()
        threading.Thread(target=self._read_events, args=(run, log), daemon=True).start()
        self._state = "running"
        self._serial.set_timer("watchdog", self._hung_after, lambda: self._watch(run))
        self._serial.set_timer("healthy", self._restart["healthy_after_ms"] / 1000, self._healthy)
        self._emit("spawn", {"pid": run.proc.pid, "attempt": self._tries})

    def _healthy(self):
        self._tries = 0

    def _read_log(self, run):
        with run.proc.stderr:
            for line in log_lines(run.proc.stderr):
                with self._log_lock:
                    self._log.append(line)

    def _read_events(self, run, log):
        with run.proc.stdout:
            for line, terminated in event_lines(run.proc.stdout):
                at = self._clock()
                run.last_line_at = time.monotonic()
                self._serial.post(self._line, run, line, at, terminated)
        # The exit is reported once both streams have been read to their end.
        log.join()
        status = run.proc.wait()
        self._close_input(run)
        self._serial.post(self._closed, run, status)

    def _line(self, run, line, at, terminated):
        self._emit("line", line)
        if not terminated:
            # Every event line ends with a line feed: a rest without one was cut off.
            self._emit("malformed", {"line": line, "reason": "the stream ended inside this line"})
            return
        parsed = parse_event_line(line)
        if parsed["type"] == "malformed":
            self._emit("malformed", {"line": line, "reason": parsed["reason"]})
        elif parsed["type"] == "unknown":
            self._emit("unknown", parsed["value"])
        else:
            self._emit("event", parsed["event"])
            meeting = self._meetings.take(parsed["event"], at)
            if meeting is not None:
                self._emit(*meeting)

    # The reader thread keeps the time of the last line it read, also while a listener
    # holds up this thread: lines that waited count.
    def _watch(self, run):
        if self._run is not run or self._stopping is not None:
            return
        silent_for = time.monotonic() - run.last_line_at
        if silent_for < self._hung_after:
            self._serial.set_timer("watchdog", self._hung_after - silent_for, lambda: self._watch(run))
            return
        run.hung = True
        self._emit("hung", {"pid": run.proc.pid, "silentForMs": round(silent_for * 1000)})
        self._end(run)

    def _end(self, run):
        """SIGINT (a stepped replay: the end of its input) now, SIGKILL if the child is
        still there after the stop timeout."""
        if run.proc is None:
            return
        if self._step:
            self._close_input(run)
        else:
            run.proc.send_signal(signal.SIGINT)

        def kill():
            run.killed = True
            run.proc.kill()
        self._serial.set_timer("kill", self._stop_timeout, kill)

    @staticmethod
    def _close_input(run):
        with run.input_lock:
            if run.proc.stdin is None or run.input_closed:
                return
            run.input_closed = True
            try:
                run.proc.stdin.close()
            except OSError:  # what was still buffered could not go to a replay that has gone
                pass

    def _on_host_exit(self):
        run = self._run
        if run is not None and run.proc is not None:
            run.proc.send_signal(signal.SIGINT)

    def _closed(self, run, status):
        started = run.proc is not None
        code = status if started and status >= 0 else None
        signal_ended = signal_name(-status) if started and status < 0 else None
        for name in ("watchdog", "kill", "healthy"):
            self._serial.clear_timer(name)
        atexit.unregister(self._on_host_exit)
        self._run = None
        stopping = self._stopping
        self._stopping = None
        if stopping is not None:
            reason = "stop"
        elif not started:
            reason = "cannot-start"
        elif run.hung:
            reason = "hung"
        else:
            reason = "refused" if code == _REFUSED_STATUS else "exit"
        open_session = self._meetings.open_session
        ended = self._meetings.end("stopped" if stopping is not None else "helper-exit", self._clock())

        # The state is settled before anything is reported, so that a listener that starts
        # or stops the helper finds it as it now is.
        restart_timer = None
        delay_ms = 0
        if stopping is not None:
            self._state = "stopped"
        elif reason in ("cannot-start", "refused") or self._tries >= self._restart["max_tries"]:
            self._state = "failed"
        else:
            delay_ms = min(self._restart["first_delay_ms"] * self._restart["factor"] ** self._tries,
                           self._restart["max_delay_ms"])
            self._tries += 1
            self._state = "waiting"
            restart_timer = self._serial.set_timer("restart", delay_ms / 1000, self._spawn)

        def still(state):
            return self._state == state and self._run is None

        if ended is not None:
            self._emit(*ended)
        self._emit("exit", {"code": code, "signal": signal_ended, "expected": stopping is not None, "reason": reason,
                            "openSession": open_session, "error": None if run.error is None else str(run.error)})
        if stopping is not None:
            outcome = ("not-running" if not started else "killed" if run.killed
                       else "signalled" if signal_ended is not None else "exited")
            stopping.set_result({"outcome": outcome, "code": code, "signal": signal_ended})
            # A start() asked for during the stop, and not taken back by a stop() since.
            if self._start_after_stop and still("stopped"):
                self._start_after_stop = False
                self._start()
        elif restart_timer is None:
            if still("failed"):
                self._emit("gave-up", {"reason": reason, "tries": self._tries})
        elif still("waiting") and self._serial.timer("restart") == restart_timer:
            self._emit("restart", {"reason": reason, "attempt": self._tries, "delayMs": delay_ms})
