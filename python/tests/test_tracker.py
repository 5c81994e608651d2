"""Opening and closing, identity, live results, and the recording read back as arrays.
Runs against one simulated model code 4 tracker streaming raw results at 500 Hz with a steady
fixation at eye position (120, -40), whose timestamp restarts at 2^53 + 1 when armed."""

import threading

import numpy as np
import pytest

import saccadrix
from conftest import wait_until

EYE = (120.0, -40.0)
ARM_TS = 2**53 + 1


def test_identity_matches_the_simulated_tracker(tracker):
    assert tracker.model == 4
    assert tracker.serial_number == "VT0001"
    assert tracker.firmware_version == 26122
    assert tracker.firmware_build_date == "Nov 12 2026 10:21:07"
    assert saccadrix.library_version() == 46
    assert tracker.capture_rate == 500


def test_latest_result_carries_the_fixation_and_a_host_time(tracker):
    wait_until(lambda: tracker.latest().timestamp > 0, what="a first result")
    r = tracker.latest()
    assert r.eye0_pupil_x - r.eye0_reflection_x == pytest.approx(EYE[0], abs=1e-3)
    assert r.eye1_pupil_y - r.eye1_reflection_y == pytest.approx(EYE[1], abs=1e-3)
    assert 0 < r.host_time <= saccadrix.host_clock()
    d = r.as_dict()
    assert list(d)[:41] == list(saccadrix.COLUMNS) and d["host_time"] == r.host_time
    assert saccadrix.Result.columns == saccadrix.COLUMNS


def test_ring_reads_take_results_oldest_first_without_gaps(tracker):
    tracker.flush()
    wait_until(lambda: tracker.pending >= 50, what="50 results in the ring")
    rows = tracker.results(max_count=40)
    assert len(rows) == 40 and rows.dtype == saccadrix.RECORD_DTYPE
    assert np.all(np.diff(rows["timestamp"].astype(np.int64)) == 1)
    assert np.all(np.diff(rows["host_time"]) >= 0)
    assert np.all(np.isnan(rows["sample_time"]))
    following = tracker.next_result(timeout=5)
    assert following.timestamp == int(rows["timestamp"][-1]) + 1
    assert len(tracker.results(max_count=0)) == 0


def record(tracker, results, markers=()):
    tracker.start_recording()
    for text in markers:
        tracker.add_marker(text)
    wait_until(lambda: tracker.recorded_count >= results, what=f"{results} stored results")
    tracker.stop_recording()
    return tracker.recorded_count


def test_recording_array_has_every_result_once_in_column_order(tracker):
    n = record(tracker, 300, markers=["trial 1 start"])
    tracker.add_marker("trial 1 end")
    rec = tracker.recording()
    assert len(rec) == n == tracker.recorded_count
    # Timestamps restart at 2^53 + 1 and count samples: all of them, once, exactly (a uint64
    # column, not doubles).
    assert rec["timestamp"][0] == ARM_TS
    assert np.array_equal(rec["timestamp"] - np.uint64(ARM_TS), np.arange(n, dtype=np.uint64))
    assert np.all(rec["results_type"] == 0)
    for e in (0, 1):
        tracked = rec[f"eye{e}_tracked"] == 1
        assert tracked.any()
        dx = rec[f"eye{e}_pupil_x"][tracked] - rec[f"eye{e}_reflection_x"][tracked]
        dy = rec[f"eye{e}_pupil_y"][tracked] - rec[f"eye{e}_reflection_y"][tracked]
        assert np.allclose(dx, EYE[0], atol=1e-3) and np.allclose(dy, EYE[1], atol=1e-3)
        assert np.all(rec[f"eye{e}_reserved"] == 0)
    assert np.all(rec["unused"] == 0)
    # The sample time is when the report could first be seen: never after it was read.
    assert np.all(np.isfinite(rec["sample_time"]))
    assert np.all(rec["sample_time"] <= rec["host_time"] + 1e-3)
    first, last = tracker.markers()
    assert first.text == "trial 1 start" and last.text == "trial 1 end"
    assert rec["host_time"][0] - 1 < first.host_time < last.host_time


def test_dtype_is_fixed_and_named_as_the_csv_columns():
    dt = saccadrix.RECORD_DTYPE
    assert dt.names[:2] == ("timestamp", "results_type") and dt.names[-2:] == ("host_time", "sample_time")
    assert len(dt.names) == 43
    expected = {"timestamp": "<u8", "results_type": "<u2", "eye0_pupil_x": "<f4",
                "eye1_angle4": "<f4", "eye0_tracked": "|u1", "eye1_first_trigger_pin": "|u1",
                "digital_inputs": "<u4", "event_pin": "|u1", "host_time": "<f8"}
    for name, code in expected.items():
        assert dt[name].str == code, name


def test_chunks_that_remove_give_the_same_records_and_free_the_list(tracker):
    n = record(tracker, 250)
    whole = tracker.recording()
    chunks = list(tracker.recording_chunks(chunk_size=64, remove=True))
    assert [len(c) for c in chunks[:-1]] == [64] * (len(chunks) - 1)
    assert np.array_equal(np.concatenate(chunks), whole)
    assert tracker.recorded_count == 0 and len(whole) == n


def test_reading_a_running_recording_repeatedly_skips_and_repeats_nothing(tracker):
    tracker.start_recording()
    parts = []
    wait_until(lambda: tracker.recorded_count > 0, what="the first stored result")
    for _ in range(5):
        before = tracker.recorded_count
        wait_until(lambda: tracker.recorded_count > before + 20, what="more stored results")
        parts.append(tracker.read_recording())
    tracker.stop_recording()
    parts.append(tracker.read_recording())
    ts = np.concatenate(parts)["timestamp"]
    assert np.array_equal(ts - np.uint64(ARM_TS), np.arange(len(ts), dtype=np.uint64))
    assert len(ts) == tracker.recorded_count


def test_markers_from_many_threads_are_all_kept(tracker):
    tracker.start_recording()
    def add(k):
        for i in range(50):
            tracker.add_marker(f"thread {k} marker {i}")
    threads = [threading.Thread(target=add, args=(k,)) for k in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    tracker.stop_recording()
    texts = [m.text for m in tracker.markers()]
    assert sorted(texts) == sorted(f"thread {k} marker {i}" for k in range(4) for i in range(50))
    assert all(isinstance(m, saccadrix.Marker) for m in tracker.markers())


BAD_CALLS = [
    # (call, exception, part of the message)
    (lambda t: t.add_marker("x" * 256), ValueError, "255 bytes"),
    (lambda t: t.add_marker("é" * 128), ValueError, "255 bytes"),
    (lambda t: t.add_marker("a\0b"), ValueError, "NUL"),
    (lambda t: t.add_marker(42), TypeError, "str"),
    (lambda t: t.read_recording(count=-1), ValueError, "count"),
    (lambda t: t.read_recording(count=2.5), TypeError, "integer"),
    (lambda t: t.recording_chunks(chunk_size=0).__next__(), ValueError, "chunk_size"),
    (lambda t: t.results(max_count=-5), ValueError, "max_count"),
    (lambda t: t.next_result(timeout=float("nan")), ValueError, "finite"),
    (lambda t: t.set_results_type("gaze"), ValueError, "raw"),
    (lambda t: setattr(t, "recording_position", -1), ValueError, "position"),
    (lambda t: setattr(t, "recording_position", 10**9), saccadrix.NoRecord, "status -15"),
]


@pytest.mark.parametrize("call,error,message", BAD_CALLS)
def test_bad_arguments_raise_clearly_and_lose_nothing(tracker, call, error, message):
    record(tracker, 20, markers=["kept"])
    stored = tracker.recorded_count
    with pytest.raises(error, match=message):
        call(tracker)
    assert tracker.recorded_count == stored
    assert [m.text for m in tracker.markers()] == ["kept"]


def test_huge_counts_read_only_what_is_stored(tracker):
    n = record(tracker, 30)
    tracker.recording_position = 0
    assert len(tracker.read_recording(count=2**62)) == n
    assert len(tracker.read_recording(count=2**62)) == 0
