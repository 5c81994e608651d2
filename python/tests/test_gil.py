"""Calls that wait on the device leave the GIL: another Python thread keeps running while
the tracker is opened (run with the real 2 s settle time) and while a read waits."""

import threading
import time

import saccadrix


class Ticker:
    """A thread that counts while it runs, and records the time of each count."""

    def __init__(self):
        self.times = []
        self.stop = threading.Event()
        self.thread = threading.Thread(target=self.run)

    def run(self):
        while not self.stop.is_set():
            self.times.append(time.monotonic())
            time.sleep(0.002)

    def ticks_between(self, start, end):
        return sum(1 for t in self.times if start < t < end)

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.stop.set()
        self.thread.join()


def test_other_threads_run_while_the_tracker_opens_and_while_a_read_waits():
    with Ticker() as ticker:
        start = time.monotonic()
        tracker = saccadrix.Tracker()
        opened = time.monotonic()
        try:
            assert opened - start >= 1.9  # the real settle time, so the test means something
            # Held GIL: no tick at all during the open. Released: one every few ms.
            assert ticker.ticks_between(start + 0.1, opened - 0.1) >= 20
            tracker.flush()
            start = time.monotonic()
            assert tracker.next_result(timeout=0.5) is None  # the stream is off: it waits
            waited = time.monotonic()
            assert ticker.ticks_between(start + 0.05, waited - 0.05) >= 5
        finally:
            tracker.close()
