"""Runs actions one at a time, in order, on a thread of its own, with named timers: the
client makes its every decision there, so that no two of them race. The thread ends when
nothing is left to wait for, and the next action starts another."""
import queue
import threading
import time
from concurrent.futures import Future


class Serial:
    def __init__(self, busy):
        """busy(): whether something is still to come (a child that runs) though no action
        or timer waits."""
        self._busy = busy
        self._inbox = queue.SimpleQueue()
        self._thread = None
        self._lock = threading.Lock()
        self._timers = {}  # name: (deadline on the monotonic clock, action)

    def call(self, action, *args):
        """Runs the action on the thread, waits for it and answers what it answered."""
        if threading.current_thread() is self._thread:
            return action(*args)
        answer = Future()

        def run():
            try:
                answer.set_result(action(*args))
            except BaseException as error:  # handed to the caller's thread
                answer.set_exception(error)
        self.post(run)
        return answer.result()

    def post(self, action, *args):
        """Runs the action on the thread after those posted before it."""
        with self._lock:
            self._inbox.put((action, args))
            if self._thread is None:
                self._thread = threading.Thread(target=self._serve, name="quorvel-host", daemon=True)
                self._thread.start()

    def set_timer(self, name, seconds, action):
        """Runs the action on the thread in `seconds`, in place of the timer of that name;
        answers the timer, to compare with timer(name) later."""
        self._timers[name] = timer = (time.monotonic() + seconds, action)
        return timer

    def clear_timer(self, name):
        self._timers.pop(name, None)

    def timer(self, name):
        return self._timers.get(name)

    def _serve(self):
        while True:
            due = min((deadline for deadline, _ in self._timers.values()), default=None)
            try:
                action, args = self._inbox.get(timeout=None if due is None else max(0, due - time.monotonic()))
                action(*args)
            except queue.Empty:
                pass
            now = time.monotonic()
            for name, timer in list(self._timers.items()):
                if timer[0] <= now and self._timers.get(name) == timer:
                    del self._timers[name]
                    timer[1]()
            with self._lock:
                if not self._busy() and not self._timers and self._inbox.empty():
                    self._thread = None
                    return
