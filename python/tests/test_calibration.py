"""Gaze calibration (fit, store, read back, the tracker's calibrated gaze), pupil calibration
and calibration files. The simulated model code 4 tracker holds a steady fixation at eye
position (120, -40) and streams at 250 Hz."""

import os
import pathlib
import zlib

import numpy as np
import pytest

import saccadrix
from conftest import wait_until

EYE = (120.0, -40.0)
DISTANCE = 600.0
SCALE = 1000.0  # keeps the eye positions well inside the fit's unit circle
GAIN = 0.6  # eye position per mm of target offset


def nine_targets():
    """A 3x3 grid of targets (mm in the target plane) with the eye positions a subject whose
    eye moves GAIN per mm would show; the fixation EYE then looks at EYE / GAIN."""
    rows = []
    for ty in (-150.0, 0.0, 150.0):
        for tx in (-250.0, 0.0, 250.0):
            rows.append((tx, ty, GAIN * tx, GAIN * ty))
    return np.array(rows)


def test_fit_store_and_the_trackers_gaze_meets_the_looked_at_point(tracker):
    matrix, residual = tracker.fit_calibration(nine_targets(), eye_scale=SCALE,
                                               viewing_distance=DISTANCE)
    assert matrix.shape == (4, 4) and residual == 0  # the targets lie on an exact map
    stored = tracker.calibrate(0, nine_targets(), eye_scale=SCALE, viewing_distance=DISTANCE,
                               aux1=1.5, aux2=-2.5)
    assert stored == residual
    assert tracker.is_calibrated(0)
    back = tracker.calibration(0)
    # The matrix travels as 32-bit floats, the scale and distance as integers.
    assert np.array_equal(back.matrix, matrix.astype(np.float32).astype(np.float64))
    assert (back.eye_scale, back.viewing_distance, back.aux1, back.aux2) == (SCALE, DISTANCE, 1.5, -2.5)

    # The tracker now maps the held fixation through the stored matrix.
    tracker.set_results_type("calibrated")
    try:
        tracker.flush()
        r = wait_until(lambda: _calibrated(tracker.next_result(timeout=5)), what="a calibrated result")
        x = r.eye0_gaze_x / r.eye0_gaze_z * DISTANCE
        y = r.eye0_gaze_y / r.eye0_gaze_z * DISTANCE
        assert x == pytest.approx(EYE[0] / GAIN, abs=1.0)
        assert y == pytest.approx(EYE[1] / GAIN, abs=1.0)
    finally:
        tracker.set_results_type("raw")


def test_live_events_find_the_held_fixation(tracker):
    # The simulated eye holds one position: calibrated, its gaze is one long fixation, which
    # the decode path's live detection reports.
    tracker.calibrate(0, nine_targets(), eye_scale=SCALE, viewing_distance=DISTANCE)
    tracker.events()  # nothing left from before
    tracker.set_event_detection(True, eye=0, min_fixation_duration=0.02)
    tracker.set_results_type("calibrated")
    try:
        seen = []

        def fixation_seen():
            seen.extend(tracker.events())
            return any(e["type"] == saccadrix.EventType.FIXATION and e["eye"] == 0 for e in seen)

        wait_until(fixation_seen, what="a live fixation event")
        fixation = next(e for e in seen if e["type"] == saccadrix.EventType.FIXATION)
        assert fixation["phase"] == saccadrix.EventPhase.START and fixation["start_timestamp"] > 0
        assert all(e["dropped"] == 0 for e in seen)
    finally:
        tracker.set_event_detection(False)
        tracker.set_results_type("raw")


def _calibrated(r):
    return r if r is not None and r.results_type == 1 and r.eye0_gaze_z != 0 else None


def test_store_calibration_round_trip_for_each_eye(tracker):
    for eye in (0, 1):
        m = np.arange(16, dtype=float).reshape(4, 4) / 7 + eye
        cal = saccadrix.GazeCalibration(m, eye_scale=80.9, viewing_distance=550.0, aux1=eye)
        tracker.store_calibration(eye, cal)
        back = tracker.calibration(eye)
        assert np.array_equal(back.matrix, m.astype(np.float32).astype(np.float64))
        assert (back.eye_scale, back.aux1) == (80.0, float(eye))


def test_calibration_file_round_trip_with_pathlib(tracker, tmp_path):
    m0 = np.eye(4) * 2
    m1 = np.full((4, 4), 0.25)
    tracker.store_calibration(0, saccadrix.GazeCalibration(m0, 100, 600, 1, 2))
    tracker.store_calibration(1, saccadrix.GazeCalibration(m1, 100, 600, 3, 4))
    tracker.set_pupil_calibration(reference=2.0, value=1.0)
    path = tmp_path / "subject 01.cal"
    tracker.save_calibration(path)
    data = path.read_bytes()
    assert len(data) == 339 and data[4:16] == b"SaccadrixCAL"
    # Checksum over everything before it, independent of the library's own CRC code.
    assert int.from_bytes(data[335:], "little") == zlib.crc32(data[:335])

    tracker.store_calibration(0, saccadrix.GazeCalibration(np.zeros((4, 4)), 100, 600))
    tracker.store_calibration(1, saccadrix.GazeCalibration(np.zeros((4, 4)), 100, 600))
    tracker.set_pupil_calibration(reference=1.0, value=0.0)
    assert not tracker.is_calibrated(1) and not tracker.pupil_calibrated

    tracker.load_calibration(str(path))
    assert np.array_equal(tracker.calibration(0).matrix, m0)
    assert np.array_equal(tracker.calibration(1).matrix, m1)
    assert (tracker.calibration(1).aux1, tracker.calibration(1).aux2) == (3.0, 4.0)
    assert tracker.pupil_scale == 0.5 and tracker.pupil_calibrated


def _write(tmp_path, name, data):
    p = tmp_path / name
    p.write_bytes(data)
    return p


@pytest.mark.parametrize("make,status", [
    (lambda d: d / "missing.cal", -6),
    (lambda d: _write(d, "text.cal", b"not a calibration file at all" * 20), -9),
    (lambda d: _write(d, "short.cal", _valid_file(d)[:300]), -8),
    (lambda d: _write(d, "version.cal", _with_byte(_valid_file(d), 20, 7)), -7),
])
def test_bad_calibration_files_raise_file_error_and_leave_the_tracker(tracker, tmp_path, make, status):
    m = np.eye(4) * 3
    tracker.store_calibration(0, saccadrix.GazeCalibration(m, 100, 600))
    path = make(tmp_path)
    with pytest.raises(saccadrix.FileError) as info:
        tracker.load_calibration(path)
    assert info.value.status == status and isinstance(info.value, OSError)
    assert np.array_equal(tracker.calibration(0).matrix, m)


def test_saving_into_a_missing_folder_raises_and_creates_nothing(tracker, tmp_path):
    path = tmp_path / "no such folder" / "a.cal"
    with pytest.raises(saccadrix.FileError) as info:
        tracker.save_calibration(path)
    assert info.value.status == -5 and not path.parent.exists()


def _valid_file(folder):
    path = folder / "valid.cal"
    if not path.exists():
        saccadrix_tracker_save(path)
    return path.read_bytes()


def saccadrix_tracker_save(path):
    # The module's tracker is open; the file is written through the same connection.
    saccadrix._saccadrix.save_calibration(os.fsencode(path))


def _with_byte(data, offset, value):
    return data[:offset] + bytes([value]) + data[offset + 1:]


BAD_CALLS = [
    (lambda t: t.fit_calibration(np.zeros((9, 3))), ValueError, "N-by-4"),
    (lambda t: t.fit_calibration([[0, 0, float("nan"), 0]] * 9), ValueError, "finite"),
    (lambda t: t.fit_calibration(nine_targets(), eye_scale=float("inf")), ValueError, "eye_scale"),
    (lambda t: t.fit_calibration("targets"), ValueError, ""),
    (lambda t: t.calibrate(2, nine_targets()), ValueError, "eye"),
    (lambda t: t.calibrate(0.0, nine_targets()), TypeError, "eye"),
    (lambda t: t.store_calibration(0, np.eye(4)), TypeError, "GazeCalibration"),
    (lambda t: t.store_calibration(0, saccadrix.GazeCalibration(np.eye(3), 1, 1)), ValueError, "4-by-4"),
    (lambda t: t.store_calibration(0, saccadrix.GazeCalibration(np.eye(4) * np.nan, 1, 1)), ValueError, "finite"),
    (lambda t: t.set_pupil_calibration(0.05, 1.0), saccadrix.InvalidArgument, "status -3"),
    (lambda t: t.set_pupil_calibration(float("nan"), 1.0), ValueError, "reference"),
    (lambda t: t.load_calibration(b"a\0b"), ValueError, "NUL"),
    (lambda t: t.load_calibration(12), TypeError, ""),
]


@pytest.mark.parametrize("call,error,message", BAD_CALLS)
def test_bad_calibration_arguments_raise_before_anything_is_stored(tracker, call, error, message):
    m = np.eye(4) * 5
    tracker.store_calibration(0, saccadrix.GazeCalibration(m, 100, 600))
    with pytest.raises(error, match=message):
        call(tracker)
    assert np.array_equal(tracker.calibration(0).matrix, m)
