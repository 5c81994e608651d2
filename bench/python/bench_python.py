"""Benchmarks of the Python package against the virtual tracker (run it through
run_bench_python.sh in the build folder, which preloads the virtual tracker):

  export    10^6 stored results to a NumPy array: time and peak memory added, whole and in
            chunks that remove what they read
  latest    per-call cost of Tracker.latest() from Python
  stream    results lost at 8 kHz while a Python thread polls Tracker.latest() in a tight loop

usage: bench_python.py [export [RESULTS] | latest [CALLS] | stream [SECONDS]]...
The device list (SACCADRIX_VT_DEVICES) is set per part by the runner script.
"""

import os
import re
import statistics
import sys
import threading
import time

import numpy as np

import saccadrix


def status_kb(field):
    with open("/proc/self/status") as f:
        return int(re.search(rf"{field}:\s*(\d+)", f.read()).group(1))


def reset_peak():
    """Sets the process's peak resident size back to its current size; returns that (kB)."""
    with open("/proc/self/clear_refs", "w") as f:
        f.write("5")
    return status_kb("VmRSS")


def measure(label, call, n, repetitions):
    times, peaks = [], []
    for _ in range(repetitions):
        baseline = reset_peak()
        start = time.perf_counter()
        result = call()
        times.append(time.perf_counter() - start)
        peaks.append((status_kb("VmHWM") - baseline) / 1024)
        del result
    t = statistics.median(times)
    print(f"{label:<44} {t:9.3f} {t / n * 1e9:10.0f} {statistics.median(peaks):12.0f}", flush=True)


def bench_export(results):
    with saccadrix.Tracker() as tracker:
        assert tracker.model == 3, "needs a simulated model code 3 tracker (two results per report)"
        started = time.monotonic()
        tracker.start_recording()
        while tracker.recorded_count < results:
            time.sleep(0.5)
        tracker.stop_recording()
        print(f"recorded {tracker.recorded_count} results in {time.monotonic() - started:.1f} s")
    # The recording outlives the connection: no poll thread runs while measuring.
    stored = tracker.recorded_count
    print(f"{'export':<44} {'time (s)':>9} {'ns/result':>10} {'peak added (MiB)':>12}")
    rows_mib = stored * saccadrix.RECORD_DTYPE.itemsize / 2**20
    print(f"(the array of {stored} rows is {rows_mib:.0f} MiB)")
    def allocate_and_write():
        rows = np.empty(stored, saccadrix.RECORD_DTYPE)
        rows.view(np.uint8).fill(1)
        return rows
    # What the memory alone costs: a fresh array of the same size, every byte written once.
    measure("(np.empty of the same size, every byte written)", allocate_and_write, stored, 5)
    measure("recording(), keep", tracker.recording, stored, 5)
    tracker.recording_position = 0
    measure(f"read_recording({results}), keep", lambda: tracker.read_recording(results), results, 1)

    def drain():
        n = 0
        for chunk in tracker.recording_chunks(chunk_size=65536, remove=True):
            n += len(chunk)  # a consumer that keeps nothing (writes each chunk away)
        return n
    measure("recording_chunks(65536, remove=True)", drain, stored, 1)
    assert tracker.recorded_count == 0


def bench_latest(calls):
    with saccadrix.Tracker() as tracker:
        time.sleep(0.2)
        latest = tracker.latest
        version = saccadrix.library_version
        for label, fn in (("library_version() (a call that does nothing)", version),
                          ("Tracker.latest()", latest)):
            best = []
            for _ in range(5):
                start = time.perf_counter()
                for _ in range(calls):
                    fn()
                best.append((time.perf_counter() - start) / calls)
            print(f"{label:<46} median {statistics.median(best) * 1e9:6.0f} ns/call, "
                  f"best {min(best) * 1e9:6.0f} ns/call")


def record_stream(tracker, seconds, poll):
    """Records for `seconds` at the tracker's rate, with or without a Python thread polling
    latest() in a tight loop; returns (recorded, lost, duplicated, polls)."""
    tracker.start_recording()
    stop = threading.Event()
    polls = [0]

    def poller():
        latest = tracker.latest
        n = 0
        while not stop.is_set():
            latest()
            n += 1
        polls[0] = n

    thread = threading.Thread(target=poller) if poll else None
    if thread:
        thread.start()
    time.sleep(seconds)
    stop.set()
    if thread:
        thread.join()
    tracker.stop_recording()
    ts = tracker.recording()["timestamp"].astype(np.int64)
    span = int(ts[-1] - ts[0] + 1) if len(ts) else 0
    unique = len(np.unique(ts))
    return len(ts), span - unique, len(ts) - unique, polls[0]


def bench_stream(seconds):
    with saccadrix.Tracker() as tracker:
        for poll in (False, True):
            recorded, lost, duplicated, polls = record_stream(tracker, seconds, poll)
            what = (f"latest() polled {polls} times ({polls / seconds / 1000:.0f} k/s)" if poll
                    else "nobody polling")
            print(f"8 kHz for {seconds:.0f} s, {what}: recorded {recorded}, lost {lost}, "
                  f"duplicated {duplicated}, load average {os.getloadavg()[0]:.1f}", flush=True)


def main(argv):
    parts = {"export": (bench_export, 1_000_000), "latest": (bench_latest, 1_000_000),
             "stream": (bench_stream, 60.0)}
    i = 0
    while i < len(argv):
        fn, default = parts[argv[i]]
        value = default
        if i + 1 < len(argv) and argv[i + 1] not in parts:
            value = type(default)(float(argv[i + 1]))
            i += 1
        fn(value)
        i += 1


if __name__ == "__main__":
    main(sys.argv[1:])
